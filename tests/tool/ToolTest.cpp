// The command-line tool: each subcommand run as a child process on a temporary installation
// (output, exit status, misuse, failures), the demonstration's rotated files, and the
// terminal progress box.
#include "AutTestSupport.h"
#include "ReliabilitySupport.h"
#include "TerminalProgressBox.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>
#include <regex>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

// Records of a log file, counted as the writer makes them: every record line carries a tab
// after its time stamp, the process id line starts with "PID#" and a record's own further
// lines (the audit markers' text) carry none.
std::size_t RecordsIn(const std::string& path) {
    std::size_t records = 0;
    for (const std::string& line : reliability::SplitLines(auttest::readFile(path))) {
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
        f_env["ORQ_BIN_DIR"] = f_root.file("bin");
        f_env["ORQ_REGISTRY_USER"] = f_root.file("registry/user.db");
        f_env["ORQ_REGISTRY_MACHINE"] = f_root.file("registry/machine.db");
        f_env["ORQ_LOG_CONFIG"] = f_root.file("quiet.properties");
        f_env["HOME"] = f_root.file("home");
        f_env["XDG_CONFIG_HOME"] = f_root.file("home/.config");
    }

    Result Run(const std::vector<std::string>& args) {
        const std::string outPath = f_root.file("stdout");
        const std::string errPath = f_root.file("stderr");
        std::vector<std::string> environment;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            const std::string text = *entry;
            const std::string name = text.substr(0, text.find('='));
            if (f_env.count(name) == 0 && name != "ORQ_MESSAGES_DIR") {
                environment.push_back(text);
            }
        }
        for (const auto& pair : f_env) {
            environment.push_back(pair.first + "=" + pair.second);
        }
        const pid_t child = fork();
        if (child == 0) {
            const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(out, 1);
            dup2(err, 2);
            std::vector<char*> argv{const_cast<char*>(kTool)};
            for (const std::string& arg : args) {
                argv.push_back(const_cast<char*>(arg.c_str()));
            }
            argv.push_back(nullptr);
            std::vector<char*> envp;
            for (const std::string& entry : environment) {
                envp.push_back(const_cast<char*>(entry.c_str()));
            }
            envp.push_back(nullptr);
            execve(kTool, argv.data(), envp.data());
            _exit(127);
        }
        Result result;
        int status = 0;
        waitpid(child, &status, 0);
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        result.out = auttest::readFile(outPath);
        result.err = auttest::readFile(errPath);
        return result;
    }

    // A failure or misuse: the status, nothing on standard output, one line on standard error
    // that names the command.
    void ExpectOneErrorLine(const Result& result, int status, const std::string& prefix) {
        EXPECT_EQ(result.status, status) << result.err;
        const std::vector<std::string> lines = reliability::SplitLines(result.err);
        ASSERT_EQ(lines.size(), 1u) << result.err;
        EXPECT_EQ(lines[0].rfind(prefix, 0), 0u) << lines[0];
    }

    void WriteConfiguration(const std::string& sections) {
        f_root.writeFile("configuration/OrqConfig.xml",
                         "<OrqConfig company=\"Acme\">" + sections + "</OrqConfig>");
    }

    void UseFileMode() {
        WriteConfiguration("<g><section name=\"Logging\">"
                           "<entry name=\"UseIPFLogging\" value=\"0\"/>"
                           "<entry name=\"LogFileName\" value=\"" +
                           f_root.file("logs/app.log") + "\"/></section></g>");
    }

    static constexpr const char* kTool = AUT_BINARY_DIR "/bin/aut";
    auttest::TempDir f_root;
    std::map<std::string, std::string> f_env;
};

TEST_F(ToolTest, HelpOnEveryCommand) {
    const Result overview = Run({"--help"});
    EXPECT_EQ(overview.status, 0);
    for (const char* command :
         {"demo", "config", "settings", "log", "logs", "message", "locale", "hash", "diff"}) {
        SCOPED_TRACE(command);
        EXPECT_NE(overview.out.find(std::string("  ") + command + " "), std::string::npos);
        const Result help = Run({command, "--help"});
        EXPECT_EQ(help.status, 0);
        EXPECT_EQ(help.out.rfind(std::string("usage: aut ") + command, 0), 0u) << help.out;
        EXPECT_EQ(help.err, "");
    }
    // With no command at all the overview goes to standard error, as a misuse.
    const Result bare = Run({});
    EXPECT_EQ(bare.status, 2);
    EXPECT_NE(bare.err.find("usage: aut"), std::string::npos);
}

