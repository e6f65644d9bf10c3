// Log objects in file mode: record format, level filter, substitution, scope tracers, audit
// markers and records per file. (Exception records: LogStressTest.)
#include "AutTestSupport.h"
#include "ReliabilitySupport.h"
#include "Table.h"
#include "UTI_LogFile.h"

#include <ctime>
#include <set>
#include <unistd.h>

namespace {

using L = AUT_I_LogFile;
using reliability::SplitLines;
using Texts = std::vector<std::string>;

using LogFileTest = auttest::FileModeTest;

TEST_F(LogFileTest, LevelsComeFromTheConfigurationAndAuditRecordsAreMarked) {
    // Stored audit levels count from the first audit level, 12 itself is taken as meant;
    // QueryEngine's audit entry is Orq's, its trace entry its own.
    Start({{"Comp", "3"},
           {"CompAuditLevel", "3"},
           {"A0AuditLevel", "0"},
           {"A5AuditLevel", "5"},
           {"A12AuditLevel", "12"},
           {"OrqAuditLevel", "4"},
           {"QueryEngine", "7"}});
    const std::pair<const char*, int> audit[] = {{"Comp", 15}, {"A0", 12},   {"A5", 17},
                                                 {"A12", 12},  {"None", 12}, {"QueryEngine", 16}};
    for (const auto& c : audit) {
        EXPECT_EQ(L::Create(c.first, L::kLogTypeAudit)->GetLogLevel(), c.second) << c.first;
    }
    EXPECT_EQ(L::Create("QueryEngine")->GetLogLevel(), L::kLogLevelTrace7);
    L::Create("Comp")->Log(L::kLogLevelTrace3, "comp 3");
    L::Create("Comp")->Log(L::kLogLevelTrace4, "dropped");
    L::Create("Other")->Log(L::kLogLevelTrace2, "dropped"); // no entry: level 1
    L::Create("Other")->Log(L::kLogLevelTrace1, "other 1");
    AUT_RefPtr<L> marked = L::Create("Comp", L::kLogTypeAudit); // audit level 15
    marked->AuditLog(L::kLogLevelAudit0, true, "session", "request", "begin {0}");
    marked->AuditLog(L::kLogLevelAudit3, false, "session", "request", "end");
    marked->AuditLog(L::kLogLevelAudit4, true, "session", "request", "dropped");
    marked->Log(L::kLogLevelAudit1, "plain {0}", "x");
    EXPECT_EQ(records(), (Texts{"comp 3", "other 1", "START FUNCTION:", "begin {0}",
                                "END FUNCTION:", "end", "END FUNCTION:", "plain x"}));
}

TEST_F(LogFileTest, SubstitutionPerOverloadAndUtf8) {
    Start();
    AUT_RefPtr<L> log = L::Create("Comp");
    std::u32string text;
    std::string utf8;
    for (const auto& row : auttest::ReadTable("LogFileTest-utf8.tsv", 3)) {
        for (int n = std::stoi(row[2]); n > 0; --n) {
            text += static_cast<char32_t>(std::stoul(row[0], nullptr, 16));
            utf8 += row[1];
        }
    }
    log->Log(L::kLogLevelTrace1, I18NString(text));
    log->Log(L::kLogLevelTrace1, "<{0}>", I18NString(text));
    const I18NString p[16] = {"a", "b", "c", "d", "e", "f", "g", "h",
                              "i", "j", "k", "l", "m", "n", "o", "p"};
    log->Log(L::kLogLevelTrace1, "{0}{1}");                        // no parameters: as it stands
    log->Log(L::kLogLevelTrace1, "{0}-{1}-{a}", p[0]);             // missing ones are removed
    log->Log(L::kLogLevelTrace1, "{1}{0}{1}{2}", p[0], p[1]);      // any order, repeated
    log->Log(L::kLogLevelTrace1, "{2}{{0}}{3}", p[0], p[1], p[2]); // braces around one
    log->Log(L::kLogLevelTrace1, "{3}{4}", p[0], p[1], p[2], p[3]);
    log->Log(L::kLogLevelTrace1, "{0}{9}{A}{F}{G}", p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7],
             p[8], p[9], p[10], p[11], p[12], p[13], p[14], p[15]);
    log->Log(L::kLogLevelTrace1, "{0}", "{1}"); // inserted text is not scanned again
    EXPECT_EQ(records(), (Texts{utf8, "<" + utf8 + ">", "{0}{1}", "a--{a}", "bab", "c{a}", "d",
                                "ajkp{G}", "{1}"}));
}

