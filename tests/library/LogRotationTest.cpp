// Rotation of the log files: names by date and sequence number, which existing names count,
// pruning to the file count limit, the list of created files, and failures to create a file.
#include "AUTInitialize.h"
#include "AUTUserConfiguration.h"
#include "AutTestSupport.h"
#include "ReliabilitySupport.h"
#include "UTException.h"
#include "UTI_LogFile.h"
#include "UTLogFile.h"
#include "UTLogFileInternal.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using L = AUT_I_LogFile;

std::string DateOffset(int days) {
    const std::time_t t = std::time(nullptr) + static_cast<std::time_t>(days) * 86400;
    std::tm local{};
    localtime_r(&t, &local);
    char text[16];
    std::strftime(text, sizeof(text), "%Y%m%d", &local);
    return text;
}

std::string Name(const std::string& date, int sequence) {
    char digits[8];
    std::snprintf(digits, sizeof(digits), "%04d", sequence);
    return "app_" + date + "_" + digits + ".log";
}

class LogRotationTest : public auttest::InstallationTest {
protected:
    void SetUp() override {
        InstallationTest::SetUp();
        f_today = DateOffset(0);
        f_yesterday = DateOffset(-1);
    }
    void TearDown() override {
        if (f_started) {
            AUT_Terminate("LogRotationTest");
        }
        InstallationTest::TearDown();
    }

    void Start(const reliability::Entries& extra = {}) {
        root().writeFile("configuration/OrqConfig.xml",
                         reliability::FileModeConfiguration(logsDir() + "/app.log", extra));
        ASSERT_EQ(AUT_Initialize("LogRotationTest"), 0);
        f_started = true;
    }

    void Touch(const std::string& name) { root().writeFile("logs/" + name, ""); }

    std::set<std::string> Present() const {
        std::set<std::string> names;
        if (DIR* dir = opendir(logsDir().c_str())) {
            while (dirent* entry = readdir(dir)) {
                if (entry->d_name[0] != '.') {
                    names.insert(entry->d_name);
                }
            }
            closedir(dir);
        }
        return names;
    }

    void Clear() {
        for (const std::string& name : Present()) {
            std::remove((logsDir() + "/" + name).c_str());
        }
    }

    // Bare names of the files created since the last reset, oldest first.
    static std::vector<std::string> Created() {
        std::vector<I18NString> paths;
        L::GetLogFileNames(paths, true);
        std::vector<std::string> names;
        for (const I18NString& path : paths) {
            const std::string text = path.c_str();
            names.push_back(text.substr(text.rfind('/') + 1));
        }
        return names;
    }

    std::string f_today;
    std::string f_yesterday;
    bool f_started = false;
};

