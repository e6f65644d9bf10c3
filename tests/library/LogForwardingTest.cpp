// Framework mode: components reach the loggers "Trace.<key>" and "Audit.RTUsage.<key>", take
// their levels from them, and send records with the framework level and their context.
#include "AUTInitialize.h"
#include "AutTestSupport.h"
#include "ReliabilitySupport.h"
#include "Table.h"
#include "UTI_LogFile.h"

#include <BrxThread.h>
#include <arpa/inet.h>
#include <mrvipf2.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
// Debian's log4cxx 1.0 deletes its datagram socket through a base of another size when the
// syslog appender closes (at exit): its own mismatch, not this library's.
extern "C" __attribute__((visibility("default"))) const char* __asan_default_options() {
    return "new_delete_type_mismatch=0";
}
#endif

namespace {

using L = AUT_I_LogFile;

// The library started in framework mode (the default); every logger writes one file.
class LogForwarding : public auttest::InitializedTest {
protected:
    void TearDown() override {
        InitializedTest::TearDown();
        unsetenv("ORQ_LOG_CONFIG");
    }
    // `loggers`: properties lines after those of `file`.
    void Configure(const std::string& loggers = "",
                   const std::string& file = "LogForwardingTest.properties") {
        std::string text = auttest::readFile(std::string(AUT_TEST_DATA_DIR) + "/" + file);
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

// Records leave the machine through the framework's own means: JSON lines with the context
// entries, and syslog datagrams to a receiver this test runs on the loopback address.
TEST_F(LogForwarding, JsonLinesAndSyslogCarryTheRecord) {
    const int receiver = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    auto* const any = reinterpret_cast<sockaddr*>(&address);
    ASSERT_TRUE(bind(receiver, any, length) == 0 && getsockname(receiver, any, &length) == 0);
    Configure("log4j.appender.syslog.SyslogHost=127.0.0.1:" +
                  std::to_string(ntohs(address.sin_port)) + "\n",
              "LogForwardingTest-out.properties");
    L::Create("QueryEngine", L::kLogTypeAudit)->AuditLog(L::kLogLevelAudit0, true, "s", "r9", "q7");
    char packet[512];
    // The appender sends before the call returns, and loopback delivers at once.
    const ssize_t received = recv(receiver, packet, sizeof packet, MSG_DONTWAIT);
    close(receiver);
    // LOCAL0 (16) * 8 + notice (5): the most important records are notices to syslog.
    EXPECT_EQ(std::string(packet, received > 0 ? received : 0),
              "<133>Audit.RTUsage.Orq ALWAYS r9 q7");
    const std::string json = auttest::readFile(Log());
    for (const std::string part :
         {"\"level\": \"ALWAYS\"", "\"logger\": \"Audit.RTUsage.Orq\"", "\"message\": \"q7\"",
          "\"request\": \"r9\"", "\"session\": \"s\"", "\"step\": \"0\""}) {
        EXPECT_NE(json.find(part), std::string::npos) << part << " in " << json;
    }
}
