// The command-line tool: each command line run as a child process on a temporary installation
// (output, exit status, misuse, failures), the demonstration's rotated files, and the
// terminal progress box.
#include "AutTestSupport.h"
#include "ReliabilitySupport.h"
#include "Table.h"
#include "TerminalProgressBox.h"

#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <regex>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

using reliability::SplitLines;

// Records of a log file, counted as the writer makes them: every record line carries a tab
// after its time stamp, the process id line starts with "PID#" and a record's own further
// lines carry none.
std::size_t RecordsIn(const std::string& path) {
    std::size_t records = 0;
    for (const std::string& line : SplitLines(auttest::readFile(path))) {
        records += line.find('\t') != std::string::npos && line.rfind("PID#\t", 0) != 0;
    }
    return records;
}

// A temporary installation with its own registry databases and a silent logging framework;
// the tool runs with nothing of the user's environment that could lead it elsewhere.
class ToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        f_root.makeDirectory("bin");
        f_root.writeFile("quiet.properties", "log4j.rootLogger=OFF\n");
        f_env = {{"ORQ_BIN_DIR", f_root.file("bin")},
                 {"ORQ_REGISTRY_USER", f_root.file("registry/user.db")},
                 {"ORQ_REGISTRY_MACHINE", f_root.file("registry/machine.db")},
                 {"ORQ_LOG_CONFIG", f_root.file("quiet.properties")},
                 {"HOME", f_root.file("home")},
                 {"XDG_CONFIG_HOME", f_root.file("home/.config")}};
    }

    Result Run(const std::vector<std::string>& args) {
        const std::string out = f_root.file("stdout");
        const std::string err = f_root.file("stderr");
        const std::string failure = reliability::RunInChild(
            [&] {
                dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
                dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
                for (const auto& [name, value] : f_env) {
                    setenv(name.c_str(), value.c_str(), 1);
                }
                unsetenv("ORQ_MESSAGES_DIR");
                std::vector<char*> argv{const_cast<char*>(kTool)};
                for (const std::string& arg : args) {
                    argv.push_back(const_cast<char*>(arg.c_str()));
                }
                argv.push_back(nullptr);
                execv(kTool, argv.data());
                return std::string("cannot run the tool");
            },
            300);
        // "" when it exited with 0, else "child failed (status <wait status>): ...".
        const std::size_t status = failure.find("(status ");
        return {failure.empty()               ? 0
                : status == std::string::npos ? -1
                                              : WEXITSTATUS(std::stoi(failure.substr(status + 8))),
                auttest::readFile(out), auttest::readFile(err)};
    }

    // A failure or misuse: the status and one line on standard error that begins with
    // `prefix`; a misuse writes nothing on standard output.
    static void ExpectOneErrorLine(const Result& result, int status, const std::string& prefix) {
        EXPECT_EQ(result.status, status) << result.err;
        EXPECT_TRUE(status != 2 || result.out.empty()) << result.out;
        const std::vector<std::string> lines = SplitLines(result.err);
        ASSERT_EQ(lines.size(), 1u) << result.err;
        EXPECT_EQ(lines[0].rfind(prefix, 0), 0u) << lines[0];
    }

    static constexpr const char* kTool = AUT_BINARY_DIR "/bin/aut";
    auttest::TempDir f_root;
    std::map<std::string, std::string> f_env;
};