TEST_F(LogRotationTest, SequenceNumberFollowsTodaysFiles) {
    Start();
    struct Case {
        const char* what;
        std::vector<std::string> present;
        std::string created;
    };
    const std::string tomorrow = DateOffset(1);
    const Case cases[] = {
        {"empty", {}, Name(f_today, 1)},
        {"only yesterday's", {Name(f_yesterday, 1), Name(f_yesterday, 5)}, Name(f_today, 1)},
        {"today's after older days",
         {Name(f_today, 1), Name(f_today, 3), Name(f_today, 2), Name(f_yesterday, 7)},
         Name(f_today, 4)},
        {"wrap after 9999", {Name(f_today, 9999), Name(f_yesterday, 3)}, Name(f_today, 1)},
        {"malformed names do not count",
         {Name(f_today, 2), "app_" + f_today.substr(0, 7) + "X_0007.log",
          "app_" + f_today + "_00a7.log", Name(tomorrow, 5), "app_" + f_today + "_0009.log.bak",
          "app_" + f_today + "_\xD9\xA0\xD9\xA0\xD9\xA0\xD9\xA7.log"},
         Name(f_today, 3)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Clear();
        for (const std::string& name : c.present) {
            Touch(name);
        }
        L::Reset();
        L::Create("Comp")->Log(L::kLogLevelTrace1, "x");
        EXPECT_EQ(Created(), std::vector<std::string>{c.created});
        std::set<std::string> expected(c.present.begin(), c.present.end());
        expected.insert(c.created);
        EXPECT_EQ(Present(), expected);
    }
}

TEST_F(LogRotationTest, ExistingTargetFailsTheCreation) {
    Start();
    Touch(Name(f_today, 9999));
    Touch(Name(f_today, 1));
    try {
        L::Create("Comp");
        FAIL() << "no exception";
    } catch (const AUT_Exception& exception) {
        EXPECT_EQ(exception.getErrorCode(), 800); // the open's own code
        ASSERT_GE(exception.messageCount(), 2u);
        const auto& added = dynamic_cast<const BrxMessageComponents&>(
            exception.messageAt(exception.messageCount() - 1));
        EXPECT_EQ(added.getMessageNumber(), 0x721C44D1u);
        ASSERT_EQ(added.getParameters().size(), 1u);
        EXPECT_EQ(std::string(added.getParameters()[0].c_str()),
                  logsDir() + "/" + Name(f_today, 1));
    }
    EXPECT_TRUE(Created().empty());
    EXPECT_EQ(auttest::readFile(logsDir() + "/" + Name(f_today, 1)), ""); // not touched
}

TEST_F(LogRotationTest, PruningKeepsOneMoreThanTheLimitWhenItWasReached) {
    Start();
    // Dated long ago, so that the new file sorts last; the oldest are the lowest numbers.
    const std::string old = "20200101";
    const struct {
        int present;
        int remaining;
        int firstKept;
    } cases[] = {{99, 100, 1}, {100, 101, 1}, {101, 100, 3}, {150, 100, 52}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.present);
        Clear();
        for (int i = 1; i <= c.present; ++i) {
            Touch(Name(old, i));
        }
        // Not of the family: never deleted.
        Touch("app_2020010X_0001.log");
        Touch("other_20200101_0001.log");
        L::Reset();
        L::Create("Comp");
        std::set<std::string> present = Present();
        EXPECT_EQ(present.erase("app_2020010X_0001.log"), 1u);
        EXPECT_EQ(present.erase("other_20200101_0001.log"), 1u);
        EXPECT_EQ(present.size(), static_cast<std::size_t>(c.remaining));
        EXPECT_EQ(present.count(Name(old, c.firstKept)), 1u);
        EXPECT_EQ(present.count(Name(old, c.firstKept - 1)), 0u);
        EXPECT_EQ(present.count(Name(f_today, 1)), 1u);
    }
}

TEST_F(LogRotationTest, CreatedFilesAreListedUntilTheNameIsReset) {
    Start({{"LineCountPerLogFile", "1000"}});
    AUT_RefPtr<AUT_I_LogFile> log = L::Create("Comp");
    for (int i = 0; i < 2003; ++i) {
        log->Log(L::kLogLevelTrace1, "r");
    }
    const std::vector<std::string> expected = {Name(f_today, 1), Name(f_today, 2),
                                               Name(f_today, 3)};
    EXPECT_EQ(Created(), expected);
    std::vector<I18NString> names{"first"};
    L::GetLogFileNames(names, false);
    EXPECT_EQ(names.size(), 4u);
    AUT_LogFile::ResetLogFileName();
    EXPECT_TRUE(Created().empty());
    log->Log(L::kLogLevelTrace1, "dropped: no file until the next log object");
    EXPECT_EQ(Present().size(), 3u);
}

TEST_F(LogRotationTest, FailedRotationClosesTheFileAndLaterRecordsAreDropped) {
    Start({{"LineCountPerLogFile", "1000"}});
    AUT_RefPtr<AUT_I_LogFile> log = L::Create("Comp");
    for (int i = 0; i < 1001; ++i) {
        log->Log(L::kLogLevelTrace1, "r");
    }
    // The directory becomes a plain file: the next file cannot be made.
    Clear();
    ASSERT_EQ(rmdir(logsDir().c_str()), 0);
    root().writeFile("logs", "");
    long code = 0;
    try {
        log->Log(L::kLogLevelTrace1, "rotates");
    } catch (const AUT_Exception& exception) {
        code = exception.getErrorCode();
    }
    EXPECT_EQ(code, 800);
    EXPECT_NO_THROW(log->Log(L::kLogLevelTrace1, "dropped"));
    EXPECT_EQ(Created().size(), 1u);
}