TEST_F(ToolTest, MisuseExitsWithTwoAndOneLine) {
    const std::vector<std::vector<std::string>> cases = {
        {"frobnicate"},
        {"log"},
        {"log", "--level", "18", "x"},
        {"log", "--level"},
        {"log", "--audit", "middle", "x"},
        {"log", "--colour", "x"},
        {"config", "get", "Logging"},
        {"config", "frob"},
        {"settings"},
        {"settings", "get", "Demo"},
        {"settings", "set", "Demo", "Entry"},
        {"settings", "get", "", "Entry"},
        {"settings", "get", "Demo", "Entry", "--text"},
        {"logs", "tail", "-n", "x"},
        {"logs", "list", "-n", "3"},
        {"message"},
        {"message", "0x100000000"},
        {"message", "12abc"},
        {"locale"},
        {"hash"},
        {"hash", "a", "b"},
        {"diff", "a", "b"},
        {"demo", "--records", "many"},
        {"demo", "extra"},
    };
    for (const auto& args : cases) {
        std::string line;
        for (const std::string& arg : args) {
            line += arg + " ";
        }
        SCOPED_TRACE(line);
        const Result result = Run(args);
        ExpectOneErrorLine(result, 2, "aut");
        EXPECT_EQ(result.out, "");
    }
}

TEST_F(ToolTest, ConfigShowsWhatTheStoreHolds) {
    // The later of two equal entries wins, also across groups; an empty value is a value.
    WriteConfiguration("<one><section name=\"Engine\"><entry name=\"Port\" value=\"1\"/>"
                       "<entry name=\"Limit\" value=\"42abc\"/></section></one>"
                       "<two><section name=\"Engine\"><entry name=\"Port\" value=\"2\"/>"
                       "<entry name=\"Empty\" value=\"\"/></section>"
                       "<other name=\"Skipped\"/></two>");
    const Result dump = Run({"config", "dump"});
    EXPECT_EQ(dump.status, 0) << dump.err;
    EXPECT_NE(dump.out.find("# company: Acme\n"), std::string::npos) << dump.out;
    EXPECT_NE(dump.out.find("[Engine]\nEmpty = \nLimit = 42abc\nPort = 2\n"), std::string::npos)
        << dump.out;
    EXPECT_EQ(dump.out.find("Skipped"), std::string::npos);
    EXPECT_EQ(Run({"config"}).out, dump.out);

    const Result port = Run({"config", "get", "Engine", "Port"});
    EXPECT_EQ(port.status, 0);
    EXPECT_EQ(port.out, "2\n");
    EXPECT_EQ(Run({"config", "get", "--int", "Engine", "Limit"}).out, "42\n");
    EXPECT_EQ(Run({"config", "get", "Engine", "Empty"}).out, "\n");

    for (const auto& missing : {std::vector<std::string>{"config", "get", "Nowhere", "Port"},
                                std::vector<std::string>{"config", "get", "Engine", "port"}}) {
        const Result result = Run(missing);
        ExpectOneErrorLine(result, 1, "aut config: no entry");
    }
}

TEST_F(ToolTest, ConfigWithoutAFileShowsDefaults) {
    const Result dump = Run({"config"});
    EXPECT_EQ(dump.status, 0) << dump.err;
    EXPECT_EQ(dump.out, "# file: (none: every value is a default)\n# company: Morvex\n"
                        "# rendition: \n# component: Orq\n");
}