// The rows of ToolTest-commands.tsv run in order on one installation: status, what is
// expected ("=" the exact output, "^" its beginning, "!" the one line on standard error) and
// the arguments; "{root}" stands for the installation.
TEST_F(ToolTest, CommandLinesGiveTheirOutputAndStatus) {
    const std::string root = f_root.path();
    const auto expand = [&](std::string text) {
        for (std::size_t at; (at = text.find("{root}")) != std::string::npos;) {
            text.replace(at, 6, root);
        }
        return text;
    };
    f_root.writeFile("configuration/OrqConfig.xml",
                     expand(auttest::readFile(AUT_TEST_DATA_DIR "/ToolTest-OrqConfig.xml")));
    f_root.writeFile("a.txt", "same\n");
    f_root.writeFile("b.txt", "same\n");
    f_root.writeFile("c.txt", "other\n");
    f_root.writeFile("blocker", "");
    for (const auttest::Row& row : auttest::ReadTable("ToolTest-commands.tsv", 3)) {
        std::vector<std::string> args;
        for (std::size_t i = 3; i < row.size(); ++i) {
            args.push_back(expand(row[i]));
        }
        SCOPED_TRACE(args.empty() ? "" : args[0] + " " + (args.size() > 1 ? args[1] : ""));
        const Result result = Run(args);
        const std::string expected = expand(row[2]);
        if (row[1] == "!") {
            ExpectOneErrorLine(result, std::stoi(row[0]), expected);
            continue;
        }
        EXPECT_EQ(result.status, std::stoi(row[0])) << result.err;
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(row[1] == "^" ? result.out.substr(0, expected.size()) : result.out, expected);
    }
    EXPECT_EQ(auttest::readFile(root + "/report.txt"),
              "Files are different:\n\n" + root + "/a.txt != " + root + "/c.txt\n");
    // Each process that logs makes a file of its own; the list is oldest first and has only
    // the family.
    f_root.writeFile("logs/app_2024010_0001.log", "");
    f_root.writeFile("logs/app_99991231_0001.log", "");
    f_root.writeFile("logs/app_2024x101_0001.log", "");
    const std::vector<std::string> files = SplitLines(Run({"logs"}).out);
    ASSERT_EQ(files.size(), 4u);
    EXPECT_NE(auttest::readFile(files[0]).find("\ta x b y\n"), std::string::npos);
    EXPECT_NE(auttest::readFile(files[1]).find("\tkeep {0}\n"), std::string::npos);
    EXPECT_EQ(RecordsIn(files[2]), 0u);
    EXPECT_NE(auttest::readFile(files[3]).find("\tSTART FUNCTION:"), std::string::npos);
    // With no command at all the overview goes to standard error, as a misuse.
    const Result bare = Run({});
    EXPECT_EQ(bare.status, 2);
    EXPECT_EQ(bare.err.rfind("usage: aut", 0), 0u);
}

// Failures of the library are one line that ends with the library's error code.
TEST_F(ToolTest, FailuresOfTheInstallationAreOneLine) {
    f_root.writeFile("blocker", "");
    f_root.writeFile("logs", "");
    // Without a configuration, records go to the logging framework.
    EXPECT_EQ(Run({"log", "--level", "0", "x"}).out, "sent to the logging framework\n");
    f_env["ORQ_REGISTRY_USER"] = f_root.file("blocker/user.db");
    const Result set = Run({"settings", "set", "Demo", "Port", "1"});
    ExpectOneErrorLine(set, 1, "aut settings: ");
    EXPECT_NE(set.err.find("(error 500)"), std::string::npos) << set.err;
    // Reads give up quietly: the value is not there.
    ExpectOneErrorLine(Run({"settings", "get", "Demo", "Port"}), 1, "aut settings: 'Port'");
    // File mode, and a regular file where the log directory should be.
    f_root.writeFile("configuration/OrqConfig.xml",
                     "<OrqConfig><g><section name=\"Logging\"><entry name=\"UseIPFLogging\" "
                     "value=\"0\"/></section></g></OrqConfig>");
    ExpectOneErrorLine(Run({"log", "message"}), 1, "aut log: ");
    ExpectOneErrorLine(Run({"logs", "tail"}), 1, "aut logs: ");
    f_env["ORQ_BIN_DIR"] = f_root.file("blocker/bin");
    ExpectOneErrorLine(Run({"demo"}), 1, "aut demo: cannot create the directory");
}

// The report's "<path>  N records" lines and the total it gives.
struct DemoReport {
    std::vector<std::pair<std::string, std::size_t>> files;
    std::size_t total = 0;
    std::size_t written = 0;
};

DemoReport ParseDemo(const std::string& out) {
    DemoReport report;
    const std::regex file("^  (/\\S+\\.log)  ([0-9]+) records$");
    const std::regex total("^  total: ([0-9]+) records in [0-9]+ files?; the demo wrote ([0-9]+)$");
    std::smatch match;
    for (const std::string& line : SplitLines(out)) {
        if (std::regex_match(line, match, file)) {
            report.files.emplace_back(match[1], std::stoul(match[2]));
        } else if (std::regex_match(line, match, total)) {
            report.total = std::stoul(match[1]);
            report.written = std::stoul(match[2]);
        }
    }
    return report;
}

