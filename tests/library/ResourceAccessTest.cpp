#include "AutTestSupport.h"
#include "UTLibraryInternal.h"
#include "UTResourceAccess.h"

#include <AUTInitialize.h>
#include <BrxException.h>
#include <atomic>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string text(const I18NString& value) {
    return value.c_str();
}

std::string load(const char* component, const char* locale, std::uint32_t number) {
    I18NString result;
    AUT_ResourceLoadString(I18NString(component), I18NString(locale), number, result);
    return text(result);
}

// An initialized library over a temporary installation whose messages directory the test
// fills; ORQ_MESSAGES_DIR is cleared so that only that directory and the built-in copies count.
class ResourceAccessTest : public auttest::InstallationTest {
protected:
    void SetUp() override {
        InstallationTest::SetUp();
        unsetenv("ORQ_MESSAGES_DIR");
        messagesDir = root().makeDirectory("messages");
    }
    void TearDown() override {
        if (f_initialized) {
            EXPECT_EQ(AUT_Terminate("test"), 0);
        }
        InstallationTest::TearDown();
    }
    void initialize() {
        ASSERT_EQ(AUT_Initialize("test"), 0);
        f_initialized = true;
    }
    void writeCatalog(const std::string& name, const std::string& content) {
        root().writeFile("messages/" + name, content);
    }

    std::string messagesDir;

private:
    bool f_initialized = false;
};

TEST_F(ResourceAccessTest, LibraryTextsComeFromOneEntryOpenedOnce) {
    initialize();
    // The start-up fetched the component texts: the ("UT", "") entry exists already.
    EXPECT_EQ(ResourceMapSize(), 1);
    const long reads = BrxMessageFile::catalogReadCount();
    EXPECT_EQ(text(AUT_ResourceGetString(0xF7C73265u)), "true");
    EXPECT_EQ(text(AUT_ResourceGetString(static_cast<int>(0xF7C80C5Du))), "false");
    EXPECT_EQ(text(AUT_ResourceGetString(0x721A0CA1u)), "Exception: {0}");
    EXPECT_EQ(BrxMessageFile::catalogReadCount(), reads);
    EXPECT_EQ(ResourceMapSize(), 1);
}

TEST_F(ResourceAccessTest, FixedTextsOfTheBuiltInCatalog) {
    initialize();
    struct Case {
        std::uint32_t number;
        const char* expected;
    };
    const Case cases[] = {
        {0xF7C35931, " "}, {0xF7C01AAD, ", "}, {0xF7C83D52, "\""},
        {0xF7C00B3A, ":"}, {0xF7C528CA, "/"},  {0xF7CB58DB, "log"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.number);
        EXPECT_EQ(text(AUT_ResourceGetString(c.number)), c.expected);
    }
    const I18NString forbidden = AUT_ResourceGetString(0xF7C1724Cu);
    EXPECT_EQ(forbidden.find(U'/'), 0);
    for (char32_t c = 1; c < 0x20; ++c) {
        EXPECT_GE(forbidden.find(c), 0) << static_cast<int>(c);
    }
    EXPECT_LT(forbidden.find(U'.'), 0);
}

TEST_F(ResourceAccessTest, EachNewKeyOpensTheCatalogAgain) {
    writeCatalog("Xmsgs.msg", "1 = \"one\"\n");
    writeCatalog("Xmsgs.fr.msg", "1 = \"un\"\n");
    initialize();
    const long reads = BrxMessageFile::catalogReadCount();
    const long entries = ResourceMapSize();
    EXPECT_EQ(load("X", "fr-fr", 1), "un");
    EXPECT_EQ(BrxMessageFile::catalogReadCount() - reads, 2); // "fr" and without locale
    EXPECT_EQ(load("X", "de-de", 1), "one");
    EXPECT_EQ(BrxMessageFile::catalogReadCount() - reads, 3); // a second object, its own read
    EXPECT_EQ(load("X", "fr-fr", 1), "un");
    EXPECT_EQ(BrxMessageFile::catalogReadCount() - reads, 3);
    EXPECT_EQ(ResourceMapSize() - entries, 2);
}

