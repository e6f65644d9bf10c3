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
    // `loggers`: properties lines that set further logger levels.
    void Configure(const std::string& loggers = "") {
        std::string text =
            auttest::readFile(std::string(AUT_TEST_DATA_DIR) + "/LogForwardingTest.properties");
        text.replace(text.find("@LOG@"), 5, Log());
        setenv("ORQ_LOG_CONFIG", root().writeFile("log4cxx.properties", text + loggers).c_str(), 1);
        LogFramework::configure();
    }
    std::string Log() const { return logsDir() + "/framework.log"; }
};

TEST_F(LogForwarding, LevelsComeFromTheLoggers) {
    Configure();
    for (const auto& row : auttest::ReadTable("LogForwardingTest-levels.tsv", 3)) {
        const I18NString component(("C" + row[0]).c_str());
        EXPECT_EQ(L::Create(component)->GetLogLevel(), std::stoi(row[1])) << row[0];
        EXPECT_EQ(L::Create(component, L::kLogTypeAudit)->GetLogLevel(), std::stoi(row[2]))
            << row[0];
    }
    // The trace level holds until the library stops, the audit level follows changes.
    Configure("log4j.logger.Trace.CWARN=ALL\nlog4j.logger.Audit.RTUsage.CWARN=ALL\n");
    EXPECT_EQ(L::Create("CWARN")->GetLogLevel(), L::kLogLevelTrace2);
    EXPECT_EQ(L::Create("CWARN", L::kLogTypeAudit)->GetLogLevel(), L::kLogLevelAudit5);
    ASSERT_EQ(AUT_Terminate("test"), 0);
    ASSERT_EQ(AUT_Initialize("test"), 0);
    EXPECT_EQ(L::Create("CWARN")->GetLogLevel(), L::kLogLevelTrace11);
}

TEST_F(LogForwarding, RecordsOfQueryEngineGoToOrqWithTheirLevelAndContext) {
    Configure();
    AUT_RefPtr<L> trace = L::Create("QueryEngine");
    for (int level = L::kLogLevelTrace0; level <= L::kLogLevelTrace11; ++level) {
        trace->Log(static_cast<L::ELogLevel>(level), "t{0}", std::to_string(level).c_str());
    }
    AUT_RefPtr<L> audit = L::Create("QueryEngine", L::kLogTypeAudit);
    for (int level = L::kLogLevelAudit0; level <= L::kLogLevelAudit5; ++level) {
        audit->AuditLog(static_cast<L::ELogLevel>(level), true, "s7", "r9", "audit");
    }
    audit->Log(L::kLogLevelAudit2, "plain {0}", "text");
    std::vector<std::string> expected;
    for (auttest::Row& row : auttest::ReadTable("LogForwardingTest-records.tsv", 1)) {
        expected.push_back(row[0].replace(row[0].find("{thread}"), 8,
                                          std::to_string(BrxThread::currentThreadId())));
    }
    EXPECT_EQ(reliability::SplitLines(auttest::readFile(Log())), expected);
}

} // namespace
