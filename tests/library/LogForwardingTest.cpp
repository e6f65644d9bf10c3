// Framework mode: components reach log4cxx loggers by name, take their levels from them, and
// send records with the framework level and their ids.
#include "AUTInitialize.h"
#include "AutTestSupport.h"
#include "ReliabilitySupport.h"
#include "UTI_LogFile.h"
#include "UTLogFile.h"

#include <map>
#include <mrvipf2.h>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

namespace {

using L = AUT_I_LogFile;

// A temporary installation in framework mode (the default) with a log4cxx configuration that
// writes every record to one file: logger|level|thread|session|request|object|text.
class LogForwarding : public auttest::InstallationTest {
protected:
    void TearDown() override {
        if (f_started) {
            AUT_Terminate("LogForwarding");
        }
        unsetenv("ORQ_LOG_CONFIG");
        InstallationTest::TearDown();
    }

    // `loggers`: properties lines that set logger levels; every logger writes to "file".
    void Configure(const std::string& loggers) {
        const std::string text = "log4j.rootLogger=OFF, file\n" + loggers +
                                 "log4j.appender.file=org.apache.log4j.FileAppender\n"
                                 "log4j.appender.file.File=" +
                                 Log() +
                                 "\n"
                                 "log4j.appender.file.Encoding=UTF-8\n"
                                 "log4j.appender.file.layout=org.apache.log4j.PatternLayout\n"
                                 "log4j.appender.file.layout.ConversionPattern="
                                 "%c|%p|%X{thread}|%X{session}|%X{request}|%X{object}|%m%n\n";
        setenv("ORQ_LOG_CONFIG", root().writeFile("log4cxx.properties", text).c_str(), 1);
        LogFramework::configure();
    }

    void Start() {
        root().writeFile("configuration/OrqConfig.xml", "<OrqConfig/>");
        ASSERT_EQ(AUT_Initialize("LogForwarding"), 0);
        f_started = true;
    }

    std::string Log() const { return logsDir() + "/framework.log"; }
    std::vector<std::string> Records() const {
        return reliability::SplitLines(auttest::readFile(Log()));
    }

    bool f_started = false;
};

TEST_F(LogForwarding, LevelsComeFromTheLoggers) {
    struct Case {
        const char* level;
        L::ELogLevel trace;
        L::ELogLevel audit;
    };
    const Case cases[] = {
        {"ALL", L::kLogLevelTrace11, L::kLogLevelAudit5},
        {"DEBUG", L::kLogLevelTrace10, L::kLogLevelAudit5},
        {"INFO", L::kLogLevelTrace3, L::kLogLevelAudit4},
        {"WARN", L::kLogLevelTrace2, L::kLogLevelAudit3},
        {"ERROR", L::kLogLevelTrace1, L::kLogLevelAudit2},
        {"FATAL", L::kLogLevelTrace1, L::kLogLevelAudit1},
        {"OFF", L::kLogLevelTrace0, L::kLogLevelAudit0},
    };
    std::string loggers;
    for (const auto& c : cases) {
        loggers += std::string("log4j.logger.Trace.C") + c.level + "=" + c.level + "\n";
        loggers += std::string("log4j.logger.Audit.RTUsage.C") + c.level + "=" + c.level + "\n";
    }
    Configure(loggers);
    Start();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.level);
        const I18NString component((std::string("C") + c.level).c_str());
        EXPECT_EQ(L::Create(component)->GetLogLevel(), c.trace);
        EXPECT_EQ(L::Create(component, L::kLogTypeAudit)->GetLogLevel(), c.audit);
    }
}

TEST_F(LogForwarding, QueryEngineIsOrqAndRecordsCarryFrameworkLevels) {
    Configure("log4j.logger.Trace.Orq=WARN\nlog4j.logger.Trace.Other=ALL\n");
    Start();
    auto engine = L::Create("QueryEngine");
    EXPECT_EQ(engine->GetLogLevel(), L::kLogLevelTrace2);
    for (int level = 0; level <= 3; ++level) {
        engine->Log(static_cast<L::ELogLevel>(level), "record {0}", std::to_string(level).c_str());
    }
    auto other = L::Create("Other");
    other->Log(L::kLogLevelTrace11, "finest");
    other->Log(L::kLogLevelTrace4, "four");

    const auto records = Records();
    ASSERT_EQ(records.size(), 5u);
    // Level 3 is above the object's level 2 and is not sent.
    EXPECT_EQ(records[0].substr(0, 14), "Trace.Orq|OFF|");
    EXPECT_NE(records[0].find("|0|0|Orq|record 0"), std::string::npos) << records[0];
    EXPECT_EQ(records[1].substr(0, 16), "Trace.Orq|FATAL|");
    EXPECT_NE(records[1].find("|Orq|record 1"), std::string::npos);
    EXPECT_EQ(records[2].substr(0, 15), "Trace.Orq|WARN|");
    EXPECT_EQ(records[3].substr(0, 16), "Trace.Other|ALL|");
    EXPECT_NE(records[3].find("|Other|finest"), std::string::npos);
    EXPECT_EQ(records[4].substr(0, 18), "Trace.Other|DEBUG|");
}

