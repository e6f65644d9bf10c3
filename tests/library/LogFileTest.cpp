// Log objects in file mode: level filter, record format, substitution, scope tracers, audit
// markers, records per file, exception records, write failures.
#include "AUTInitialize.h"
#include "AutTestSupport.h"
#include "ReliabilitySupport.h"
#include "UTException.h"
#include "UTI_LogFile.h"
#include "UTLogFile.h"

#include <csignal>
#include <ctime>
#include <dirent.h>
#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using reliability::Entries;
using L = AUT_I_LogFile;

using reliability::SplitLines;

// Every "%c" text the clock can have shown between two readings.
std::set<std::string> StampsBetween(std::time_t first, std::time_t last) {
    std::set<std::string> stamps;
    for (std::time_t t = first; t <= last; ++t) {
        std::tm local{};
        localtime_r(&t, &local);
        char text[256];
        stamps.insert(std::string(text, std::strftime(text, sizeof(text), "%c", &local)));
    }
    return stamps;
}

// A temporary installation whose "OrqConfig.xml" puts logging into file mode.
class LogFileTest : public auttest::InstallationTest {
protected:
    void TearDown() override {
        if (f_started) {
            AUT_Terminate("LogFileTest");
        }
        InstallationTest::TearDown();
    }

    void Start(const Entries& extra = {}) {
        root().writeFile("configuration/OrqConfig.xml",
                         reliability::FileModeConfiguration(logsDir() + "/test.log", extra));
        ASSERT_EQ(AUT_Initialize("LogFileTest"), 0);
        f_started = true;
    }

    // The files this process created, oldest first, with their contents.
    std::vector<std::string> Files() const {
        std::vector<I18NString> names;
        AUT_I_LogFile::GetLogFileNames(names, true);
        std::vector<std::string> contents;
        for (const I18NString& name : names) {
            contents.push_back(auttest::readFile(name.c_str()));
        }
        return contents;
    }

    std::size_t FilesInLogsDir() const {
        std::size_t count = 0;
        if (DIR* dir = opendir(logsDir().c_str())) {
            while (dirent* entry = readdir(dir)) {
                count += entry->d_name[0] != '.';
            }
            closedir(dir);
        }
        return count;
    }

    // The record lines of the only file, without the process id line and time stamps.
    std::vector<std::string> Records() const {
        const std::vector<std::string> files = Files();
        EXPECT_EQ(files.size(), 1u);
        std::vector<std::string> records;
        for (const std::string& line : SplitLines(files.empty() ? "" : files.back())) {
            if (line.rfind("PID#\t", 0) == 0) {
                continue;
            }
            const std::size_t tab = line.find('\t');
            // Lines after a newline inside a record have no time stamp.
            records.push_back(tab == std::string::npos ? line : line.substr(tab));
        }
        return records;
    }

    bool f_started = false;
};

TEST_F(LogFileTest, FirstAndSecondRecordOfAFile) {
    Start();
    const std::time_t before = std::time(nullptr);
    {
        AUT_RefPtr<AUT_I_LogFile> log = AUT_I_LogFile::Create("Comp");
        log->Log(L::kLogLevelTrace1, "first {0}", "record");
        log->Log(L::kLogLevelTrace0, "second");
    }
    const std::set<std::string> stamps = StampsBetween(before, std::time(nullptr));
    const std::vector<std::string> files = Files();
    ASSERT_EQ(files.size(), 1u);
    const std::vector<std::string> lines = SplitLines(files[0]);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "PID#\t" + std::to_string(getpid()));
    const std::size_t firstTab = lines[1].find('\t');
    const std::size_t secondTab = lines[2].find('\t');
    ASSERT_NE(firstTab, std::string::npos);
    ASSERT_NE(secondTab, std::string::npos);
    EXPECT_EQ(stamps.count(lines[1].substr(0, firstTab)), 1u) << lines[1];
    EXPECT_EQ(stamps.count(lines[2].substr(0, secondTab)), 1u) << lines[2];
    EXPECT_EQ(lines[1].substr(firstTab), "\tfirst record");
    EXPECT_EQ(lines[2].substr(secondTab), "\tsecond");
    // Nothing but those lines, each ended by one newline.
    EXPECT_EQ(files[0], lines[0] + "\n" + lines[1] + "\n" + lines[2] + "\n");
}

