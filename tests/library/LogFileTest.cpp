// Log objects in file mode: record format, level filter, substitution, scope tracers, audit
// markers, records per file and exception records.
#include "AUTInitialize.h"
#include "AutTestSupport.h"
#include "ReliabilitySupport.h"
#include "UTI_LogFile.h"

#include <ctime>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using L = AUT_I_LogFile;
using reliability::SplitLines;
using Texts = std::vector<std::string>;

class LogFileTest : public auttest::FileModeTest {
protected:
    static std::string ProcessIdLine() { return "PID#\t" + std::to_string(getpid()); }
    // Every line after its time stamp, indentation kept; the process id lines left out.
    Texts Lines() const {
        Texts lines;
        for (const std::string& file : files()) {
            for (const std::string& line : SplitLines(file)) {
                if (line != ProcessIdLine()) {
                    lines.push_back(line.substr(line.find('\t')));
                }
            }
        }
        return lines;
    }
};

TEST_F(LogFileTest, RecordsAreStampedLinesAfterTheProcessId) {
    Start();
    const std::time_t before = std::time(nullptr);
    {
        AUT_RefPtr<L> log = L::Create("Comp");
        log->Log(L::kLogLevelTrace1, "first {0}", "record");
        log->Log(L::kLogLevelTrace0, "second");
    }
    // Every "%c" text the clock can have shown meanwhile.
    std::set<std::string> stamps;
    for (std::time_t t = before; t <= std::time(nullptr); ++t) {
        std::tm local{};
        char text[256];
        stamps.insert(std::string(text, std::strftime(text, 256, "%c", localtime_r(&t, &local))));
    }
    const Texts contents = files();
    ASSERT_EQ(contents.size(), 1u);
    const Texts lines = SplitLines(contents[0]);
    ASSERT_EQ(lines.size(), 3u);
    const std::string first = lines[1].substr(0, lines[1].find('\t'));
    const std::string second = lines[2].substr(0, lines[2].find('\t'));
    EXPECT_EQ(stamps.count(first), 1u) << first;
    EXPECT_EQ(stamps.count(second), 1u) << second;
    EXPECT_EQ(contents[0],
              ProcessIdLine() + "\n" + first + "\tfirst record\n" + second + "\tsecond\n");
}

TEST_F(LogFileTest, LevelsComeFromTheConfiguration) {
    // "QueryEngine" is "Orq" to its audit level entry but keeps its own trace entry; stored
    // audit levels count from the first audit level, 12 itself is taken as meant.
    Start({{"Comp", "3"},
           {"A0AuditLevel", "0"},
           {"A5AuditLevel", "5"},
           {"A12AuditLevel", "12"},
           {"OrqAuditLevel", "4"},
           {"QueryEngine", "7"}});
    const std::pair<const char*, L::ELogLevel> audit[] = {{"A0", L::kLogLevelAudit0},
                                                          {"A5", L::kLogLevelAudit5},
                                                          {"A12", L::kLogLevelAudit0},
                                                          {"None", L::kLogLevelAudit0},
                                                          {"QueryEngine", L::kLogLevelAudit4}};
    for (const auto& c : audit) {
        SCOPED_TRACE(c.first);
        EXPECT_EQ(L::Create(c.first, L::kLogTypeAudit)->GetLogLevel(), c.second);
    }
    EXPECT_EQ(L::Create("QueryEngine")->GetLogLevel(), L::kLogLevelTrace7);
    AUT_RefPtr<L> log = L::Create("Comp");
    for (int level = 0; level <= 5; ++level) {
        log->Log(static_cast<L::ELogLevel>(level), "level {0}", std::to_string(level).c_str());
    }
    AUT_RefPtr<L> other = L::Create("Other"); // no entry: level 1
    other->Log(L::kLogLevelTrace2, "dropped");
    other->Log(L::kLogLevelTrace1, "other 1");
    EXPECT_EQ(records(), (Texts{"level 0", "level 1", "level 2", "level 3", "other 1"}));
}

TEST_F(LogFileTest, SubstitutionPerOverload) {
    Start();
    AUT_RefPtr<L> log = L::Create("Comp");
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
    EXPECT_EQ(records(), (Texts{"{0}{1}", "a--{a}", "bab", "c{a}", "d", "ajkp{G}", "{1}"}));
}

TEST_F(LogFileTest, TextIsWrittenAsUtf8) {
    Start();
    // Each encoding length at its limits; what has no scalar value becomes U+FFFD.
    const std::string replacement = "\xEF\xBF\xBD";
    const std::pair<char32_t, std::string> cases[] = {{0x7F, "\x7F"},
                                                      {0x80, "\xC2\x80"},
                                                      {0x7FF, "\xDF\xBF"},
                                                      {0x800, "\xE0\xA0\x80"},
                                                      {0xD7FF, "\xED\x9F\xBF"},
                                                      {0xD800, replacement},
                                                      {0xDFFF, replacement},
                                                      {0xE000, "\xEE\x80\x80"},
                                                      {0xFFFF, "\xEF\xBF\xBF"},
                                                      {0x10000, "\xF0\x90\x80\x80"},
                                                      {0x10FFFF, "\xF4\x8F\xBF\xBF"},
                                                      {0x110000, replacement}};
    // First a whole block of the ASCII fast path that is not ASCII.
    std::u32string text(16, U'\x80');
    std::string utf8;
    for (int i = 0; i < 16; ++i) {
        utf8 += "\xC2\x80";
    }
    for (const auto& c : cases) {
        text += c.first;
        utf8 += c.second;
    }
    AUT_RefPtr<L> log = L::Create("Comp");
    log->Log(L::kLogLevelTrace1, I18NString(text));
    log->Log(L::kLogLevelTrace1, "<{0}>", I18NString(text));
    EXPECT_EQ(records(), (Texts{utf8, "<" + utf8 + ">"}));
}