TEST_F(ToolTest, SettingsRoundTripAndPersist) {
    struct Case {
        std::vector<std::string> set;
        std::string readBack;
    };
    const std::vector<Case> cases = {
        {{"settings", "set", "Demo", "Port", "8080"}, "8080\n"},
        {{"settings", "set", "Demo", "Max", "4294967295"}, "4294967295\n"},
        {{"settings", "set", "Demo", "Name", "007"}, "007\n"},
        {{"settings", "set", "Demo", "Big", "4294967296"}, "4294967296\n"},
        {{"settings", "set", "Demo", "Text", "12", "--text"}, "12\n"},
        {{"settings", "set", "Demo", "Path", "/var/x y"}, "/var/x y\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.set[3]);
        const Result set = Run(c.set);
        EXPECT_EQ(set.status, 0) << set.err;
        const Result get = Run({"settings", "get", "Demo", c.set[3]});
        EXPECT_EQ(get.status, 0) << get.err;
        EXPECT_EQ(get.out, c.readBack);
    }
    // The local machine is another database: the user's value is not seen there.
    ExpectOneErrorLine(Run({"settings", "get", "Demo", "Port", "--machine"}), 1,
                       "aut settings: 'Port' is not set");
    EXPECT_EQ(Run({"settings", "set", "--machine", "Demo", "Port", "1"}).status, 0);
    EXPECT_EQ(Run({"settings", "get", "Demo", "Port", "--machine"}).out, "1\n");
    EXPECT_EQ(Run({"settings", "get", "Demo", "Port"}).out, "8080\n");

    EXPECT_EQ(Run({"settings", "delete", "Demo", "Port"}).status, 0);
    ExpectOneErrorLine(Run({"settings", "get", "Demo", "Port"}), 1, "aut settings: 'Port'");
    EXPECT_EQ(Run({"settings", "get", "Demo", "Name"}).out, "007\n");
    EXPECT_EQ(Run({"settings", "delete", "Demo"}).status, 0);
    ExpectOneErrorLine(Run({"settings", "get", "Demo", "Name"}), 1, "aut settings: 'Name'");
    // Deleting what does not exist succeeds.
    EXPECT_EQ(Run({"settings", "delete", "Demo", "Nothing"}).status, 0);
    EXPECT_EQ(Run({"settings", "delete", "Nothing"}).status, 0);
}

TEST_F(ToolTest, SettingsInAnUnwritablePlaceFail) {
    // A database below a regular file cannot be made, whoever runs the test.
    f_root.writeFile("blocker", "");
    f_env["ORQ_REGISTRY_USER"] = f_root.file("blocker/user.db");
    const Result set = Run({"settings", "set", "Demo", "Port", "1"});
    ExpectOneErrorLine(set, 1, "aut settings: ");
    EXPECT_NE(set.err.find("(error 500)"), std::string::npos) << set.err;
    // Reads give up quietly: the value is not there.
    ExpectOneErrorLine(Run({"settings", "get", "Demo", "Port"}), 1, "aut settings: 'Port'");
}

TEST_F(ToolTest, LogWritesOneRecordPerCall) {
    UseFileMode();
    const Result written = Run({"log", "--component", "Comp", "a {0} b {1}", "x", "y"});
    EXPECT_EQ(written.status, 0) << written.err;
    const std::string prefix = "written to " + f_root.file("logs/app_");
    ASSERT_EQ(written.out.rfind(prefix, 0), 0u) << written.out;
    const std::string file = written.out.substr(11, written.out.size() - 12);
    EXPECT_EQ(RecordsIn(file), 1u);
    EXPECT_NE(auttest::readFile(file).find("\ta x b y\n"), std::string::npos);

    // Without parameters the braces stay; above the component's level nothing is written.
    EXPECT_EQ(Run({"log", "keep {0}"}).status, 0);
    const Result dropped = Run({"log", "--level", "2", "too detailed"});
    EXPECT_EQ(dropped.status, 0);
    EXPECT_EQ(dropped.out, "not written: level 2 is above the level 1 of component 'aut'\n");
    EXPECT_EQ(Run({"log", "--audit", "start", "query {0}", "7"}).status, 0);

    const Result tail = Run({"logs", "tail", "-n", "2"});
    EXPECT_EQ(tail.status, 0) << tail.err;
    const std::vector<std::string> last = reliability::SplitLines(tail.out);
    ASSERT_EQ(last.size(), 2u);
    EXPECT_NE(last[0].find("\tSTART FUNCTION:"), std::string::npos);
    EXPECT_EQ(last[1], "query 7");

    // Each process makes a file of its own; the list is oldest first and has only the family.
    f_root.writeFile("logs/app_2024010_0001.log", "");
    f_root.writeFile("logs/app_99991231_0001.log", "");
    f_root.writeFile("logs/app_2024x101_0001.log", "");
    const Result list = Run({"logs"});
    const std::vector<std::string> files = reliability::SplitLines(list.out);
    ASSERT_EQ(files.size(), 4u) << list.out;
    EXPECT_EQ(files[0], file);
    EXPECT_NE(auttest::readFile(files[1]).find("\tkeep {0}\n"), std::string::npos);
    EXPECT_EQ(RecordsIn(files[2]), 0u);
    EXPECT_EQ(Run({"logs", "path"}).out, f_root.file("logs/app.log") + "\n");
}

TEST_F(ToolTest, LogFailuresAreOneLine) {
    // The default log directory is a regular file: no log file can be made there.
    WriteConfiguration("<g><section name=\"Logging\"><entry name=\"UseIPFLogging\" value=\"0\"/>"
                       "</section></g>");
    f_root.writeFile("logs", "");
    ExpectOneErrorLine(Run({"log", "message"}), 1, "aut log: ");
    ExpectOneErrorLine(Run({"logs", "tail"}), 1, "aut logs: ");
}

TEST_F(ToolTest, LogInFrameworkModeMakesNoFile) {
    const Result sent = Run({"log", "--level", "0", "to the framework"});
    EXPECT_EQ(sent.status, 0) << sent.err;
    EXPECT_EQ(sent.out, "sent to the logging framework\n");
    EXPECT_EQ(Run({"logs", "list"}).out, "");
}

TEST_F(ToolTest, MessageLocaleAndHash) {
    struct Case {
        std::vector<std::string> args;
        std::string out;
    };
    const std::vector<Case> cases = {
        {{"message", "0x7217A829", "5", "1000", "4000000000"},
         "The log file line count limit 5 is out of range; it must lie between 1000 and "
         "4000000000.\n"},
        // The same number in decimal; without parameters the placeholders stay.
        {{"message", "1914153001"},
         "The log file line count limit {0} is out of range; it must lie between {1} and "
         "{2}.\n"},
        {{"locale", "en_US.UTF-8"},
         "name: en_US.UTF-8\ntype: language, region, variant (3)\nvalue: en_US.UTF-8\n"
         "language: en\nregion: US\nvariant: UTF-8\nwithout variant: en_US\n"
         "without region: en\nwithout language: \n"},
        {{"locale", "en-us"},
         "name: en-us\ntype: language, region (2)\nvalue: en_us\nlanguage: en\nregion: us\n"
         "variant: \nwithout variant: en_us\nwithout region: en\nwithout language: \n"},
        {{"hash", "abc"}, "17763\n"},
        {{"hash", "ABC"}, "17763\n"},
        {{"hash", ""}, "0\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1]);
        const Result result = Run(c.args);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out, c.out);
    }
    const Result german = Run({"message", "--locale", "de_DE.UTF-8", "0x7217A829", "5"});
    EXPECT_NE(german.out.find("Protokolldatei"), std::string::npos) << german.out;

    ExpectOneErrorLine(Run({"message", "0x12345678"}), 1, "aut message: Message 0x12345678");
    ExpectOneErrorLine(Run({"message", "--component", "Nothing", "1"}), 1, "aut message: ");
    ExpectOneErrorLine(Run({"locale", "en_US."}), 1, "aut locale: 'en_US.' is not");
}

TEST_F(ToolTest, DiffReportsAndExitStatus) {
    const std::string a = f_root.writeFile("a.txt", "same\n");
    const std::string b = f_root.writeFile("b.txt", "same\n");
    const std::string c = f_root.writeFile("c.txt", "other\n");
    const std::string report = f_root.file("report.txt");

    const Result same = Run({"diff", a, b, report});
    EXPECT_EQ(same.status, 0) << same.err;
    EXPECT_EQ(same.out, "Files are the same:\n" + a + " == " + b + "\n");
    EXPECT_EQ(auttest::readFile(report), same.out);

    const Result different = Run({"diff", a, c, report});
    EXPECT_EQ(different.status, 1);
    EXPECT_EQ(different.out, "Files are different:\n\n" + a + " != " + c + "\n");
    EXPECT_EQ(different.err, "");

    const Result missing = Run({"diff", f_root.file("none"), a, report});
    ExpectOneErrorLine(missing, 1, "aut diff: cannot open '" + f_root.file("none") + "'");

    f_root.writeFile("blocker", "");
    ExpectOneErrorLine(Run({"diff", a, b, f_root.file("blocker/report.txt")}), 1,
                       "aut diff: cannot write the report");
}

// The report's "<path>  N records" lines and its total.
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
    for (const std::string& line : reliability::SplitLines(out)) {
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
    const Result first = Run({"demo", "--records", "2500"});
    ASSERT_EQ(first.status, 0) << first.err << first.out;
    // Standard error is no terminal here: no progress box, no control sequences.
    EXPECT_EQ(first.err, "");
    EXPECT_NE(first.out.find("configuration/OrqConfig.xml: installed"), std::string::npos);
    EXPECT_NE(first.out.find("RunCount: 1 "), std::string::npos);
    EXPECT_NE(first.out.find("raised and caught error 702"), std::string::npos);

    const DemoReport report = ParseDemo(first.out);
    ASSERT_GE(report.files.size(), 3u) << first.out;
    std::size_t sum = 0;
    for (std::size_t i = 0; i < report.files.size(); ++i) {
        SCOPED_TRACE(report.files[i].first);
        const std::size_t records = RecordsIn(report.files[i].first);
        EXPECT_EQ(records, report.files[i].second);
        // Every file but the newest took the limit of 1000 records and one more.
        if (i + 1 < report.files.size()) {
            EXPECT_EQ(records, 1001u);
        }
        sum += records;
    }
    EXPECT_EQ(sum, report.total);
    EXPECT_EQ(report.total, report.written);
    // The records asked for, and the scope tracers', audit and exception records beside them.
    EXPECT_GT(report.written, 2500u);

    // A second run keeps the installation, adds files after the first run's and counts on.
    const Result second = Run({"demo", "--records", "10"});
    ASSERT_EQ(second.status, 0) << second.err << second.out;
    EXPECT_NE(second.out.find("configuration/OrqConfig.xml: kept as found"), std::string::npos);
    EXPECT_NE(second.out.find("RunCount: 2 "), std::string::npos);
    const DemoReport again = ParseDemo(second.out);
    ASSERT_EQ(again.files.size(), 1u);
    EXPECT_GT(again.files[0].first, report.files.back().first);
    EXPECT_EQ(RecordsIn(again.files[0].first), again.written);
}

TEST_F(ToolTest, DemoRunsAgainOnAFullLogDirectory) {
    // 101 files of an earlier day: more than the 100 kept, so the new file's rotation deletes
    // the two oldest and the family is back at the limit.
    for (int i = 1; i <= 101; ++i) {
        char name[64];
        std::snprintf(name, sizeof(name), "logs/Orq_20000101_%04d.log", i);
        f_root.writeFile(name, "");
    }
    const Result result = Run({"demo", "--records", "10"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("log files of the family on disk: 100 "), std::string::npos)
        << result.out;
    struct stat status {};
    EXPECT_NE(stat(f_root.file("logs/Orq_20000101_0002.log").c_str(), &status), 0);
    EXPECT_EQ(stat(f_root.file("logs/Orq_20000101_0003.log").c_str(), &status), 0);
    const DemoReport report = ParseDemo(result.out);
    ASSERT_EQ(report.files.size(), 1u);
    EXPECT_NE(report.files[0].first.find("_0001.log"), std::string::npos);
}

TEST_F(ToolTest, DemoKeepsAnInstallationsOwnConfiguration) {
    // Framework mode, as the installation says: the demo runs and makes no log files.
    const std::string own = "<OrqConfig><g><section name=\"Engine\">"
                            "<entry name=\"MaxSessions\" value=\"7\"/></section></g></OrqConfig>";
    f_root.writeFile("bin/OrqConfig.xml", own);
    const Result result = Run({"demo", "--records", "30"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("Engine/MaxSessions: 7"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("no log files were made"), std::string::npos);
    EXPECT_EQ(auttest::readFile(f_root.file("bin/OrqConfig.xml")), own);
    struct stat status {};
    EXPECT_NE(stat(f_root.file("configuration/OrqConfig.xml").c_str(), &status), 0);
}

TEST_F(ToolTest, DemoOnAnUnwritableInstallationFails) {
    f_root.writeFile("blocker", "");
    f_env["ORQ_BIN_DIR"] = f_root.file("blocker/bin");
    ExpectOneErrorLine(Run({"demo"}), 1, "aut demo: cannot create the directory");
}

// ---- The terminal progress box, driven directly with a fake clock -----------------------

class TerminalBoxTest : public ::testing::Test {
protected:
    void SetUp() override { f_out = std::tmpfile(); }
    void TearDown() override { std::fclose(f_out); }

    std::string Written() {
        std::fflush(f_out);
        std::string text;
        std::rewind(f_out);
        for (int c; (c = std::fgetc(f_out)) != EOF;) {
            text += static_cast<char>(c);
        }
        return text;
    }

    auttool::TerminalProgressBox MakeBox(bool isTerminal) {
        return auttool::TerminalProgressBox(f_out, isTerminal, std::chrono::milliseconds(200),
                                            [this] { return f_now; });
    }

    std::FILE* f_out = nullptr;
    std::chrono::steady_clock::time_point f_now;
};

TEST_F(TerminalBoxTest, DrawsNothingWithoutATerminal) {
    {
        auttool::TerminalProgressBox box = MakeBox(false);
        box.SetTitle("title");
        for (int i = 0; i <= 10; ++i) {
            box.SetTopValue(i);
            f_now += std::chrono::seconds(1);
        }
        EXPECT_EQ(box.DrawCount(), 0);
    }
    EXPECT_EQ(Written(), "");
}

TEST_F(TerminalBoxTest, RedrawsAtMostOncePerInterval) {
    auttool::TerminalProgressBox box = MakeBox(true);
    box.SetTopLimit(10);
    EXPECT_EQ(box.DrawCount(), 1);
    for (int i = 1; i <= 10; ++i) {
        box.SetTopValue(i);
    }
    EXPECT_EQ(box.DrawCount(), 1);
    f_now += std::chrono::milliseconds(199);
    box.SetTopValue(5);
    EXPECT_EQ(box.DrawCount(), 1);
    f_now += std::chrono::milliseconds(1);
    box.SetTopValue(5);
    EXPECT_EQ(box.DrawCount(), 2);
    const std::string text = Written();
    // The second drawing goes back up over the first one's line and erases it.
    EXPECT_NE(text.find("\033[1A\r\033[K  [###############...............]  50%\n"),
              std::string::npos);

    // Finish draws what was left pending, then erases the box.
    box.SetTopValue(10);
    box.Finish();
    EXPECT_EQ(box.DrawCount(), 3);
    const std::string finished = Written();
    EXPECT_NE(finished.find("[##############################] 100%"), std::string::npos);
    EXPECT_EQ(finished.substr(finished.size() - 8), "\033[1A\r\033[J");
}

TEST_F(TerminalBoxTest, BarsFollowTypeAndDisplay) {
    using Box = AUT_I_ProgressBox;
    struct Case {
        const char* name;
        void (*set)(auttool::TerminalProgressBox&);
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases = {
        {"value clamped to the limit",
         [](auttool::TerminalProgressBox& box) {
             box.SetTopLimit(4);
             box.SetTopValue(9);
             box.SetTopStatusText("done");
         },
         {"  [##############################] 100%  done"}},
        {"no limit shows an empty bar",
         [](auttool::TerminalProgressBox& box) { box.SetTopValue(3); },
         {"  [..............................]   0%"}},
        {"double bar with a hidden top and an info line",
         [](auttool::TerminalProgressBox& box) {
             box.SetTitle("T");
             box.SetDialogType(Box::kProgressBoxTypesDoubleBar);
             box.SetTopBarDisplay(Box::kProgressBoxDisplayHidden);
             box.SetMidStatusText("not shown in a double bar");
             box.SetBottomInfoText("bottom");
             box.SetBottomBarDisplay(Box::kProgressBoxDisplayAnimated);
             box.SetBottomBarAnimation("ab");
         },
         {"T", "  bottom", "  a"}},
        {"control characters and long lines stay on one line",
         [](auttool::TerminalProgressBox& box) {
             box.SetTitle(("a\nb\033" + std::string(90, 'x')).c_str());
         },
         {"a b " + std::string(75, 'x'), "  [..............................]   0%"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::fclose(f_out);
        f_out = std::tmpfile();
        auttool::TerminalProgressBox box = MakeBox(true);
        c.set(box);
        // Everything set in one instant: the last drawing comes from Finish.
        box.Finish();
        const std::string text = Written();
        // The last frame ends in the erase before the box's final erase, and begins after
        // the frame before it.
        const std::size_t end = text.rfind("\033[J", text.size() - 4);
        const std::size_t begin = text.rfind("\033[J", end - 1);
        const std::string frame = text.substr(begin == std::string::npos ? 0 : begin + 3,
                                              end - (begin == std::string::npos ? 0 : begin + 3));
        std::vector<std::string> lines;
        for (const std::string& line : reliability::SplitLines(frame)) {
            const std::size_t start = line.rfind("\r\033[K");
            lines.push_back(start == std::string::npos ? line : line.substr(start + 4));
        }
        EXPECT_EQ(lines, c.lines) << text;
    }
}

} // namespace