TEST_F(LogFileTest, LevelFilterUsesTheComponentsTraceLevel) {
    Start({{"Comp", "3"}});
    AUT_RefPtr<AUT_I_LogFile> log = AUT_I_LogFile::Create("Comp");
    EXPECT_EQ(log->GetLogLevel(), L::kLogLevelTrace3);
    for (int level = 0; level <= 5; ++level) {
        log->Log(static_cast<L::ELogLevel>(level), "level {0}", std::to_string(level).c_str());
    }
    // Another component without an entry gets level 1.
    AUT_RefPtr<AUT_I_LogFile> other = AUT_I_LogFile::Create("Other");
    other->Log(L::kLogLevelTrace2, "dropped");
    other->Log(L::kLogLevelTrace1, "other 1");
    const std::vector<std::string> expected = {"\tlevel 0", "\tlevel 1", "\tlevel 2", "\tlevel 3",
                                               "\tother 1"};
    EXPECT_EQ(Records(), expected);
}

TEST_F(LogFileTest, SubstitutionPerOverload) {
    Start();
    AUT_RefPtr<AUT_I_LogFile> log = AUT_I_LogFile::Create("Comp");
    const I18NString p[16] = {"a", "b", "c", "d", "e", "f", "g", "h",
                              "i", "j", "k", "l", "m", "n", "o", "p"};
    log->Log(L::kLogLevelTrace1, "{0}{1}");                     // no parameters: as it stands
    log->Log(L::kLogLevelTrace1, "{0}-{1}-{a}", p[0]);          // missing ones are removed
    log->Log(L::kLogLevelTrace1, "{1}{0}{1}", p[0], p[1]);      // any order, repeated
    log->Log(L::kLogLevelTrace1, "{2}{{0}}", p[0], p[1], p[2]); // braces around one
    log->Log(L::kLogLevelTrace1, "{3}{4}", p[0], p[1], p[2], p[3]);
    log->Log(L::kLogLevelTrace1, "{0}{9}{A}{F}{G}", p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7],
             p[8], p[9], p[10], p[11], p[12], p[13], p[14], p[15]);
    log->Log(L::kLogLevelTrace1, "{0}", "{1}"); // inserted text is not scanned again
    const std::vector<std::string> expected = {"\t{0}{1}", "\ta--{a}",  "\tbab", "\tc{a}",
                                               "\td",      "\tajkp{G}", "\t{1}"};
    EXPECT_EQ(Records(), expected);
}

TEST_F(LogFileTest, TextIsWrittenAsUtf8) {
    Start();
    AUT_RefPtr<AUT_I_LogFile> log = AUT_I_LogFile::Create("Comp");
    std::u32string text = U"\u00e9\u20ac\U0001F600";
    text += static_cast<char32_t>(0xD800); // no scalar value: written as U+FFFD
    log->Log(L::kLogLevelTrace1, I18NString(text));
    log->Log(L::kLogLevelTrace1, "<{0}>", I18NString(text));
    const std::string utf8 = "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xEF\xBF\xBD";
    const std::vector<std::string> expected = {"\t" + utf8, "\t<" + utf8 + ">"};
    EXPECT_EQ(Records(), expected);
}

TEST_F(LogFileTest, ScopeTracersIndentTheWholeProcess) {
    Start({{"Comp", "2"}});
    AUT_RefPtr<AUT_I_LogFile> log = AUT_I_LogFile::Create("Comp");
    {
        AUT_RefPtr<AUT_I_LogFile> outer =
            AUT_I_LogFile::Create("Comp", L::kLogLevelTrace1, "enter {0}", "leave {0}", "f");
        log->Log(L::kLogLevelTrace1, "inside");
        {
            // Empty entry and exit: no records, but one step deeper.
            AUT_RefPtr<AUT_I_LogFile> silent =
                AUT_I_LogFile::Create("Comp", L::kLogLevelTrace1, "", "");
            log->Log(L::kLogLevelTrace1, "deeper");
            {
                // Above the object's level: neither record, still a step deeper.
                AUT_RefPtr<AUT_I_LogFile> detailed =
                    AUT_I_LogFile::Create("Comp", L::kLogLevelTrace5, "hidden", "hidden");
                log->Log(L::kLogLevelTrace1, "deepest");
            }
            log->Log(L::kLogLevelTrace1, "deeper again");
        }
        {
            AUT_RefPtr<AUT_I_LogFile> sixteen = AUT_I_LogFile::Create(
                "Comp", L::kLogLevelTrace2, "in {0}{F}", "out {1}{F}", "1", "2", "3", "4", "5", "6",
                "7", "8", "9", "10", "11", "12", "13", "14", "15", "16");
        }
    }
    log->Log(L::kLogLevelTrace1, "after");
    const std::vector<std::string> expected = {
        "\tenter f",  "\t\tinside",  "\t\t\tdeeper", "\t\t\t\tdeepest", "\t\t\tdeeper again",
        "\t\tin 116", "\t\tout 216", "\tleave f",    "\tafter"};
    EXPECT_EQ(Records(), expected);
}

