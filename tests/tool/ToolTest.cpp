// The command-line tool: each command line run as a child process on a temporary installation
// (output, exit status, misuse, failures) and the demonstration's report.
#include "AutTestSupport.h"
#include "ReliabilitySupport.h"
#include "Table.h"

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <regex>
#include <string>
#include <sys/resource.h>
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
                 {"ORQ_LOG_CONFIG", f_root.file("quiet.properties")}};
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
                // Leading NAME=value arguments, redirections of standard output and a file
                // size limit (in bytes) are applied as a shell would.
                std::size_t first = 0;
                for (; first < args.size(); ++first) {
                    const std::string& arg = args[first];
                    if (arg == ">&-") {
                        close(1);
                    } else if (arg[0] == '>') {
                        dup2(open(arg.c_str() + 1, O_WRONLY), 1);
                    } else if (arg.rfind("ulimit -f ", 0) == 0) {
                        signal(SIGXFSZ, SIG_IGN);
                        const rlim_t bytes = std::stoul(arg.substr(10));
                        const rlimit limit{bytes, bytes};
                        setrlimit(RLIMIT_FSIZE, &limit);
                    } else if (std::regex_match(arg, std::regex("[A-Z_]+=.*"))) {
                        putenv(const_cast<char*>(arg.c_str()));
                    } else {
                        break;
                    }
                }
                std::vector<char*> argv{const_cast<char*>(kTool)};
                for (std::size_t i = first; i < args.size(); ++i) {
                    argv.push_back(const_cast<char*>(args[i].c_str()));
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

    static constexpr const char* kTool = AUT_BINARY_DIR "/bin/aut";
    auttest::TempDir f_root;
    std::map<std::string, std::string> f_env;
};

// The rows of ToolTest-commands.tsv run in order on one installation: status, what is
// expected ("=" the exact output, "^" its beginning, "!" the one line on standard error) and
// the arguments; "{root}" stands for the installation.
TEST_F(ToolTest, CommandLinesGiveTheirOutputAndStatus) {
    const std::string root = f_root.path();
    const auto expand = [&](const std::string& text) {
        return std::regex_replace(text, std::regex("\\{root\\}"), root);
    };
    f_root.writeFile("configuration/OrqConfig.xml",
                     expand(auttest::readFile(AUT_TEST_DATA_DIR "/ToolTest-OrqConfig.xml")));
    f_root.writeFile("a.txt", "same\n");
    f_root.writeFile("b.txt", "same\n");
    f_root.writeFile("c.txt", "other\n");
    f_root.writeFile("blocker", "");
    // A catalog that would change path syntax (separator, log extension, forbidden characters)
    // for an installation whose log file name holds a line break.
    f_root.makeDirectory("hostile/bin");
    f_root.writeFile("hostile/messages/UTmsgs.msg",
                     "0xF7C528CA = \"\\\\\"\n0xF7CB58DB = \"lo/g\"\n0xF7C1724C = \"x\"\n");
    f_root.writeFile("hostile/configuration/OrqConfig.xml",
                     "<c><g><section name='Logging'><entry name='LogFileName' value='" + root +
                         "/a&#10;b.log'/></section></g></c>");
    // An installation whose first log file takes every record of the demo's Storage thread.
    f_root.writeFile("full/configuration/OrqConfig.xml",
                     "<c><g><section name='Logging'><entry name='UseIPFLogging' value='0'/>"
                     "<entry name='LineCountPerLogFile' value='100000'/>"
                     "<entry name='Storage' value='2'/></section></g></c>");
    for (const auttest::Row& row : auttest::ReadTable("ToolTest-commands.tsv", 3)) {
        std::vector<std::string> args;
        for (std::size_t i = 3; i < row.size(); ++i) {
            args.push_back(expand(row[i]));
        }
        SCOPED_TRACE(args.empty() ? "" : args[0] + " " + (args.size() > 1 ? args[1] : ""));
        const Result result = Run(args);
        const std::string expected = expand(row[2]);
        EXPECT_EQ(result.status, std::stoi(row[0])) << result.err;
        if (row[1] == "!") {
            // One line on standard error; a misuse writes nothing on standard output.
            EXPECT_EQ(result.err.substr(0, expected.size()), expected);
            EXPECT_EQ(SplitLines(result.err).size(), 1u) << result.err;
            EXPECT_TRUE(result.status != 2 || result.out.empty()) << result.out;
        } else {
            EXPECT_EQ(result.err, "");
            EXPECT_EQ(row[1] == "^" ? result.out.substr(0, expected.size()) : result.out, expected);
        }
    }
    EXPECT_EQ(auttest::readFile(root + "/report.txt"),
              "Files are different:\n\n" + root + "/a.txt != " + root + "/c.txt\n");
    // Each process that logs makes a file of its own, listed oldest first.
    const std::vector<std::string> files = SplitLines(Run({"logs"}).out);
    ASSERT_EQ(files.size(), 4u);
    EXPECT_NE(auttest::readFile(files[0]).find("\ta x b y\n"), std::string::npos);
    EXPECT_NE(auttest::readFile(files[1]).find("\tkeep {0}\n"), std::string::npos);
    // A link planted as the newest member of the family is refused, never followed.
    const std::string planted = files[0].substr(0, files[0].size() - 8) + "9999.log";
    ASSERT_EQ(symlink(files[0].c_str(), planted.c_str()), 0);
    const Result tail = Run({"logs", "tail"});
    EXPECT_EQ(tail.err,
              "aut logs: cannot read '" + planted + "': Too many levels of symbolic links\n");
    EXPECT_EQ(tail.status, 1);
}

TEST_F(ToolTest, DemoReportsWhatItWroteAndCountsItsRuns) {
    const Result first = Run({"demo", "--records", "2500"});
    ASSERT_EQ(first.status, 0) << first.err << first.out;
    // Standard error is no terminal here: no progress box, no control sequences.
    EXPECT_EQ(first.err, "");
    EXPECT_NE(first.out.find("RunCount: 1 "), std::string::npos);
    // Each file it lists holds the records it says; together they are what the demo wrote.
    std::size_t files = 0;
    std::size_t sum = 0;
    const std::regex listed("^  (/\\S+\\.log)  ([0-9]+) records$");
    for (const std::string& line : SplitLines(first.out)) {
        std::smatch match;
        if (std::regex_match(line, match, listed)) {
            EXPECT_EQ(RecordsIn(match[1]), std::stoul(match[2])) << line;
            sum += std::stoul(match[2]);
            ++files;
        }
    }
    EXPECT_GE(files, 3u);
    EXPECT_NE(first.out.find("  total: " + std::to_string(sum) + " records in " +
                             std::to_string(files) + " files; the demo wrote " +
                             std::to_string(sum) + "\n"),
              std::string::npos);
    EXPECT_NE(Run({"demo", "--records", "10"}).out.find("RunCount: 2 "), std::string::npos);
}

} // namespace
