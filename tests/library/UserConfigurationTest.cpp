// The default user configuration: every read and write goes to the engine configuration store.
#include "AUTConfiguration.h"
#include "AUTInitialize.h"
#include "AUTUserConfiguration.h"
#include "AutTestSupport.h"

#include <string>

namespace {

class UserConfiguration : public auttest::InstallationTest {
protected:
    void SetUp() override {
        InstallationTest::SetUp();
        root().writeFile("configuration/OrqConfig.xml",
                         "<OrqConfig><Engine><section name='Logging'>"
                         "<entry name='LogFileName' value='engine.log'/>"
                         "<entry name='LogLevel' value='4'/>"
                         "</section></Engine></OrqConfig>");
        ASSERT_EQ(AUT_Initialize("test"), 0);
    }
    void TearDown() override {
        AUT_Terminate("test");
        InstallationTest::TearDown();
    }
};

std::string narrow(const I18NString& text) {
    return text.c_str();
}

const I18NString kLogging("Logging");

TEST_F(UserConfiguration, EitherRootKeyReadsTheStore) {
    for (auto rootKey : {AUT_I_UserConfiguration::kRootKeyLocalMachine,
                         AUT_I_UserConfiguration::kRootKeyCurrentUser}) {
        SCOPED_TRACE(rootKey);
        AUT_RefPtr<AUT_I_UserConfiguration> settings = AUT_I_UserConfiguration::Create(rootKey);
        ASSERT_TRUE(settings);
        EXPECT_EQ(settings.useCount(), 1UL);
        EXPECT_NE(dynamic_cast<AUT_UserConfiguration*>(settings.get()), nullptr);
        EXPECT_EQ(narrow(settings->GetString(kLogging, I18NString("LogFileName"),
                                             I18NString("default.log"))),
                  "engine.log");
        EXPECT_EQ(
            narrow(settings->GetString(kLogging, I18NString("Missing"), I18NString("default.log"))),
            "default.log");
        EXPECT_EQ(settings->GetInt(kLogging, I18NString("LogLevel"), 9), 4UL);
        EXPECT_EQ(settings->GetInt(I18NString("Missing"), I18NString("LogLevel"), 9), 9UL);
    }
}

TEST_F(UserConfiguration, WritesAreSharedThroughTheStore) {
    auto writer = AUT_I_UserConfiguration::Create(AUT_I_UserConfiguration::kRootKeyCurrentUser);
    auto reader = AUT_I_UserConfiguration::Create(AUT_I_UserConfiguration::kRootKeyLocalMachine);
    writer->SetString(kLogging, I18NString("LogFileName"), I18NString("mine.log"));
    writer->SetInt(kLogging, I18NString("LineCount"), 500);

    EXPECT_EQ(narrow(reader->GetString(kLogging, I18NString("LogFileName"), I18NString())),
              "mine.log");
    AUT_I_Configuration* store = AUT_I_Configuration::GetConfiguration();
    EXPECT_EQ(narrow(store->GetString(I18NString("Orq"), kLogging, I18NString("LogFileName"),
                                      I18NString())),
              "mine.log");
    EXPECT_EQ(store->GetInt(I18NString("Orq"), kLogging, I18NString("LineCount"), 0), 500UL);

    // The store's rule for empty names holds through the forwarder.
    writer->SetString(kLogging, I18NString(), I18NString("lost"));
    EXPECT_EQ(narrow(reader->GetString(kLogging, I18NString(), I18NString("default"))), "default");
}

TEST_F(UserConfiguration, DeletionsChangeNothing) {
    auto settings = AUT_I_UserConfiguration::Create(AUT_I_UserConfiguration::kRootKeyCurrentUser);
    settings->DeleteEntry(kLogging, I18NString("LogFileName"));
    settings->DeleteSection(kLogging);
    EXPECT_EQ(narrow(settings->GetString(kLogging, I18NString("LogFileName"), I18NString())),
              "engine.log");
}

TEST_F(UserConfiguration, BaseNamesComeFromTheStore) {
    EXPECT_EQ(narrow(AUT_I_UserConfiguration::GetBaseRenditionCompanyName()), "Morvex");
    EXPECT_EQ(narrow(AUT_I_UserConfiguration::GetBaseRenditionName()), "");
    EXPECT_EQ(narrow(AUT_I_UserConfiguration::GetProductName()), "Orq");

    AUT_Terminate("test");
    root().writeFile("configuration/OrqConfig.xml", "<r company='Acme' rendition='Gold'/>");
    ASSERT_EQ(AUT_Initialize("test"), 0);
    EXPECT_EQ(narrow(AUT_I_UserConfiguration::GetBaseRenditionCompanyName()), "Acme");
    EXPECT_EQ(narrow(AUT_I_UserConfiguration::GetBaseRenditionName()), "Gold");
    EXPECT_EQ(narrow(AUT_I_UserConfiguration::GetProductName()), "Orq");
}

} // namespace