TEST_F(LogRotationTest, LogDirectoryThatCannotBeCreated) {
    root().writeFile("configuration/OrqConfig.xml", "<OrqConfig/>");
    ASSERT_EQ(AUT_Initialize("LogRotationTest"), 0);
    f_started = true;
    AUT_I_UserConfiguration::Create(AUT_I_UserConfiguration::kRootKeyCurrentUser)
        ->SetInt("Logging", "UseIPFLogging", 0);
    // The default log directory lies below a plain file.
    const std::string file = root().writeFile("plain", "");
    setenv("ORQ_BIN_DIR", (file + "/bin").c_str(), 1);
    for (int attempt = 0; attempt < 2; ++attempt) {
        SCOPED_TRACE(attempt);
        long code = 0;
        try {
            L::Create("Comp");
        } catch (const AUT_Exception& exception) {
            code = exception.getErrorCode();
        }
        EXPECT_EQ(code, 800);
    }
    EXPECT_TRUE(Created().empty());
}

TEST(LogRotationPredicates, FileNameShape) {
    const std::string today = DateOffset(0);
    const struct {
        unsigned long base;
        std::string name;
        bool valid;
    } cases[] = {
        {3, "app_20200101_0001.log", true},
        {3, "app_20200101_0001", true},
        {3, "app_" + today + "_9999.txt", true},
        {3, "xyz-20200101-0001.log", true}, // base and separators are not looked at
        {3, "app_" + DateOffset(1) + "_0001.log", false},
        {3, "app_99991231_0001.log", false},
        {3, "app_2020O101_0001.log", false},
        {3, "app_20200101_000l.log", false},
        {3, "app_20200101_00001.log", false},
        {3, "app_20200101_001.log", false},
        {3, "app_\xD9\xA2\xD9\xA0\xD9\xA2\xD9\xA0\xD9\xA0\xD9\xA1\xD9\xA0\xD9\xA1_0001.log", false},
        {3, "/logs/app_20200101_0001.log", false}, // positions count from the path's start
        {3, "", false},
        {0, "_20200101_0001.log", true},
        {4294967295UL, "app_20200101_0001.log", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(AUT_PredicateLogFileNameIsValid(c.base, 8, 4)(c.name.c_str()), c.valid);
    }
}

TEST(LogRotationPredicates, CaseInsensitiveOrder) {
    const AUT_PredicateStringCompare less("");
    const struct {
        const char* left;
        const char* right;
        bool before;
    } cases[] = {{"a", "B", true},          {"B", "a", false}, {"APP", "app", false},
                 {"app", "APP", false},     {"_", "a", true},  {"_", "A", true},
                 {"app_1", "app_10", true}, {"", "a", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.left) + " < " + c.right);
        EXPECT_EQ(less(c.left, c.right), c.before);
    }
    EXPECT_TRUE(AUT_PredicateStringCompare("App")("aPP"));
    EXPECT_FALSE(AUT_PredicateStringCompare("App")("Ap"));
}

TEST(LogRotationPredicates, RemoveFileFromDirectorySkipsWhatItCannotRemove) {
    auttest::TempDir dir;
    dir.writeFile("x.log", "");
    const AUT_PredicateRemoveFileFromDirectory removeFile((dir.path() + "/").c_str());
    removeFile("/elsewhere/x.log");
    EXPECT_NE(access(dir.file("x.log").c_str(), F_OK), 0);
    EXPECT_NO_THROW(removeFile("x.log"));
}

TEST_F(LogRotationTest, NamePartsFromTheClockAndTheSequence) {
    Start();
    EXPECT_EQ(std::string(LogFileTestAccess::GetDate().c_str()), f_today);
    const std::pair<unsigned long, const char*> sequences[] = {
        {1, "0001"}, {42, "0042"}, {999, "0999"}, {9999, "9999"}};
    for (const auto& s : sequences) {
        EXPECT_EQ(std::string(LogFileTestAccess::GenerateSequenceString(s.first).c_str()),
                  s.second);
    }
    LogFileTestAccess::SetLogBaseName("app");
    EXPECT_EQ(LogFileTestAccess::GetLastSequenceNumber(Name(f_today, 42).c_str()), 42u);
    EXPECT_EQ(LogFileTestAccess::GetLastSequenceNumber(Name(f_yesterday, 42).c_str()), 0u);
    std::vector<I18NString> names = {Name(f_today, 1).c_str(), "app_x.log",
                                     Name(f_yesterday, 2).c_str(), "ap_20200101_0001.log"};
    LogFileTestAccess::FilterExistingLogFileNames(names);
    EXPECT_EQ(names,
              (std::vector<I18NString>{Name(f_today, 1).c_str(), Name(f_yesterday, 2).c_str()}));
}

} // namespace
