// The logging settings of section "Logging": limits with their clamps and range errors, the log
// file name with its validation and default, and when the writer picks changes up.
#include "AUTInitialize.h"
#include "AUTUserConfiguration.h"
#include "AutTestSupport.h"
#include "ReliabilitySupport.h"
#include "UTException.h"
#include "UTI_LogFile.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace {

using L = AUT_I_LogFile;

AUT_RefPtr<AUT_I_UserConfiguration> Settings() {
    return AUT_I_UserConfiguration::Create(AUT_I_UserConfiguration::kRootKeyCurrentUser);
}

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Error code, message number and parameters of a thrown AUT_Exception.
struct Failure {
    long code = 0;
    std::uint32_t message = 0;
    std::vector<std::string> parameters;
};

template <class Call> Failure FailureOf(Call call) {
    Failure failure;
    try {
        call();
    } catch (const AUT_Exception& exception) {
        failure.code = exception.getErrorCode();
        const auto* message = dynamic_cast<const BrxMessageComponents*>(
            &exception.messageAt(exception.messageCount() - 1));
        if (message != nullptr) {
            failure.message = message->getMessageNumber();
            for (const I18NString& parameter : message->getParameters()) {
                failure.parameters.emplace_back(parameter.c_str());
            }
        }
    }
    return failure;
}

class LogSettingsTest : public auttest::InstallationTest {
protected:
    void SetUp() override {
        InstallationTest::SetUp();
        root().writeFile("configuration/OrqConfig.xml", "<OrqConfig/>");
        ASSERT_EQ(AUT_Initialize("LogSettingsTest"), 0);
    }
    void TearDown() override {
        AUT_Terminate("LogSettingsTest");
        InstallationTest::TearDown();
    }
};

TEST_F(LogSettingsTest, LineCountLimitIsClamped) {
    EXPECT_EQ(L::GetLogFileLineCountLimit(), 10000u); // nothing stored
    const std::pair<unsigned long, unsigned long> cases[] = {{0, 1000},
                                                             {999, 1000},
                                                             {1000, 1000},
                                                             {1001, 1001},
                                                             {4000000000, 4000000000},
                                                             {4000000001, 4000000000},
                                                             {4294967295, 4000000000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        Settings()->SetInt("Logging", "LineCountPerLogFile", c.first);
        EXPECT_EQ(L::GetLogFileLineCountLimit(), c.second);
    }
}

TEST_F(LogSettingsTest, FileCountLimitIsClamped) {
    EXPECT_EQ(L::GetLogFileFileCountLimit(), 100u);
    const std::pair<unsigned long, unsigned long> cases[] = {
        {0, 100}, {50, 100}, {100, 100}, {101, 101}, {10000, 10000}, {20000, 10000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        Settings()->SetInt("Logging", "LogFileCount", c.first);
        EXPECT_EQ(L::GetLogFileFileCountLimit(), c.second);
    }
}

TEST_F(LogSettingsTest, LimitSettersCheckTheirRanges) {
    struct Case {
        bool lines;
        unsigned long value;
        long code; // 0: accepted
    };
    const Case cases[] = {{true, 999, 702},        {true, 1000, 0},    {true, 4000000000, 0},
                          {true, 4000000001, 702}, {false, 99, 703},   {false, 100, 0},
                          {false, 10000, 0},       {false, 10001, 703}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.value) + (c.lines ? " lines" : " files"));
        const Failure failure = FailureOf([&] {
            if (c.lines) {
                L::SetLogFileLineCountLimit(c.value);
            } else {
                L::SetLogFileFileCountLimit(c.value);
            }
        });
        EXPECT_EQ(failure.code, c.code);
        if (c.code == 0) {
            EXPECT_EQ(c.lines ? L::GetLogFileLineCountLimit() : L::GetLogFileFileCountLimit(),
                      c.value);
            continue;
        }
        const std::vector<std::string> expected =
            c.lines ? std::vector<std::string>{std::to_string(c.value), "1000", "4000000000"}
                    : std::vector<std::string>{std::to_string(c.value), "100", "10000"};
        EXPECT_EQ(failure.message, c.lines ? 0x7217A829u : 0x721F9028u);
        EXPECT_EQ(failure.parameters, expected);
    }
}

TEST_F(LogSettingsTest, SettingTheEffectiveLimitStoresNothing) {
    L::SetLogFileLineCountLimit(10000);
    L::SetLogFileFileCountLimit(100);
    // SetInt would have created the entries (with empty text).
    EXPECT_EQ(Settings()->GetString("Logging", "LineCountPerLogFile", "absent"), "absent");
    EXPECT_EQ(Settings()->GetString("Logging", "LogFileCount", "absent"), "absent");
    L::SetLogFileLineCountLimit(2000);
    EXPECT_EQ(Settings()->GetString("Logging", "LineCountPerLogFile", "absent"), "");
    EXPECT_EQ(Settings()->GetInt("Logging", "LineCountPerLogFile", 0), 2000u);
}

TEST_F(LogSettingsTest, DefaultLogFileNameIsInTheLogsDirectory) {
    ASSERT_EQ(rmdir(logsDir().c_str()), 0);
    const std::string expected = binDir() + "/../logs/Orq.log";
    EXPECT_EQ(std::string(L::GetLogFileName().c_str()), expected);
    EXPECT_TRUE(IsDirectory(logsDir()));
    EXPECT_EQ(std::string(L::GetConfigurationDefaultLogFileName().c_str()), expected);
}

TEST_F(LogSettingsTest, StoredNameGetsItsDirectoriesMade) {
    const std::string name = root().path() + "/deep/er/app.log";
    Settings()->SetString("Logging", "LogFileName", name.c_str());
    EXPECT_EQ(std::string(L::GetLogFileName().c_str()), name);
    EXPECT_TRUE(IsDirectory(root().path() + "/deep/er"));
}

TEST_F(LogSettingsTest, UnusableStoredNamesFallBackToTheDefault) {
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
        const Failure failure = FailureOf([&] { L::SetLogFileName(name.c_str()); });
        EXPECT_EQ(failure.code, 704);
        EXPECT_EQ(failure.message, 0x7212F1B2u);
        EXPECT_EQ(failure.parameters,
                  name.empty() ? std::vector<std::string>{} : std::vector<std::string>{name});
    }
}

TEST_F(LogSettingsTest, SetLogFileNameStoresANewName) {
    const std::string name = logsDir() + "/new.log";
    L::SetLogFileName(name.c_str());
    EXPECT_EQ(std::string(Settings()->GetString("Logging", "LogFileName", "").c_str()), name);
    EXPECT_EQ(std::string(L::GetLogFileName().c_str()), name);
}

// The writer in file mode keeps its limits until the next full initialization.
class LogSettingsWriterTest : public auttest::InstallationTest {
protected:
    void SetUp() override {
        InstallationTest::SetUp();
        root().writeFile("configuration/OrqConfig.xml",
                         reliability::FileModeConfiguration(logsDir() + "/w.log",
                                                            {{"LineCountPerLogFile", "1000"}}));
        ASSERT_EQ(AUT_Initialize("LogSettingsTest"), 0);
    }
    void TearDown() override {
        AUT_Terminate("LogSettingsTest");
        InstallationTest::TearDown();
    }

    static std::size_t CreatedFiles() {
        std::vector<I18NString> names{"kept"};
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
    LogRecords(1);
    L::SetLogFileName((logsDir() + "/w.log").c_str());
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
