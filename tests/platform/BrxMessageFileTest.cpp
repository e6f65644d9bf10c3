// Message catalogs: the file format, placeholders, the search for a catalog and its locale
// levels, built-in copies, and how often catalogs are read.
#include "AutTestSupport.h"
#include "Table.h"

#include <BrxMessage.h>
#include <cstdlib>
#include <filesystem>
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

    static std::string format(const std::string& catalog,
                              std::uint32_t number,
                              const char* locale = "en-us",
                              const std::vector<std::string>& parameters = {}) {
        BrxMessageFile file{I18NString(catalog.c_str())};
        file.setMessage(number);
        for (const std::string& parameter : parameters) {
            file << BrxMessageParm(I18NString(parameter.c_str()));
        }
        I18NString result;
        file.format(nullptr, locale, result);
        return result.c_str();
    }

    auttest::TempDir f_dir;
    auttest::TempDir f_empty;
};

std::string missing(std::uint32_t number, const std::string& catalog) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", number);
    return "Message " + std::string(hex) + " not found in catalog \"" + catalog + "\"";
}

TEST_F(BrxMessageFileTest, ReadsDefinitionsAndSkipsMalformedLines) {
    const auto rows = auttest::ReadTable("BrxMessageFileTest-lines.tsv", 3);
    std::string catalog = "0x30 = \"" + std::string(64 * 1024, 'x') + "\"\n";
    for (const auttest::Row& row : rows) {
        catalog += row[0] + (&row == &rows.back() ? "" : "\n");
    }
    f_dir.writeFile("Xmsgs.msg", catalog);
    EXPECT_EQ(format("Xmsgs", 0x30), missing(0x30, "Xmsgs")) << "a line longer than 64 KiB";
    for (const auttest::Row& row : rows) {
        SCOPED_TRACE(row[0]);
        if (row[1] != "-") {
            const auto number = static_cast<std::uint32_t>(std::stoul(row[1], nullptr, 0));
            EXPECT_EQ(format("Xmsgs", number), row[2] == "-" ? missing(number, "Xmsgs") : row[2]);
        }
    }
}

TEST_F(BrxMessageFileTest, ParametersFillPlaceholdersInOneScan) {
    const auto rows = auttest::ReadTable("BrxMessageFileTest-parameters.tsv", 3);
    std::string catalog;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        catalog += std::to_string(i) + " = \"" + rows[i][0] + "\"\n";
    }
    f_dir.writeFile("Xmsgs.msg", catalog);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i][2]);
        std::vector<std::string> parameters;
        for (std::size_t at = 0, bar = 0; !rows[i][1].empty() && bar != std::string::npos;
             at = bar + 1) {
            bar = rows[i][1].find('|', at);
            parameters.push_back(rows[i][1].substr(at, bar - at));
        }
        EXPECT_EQ(format("Xmsgs", i, "en-us", parameters), rows[i][2]);
    }
    EXPECT_EQ(format("Xmsgs", 0x7217A829, "en-us", {"5", "1000"}),
              missing(0x7217A829, "Xmsgs") + "; parameters: \"5\", \"1000\"");
}

TEST_F(BrxMessageFileTest, LocalesFallBackNumberByNumberThroughFilesAndBuiltInCopies) {
    f_dir.writeFile("Xmsgs.msg", "1 = \"one\"\n2 = \"two\"\n3 = \"three\"\n");
    f_dir.writeFile("Xmsgs.fr.msg", "2 = \"deux\"\n3 = \"trois\"\n");
    f_dir.writeFile("XMSGS.FR-CA.MSG", "3 = \"trois (Canada)\"\n");
    const char builtIn[] = "1 = \"built-in one\"\n2 = \"built-in two\"\n4 = \"built-in four\"\n";
    const char builtInFr[] = "1 = \"un (built-in)\"\n2 = \"deux (built-in)\"\n";
    brxRegisterBuiltInCatalog("Pmsgs", nullptr, builtIn, sizeof builtIn - 1);
    brxRegisterBuiltInCatalog("Pmsgs", "fr", builtInFr, sizeof builtInFr - 1);
    // 4 is malformed on disk, so it counts as missing there.
    f_dir.writeFile("Pmsgs.msg", "2 = \"disk two\"\n3 = \"disk three\"\n4 = \"unterminated\n");
    f_dir.writeFile("Pmsgs.fr.msg", "1 = \"un (disk)\"\n2 = \"deux \\q\"\n");
    for (const auttest::Row& row : auttest::ReadTable("BrxMessageFileTest-locales.tsv", 4)) {
        SCOPED_TRACE(row[0] + " " + row[1] + " " + row[2]);
        const auto number = static_cast<std::uint32_t>(std::stoul(row[2]));
        EXPECT_EQ(format(row[0], number, row[1].c_str()),
                  row[3] == "-" ? missing(number, row[0]) : row[3]);
    }
}