TEST_F(ToolTest, DemoRotatesAndCountsAgree) {
    EXPECT_EQ(Run({"config"}).out, "# file: (none: every value is a default)\n# company: Morvex\n"
                                   "# rendition: \n# component: Orq\n");
    // 101 files of an earlier day: more than the 100 kept, so each new file's rotation deletes
    // the oldest until the family is back at the limit.
    for (int i = 1; i <= 101; ++i) {
        f_root.writeFile("logs/Orq_20000101_" + std::to_string(10000 + i).substr(1) + ".log", "");
    }
    const Result first = Run({"demo", "--records", "2500"});
    ASSERT_EQ(first.status, 0) << first.err << first.out;
    // Standard error is no terminal here: no progress box, no control sequences.
    EXPECT_EQ(first.err, "");
    for (const char* part :
         {"configuration/OrqConfig.xml: installed", "RunCount: 1 ", "raised and caught error 702",
          "log files of the family on disk: 100 "}) {
        EXPECT_NE(first.out.find(part), std::string::npos) << part;
    }
    EXPECT_FALSE(std::ifstream(f_root.file("logs/Orq_20000101_0004.log")).good());
    EXPECT_TRUE(std::ifstream(f_root.file("logs/Orq_20000101_0005.log")).good());
    const DemoReport report = ParseDemo(first.out);
    ASSERT_EQ(report.files.size(), 3u) << first.out;
    EXPECT_NE(report.files[0].first.find("_0001.log"), std::string::npos);
    std::size_t sum = 0;
    for (std::size_t i = 0; i < report.files.size(); ++i) {
        SCOPED_TRACE(report.files[i].first);
        EXPECT_EQ(RecordsIn(report.files[i].first), report.files[i].second);
        // Every file but the newest took the limit of 1000 records and one more.
        EXPECT_TRUE(i + 1 == report.files.size() || report.files[i].second == 1001u);
        sum += report.files[i].second;
    }
    EXPECT_EQ(sum, report.total);
    EXPECT_EQ(report.total, report.written);
    // The records asked for, and the scope tracers', audit and exception records beside them.
    EXPECT_GT(report.written, 2500u);
    // A second run keeps the installation, adds a file after the first run's and counts on.
    const Result second = Run({"demo", "--records", "10"});
    EXPECT_NE(second.out.find("configuration/OrqConfig.xml: kept as found"), std::string::npos);
    EXPECT_NE(second.out.find("RunCount: 2 "), std::string::npos);
    const DemoReport again = ParseDemo(second.out);
    ASSERT_EQ(again.files.size(), 1u);
    EXPECT_GT(again.files[0].first, report.files.back().first);
    EXPECT_EQ(RecordsIn(again.files[0].first), again.written);
}

// ---- The terminal progress box, driven directly with a fake clock -----------------------

class TerminalBoxTest : public ::testing::Test {
protected:
    void TearDown() override { std::fclose(f_out); }

    std::string Written() {
        std::fflush(f_out);
        return auttest::readFile("/proc/self/fd/" + std::to_string(fileno(f_out)));
    }
    auttool::TerminalProgressBox MakeBox(bool isTerminal) {
        return auttool::TerminalProgressBox(f_out, isTerminal, std::chrono::milliseconds(200),
                                            [this] { return f_now; });
    }

    std::FILE* f_out = std::tmpfile();
    std::chrono::steady_clock::time_point f_now;
};

TEST_F(TerminalBoxTest, RedrawsAtMostOncePerIntervalAndNeverWithoutATerminal) {
    {
        auttool::TerminalProgressBox quiet = MakeBox(false);
        quiet.SetTopLimit(10);
        f_now += std::chrono::seconds(1);
        quiet.SetTopValue(5);
        EXPECT_EQ(quiet.DrawCount(), 0);
    }
    EXPECT_EQ(Written(), "");
    auttool::TerminalProgressBox box = MakeBox(true);
    box.SetTopLimit(10);
    EXPECT_EQ(box.DrawCount(), 1);
    f_now += std::chrono::milliseconds(199);
    box.SetTopValue(5);
    EXPECT_EQ(box.DrawCount(), 1);
    f_now += std::chrono::milliseconds(1);
    box.SetTopValue(5);
    EXPECT_EQ(box.DrawCount(), 2);
    // The second drawing goes back up over the first one's line and erases it.
    EXPECT_NE(Written().find("\033[1A\r\033[K  [###############...............]  50%\n"),
              std::string::npos);
    // Finish draws what was left pending, then erases the box.
    box.SetTopValue(10);
    box.Finish();
    EXPECT_EQ(box.DrawCount(), 3);
    const std::string finished = Written();
    EXPECT_NE(finished.find("[##############################] 100%"), std::string::npos);
    EXPECT_EQ(finished.substr(finished.size() - 8), "\033[1A\r\033[J");
}

} // namespace