TEST_F(LogFileTest, ScopeTracersIndentTheWholeProcess) {
    Start({{"Comp", "2"}});
    AUT_RefPtr<L> log = L::Create("Comp");
    {
        // One tracer per overload, each a step deeper, left in the reverse order.
        const auto in = L::kLogLevelTrace1;
        AUT_RefPtr<L> t0 = L::Create("Comp", in, "in", "out");
        AUT_RefPtr<L> t1 = L::Create("Comp", in, "in {0}", "out {0}", "1");
        AUT_RefPtr<L> t2 = L::Create("Comp", in, "in {1}", "out {1}", "1", "2");
        AUT_RefPtr<L> t3 = L::Create("Comp", in, "in {2}", "out {2}", "1", "2", "3");
        AUT_RefPtr<L> t4 = L::Create("Comp", in, "in {3}", "out {3}", "1", "2", "3", "4");
        AUT_RefPtr<L> t16 =
            L::Create("Comp", L::kLogLevelTrace2, "in {F}",
                      "out {0}{1}{2}{3}{4}{5}{6}{7}{8}{9}{A}{B}{C}{D}{E}{F}", "1", "2", "3", "4",
                      "5", "6", "7", "8", "9", "10", "11", "12", "13", "14", "15", "16");
        // Empty entry and exit, or above the object's level: no records, still a step deeper.
        AUT_RefPtr<L> silent = L::Create("Comp", in, "", "");
        AUT_RefPtr<L> hidden = L::Create("Comp", L::kLogLevelTrace5, "hidden", "hidden");
        log->Log(L::kLogLevelTrace1, "inside");
    }
    log->Log(L::kLogLevelTrace1, "after");
    Texts lines; // after the time stamps, indentation kept
    for (const std::string& line : SplitLines(files().at(0))) {
        lines.push_back(line.substr(line.find('\t')));
    }
    EXPECT_EQ(lines, (Texts{"\t" + std::to_string(getpid()), "\tin", "\t\tin 1", "\t\t\tin 2",
                            "\t\t\t\tin 3", "\t\t\t\t\tin 4", "\t\t\t\t\t\tin 16",
                            "\t\t\t\t\t\t\t\t\tinside", "\t\t\t\t\t\tout 12345678910111213141516",
                            "\t\t\t\t\tout 4", "\t\t\t\tout 3", "\t\t\tout 2", "\t\tout 1", "\tout",
                            "\tafter"}));
}

TEST_F(LogFileTest, FilesHoldStampedRecordsUpToOneMoreThanTheLimit) {
    Start({{"LineCountPerLogFile", "1000"}});
    const std::time_t before = std::time(nullptr);
    AUT_RefPtr<L> log = L::Create("Comp");
    Texts expected;
    for (int i = 0; i < 2003; ++i) {
        expected.push_back("record " + std::to_string(i));
        log->Log(L::kLogLevelTrace1, expected.back().c_str());
    }
    std::set<std::string> stamps; // every "%c" text the clock can have shown meanwhile
    for (std::time_t t = before; t <= std::time(nullptr); ++t) {
        char text[256];
        std::tm local{};
        stamps.insert(std::string(text, std::strftime(text, 256, "%c", localtime_r(&t, &local))));
    }
    const std::string pid = "PID#\t" + std::to_string(getpid());
    const Texts contents = files();
    ASSERT_EQ(contents.size(), 3u);
    for (std::size_t f = 0; f < 3; ++f) { // each file with its process id line
        const Texts lines = SplitLines(contents[f]);
        EXPECT_EQ(lines.size(), f < 2 ? 1002u : 2u);
        EXPECT_EQ(lines[0], pid);
        const std::string stamp = lines.back().substr(0, lines.back().find('\t'));
        EXPECT_EQ(stamps.count(stamp), 1u) << stamp;
    }
    EXPECT_EQ(records(), expected);
}

} // namespace
