// Rotation of the log files: names by date and sequence number, which existing names count,
// pruning to the file count limit, and files that cannot be created.
#include "ReliabilitySupport.h"
#include "Table.h"
#include "UTLogFile.h"

#include <iterator>
#include <set>
#include <sstream>

namespace {

using L = AUT_I_LogFile;
using Names = std::set<std::string>;

std::string DateOffset(int days) {
    const std::time_t t = std::time(nullptr) + static_cast<std::time_t>(days) * 86400;
    std::tm local{};
    char text[16];
    return std::string(text, std::strftime(text, sizeof(text), "%Y%m%d", localtime_r(&t, &local)));
}

// `text` with {today}, {yesterday} and {tomorrow} replaced by those dates.
std::string Dated(std::string text) {
    for (const auto& date : {std::make_pair("{today}", 0), std::make_pair("{yesterday}", -1),
                             std::make_pair("{tomorrow}", 1)}) {
        for (std::size_t at; (at = text.find(date.first)) != std::string::npos;) {
            text.replace(at, std::string(date.first).size(), DateOffset(date.second));
        }
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
        for (const std::string& name : Present()) {
            std::remove((logsDir() + "/" + name).c_str());
        }
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
        L::Create("Comp");
        present.insert(Dated(row[2]));
        EXPECT_EQ(Present(), present);
    }
}

TEST_F(LogRotationTest, FilesThatCannotBeCreatedFailWith800) {
    Start();
    // The next name is taken: an existing file is never written to.
    const std::string taken = Dated("test_{today}_0001.log");
    Refill({Dated("test_{today}_9999.log"), taken});
    const auttest::Thrown thrown = auttest::Catch([] { L::Create("Comp"); });
    EXPECT_EQ(thrown.code, 800);
    EXPECT_NE(thrown.text.find(logsDir() + "/" + taken), std::string::npos) << thrown.text;
    EXPECT_EQ(auttest::readFile(logsDir() + "/" + taken), "");
    // A plain file stands where the log directory should be made, at every attempt.
    Refill({});
    ASSERT_EQ(rmdir(logsDir().c_str()), 0);
    root().writeFile("logs", "");
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_EQ(auttest::Catch([] { L::Create("Comp"); }).code, 800) << attempt;
    }
    EXPECT_TRUE(files().empty());
}

TEST_F(LogRotationTest, PruningKeepsOneMoreThanTheLimitWhenItWasReached) {
    Start();
    // Dated long ago, so that the new file sorts last and the oldest go first.
    const auto old = [](int i) {
        return "test_20200101_" + std::to_string(10000 + i).substr(1) + ".log";
    };
    // Of the present files, the first one kept (the file count limit is 100).
    const std::pair<int, int> cases[] = {{99, 1}, {100, 1}, {101, 3}, {150, 52}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        // Not of the family: never deleted.
        Names present = {"test_2020010X_0001.log", "other_20200101_0001.log"};
        Names expected = present;
        expected.insert(Dated("test_{today}_0001.log"));
        for (int i = 1; i <= c.first; ++i) {
            present.insert(old(i));
            if (i >= c.second) {
                expected.insert(old(i));
            }
        }
        Refill(present);
        L::Create("Comp");
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