TEST_F(LogFileTest, AuditObjectsMarkTheirRecords) {
    // "CompAuditLevel" 3 gives audit level 15.
    Start({{"CompAuditLevel", "3"}});
    AUT_RefPtr<AUT_I_LogFile> audit = AUT_I_LogFile::Create("Comp", L::kLogTypeAudit);
    EXPECT_EQ(audit->GetLogLevel(), L::kLogLevelAudit3);
    audit->AuditLog(L::kLogLevelAudit0, true, "session", "request", "begin {0}");
    audit->AuditLog(L::kLogLevelAudit3, false, "session", "request", "end");
    audit->AuditLog(L::kLogLevelAudit4, true, "session", "request", "dropped");
    audit->Log(L::kLogLevelAudit1, "plain {0}", "x");
    const std::vector<std::string> expected = {
        "\tSTART FUNCTION:", "begin {0}", "\tEND FUNCTION:", "end", "\tEND FUNCTION:", "plain x"};
    EXPECT_EQ(Records(), expected);
}

TEST_F(LogFileTest, ConfiguredAuditLevels) {
    const std::pair<const char*, L::ELogLevel> cases[] = {{"0", L::kLogLevelAudit0},
                                                          {"3", L::kLogLevelAudit3},
                                                          {"5", L::kLogLevelAudit5},
                                                          {"12", L::kLogLevelAudit0}};
    Entries entries;
    for (const auto& c : cases) {
        entries.emplace_back(std::string("C") + c.first + "AuditLevel", c.first);
    }
    // "QueryEngine" is "Orq" to the audit level entry, but keeps its own trace entry.
    entries.emplace_back("OrqAuditLevel", "4");
    entries.emplace_back("QueryEngine", "7");
    Start(entries);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        EXPECT_EQ(AUT_I_LogFile::Create((std::string("C") + c.first).c_str(), L::kLogTypeAudit)
                      ->GetLogLevel(),
                  c.second);
    }
    EXPECT_EQ(AUT_I_LogFile::Create("None", L::kLogTypeAudit)->GetLogLevel(), L::kLogLevelAudit0);
    EXPECT_EQ(AUT_I_LogFile::Create("QueryEngine", L::kLogTypeAudit)->GetLogLevel(),
              L::kLogLevelAudit4);
    EXPECT_EQ(AUT_I_LogFile::Create("QueryEngine")->GetLogLevel(), L::kLogLevelTrace7);
}

TEST_F(LogFileTest, LineCountLimitGivesOneMoreRecordPerFile) {
    Start({{"LineCountPerLogFile", "1000"}});
    AUT_RefPtr<AUT_I_LogFile> log = AUT_I_LogFile::Create("Comp");
    for (int i = 0; i < 2003; ++i) {
        log->Log(L::kLogLevelTrace1, "record {0}", std::to_string(i).c_str());
    }
    const std::vector<std::string> files = Files();
    ASSERT_EQ(files.size(), 3u);
    const std::size_t expected[] = {1001, 1001, 1};
    int next = 0;
    for (std::size_t f = 0; f < files.size(); ++f) {
        SCOPED_TRACE(f);
        std::vector<std::string> lines = SplitLines(files[f]);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines[0], "PID#\t" + std::to_string(getpid()));
        EXPECT_EQ(lines.size() - 1, expected[f]);
        for (std::size_t l = 1; l < lines.size(); ++l) {
            EXPECT_EQ(lines[l].substr(lines[l].find('\t')), "\trecord " + std::to_string(next++));
        }
    }
}

