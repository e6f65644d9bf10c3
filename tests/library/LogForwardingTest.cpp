// Framework mode: components reach the loggers "Trace.<key>" and "Audit.RTUsage.<key>", take
// their levels from them, and send records with the framework level and their context.
#include "AUTInitialize.h"
#include "AutTestSupport.h"
#include "ReliabilitySupport.h"
#include "Table.h"
#include "UTI_LogFile.h"

#include <BrxThread.h>
#include <mrvipf2.h>

namespace {

using L = AUT_I_LogFile;

// The library started in framework mode (the default); every logger writes one file.
class LogForwarding : public auttest::InitializedTest {
protected:
    void TearDown() override {
        InitializedTest::TearDown();
        unsetenv("ORQ_LOG_CONFIG");
    }
    // `loggers`: properties lines that set logger levels.
    void Configure(const std::string& loggers) {
        std::string text =
            auttest::readFile(std::string(AUT_TEST_DATA_DIR) + "/LogForwardingTest.properties");
        text.replace(text.find("@LOG@"), 5, Log());
        setenv("ORQ_LOG_CONFIG", root().writeFile("log4cxx.properties", text + loggers).c_str(), 1);
        LogFramework::configure();
    }
    std::string Log() const { return logsDir() + "/framework.log"; }
};

TEST_F(LogForwarding, LevelsComeFromTheLoggers) {
    const std::vector<auttest::Row> levels = auttest::ReadTable("LogForwardingTest-levels.tsv", 3);
    std::string loggers;
    for (const auto& row : levels) {
        loggers += "log4j.logger.Trace.C" + row[0] + "=" + row[0] + "\n";
        loggers += "log4j.logger.Audit.RTUsage.C" + row[0] + "=" + row[0] + "\n";
    }
    Configure(loggers);
    for (const auto& row : levels) {
        const I18NString component(("C" + row[0]).c_str());
        EXPECT_EQ(L::Create(component)->GetLogLevel(), std::stoi(row[1])) << row[0];
        EXPECT_EQ(L::Create(component, L::kLogTypeAudit)->GetLogLevel(), std::stoi(row[2]))
            << row[0];
    }
}

TEST_F(LogForwarding, RecordsOfQueryEngineGoToOrqWithTheirLevelAndContext) {
    Configure("log4j.logger.Trace.Orq=ALL\nlog4j.logger.Audit.RTUsage.Orq=ALL\n");
    AUT_RefPtr<L> trace = L::Create("QueryEngine");
    for (int level = L::kLogLevelTrace0; level <= L::kLogLevelTrace11; ++level) {
        trace->Log(static_cast<L::ELogLevel>(level), "t{0}", std::to_string(level).c_str());
    }
    AUT_RefPtr<L> audit = L::Create("QueryEngine", L::kLogTypeAudit);
    for (int level = L::kLogLevelAudit0; level <= L::kLogLevelAudit5; ++level) {
        const std::string n = std::to_string(level);
        audit->AuditLog(static_cast<L::ELogLevel>(level), true, ("s" + n).c_str(),
                        ("r" + n).c_str(), ("a" + n).c_str());
    }
    audit->Log(L::kLogLevelAudit2, "plain {0}", "text");
    std::vector<std::string> expected;
    for (auttest::Row& row : auttest::ReadTable("LogForwardingTest-records.tsv", 1)) {
        expected.push_back(row[0].replace(row[0].find("{thread}"), 8,
                                          std::to_string(BrxThread::currentThreadId())));
    }
    EXPECT_EQ(reliability::SplitLines(auttest::readFile(Log())), expected);
}

TEST_F(LogForwarding, TraceLevelHoldsUntilTerminateAuditLevelFollowsChanges) {
    Configure("log4j.logger.Trace.Comp=WARN\nlog4j.logger.Audit.RTUsage.Comp=WARN\n");
    EXPECT_EQ(L::Create("Comp")->GetLogLevel(), L::kLogLevelTrace2);
    EXPECT_EQ(L::Create("Comp", L::kLogTypeAudit)->GetLogLevel(), L::kLogLevelAudit3);

    Configure("log4j.logger.Trace.Comp=ALL\nlog4j.logger.Audit.RTUsage.Comp=ALL\n");
    EXPECT_EQ(L::Create("Comp")->GetLogLevel(), L::kLogLevelTrace2);
    EXPECT_EQ(L::Create("Comp", L::kLogTypeAudit)->GetLogLevel(), L::kLogLevelAudit5);

    // A full stop and start sets the component up afresh.
    ASSERT_EQ(AUT_Terminate("test"), 0);
    ASSERT_EQ(AUT_Initialize("test"), 0);
    EXPECT_EQ(L::Create("Comp")->GetLogLevel(), L::kLogLevelTrace11);
}

} // namespace
