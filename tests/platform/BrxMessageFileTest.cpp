#include "AutTestSupport.h"

#include <BrxMessage.h>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Catalogs in a temporary directory named by ORQ_MESSAGES_DIR; ORQ_BIN_DIR points at an
// empty installation so that no other catalogs are found. Each test runs in its own process.
class BrxMessageFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("ORQ_MESSAGES_DIR", f_dir.path().c_str(), 1);
        setenv("ORQ_BIN_DIR", f_empty.file("bin").c_str(), 1);
    }

    std::string format(const char* catalog,
                       std::uint32_t number,
                       const char* locale = "en-us",
                       const std::vector<const char*>& parameters = {}) {
        BrxMessageFile file{I18NString(catalog)};
        file.setMessage(number);
        for (const char* parameter : parameters) {
            file << BrxMessageParm(I18NString(parameter));
        }
        I18NString result;
        file.format(nullptr, locale, result);
        return result.c_str();
    }

    auttest::TempDir f_dir;
    auttest::TempDir f_empty;
};

std::string missing(const char* hex, const char* catalog) {
    return std::string("Message ") + hex + " not found in catalog \"" + catalog + "\"";
}

TEST_F(BrxMessageFileTest, ReadsDefinitionsAndSkipsMalformedLines) {
    const std::string hugeText(70 * 1024, 'x');
    f_dir.writeFile("Xmsgs.msg", "\xEF\xBB\xBF# a comment\r\n"
                                 "0x10 = \"plain\"\r\n"
                                 "  17\t=\t\"decimal\"   # trailing comment\n"
                                 "0x12 = \"quote \\\" backslash \\\\ tab \\t nl \\n\"\n"
                                 "0x13 = \"\\u00E9\\U0001F600\"\n"
                                 "0x14 = \"caf\xC3\xA9 bad \xFF\xC3 end\"\n"
                                 "0x20 = \"unterminated\n"
                                 "0x21 = \"bad escape \\q\"\n"
                                 "0x22 = \"surrogate \\uD800\"\n"
                                 "0x100000000 = \"too large\"\n"
                                 "0x23 \"no equals\"\n"
                                 "0x24 = \"junk after\" x\n"
                                 "0x25 = \"raw control \x01\"\n"
                                 "0x26 = \"" +
                                     hugeText + "\"\n" +
                                     std::string("\x00\x01\x02\x7F\xFE binary junk\n", 18) +
                                     "0x15 = \"first\"\n"
                                     "0x15 = \"second\"\n"
                                     "0XFFFFFFFF = \"largest\"");
    struct Case {
        std::uint32_t number;
        std::string expected;
    };
    const Case cases[] = {
        {0x10, "plain"},
        {17, "decimal"},
        {0x12, "quote \" backslash \\ tab \t nl \n"},
        {0x13, "\xC3\xA9\xF0\x9F\x98\x80"},
        {0x14, "caf\xC3\xA9 bad \xEF\xBF\xBD\xEF\xBF\xBD end"},
        {0x15, "first"},
        {0xFFFFFFFF, "largest"},
        {0x20, missing("0x00000020", "Xmsgs")},
        {0x21, missing("0x00000021", "Xmsgs")},
        {0x22, missing("0x00000022", "Xmsgs")},
        {0x23, missing("0x00000023", "Xmsgs")},
        {0x24, missing("0x00000024", "Xmsgs")},
        {0x25, missing("0x00000025", "Xmsgs")},
        {0x26, missing("0x00000026", "Xmsgs")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.number);
        EXPECT_EQ(format("Xmsgs", c.number), c.expected);
    }
}