TEST_F(LogForwarding, AuditRecordsCarryTheirIds) {
    Configure("log4j.logger.Audit.RTUsage.Orq=ALL\n");
    Start();
    auto audit = L::Create("QueryEngine", L::kLogTypeAudit);
    ASSERT_EQ(audit->GetLogLevel(), L::kLogLevelAudit5);
    audit->AuditLog(L::kLogLevelAudit1, true, "session-7", "request-9", "query started");
    audit->Log(L::kLogLevelAudit2, "plain {0}", "text");
    const auto records = Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].substr(0, 24), "Audit.RTUsage.Orq|FATAL|");
    EXPECT_NE(records[0].find("|session-7|request-9||query started"), std::string::npos)
        << records[0];
    // Log on an audit object has no ids to give.
    EXPECT_EQ(records[1].substr(0, 24), "Audit.RTUsage.Orq|ERROR|");
    EXPECT_NE(records[1].find("||||plain text"), std::string::npos) << records[1];
}

TEST_F(LogForwarding, TraceLevelHoldsUntilTerminateAuditLevelFollowsChanges) {
    Configure("log4j.logger.Trace.Comp=WARN\nlog4j.logger.Audit.RTUsage.Comp=WARN\n");
    Start();
    EXPECT_EQ(L::Create("Comp")->GetLogLevel(), L::kLogLevelTrace2);
    EXPECT_EQ(L::Create("Comp", L::kLogTypeAudit)->GetLogLevel(), L::kLogLevelAudit3);

    Configure("log4j.logger.Trace.Comp=ALL\nlog4j.logger.Audit.RTUsage.Comp=ALL\n");
    EXPECT_EQ(L::Create("Comp")->GetLogLevel(), L::kLogLevelTrace2);
    EXPECT_EQ(L::Create("Comp", L::kLogTypeAudit)->GetLogLevel(), L::kLogLevelAudit5);

    // A full stop and start sets the component up afresh.
    ASSERT_EQ(AUT_Terminate("LogForwarding"), 0);
    ASSERT_EQ(AUT_Initialize("LogForwarding"), 0);
    EXPECT_EQ(L::Create("Comp")->GetLogLevel(), L::kLogLevelTrace11);
}

TEST_F(LogForwarding, DefaultConfigurationShowsImportantRecords) {
    unsetenv("ORQ_LOG_CONFIG");
    LogFramework::configure();
    Start();
    // Warnings and above: level 2 and more important.
    EXPECT_EQ(L::Create("QueryEngine")->GetLogLevel(), L::kLogLevelTrace2);
    EXPECT_EQ(L::Create("QueryEngine", L::kLogTypeAudit)->GetLogLevel(), L::kLogLevelAudit3);
}

TEST_F(LogForwarding, ThreadsNeverMixFields) {
    Configure("log4j.logger.Trace.Orq=ALL\n");
    Start();
    constexpr int kThreads = 4;
    constexpr int kRecords = 500;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            auto log = L::Create("QueryEngine");
            for (int i = 0; i < kRecords; ++i) {
                log->Log(L::kLogLevelTrace1, "t{0} r{1}", std::to_string(t).c_str(),
                         std::to_string(i).c_str());
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    // Each record's thread id belongs to the thread named in its text.
    std::map<std::string, std::string> threadIdOf;
    std::set<std::string> texts;
    for (const auto& record : Records()) {
        std::vector<std::string> fields;
        std::istringstream in(record);
        for (std::string field; std::getline(in, field, '|');) {
            fields.push_back(field);
        }
        ASSERT_EQ(fields.size(), 7u) << record;
        const std::string writer = fields[6].substr(0, fields[6].find(' '));
        auto known = threadIdOf.emplace(writer, fields[2]).first;
        EXPECT_EQ(known->second, fields[2]) << record;
        EXPECT_TRUE(texts.insert(fields[6]).second) << "duplicate " << record;
    }
    EXPECT_EQ(texts.size(), static_cast<std::size_t>(kThreads * kRecords));
    EXPECT_EQ(threadIdOf.size(), static_cast<std::size_t>(kThreads));
}

} // namespace
