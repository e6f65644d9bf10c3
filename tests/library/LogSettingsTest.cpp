// The logging settings of section "Logging": limits with their clamps and range errors, the log
// file name with its validation and default, and when the writer picks changes up.
#include "AUTUserConfiguration.h"
#include "AutTestSupport.h"
#include "Table.h"
#include "UTI_LogFile.h"

#include <regex>
#include <unistd.h>

namespace {

using L = AUT_I_LogFile;

AUT_RefPtr<AUT_I_UserConfiguration> Settings() {
    return AUT_I_UserConfiguration::Create(AUT_I_UserConfiguration::kRootKeyCurrentUser);
}

using LogSettingsTest = auttest::InitializedTest;

TEST_F(LogSettingsTest, LimitsAreClampedAndSettersCheckTheirRanges) {
    for (const auto& row : auttest::ReadTable("LogSettingsTest-limits.tsv", 5)) {
        SCOPED_TRACE(row[0] + " " + row[1]);
        const bool lines = row[0] == "LineCountPerLogFile";
        const auto get = lines ? L::GetLogFileLineCountLimit : L::GetLogFileFileCountLimit;
        const auto set = lines ? L::SetLogFileLineCountLimit : L::SetLogFileFileCountLimit;
        const unsigned long value = std::stoul(row[1] == "-" ? row[2] : row[1]);
        if (row[1] != "-") {
            Settings()->SetInt("Logging", row[0].c_str(), value);
        }
        EXPECT_EQ(get(), std::stoul(row[2]));
        const auttest::Thrown thrown = auttest::Catch([&] { set(value); });
        EXPECT_EQ(Settings()->GetString("Logging", row[0].c_str(), "-") == "-", row[1] == "-");
        EXPECT_EQ(thrown.code, std::stol(row[3]));
        EXPECT_EQ(get(), thrown.code == -1 ? value : std::stoul(row[2]));
        EXPECT_EQ(thrown.number, std::stoul(row[4], nullptr, 16));
        EXPECT_EQ(thrown.parameters, auttest::Row(row.begin() + 5, row.end()));
    }
}

TEST_F(LogSettingsTest, NamesGetTheirDirectoriesMadeOrFallBackToTheDefault) {
    // The default is made in the installation when missing.
    ASSERT_EQ(rmdir(logsDir().c_str()), 0);
    EXPECT_EQ(std::string(L::GetConfigurationDefaultLogFileName().c_str()),
              binDir() + "/../logs/Orq.log");
    EXPECT_EQ(access((logsDir() + "/.").c_str(), F_OK), 0); // a directory
    const std::string stored = root().path() + "/deep/er/app.log";
    Settings()->SetString("Logging", "LogFileName", stored.c_str());
    EXPECT_EQ(std::string(L::GetLogFileName().c_str()), stored);
    EXPECT_EQ(access((root().path() + "/deep/er/.").c_str(), F_OK), 0);
    // Unusable names fall back to the default, or are refused when their files would be cut
    // short; the setter refuses them all.
    const std::string file = root().writeFile("plain", "not a directory");
    for (const auto& row : auttest::ReadTable("LogSettingsTest-names.tsv", 2)) {
        const std::string name =
            std::regex_replace(std::regex_replace(row[0], std::regex("\\{root\\}"), root().path()),
                               std::regex("\\{file\\}"), file);
        SCOPED_TRACE(name);
        Settings()->SetString("Logging", "LogFileName", name.c_str());
        std::string read = "704";
        EXPECT_EQ(auttest::Catch([&] { read = L::GetLogFileName().c_str(); }).code,
                  row[1] == "704" ? 704 : -1);
        EXPECT_EQ(read, row[1] == "704" ? "704" : binDir() + "/../logs/Orq.log");
        const auttest::Thrown thrown = auttest::Catch([&] { L::SetLogFileName(name.c_str()); });
        EXPECT_EQ(thrown.code, 704);
        EXPECT_EQ(thrown.number, 0x7212F1B2u);
        EXPECT_EQ(thrown.parameter(), name);
    }
}

// The writer in file mode keeps its limits and name until its name is reset.
class LogSettingsWriterTest : public auttest::FileModeTest {
protected:
    static std::size_t LogAndCount(int records) {
        AUT_RefPtr<AUT_I_LogFile> log = L::Create("Comp");
        for (int i = 0; i < records; ++i) {
            log->Log(L::kLogLevelTrace1, "record");
        }
        std::vector<I18NString> names;
        L::GetLogFileNames(names, true);
        return names.size();
    }
};

TEST_F(LogSettingsWriterTest, LimitAndNameHoldUntilTheNameIsReset) {
    Start({{"LineCountPerLogFile", "1000"}});
    EXPECT_EQ(LogAndCount(1500), 2u);
    L::SetLogFileLineCountLimit(2000);
    EXPECT_EQ(LogAndCount(1500), 3u); // still rotating after 1001 records
    // A new name starts another list of files, with the new limit.
    L::SetLogFileName((logsDir() + "/other.log").c_str());
    EXPECT_EQ(LogAndCount(1500), 1u);
    std::vector<I18NString> names;
    L::GetLogFileNames(names, true);
    EXPECT_EQ(std::string(names.at(0).c_str()).rfind(logsDir() + "/other_", 0), 0u);
}

} // namespace