TEST_F(BrxMessageFileTest, ParametersFillPlaceholdersInOneScan) {
    f_dir.writeFile("Xmsgs.msg", "1 = \"{1}-{0}-{2}-{a}-{10}\"\n2 = \"{0}{1}{2}{3}{4}{5}{6}{7}{8}"
                                 "{9}{A}{B}{C}{D}{E}{F}\"\n");
    struct Case {
        std::uint32_t number;
        std::vector<const char*> parameters;
        std::string expected;
    };
    const Case cases[] = {
        // A placeholder without a parameter stays, so that the text can be filled later.
        {1, {"x", "y"}, "y-x-{2}-{a}-{10}"},
        {1, {}, "{1}-{0}-{2}-{a}-{10}"},
        // Inserted text is not scanned again.
        {1, {"{1}", "z", "w"}, "z-{1}-w-{a}-{10}"},
        {2,
         {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "a", "b", "c", "d", "e", "f"},
         "0123456789abcdef"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(format("Xmsgs", c.number, "en-us", c.parameters), c.expected);
    }
}

TEST_F(BrxMessageFileTest, MissingNumberOrCatalogNamesTheNumberAndParameters) {
    f_dir.writeFile("Xmsgs.msg", "1 = \"one\"\n");
    EXPECT_EQ(format("Xmsgs", 0x7217A829, "en-us", {"5", "1000"}),
              "Message 0x7217A829 not found in catalog \"Xmsgs\"; parameters: \"5\", \"1000\"");
    EXPECT_EQ(format("Nonemsgs", 2), "Message 0x00000002: catalog \"Nonemsgs\" not found");
    // Names that are no bare names are never searched for.
    EXPECT_EQ(format("../Xmsgs", 1), "Message 0x00000001: catalog \"../Xmsgs\" not found");
    EXPECT_EQ(format("", 1), "Message 0x00000001: catalog \"\" not found");
}

TEST_F(BrxMessageFileTest, LocaleFallsBackToLanguageThenToNoLocale) {
    f_dir.writeFile("Xmsgs.msg", "1 = \"one\"\n2 = \"two\"\n3 = \"three\"\n");
    f_dir.writeFile("Xmsgs.fr.msg", "2 = \"deux\"\n3 = \"trois\"\n");
    f_dir.writeFile("XMSGS.FR-CA.MSG", "3 = \"trois (Canada)\"\n");
    struct Case {
        const char* locale;
        std::uint32_t number;
        const char* expected;
    };
    const Case cases[] = {
        {"fr-ca", 3, "trois (Canada)"},
        {"fr-ca", 2, "deux"},
        {"fr-ca", 1, "one"},
        {"fr_CA", 3, "trois (Canada)"},
        {"FR_ca.UTF-8", 3, "trois (Canada)"},
        {"fr-fr", 3, "trois"},
        {"fr", 1, "one"},
        {"de-de", 3, "three"},
        {"", 3, "three"},
        {"../../fr", 3, "three"},
        {"fr/../fr", 3, "three"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locale);
        EXPECT_EQ(format("xmsgs", c.number, c.locale), c.expected);
    }
}

TEST_F(BrxMessageFileTest, ReadsEachCatalogOncePerObject) {
    f_dir.writeFile("Xmsgs.msg", "1 = \"one\"\n");
    f_dir.writeFile("Xmsgs.fr.msg", "1 = \"un\"\n");
    const long before = BrxMessageFile::catalogReadCount();
    BrxMessageFile file(I18NString("Xmsgs"));
    I18NString result;
    file.setMessage(1);
    file.format(nullptr, "fr-fr", result);
    file.format(nullptr, "fr-fr", result);
    file.format(nullptr, "fr", result);
    EXPECT_EQ(std::string(result.c_str()), "un");
    EXPECT_EQ(BrxMessageFile::catalogReadCount() - before, 2); // "fr" and no locale
    file.format(nullptr, "en-us", result);
    EXPECT_EQ(BrxMessageFile::catalogReadCount() - before, 2);
    // A copy shares what was read.
    BrxMessageFile copy(file);
    copy.format(nullptr, "fr-ca", result);
    EXPECT_EQ(std::string(result.c_str()), "un");
    EXPECT_EQ(BrxMessageFile::catalogReadCount() - before, 2);
    // A new object reads again.
    BrxMessageFile other(I18NString("XMSGS"));
    other.format(nullptr, "en-us", result);
    EXPECT_EQ(BrxMessageFile::catalogReadCount() - before, 3);
}

TEST_F(BrxMessageFileTest, SearchOrderAndBuiltInCopies) {
    auttest::TempDir second;
    setenv("ORQ_MESSAGES_DIR", (f_dir.path() + "::" + second.path()).c_str(), 1);
    second.writeFile("Ymsgs.msg", "1 = \"second directory\"\n");
    const char builtIn[] = "1 = \"built-in\"\n2 = \"built-in two\"\n";
    brxRegisterBuiltInCatalog("Ymsgs", nullptr, builtIn, sizeof builtIn - 1);
    brxRegisterBuiltInCatalog("Ymsgs", "de", "1 = \"eingebaut\"", 15);
    EXPECT_EQ(format("Ymsgs", 1), "second directory");
    EXPECT_EQ(format("Ymsgs", 2), "built-in two");
    EXPECT_EQ(format("Ymsgs", 1, "de-at"), "eingebaut");
    f_dir.writeFile("ymsgs.msg", "1 = \"first directory\"\n");
    EXPECT_EQ(format("Ymsgs", 1), "first directory");
    unsetenv("ORQ_MESSAGES_DIR");
    EXPECT_EQ(format("Ymsgs", 2), "built-in two");
}

TEST_F(BrxMessageFileTest, PartialDiskCatalogIsCompletedFromItsBuiltInCopy) {
    const char builtIn[] = "1 = \"built-in one\"\n2 = \"built-in two\"\n3 = \"built-in three\"\n"
                           "4 = \"built-in four\"\n";
    const char builtInFr[] = "1 = \"un (built-in)\"\n2 = \"deux (built-in)\"\n";
    brxRegisterBuiltInCatalog("Pmsgs", nullptr, builtIn, sizeof builtIn - 1);
    brxRegisterBuiltInCatalog("Pmsgs", "fr", builtInFr, sizeof builtInFr - 1);
    // 4 is malformed on disk, so it counts as missing there.
    f_dir.writeFile("Pmsgs.msg", "2 = \"disk two\"\n3 = \"disk three\"\n4 = \"unterminated\n");
    f_dir.writeFile("Pmsgs.fr.msg", "1 = \"un (disk)\"\n2 = \"deux \\q\"\n");
    struct Case {
        const char* locale;
        std::uint32_t number;
        std::string expected;
    };
    const Case cases[] = {
        {"en-us", 1, "built-in one"},
        {"en-us", 2, "disk two"},
        {"en-us", 3, "disk three"},
        {"en-us", 4, "built-in four"},
        {"en-us", 5, missing("0x00000005", "Pmsgs")},
        {"fr-ca", 1, "un (disk)"},
        // One level is finished, file then built-in copy, before the next one is searched.
        {"fr-ca", 2, "deux (built-in)"},
        {"fr-ca", 3, "disk three"},
        {"fr-ca", 4, "built-in four"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.locale) + " " + std::to_string(c.number));
        EXPECT_EQ(format("Pmsgs", c.number, c.locale), c.expected);
    }
    // A level completed from its built-in copy is one read.
    const long before = BrxMessageFile::catalogReadCount();
    format("Pmsgs", 1, "fr");
    EXPECT_EQ(BrxMessageFile::catalogReadCount() - before, 2);
}

