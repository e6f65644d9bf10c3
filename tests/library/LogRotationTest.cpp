// Rotation of the log files: names by date and sequence number, which existing names count,
// names that are taken, and pruning to the file count limit.
#include "ReliabilitySupport.h"
#include "Table.h"
#include "UTLogFile.h"

#include <filesystem>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>

namespace {

using L = AUT_I_LogFile;
using Names = std::set<std::string>;

// `text` with {yesterday}, {today} and {tomorrow} replaced by those dates.
std::string Dated(std::string text) {
    const char* const names[] = {"\\{yesterday\\}", "\\{today\\}", "\\{tomorrow\\}"};
    for (int day = 0; day < 3; ++day) {
        const std::time_t t = std::time(nullptr) + (day - 1) * 86400;
        std::tm local{};
        char date[16];
        std::strftime(date, sizeof(date), "%Y%m%d", localtime_r(&t, &local));
        text = std::regex_replace(text, std::regex(names[day]), date);
    }
    return text;
}

class LogRotationTest : public auttest::FileModeTest {
protected:
    Names Present() const {
        Names names;
        for (const std::string& path : reliability::FilesWithPrefix(logsDir(), "")) {
            names.insert(path.substr(path.rfind('/') + 1));
        }
        return names;
    }
    // Leaves exactly `names` (empty files) in the log directory and resets the writer.
    void Refill(const Names& names) {
        std::filesystem::remove_all(logsDir());
        root().makeDirectory("logs");
        for (const std::string& name : names) {
            root().writeFile("logs/" + name, "");
        }
        L::Reset();
    }
};

TEST_F(LogRotationTest, SequenceNumberFollowsTodaysFiles) {
    Start();
    for (const auto& row : auttest::ReadTable("LogRotationTest-sequence.tsv", 3)) {
        SCOPED_TRACE(row[0]);
        std::istringstream listed(Dated(row[1]));
        Names present{std::istream_iterator<std::string>(listed), {}};
        Refill(present);
        const std::string created = Dated(row[2]);
        const auttest::Thrown thrown = auttest::Catch([] { L::Create("Comp"); });
        // A taken name fails the creation with the open's error, naming the file.
        EXPECT_EQ(thrown.code, row.size() > 3 ? std::stol(row[3]) : -1);
        EXPECT_EQ(thrown.text.find(logsDir() + "/" + created) != std::string::npos, row.size() > 3);
        present.insert(created);
        EXPECT_EQ(Present(), present);
    }
    // No descriptor stays open on a file the writer has left (the last creation failed).
    EXPECT_EQ(auttest::OpenDescriptors(logsDir()), 0);
}

TEST_F(LogRotationTest, PruningKeepsOneMoreThanTheLimitWhenItWasReached) {
    Start();
    // Of the present files, the first one kept (the file count limit is 100).
    const std::pair<int, int> cases[] = {{99, 1}, {100, 1}, {101, 3}, {150, 52}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        // Dated long ago, so that the new file sorts last and the oldest go first.
        Names present;
        for (int i = 1; i <= c.first; ++i) {
            present.insert("test_20200101_" + std::to_string(10000 + i).substr(1) + ".log");
        }
        Refill(present);
        L::Create("Comp");
        Names expected(std::next(present.begin(), c.second - 1), present.end());
        expected.insert(Dated("test_{today}_0001.log"));
        EXPECT_EQ(Present(), expected);
    }
}

TEST(LogRotationPredicates, FileNameShape) {
    for (const auto& row : auttest::ReadTable("LogRotationTest-names.tsv", 3)) {
        SCOPED_TRACE(row[1]);
        const std::string name = Dated(row[1]);
        EXPECT_EQ(AUT_PredicateLogFileNameIsValid(std::stoul(row[0]), 8, 4)(name.c_str()),
                  row[2] == "1");
    }
}

} // namespace