TEST_F(ResourceAccessTest, AliasSharesTheOpenedFile) {
    initialize();
    AUT_ResourceGetString(0xF7C73265u); // the start-up fetched it already, unless it ran before
    AUT_ResourceMap::iterator base;
    FindFileInResourceMap("UT", "", "", base);
    AUT_ResourceMap::iterator end;
    FindFileInResourceMap("UT", "xx", "yy", end);
    ASSERT_NE(base, end);
    AUT_ResourceMap::iterator alias;
    FindFileInResourceMap("UT", "", "fr-fr", alias);
    EXPECT_EQ(text(alias->first.first), "UT");
    EXPECT_EQ(text(alias->first.second), "fr-fr");
    EXPECT_EQ(alias->second.get(), base->second.get());
    EXPECT_EQ(ResourceMapSize(), 2);

    const long reads = BrxMessageFile::catalogReadCount();
    EXPECT_EQ(load("UT", "fr-fr", 0xF7C73265), "true");
    EXPECT_EQ(BrxMessageFile::catalogReadCount(), reads);
    EXPECT_EQ(ResourceMapSize(), 2);

    AUT_ResourceMap::iterator none;
    FindFileInResourceMap("Never", "", "fr-fr", none);
    EXPECT_EQ(none, end);
    FindFileInResourceMap("UT", "it", "it", none);
    EXPECT_EQ(none, end);
    EXPECT_EQ(ResourceMapSize(), 2);
}

TEST_F(ResourceAccessTest, LocalesFallBackToTheCatalogWithoutLocale) {
    initialize();
    struct Case {
        const char* locale;
        std::uint32_t number;
        const char* expected;
    };
    const Case cases[] = {
        {"de-de", 0xF7C73265, "wahr"},
        {"de_CH", 0xF7C80C5D, "falsch"},
        {"de", 0xF7C24AC5, "Orq utility library"}, // not in the German catalog
        {"fr-fr", 0xF7C73265, "true"},
        {"", 0xF7C73265, "true"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locale);
        EXPECT_EQ(load("UT", c.locale, c.number), c.expected);
    }
}

TEST_F(ResourceAccessTest, FileOnDiskOverridesTheBuiltInCopyNumberByNumber) {
    // Another letter case of the name is the same catalog.
    writeCatalog("utmsgs.msg", "0xF7C73265 = \"yes\"\n");
    initialize();
    EXPECT_EQ(text(AUT_ResourceGetString(0xF7C73265u)), "yes");
    // A number the file lacks still has its built-in text.
    EXPECT_EQ(text(AUT_ResourceGetString(0xF7C80C5Du)), "false");
}

TEST_F(ResourceAccessTest, MissingCatalogAndNumberStillNameTheNumber) {
    initialize();
    EXPECT_EQ(load("Nothing", "", 0x12345678), "Message 0x12345678: catalog \"Nothingmsgs\" not "
                                               "found");
    EXPECT_EQ(text(AUT_ResourceGetString(7)), "Message 0x00000007 not found in catalog \"UTmsgs\"");
}

TEST_F(ResourceAccessTest, UseWithoutInitializationAsserts) {
    I18NString result;
    try {
        AUT_ResourceLoadString(I18NString("UT"), I18NString(), 1u, result);
        FAIL() << "no assertion";
    } catch (const BrxAssertError& error) {
        EXPECT_EQ(error.getText(), "BRX_ASSERT(AUTg_ResourceMap != nullptr);");
        EXPECT_EQ(error.getBackTrace().at(0).file, "Source/UTResourceAccess.cpp");
    }
    EXPECT_EQ(ResourceMapSize(), -1);
}

TEST_F(ResourceAccessTest, TerminationReleasesTheMapAndReinitializationReopens) {
    initialize();
    AUT_ResourceGetString(0xF7C73265u);
    load("UT", "de", 0xF7C73265);
    EXPECT_EQ(ResourceMapSize(), 2);
    ASSERT_EQ(AUT_Terminate("test"), 0);
    EXPECT_EQ(ResourceMapSize(), -1);
    ASSERT_EQ(AUT_Initialize("test"), 0);
    EXPECT_EQ(ResourceMapSize(), 0); // the component texts are kept, not fetched again
    EXPECT_EQ(text(AUT_ResourceGetString(0xF7C73265u)), "true");
    EXPECT_EQ(ResourceMapSize(), 1);
}

TEST_F(ResourceAccessTest, ConcurrentFetchesGetTheirOwnTexts) {
    writeCatalog("Xmsgs.msg", "1 = \"one\"\n2 = \"two\"\n");
    initialize();
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &wrong] {
            const char* locales[] = {"", "de", "fr-fr", "de-at"};
            for (int i = 0; i < 2000; ++i) {
                const std::uint32_t number = 1 + static_cast<std::uint32_t>((i + t) % 2);
                const std::string got = load("X", locales[(i + t) % 4], number);
                if (got != (number == 1 ? "one" : "two")) {
                    ++wrong;
                }
                if (text(AUT_ResourceGetString(0xF7C73265u)) != "true") {
                    ++wrong;
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong.load(), 0);
}

} // namespace