TEST_F(LogFileTest, ScopeTracersIndentTheWholeProcess) {
    Start({{"Comp", "2"}});
    AUT_RefPtr<L> log = L::Create("Comp");
    {
        AUT_RefPtr<L> outer = L::Create("Comp", L::kLogLevelTrace1, "enter {0}", "leave {0}", "f");
        log->Log(L::kLogLevelTrace1, "inside");
        {
            // Empty entry and exit: no records, but one step deeper.
            AUT_RefPtr<L> silent = L::Create("Comp", L::kLogLevelTrace1, "", "");
            log->Log(L::kLogLevelTrace1, "deeper");
            {
                // Above the object's level: neither record, still a step deeper.
                AUT_RefPtr<L> detailed = L::Create("Comp", L::kLogLevelTrace5, "hidden", "hidden");
                log->Log(L::kLogLevelTrace1, "deepest");
            }
            log->Log(L::kLogLevelTrace1, "deeper again");
        }
        AUT_RefPtr<L> sixteen =
            L::Create("Comp", L::kLogLevelTrace2, "in {0}{F}", "out {1}{F}", "1", "2", "3", "4",
                      "5", "6", "7", "8", "9", "10", "11", "12", "13", "14", "15", "16");
    }
    log->Log(L::kLogLevelTrace1, "after");
    EXPECT_EQ(Lines(),
              (Texts{"\tenter f", "\t\tinside", "\t\t\tdeeper", "\t\t\t\tdeepest",
                     "\t\t\tdeeper again", "\t\tin 116", "\t\tout 216", "\tleave f", "\tafter"}));
}

TEST_F(LogFileTest, AuditObjectsMarkTheirRecords) {
    Start({{"CompAuditLevel", "3"}});
    AUT_RefPtr<L> audit = L::Create("Comp", L::kLogTypeAudit);
    EXPECT_EQ(audit->GetLogLevel(), L::kLogLevelAudit3);
    audit->AuditLog(L::kLogLevelAudit0, true, "session", "request", "begin {0}");
    audit->AuditLog(L::kLogLevelAudit3, false, "session", "request", "end");
    audit->AuditLog(L::kLogLevelAudit4, true, "session", "request", "dropped");
    audit->Log(L::kLogLevelAudit1, "plain {0}", "x");
    EXPECT_EQ(records(), (Texts{"START FUNCTION:", "begin {0}", "END FUNCTION:", "end",
                                "END FUNCTION:", "plain x"}));
}

TEST_F(LogFileTest, EachFileHoldsOneRecordMoreThanTheLimit) {
    Start({{"LineCountPerLogFile", "1000"}});
    AUT_RefPtr<L> log = L::Create("Comp");
    Texts expected;
    for (int i = 0; i < 2003; ++i) {
        expected.push_back("record " + std::to_string(i));
        log->Log(L::kLogLevelTrace1, "record {0}", std::to_string(i).c_str());
    }
    const Texts contents = files();
    ASSERT_EQ(contents.size(), 3u);
    const std::size_t lines[] = {1002, 1002, 2};
    for (std::size_t f = 0; f < contents.size(); ++f) {
        SCOPED_TRACE(f);
        EXPECT_EQ(SplitLines(contents[f]).size(), lines[f]);
        EXPECT_EQ(contents[f].rfind(ProcessIdLine() + "\n", 0), 0u);
    }
    EXPECT_EQ(records(), expected);
}

TEST_F(LogFileTest, ExceptionsAreRecordedInTheQueryEngineLog) {
    Start();
    EXPECT_EQ(auttest::Catch([] { L::SetLogFileLineCountLimit(5); }).code, 702);
    EXPECT_EQ(records(), Texts{"Exception: The log file line count limit 5 is out of range; it "
                               "must lie between 1000 and 4000000000."});
}

TEST_F(LogFileTest, TerminateClosesTheFileAndTheNextStartOpensANewOne) {
    Start();
    L::Create("Comp")->Log(L::kLogLevelTrace1, "one");
    ASSERT_EQ(AUT_Terminate("test"), 0);
    ASSERT_EQ(AUT_Initialize("test"), 0);
    L::Create("Comp")->Log(L::kLogLevelTrace1, "two");
    EXPECT_EQ(reliability::FilesWithPrefix(logsDir(), "test_").size(), 2u);
    EXPECT_EQ(records(), Texts{"two"});
}

} // namespace
