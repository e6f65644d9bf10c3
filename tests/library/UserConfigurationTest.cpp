// The default user configuration keeps its settings in the engine configuration store, under
// the default component, for either root key; deleting is not offered there.
#include "AUTConfiguration.h"
#include "AUTInitialize.h"
#include "AUTUserConfiguration.h"
#include "AutTestSupport.h"

#include <string>

namespace {

using UserConfiguration = auttest::InstallationTest;

TEST_F(UserConfiguration, EitherRootKeyUsesTheDefaultComponentOfTheStore) {
    root().writeFile("configuration/OrqConfig.xml",
                     "<OrqConfig company='Acme' rendition='Gold'><Engine><section name='Logging'>"
                     "<entry name='LogLevel' value='4'/></section></Engine></OrqConfig>");
    ASSERT_EQ(AUT_Initialize("test"), 0);
    auto writer = AUT_I_UserConfiguration::Create(AUT_I_UserConfiguration::kRootKeyCurrentUser);
    auto reader = AUT_I_UserConfiguration::Create(AUT_I_UserConfiguration::kRootKeyLocalMachine);
    writer->SetString("Logging", "LogFileName", "mine.log");
    writer->SetInt("Logging", "LineCount", 500);
    reader->DeleteEntry("Logging", "LogFileName");
    reader->DeleteSection("Logging");
    EXPECT_EQ(std::string(reader->GetString("Logging", "LogFileName", "").c_str()), "mine.log");
    EXPECT_EQ(reader->GetInt("Logging", "LineCount", 0), 500UL);
    EXPECT_EQ(writer->GetInt("Logging", "LogLevel", 0), 4UL);
    AUT_I_Configuration* store = AUT_I_Configuration::GetConfiguration();
    EXPECT_EQ(store->GetInt("Orq", "Logging", "LineCount", 0), 500UL);
    EXPECT_EQ(std::string(AUT_I_UserConfiguration::GetBaseRenditionCompanyName().c_str()), "Acme");
    EXPECT_EQ(std::string(AUT_I_UserConfiguration::GetBaseRenditionName().c_str()), "Gold");
    EXPECT_EQ(std::string(AUT_I_UserConfiguration::GetProductName().c_str()), "Orq");
    EXPECT_EQ(AUT_Terminate("test"), 0);
}

} // namespace
