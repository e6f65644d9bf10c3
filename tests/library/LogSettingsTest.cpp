// The logging settings of section "Logging": limits with their clamps and range errors, the log
// file name with its validation and default, and when the writer picks changes up.
#include "AUTUserConfiguration.h"
#include "AutTestSupport.h"
#include "Table.h"
#include "UTI_LogFile.h"

#include <sys/stat.h>

namespace {

using L = AUT_I_LogFile;
using auttest::Catch;

AUT_RefPtr<AUT_I_UserConfiguration> Settings() {
    return AUT_I_UserConfiguration::Create(AUT_I_UserConfiguration::kRootKeyCurrentUser);
}

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

using LogSettingsTest = auttest::InitializedTest;

TEST_F(LogSettingsTest, LimitsAreClampedAndSettersCheckTheirRanges) {
    const auto get = [](const std::string& entry) {
        return entry == "LogFileCount" ? L::GetLogFileFileCountLimit()
                                       : L::GetLogFileLineCountLimit();
    };
    const auto set = [](const std::string& entry, unsigned long value) {
        entry == "LogFileCount" ? L::SetLogFileFileCountLimit(value)
                                : L::SetLogFileLineCountLimit(value);
    };
    // Nothing stored: the defaults, and setting them stores nothing either.
    for (const auto& limit :
         {std::make_pair("LineCountPerLogFile", 10000), std::make_pair("LogFileCount", 100)}) {
        EXPECT_EQ(get(limit.first), limit.second);
        set(limit.first, limit.second);
        EXPECT_EQ(Settings()->GetString("Logging", limit.first, "absent"), "absent");
    }
    for (const auto& row : auttest::ReadTable("LogSettingsTest-limits.tsv", 4)) {
        SCOPED_TRACE(row[0] + " " + row[1]);
        const unsigned long value = std::stoul(row[1]);
        Settings()->SetInt("Logging", row[0].c_str(), value);
        EXPECT_EQ(get(row[0]), std::stoul(row[2]));
        const auttest::Thrown thrown = Catch([&] { set(row[0], value); });
        EXPECT_EQ(thrown.code, row[3] == "0" ? -1 : std::stol(row[3]));
        EXPECT_EQ(get(row[0]), row[3] == "0" ? value : std::stoul(row[2]));
        EXPECT_EQ(thrown.number, row[3] == "0" ? 0 : std::stoul(row[4], nullptr, 16));
        EXPECT_EQ(thrown.parameters,
                  auttest::Row(row.begin() + std::min<std::size_t>(5, row.size()), row.end()));
    }
}

TEST_F(LogSettingsTest, NamesGetTheirDirectoriesMade) {
    const std::string name = root().path() + "/deep/er/app.log";
    Settings()->SetString("Logging", "LogFileName", name.c_str());
    EXPECT_EQ(std::string(L::GetLogFileName().c_str()), name);
    EXPECT_TRUE(IsDirectory(root().path() + "/deep/er"));
    L::SetLogFileName((root().path() + "/new/app.log").c_str());
    EXPECT_EQ(Settings()->GetString("Logging", "LogFileName", ""),
              (root().path() + "/new/app.log").c_str());
    EXPECT_TRUE(IsDirectory(root().path() + "/new"));
}

TEST_F(LogSettingsTest, UnusableNamesFallBackToTheDefaultAndAreRefused) {
    // The default is made in the installation when missing.
    ASSERT_EQ(rmdir(logsDir().c_str()), 0);
    EXPECT_EQ(std::string(L::GetConfigurationDefaultLogFileName().c_str()),
              binDir() + "/../logs/Orq.log");
    EXPECT_TRUE(IsDirectory(logsDir()));
    const std::string file = root().writeFile("plain", "not a directory");
    for (const std::string& name : {
             std::string(),                      // empty
             std::string("app.log"),             // no directory to check
             root().path() + "/bad\x01name.log", // forbidden character
             file + "/sub/app.log",              // a directory that cannot be made
             root().path() + "/.hidden/app.log", // a level without a name before its dot
         }) {
        SCOPED_TRACE(name);
        Settings()->SetString("Logging", "LogFileName", name.c_str());
        EXPECT_EQ(std::string(L::GetLogFileName().c_str()), binDir() + "/../logs/Orq.log");
        const auttest::Thrown thrown = Catch([&] { L::SetLogFileName(name.c_str()); });
        EXPECT_EQ(thrown.code, 704);
        EXPECT_EQ(thrown.number, 0x7212F1B2u);
        EXPECT_EQ(thrown.parameter(), name);
    }
}

// The writer in file mode keeps its limits and name until the next reset.
class LogSettingsWriterTest : public auttest::FileModeTest {
protected:
    static std::size_t LogAndCount(int records) {
        AUT_RefPtr<AUT_I_LogFile> log = L::Create("Comp");
        for (int i = 0; i < records; ++i) {
            log->Log(L::kLogLevelTrace1, "record");
        }
        std::vector<I18NString> names{"kept"}; // appended to, not cleared
        L::GetLogFileNames(names, false);
        EXPECT_EQ(names.front(), "kept");
        return names.size() - 1;
    }
};

TEST_F(LogSettingsWriterTest, NewLimitWaitsForReset) {
    Start({{"LineCountPerLogFile", "1000"}});
    EXPECT_EQ(LogAndCount(1500), 2u);
    L::SetLogFileLineCountLimit(2000);
    EXPECT_EQ(LogAndCount(1500), 3u); // still rotating after 1001 records
    L::Reset();                       // forgets the files made so far
    EXPECT_EQ(LogAndCount(1500), 1u);
}

TEST_F(LogSettingsWriterTest, SameNameKeepsTheFileAndANewNameStartsAnother) {
    Start();
    EXPECT_EQ(LogAndCount(1), 1u);
    L::SetLogFileName(logFileName().c_str());
    EXPECT_EQ(LogAndCount(0), 1u);
    L::SetLogFileName((logsDir() + "/other.log").c_str());
    EXPECT_EQ(LogAndCount(1), 1u);
    std::vector<I18NString> names;
    L::GetLogFileNames(names, true);
    EXPECT_EQ(std::string(names.at(0).c_str()).rfind(logsDir() + "/other_", 0), 0u);
}

} // namespace