TEST_F(LogFileTest, ExceptionsAreRecordedInTheQueryEngineLog) {
    Start();
    try {
        AUT_I_LogFile::SetLogFileLineCountLimit(5);
        FAIL() << "no exception";
    } catch (const AUT_Exception& exception) {
        EXPECT_EQ(exception.getErrorCode(), 702);
    }
    const std::vector<std::string> records = Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0],
              "\tException: The log file line count limit 5 is out of range; it must lie "
              "between 1000 and 4000000000.");
}

TEST_F(LogFileTest, FrameworkModeWritesNoFile) {
    root().writeFile("configuration/OrqConfig.xml", "<OrqConfig/>");
    ASSERT_EQ(AUT_Initialize("LogFileTest"), 0);
    f_started = true;
    AUT_RefPtr<AUT_I_LogFile> log = AUT_I_LogFile::Create("Comp");
    log->Log(L::kLogLevelTrace0, "nowhere {0}", "yet");
    EXPECT_EQ(FilesInLogsDir(), 0u);
    EXPECT_TRUE(Files().empty());
}

TEST_F(LogFileTest, TerminateClosesTheFileAndTheNextStartOpensANewOne) {
    Start();
    AUT_I_LogFile::Create("Comp")->Log(L::kLogLevelTrace1, "one");
    AUT_Terminate("LogFileTest");
    f_started = false;
    ASSERT_EQ(AUT_Initialize("LogFileTest"), 0);
    f_started = true;
    AUT_I_LogFile::Create("Comp")->Log(L::kLogLevelTrace1, "two");
    EXPECT_EQ(FilesInLogsDir(), 2u);
    const std::vector<std::string> expected = {"\ttwo"};
    EXPECT_EQ(Records(), expected);
}

// Runs `body` in a child process; its result text ("" for success) comes back through a pipe.
std::string RunInChild(const std::function<std::string()>& body) {
    int channel[2];
    if (pipe(channel) != 0) {
        return "pipe failed";
    }
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        std::string result;
        try {
            result = body();
        } catch (const std::exception& e) {
            result = std::string("exception: ") + e.what();
        }
        if (write(channel[1], result.data(), result.size()) < 0) {
            _exit(2);
        }
        _exit(0);
    }
    close(channel[1]);
    std::string result;
    char buffer[512];
    for (ssize_t n; (n = read(channel[0], buffer, sizeof(buffer))) > 0;) {
        result.append(buffer, static_cast<std::size_t>(n));
    }
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return "child failed: " + result;
    }
    return result;
}

TEST_F(LogFileTest, WriteFailureGives701ThenSilenceUntilTheNameIsReset) {
    Start();
    const std::string secondName = logsDir() + "/again.log";
    const std::string result = RunInChild([&]() -> std::string {
        std::signal(SIGXFSZ, SIG_IGN);
        AUT_RefPtr<AUT_I_LogFile> log = AUT_I_LogFile::Create("Comp");
        const rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        const std::string padding(100, 'x');
        int failures = 0;
        int written = 0;
        for (int i = 0; i < 200; ++i) {
            try {
                log->Log(L::kLogLevelTrace1, "{0}", padding.c_str());
                ++written;
            } catch (const AUT_Exception& exception) {
                if (exception.getErrorCode() != 701) {
                    return "code " + std::to_string(exception.getErrorCode());
                }
                const auto* message =
                    dynamic_cast<const BrxMessageComponents*>(&exception.messageAt(0));
                if (exception.messageCount() != 1 || message == nullptr ||
                    message->getMessageNumber() != 0x7214BCB6 ||
                    message->getParameters().size() != 1) {
                    return "unexpected messages";
                }
                ++failures;
            }
        }
        if (failures != 1 || written < 20) {
            return "failures " + std::to_string(failures) + ", written " + std::to_string(written);
        }
        AUT_I_LogFile::SetLogFileName(secondName.c_str());
        AUT_RefPtr<AUT_I_LogFile> fresh = AUT_I_LogFile::Create("Comp");
        log->Log(L::kLogLevelTrace1, "back again");
        std::vector<I18NString> names;
        AUT_I_LogFile::GetLogFileNames(names, true);
        if (names.size() != 1) {
            return "files " + std::to_string(names.size());
        }
        const std::string path = names[0].c_str();
        if (path.rfind(logsDir() + "/again_", 0) != 0) {
            return "wrong file " + path;
        }
        const std::string text = auttest::readFile(path);
        return text.find("\tback again\n") == std::string::npos ? "not recovered: " + text : "";
    });
    EXPECT_EQ(result, "");
}

} // namespace
