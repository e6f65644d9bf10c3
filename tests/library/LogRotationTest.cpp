// Rotation of the log files: names by date and sequence number, which existing names count,
// pruning to the file count limit, and files that cannot be created.
#include "AutTestSupport.h"
#include "ReliabilitySupport.h"
#include "Table.h"
#include "UTI_LogFile.h"
#include "UTLogFile.h"

#include <cstdio>
#include <ctime>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using L = AUT_I_LogFile;
using Names = std::vector<std::string>;

std::string DateOffset(int days) {
    const std::time_t t = std::time(nullptr) + static_cast<std::time_t>(days) * 86400;
    std::tm local{};
    char text[16];
    return std::string(text, std::strftime(text, sizeof(text), "%Y%m%d", localtime_r(&t, &local)));
}

// A name of the family "<logs>/test.log".
std::string Name(const std::string& date, int sequence) {
    char digits[8];
    std::snprintf(digits, sizeof(digits), "%04d", sequence);
    return "test_" + date + "_" + digits + ".log";
}

class LogRotationTest : public auttest::FileModeTest {
protected:
    std::set<std::string> Present() const {
        std::set<std::string> names;
        for (const std::string& path : reliability::FilesWithPrefix(logsDir(), "")) {
            names.insert(path.substr(path.rfind('/') + 1));
        }
        return names;
    }
    // Leaves exactly `names` (empty files) in the log directory and resets the writer.
    void Refill(const Names& names) {
        for (const std::string& name : Present()) {
            std::remove((logsDir() + "/" + name).c_str());
        }
        for (const std::string& name : names) {
            root().writeFile("logs/" + name, "");
        }
        L::Reset();
    }
    // Bare names of the files created since the last reset, oldest first.
    static Names Created() {
        std::vector<I18NString> created;
        L::GetLogFileNames(created, true);
        Names bare;
        for (const I18NString& path : created) {
            const std::string text = path.c_str();
            bare.push_back(text.substr(text.rfind('/') + 1));
        }
        return bare;
    }

    const std::string f_today = DateOffset(0);
};

TEST_F(LogRotationTest, SequenceNumberFollowsTodaysFiles) {
    Start();
    const std::string yesterday = DateOffset(-1);
    const struct {
        const char* what;
        Names present;
        std::string created;
    } cases[] = {
        {"empty", {}, Name(f_today, 1)},
        {"only yesterday's", {Name(yesterday, 1), Name(yesterday, 5)}, Name(f_today, 1)},
        {"today's after older days",
         {Name(f_today, 1), Name(f_today, 3), Name(f_today, 2), Name(yesterday, 7)},
         Name(f_today, 4)},
        {"wrap after 9999", {Name(f_today, 9999), Name(yesterday, 3)}, Name(f_today, 1)},
        {"malformed names do not count",
         {Name(f_today, 2), "test_" + f_today.substr(0, 7) + "X_0007.log",
          "test_" + f_today + "_00a7.log", Name(DateOffset(1), 5),
          "test_" + f_today + "_0009.log.bak",
          "test_" + f_today + "_\xD9\xA0\xD9\xA0\xD9\xA0\xD9\xA7.log"},
         Name(f_today, 3)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Refill(c.present);
        L::Create("Comp")->Log(L::kLogLevelTrace1, "x");
        EXPECT_EQ(Created(), Names{c.created});
        std::set<std::string> expected(c.present.begin(), c.present.end());
        expected.insert(c.created);
        EXPECT_EQ(Present(), expected);
    }
}

TEST_F(LogRotationTest, FilesThatCannotBeCreatedFailWith800) {
    Start();
    // The next name is taken: an existing file is never written to.
    Refill({Name(f_today, 9999), Name(f_today, 1)});
    const auttest::Thrown taken = auttest::Catch([] { L::Create("Comp"); });
    EXPECT_EQ(taken.code, 800);
    EXPECT_NE(taken.text.find(logsDir() + "/" + Name(f_today, 1)), std::string::npos) << taken.text;
    EXPECT_EQ(auttest::readFile(logsDir() + "/" + Name(f_today, 1)), "");
    // A plain file stands where the log directory should be made, at every attempt.
    Refill({});
    ASSERT_EQ(rmdir(logsDir().c_str()), 0);
    root().writeFile("logs", "");
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_EQ(auttest::Catch([] { L::Create("Comp"); }).code, 800) << attempt;
    }
    EXPECT_TRUE(Created().empty());
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
    // Not of the family: never deleted.
    const Names strangers = {"test_2020010X_0001.log", "other_20200101_0001.log"};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.present);
        Names present = strangers;
        for (int i = 1; i <= c.present; ++i) {
            present.push_back(Name(old, i));
        }
        Refill(present);
        L::Create("Comp");
        std::set<std::string> left = Present();
        for (const std::string& name : strangers) {
            EXPECT_EQ(left.erase(name), 1u) << name;
        }
        EXPECT_EQ(left.size(), static_cast<std::size_t>(c.remaining));
        EXPECT_EQ(left.count(Name(old, c.firstKept)), 1u);
        EXPECT_EQ(left.count(Name(old, c.firstKept - 1)), 0u);
        EXPECT_EQ(left.count(Name(f_today, 1)), 1u);
    }
}

TEST(LogRotationPredicates, FileNameShape) {
    const auto replace = [](std::string text, const std::string& from, const std::string& to) {
        const std::size_t at = text.find(from);
        return at == std::string::npos ? text : text.replace(at, from.size(), to);
    };
    for (const auto& row : auttest::ReadTable("LogRotationTest-names.tsv", 3)) {
        const std::string name =
            replace(replace(row[1], "{today}", DateOffset(0)), "{tomorrow}", DateOffset(1));
        SCOPED_TRACE(name);
        EXPECT_EQ(AUT_PredicateLogFileNameIsValid(std::stoul(row[0]), 8, 4)(name.c_str()),
                  row[2] == "1");
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
    removeFile("/elsewhere/x.log"); // only the name counts
    EXPECT_NE(access(dir.file("x.log").c_str(), F_OK), 0);
    EXPECT_NO_THROW(removeFile("x.log"));
}

} // namespace