TEST_F(BrxMessageFileTest, SearchOrderAndBuiltInCopies) {
    auttest::TempDir second;
    setenv("ORQ_MESSAGES_DIR", (f_dir.path() + "::" + second.path()).c_str(), 1);
    second.writeFile("Ymsgs.msg", "1 = \"second directory\"\n");
    const char builtIn[] = "1 = \"built-in\"\n2 = \"built-in two\"\n";
    brxRegisterBuiltInCatalog("Ymsgs", nullptr, builtIn, sizeof builtIn - 1);
    brxRegisterBuiltInCatalog("Ymsgs", "de", "1 = \"eingebaut\"", 15);
    EXPECT_EQ(format("Ymsgs", 1), "second directory");
    EXPECT_EQ(format("Ymsgs", 1, "de-at"), "eingebaut");
    f_dir.writeFile("ymsgs.msg", "1 = \"first directory\"\n");
    EXPECT_EQ(format("Ymsgs", 1), "first directory");
    unsetenv("ORQ_MESSAGES_DIR");
    EXPECT_EQ(format("Ymsgs", 2), "built-in two");
    // Names that are no bare names are never searched for.
    for (const char* name : {"Nonemsgs", "../Ymsgs", ""}) {
        EXPECT_EQ(format(name, 1),
                  "Message 0x00000001: catalog \"" + std::string(name) + "\" not found");
    }
}

long OpenDescriptors() {
    const std::filesystem::directory_iterator entries("/proc/self/fd");
    return std::distance(begin(entries), end(entries));
}

TEST_F(BrxMessageFileTest, UnreadableEntriesArePassedOverAndNothingStaysOpen) {
    f_dir.makeDirectory("Dmsgs.msg");
    const std::string large = f_dir.writeFile("Lmsgs.msg", "1 = \"large\"\n");
    ASSERT_EQ(truncate(large.c_str(), 16 * 1024 * 1024 + 1), 0);
    ASSERT_EQ(mkfifo(f_dir.file("Fmsgs.msg").c_str(), 0600), 0);
    f_dir.writeFile("Rmsgs.msg", "1 = \"read\"\n");
    const long open = OpenDescriptors();
    for (const char* name : {"Dmsgs", "Lmsgs", "Fmsgs"}) {
        EXPECT_EQ(format(name, 1),
                  "Message 0x00000001: catalog \"" + std::string(name) + "\" not found");
    }
    EXPECT_EQ(format("Rmsgs", 1), "read");
    EXPECT_EQ(OpenDescriptors(), open);
}

TEST_F(BrxMessageFileTest, ReadsEachCatalogOncePerObjectOrOnceForAllMessages) {
    f_dir.writeFile("Xmsgs.msg", "1 = \"one {0}\"\n");
    f_dir.writeFile("Xmsgs.fr.msg", "1 = \"un {0}\"\n");
    const long before = BrxMessageFile::catalogReadCount();
    BrxMessageFile file(I18NString("Xmsgs"));
    I18NString result;
    file.setMessage(1);
    file.format(nullptr, "fr-fr", result);
    file.format(nullptr, "fr", result);
    file.format(nullptr, "en-us", result);
    EXPECT_EQ(BrxMessageFile::catalogReadCount() - before, 2); // "fr" and no locale
    BrxMessageFile copy(file);                                 // shares what was read
    copy.format(nullptr, "fr-ca", result);
    EXPECT_EQ(std::string(result.c_str()), "un {0}");
    EXPECT_EQ(BrxMessageFile::catalogReadCount() - before, 2);
    BrxMessageFile(I18NString("XMSGS")).format(nullptr, "en-us", result);
    EXPECT_EQ(BrxMessageFile::catalogReadCount() - before, 3);

    // Messages share one read of each catalog and level for the whole process.
    BrxMessage message(I18NString("xmsgs"), 1);
    message << BrxMessageParm(I18NString("x"));
    message.format(nullptr, "fr_FR", result);
    EXPECT_EQ(std::string(result.c_str()), "un x");
    BrxMessage(I18NString("XMSGS"), 1).format(nullptr, "fr", result);
    EXPECT_EQ(BrxMessageFile::catalogReadCount() - before, 5);
}

} // namespace
