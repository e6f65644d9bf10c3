// The logging settings of section "Logging": limits with their clamps and range errors, the log
// file name with its validation and default, and when the writer picks changes up.
#include "AUTUserConfiguration.h"
#include "AutTestSupport.h"
#include "Table.h"
#include "UTI_LogFile.h"

#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

using L = AUT_I_LogFile;
using auttest::Catch;

AUT_RefPtr<AUT_I_UserConfiguration> Settings() {
    return AUT_I_UserConfiguration::Create(AUT_I_UserConfiguration::kRootKeyCurrentUser);
}

std::string Stored(const char* entry) {
    return Settings()->GetString("Logging", entry, "absent").c_str();
}

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

using LogSettingsTest = auttest::InitializedTest;

TEST_F(LogSettingsTest, LimitsAreClampedAndSettersCheckTheirRanges) {
    const struct {
        const char* entry;
        unsigned long effective;
        unsigned long (*get)();
        void (*set)(const unsigned long&);
    } limits[] = {
        {"LineCountPerLogFile", 10000, L::GetLogFileLineCountLimit, L::SetLogFileLineCountLimit},
        {"LogFileCount", 100, L::GetLogFileFileCountLimit, L::SetLogFileFileCountLimit}};
    // Nothing stored: the defaults, and setting them stores nothing either.
    for (const auto& limit : limits) {
        EXPECT_EQ(limit.get(), limit.effective);
        limit.set(limit.effective);
        EXPECT_EQ(Stored(limit.entry), "absent");
    }
    for (const auto& row : auttest::ReadTable("LogSettingsTest-limits.tsv", 4)) {
        SCOPED_TRACE(row[0] + " " + row[1]);
        const auto& limit = row[0] == limits[0].entry ? limits[0] : limits[1];
        const unsigned long value = std::stoul(row[1]);
        Settings()->SetInt("Logging", limit.entry, value);
        EXPECT_EQ(limit.get(), std::stoul(row[2]));
        const auttest::Thrown thrown = Catch([&] { limit.set(value); });
        EXPECT_EQ(thrown.code, row[3] == "0" ? -1 : std::stol(row[3]));
        if (thrown.code == -1) {
            EXPECT_EQ(limit.get(), value);
            continue;
        }
        EXPECT_EQ(thrown.number, std::stoul(row[4], nullptr, 16));
        std::string parameters;
        for (const std::string& parameter : thrown.parameters) {
            parameters += (parameters.empty() ? "" : " ") + parameter;
        }
        EXPECT_EQ(parameters, row[5]);
    }
}

TEST_F(LogSettingsTest, DefaultLogFileNameIsInTheLogsDirectory) {
    ASSERT_EQ(rmdir(logsDir().c_str()), 0);
    const std::string expected = binDir() + "/../logs/Orq.log";
    EXPECT_EQ(std::string(L::GetLogFileName().c_str()), expected);
    EXPECT_TRUE(IsDirectory(logsDir()));
    EXPECT_EQ(std::string(L::GetConfigurationDefaultLogFileName().c_str()), expected);
}

TEST_F(LogSettingsTest, StoredNamesGetTheirDirectoriesMade) {
    const std::string name = root().path() + "/deep/er/app.log";
    Settings()->SetString("Logging", "LogFileName", name.c_str());
    EXPECT_EQ(std::string(L::GetLogFileName().c_str()), name);
    EXPECT_TRUE(IsDirectory(root().path() + "/deep/er"));
    const std::string other = root().path() + "/new/app.log";
    L::SetLogFileName(other.c_str());
    EXPECT_EQ(Stored("LogFileName"), other);
    EXPECT_TRUE(IsDirectory(root().path() + "/new"));
}

TEST_F(LogSettingsTest, UnusableNamesFallBackToTheDefaultAndAreRefused) {
    const std::string file = root().writeFile("plain", "not a directory");
    const std::string cases[] = {
        "",                                 // empty
        "app.log",                          // no directory to check
        root().path() + "/bad\x01name.log", // forbidden character
        file + "/sub/app.log",              // a directory that cannot be made
        root().path() + "/.hidden/app.log", // a level without a name before its dot
    };
    for (const std::string& name : cases) {
        SCOPED_TRACE(name);
        Settings()->SetString("Logging", "LogFileName", name.c_str());
        EXPECT_EQ(std::string(L::GetLogFileName().c_str()), binDir() + "/../logs/Orq.log");
        const auttest::Thrown thrown = Catch([&] { L::SetLogFileName(name.c_str()); });
        EXPECT_EQ(thrown.code, 704);
        EXPECT_EQ(thrown.number, 0x7212F1B2u);
        EXPECT_EQ(thrown.parameters,
                  name.empty() ? std::vector<std::string>{} : std::vector<std::string>{name});
    }
}

// The writer in file mode keeps its limits and name until the next reset.
class LogSettingsWriterTest : public auttest::FileModeTest {
protected:
    static std::size_t CreatedFiles() {
        std::vector<I18NString> names{"kept"}; // appended to, not cleared
        L::GetLogFileNames(names, false);
        EXPECT_EQ(names.front(), "kept");
        return names.size() - 1;
    }
    static void LogRecords(int count) {
        AUT_RefPtr<AUT_I_LogFile> log = L::Create("Comp");
        for (int i = 0; i < count; ++i) {
            log->Log(L::kLogLevelTrace1, "record");
        }
    }
};

TEST_F(LogSettingsWriterTest, NewLimitWaitsForReset) {
    Start({{"LineCountPerLogFile", "1000"}});
    LogRecords(1500);
    EXPECT_EQ(CreatedFiles(), 2u);
    L::SetLogFileLineCountLimit(2000);
    LogRecords(1500); // still rotating after 1001 records
    EXPECT_EQ(CreatedFiles(), 3u);
    L::Reset();
    EXPECT_EQ(CreatedFiles(), 0u);
    LogRecords(1500);
    EXPECT_EQ(CreatedFiles(), 1u);
}

TEST_F(LogSettingsWriterTest, SameNameKeepsTheFileAndANewNameStartsAnother) {
    Start();
    LogRecords(1);
    L::SetLogFileName(logFileName().c_str());
    EXPECT_EQ(CreatedFiles(), 1u);
    L::SetLogFileName((logsDir() + "/other.log").c_str());
    EXPECT_EQ(CreatedFiles(), 0u);
    LogRecords(1);
    std::vector<I18NString> names;
    L::GetLogFileNames(names, true);
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(std::string(names[0].c_str()).rfind(logsDir() + "/other_", 0), 0u);
}

} // namespace
