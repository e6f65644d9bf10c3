// The library's access to message catalogs: one catalog object per component and locale,
// aliases that share it, the shortcut to the library's own texts, and the map's life time.
#include "AutTestSupport.h"
#include "UTLibraryInternal.h"
#include "UTResourceAccess.h"

#include <AUTInitialize.h>
#include <thread>

namespace {

std::string load(const char* component, const char* locale, std::uint32_t number) {
    I18NString result;
    AUT_ResourceLoadString(I18NString(component), I18NString(locale), number, result);
    return result.c_str();
}

// Catalogs come from the installation's messages directory and the built-in copies only.
class ResourceAccessTest : public auttest::InstallationTest {
protected:
    void SetUp() override {
        InstallationTest::SetUp();
        unsetenv("ORQ_MESSAGES_DIR");
        root().writeFile("messages/utmsgs.msg", "0xF7C73265 = \"yes\"\n");
        root().writeFile("messages/Xmsgs.msg", "1 = \"one\"\n2 = \"two\"\n");
        root().writeFile("messages/Xmsgs.fr.msg", "1 = \"un\"\n");
        ASSERT_EQ(AUT_Initialize("test"), 0);
    }
    void TearDown() override {
        EXPECT_EQ(AUT_Terminate("test"), 0);
        InstallationTest::TearDown();
    }
};

TEST_F(ResourceAccessTest, LibraryTextsComeFromOneEntryThatLivesFromStartToStop) {
    const long reads = BrxMessageFile::catalogReadCount();
    EXPECT_STREQ(AUT_ResourceGetString(7).c_str(),
                 "Message 0x00000007 not found in catalog \"UTmsgs\"");
    EXPECT_STREQ(AUT_ResourceGetString(0xF7C73265u).c_str(), "yes");
    EXPECT_EQ(BrxMessageFile::catalogReadCount(), reads); // opened by the start-up
    EXPECT_EQ(ResourceMapSize(), 1);
    ASSERT_EQ(AUT_Terminate("test"), 0);
    EXPECT_EQ(ResourceMapSize(), -1);
    EXPECT_THROW(load("UT", "", 1), BrxAssertError);
    ASSERT_EQ(AUT_Initialize("test"), 0);
    EXPECT_EQ(ResourceMapSize(), 0); // the component texts are kept, not fetched again
    EXPECT_STREQ(AUT_ResourceGetString(0xF7C73265u).c_str(), "yes");
    EXPECT_EQ(ResourceMapSize(), 1);
}

TEST_F(ResourceAccessTest, EachNewKeyOpensTheCatalogAndAnAliasSharesIt) {
    const long reads = BrxMessageFile::catalogReadCount();
    EXPECT_EQ(load("X", "fr-fr", 1), "un");
    EXPECT_EQ(load("X", "de-de", 1), "one");
    EXPECT_EQ(load("X", "fr-fr", 1), "un");
    AUT_ResourceMap::iterator base, alias, none;
    FindFileInResourceMap("X", "fr-fr", "fr-fr", base);
    FindFileInResourceMap("X", "fr-fr", "fr-ca", alias);
    EXPECT_EQ(alias->second.get(), base->second.get());
    EXPECT_EQ(load("X", "fr-ca", 2), "two");
    FindFileInResourceMap("Never", "", "fr-ca", none);
    EXPECT_EQ(BrxMessageFile::catalogReadCount() - reads, 3); // fr-fr: "fr", none; de-de: none
    EXPECT_EQ(ResourceMapSize(), 4);
    EXPECT_EQ(load("No", "", 0x12345678), "Message 0x12345678: catalog \"Nomsgs\" not found");
}

TEST_F(ResourceAccessTest, ConcurrentFetchesGetTheirOwnTexts) {
    std::vector<std::thread> threads;
    for (std::uint32_t t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (std::uint32_t i = t; i < t + 2000; ++i) {
                ASSERT_EQ(load("X", i % 4 ? "de-at" : "", 1 + i % 2), i % 2 ? "two" : "one");
                ASSERT_STREQ(AUT_ResourceGetString(0xF7C73265u).c_str(), "yes");
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
}

} // namespace