TEST_F(BrxMessageFileTest, UnreadableEntriesArePassedOver) {
    f_dir.makeDirectory("Dmsgs.msg");
    const std::string large = f_dir.writeFile("Lmsgs.msg", "1 = \"large\"\n");
    ASSERT_EQ(truncate(large.c_str(), 17 * 1024 * 1024), 0);
    const std::string fifo = f_dir.file("Fmsgs.msg");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const char* name : {"Dmsgs", "Lmsgs", "Fmsgs"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(format(name, 1),
                  std::string("Message 0x00000001: catalog \"") + name + "\" not found");
    }
}

TEST_F(BrxMessageFileTest, MessageFormatsThroughTheSharedCatalogs) {
    f_dir.writeFile("Zmsgs.msg", "5 = \"five {0}\"\n");
    f_dir.writeFile("Zmsgs.de.msg", "5 = \"fünf {0}\"\n");
    BrxMessage message(I18NString("zmsgs"), 5);
    message << BrxMessageParm(I18NString("x"));
    I18NString result;
    message.format(nullptr, nullptr, result);
    EXPECT_EQ(std::string(result.c_str()), "five x");
    message.format(nullptr, "de_DE", result);
    EXPECT_EQ(std::string(result.c_str()), "f\xC3\xBCnf x");
    const long before = BrxMessageFile::catalogReadCount();
    BrxMessage(I18NString("ZMSGS"), 5).format(nullptr, "de", result);
    EXPECT_EQ(BrxMessageFile::catalogReadCount(), before);
}

TEST(BrxMessageSet, FormatJoinsAndCopiesAreDeep) {
    BrxMessageSet set;
    set.addMessage(BrxMessageString(I18NString("a")));
    set.addMessage(BrxMessageString(I18NString("b")));
    BrxMessageSet copy(set);
    set.addMessage(BrxMessageString(I18NString("c")));
    I18NString result;
    copy.format(nullptr, "en-us", result);
    EXPECT_EQ(std::string(result.c_str()), "a\nb");
    copy = set;
    copy.format(nullptr, "en-us", result);
    EXPECT_EQ(std::string(result.c_str()), "a\nb\nc");
    BrxMessageSet empty;
    empty.format(nullptr, "en-us", result);
    EXPECT_TRUE(result.empty());
}

} // namespace
