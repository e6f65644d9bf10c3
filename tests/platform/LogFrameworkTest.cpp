// The logging framework over log4cxx: logger levels, probes and the fields of sent records.
#include "AutTestSupport.h"

#include <climits>
#include <cstdlib>
#include <mrvipf2.h>

namespace {

class LogFrameworkProbe : public ::testing::Test {
protected:
    void SetUp() override { f_log = f_dir.file("records.log"); }
    void TearDown() override { unsetenv("ORQ_LOG_CONFIG"); }

    // A properties configuration: `loggers` lines plus a file appender "file" at f_log.
    void configure(const std::string& loggers) {
        const std::string text =
            "log4j.rootLogger=OFF\n" + loggers +
            "log4j.appender.file=org.apache.log4j.FileAppender\n"
            "log4j.appender.file.File=" +
            f_log +
            "\n"
            "log4j.appender.file.ImmediateFlush=true\n"
            "log4j.appender.file.Encoding=UTF-8\n"
            "log4j.appender.file.layout=org.apache.log4j.PatternLayout\n"
            "log4j.appender.file.layout.ConversionPattern="
            "%c|%p|%X{thread}|%X{session}|%X{request}|%X{subrequest}|%X{step}|%X{object}|%m%n\n";
        setenv("ORQ_LOG_CONFIG", f_dir.writeFile("log4cxx.properties", text).c_str(), 1);
        LogFramework::configure();
    }

    static LogTypedLogger* logger(const char* name) {
        return static_cast<LogTypedLogger*>(
            LogTypedLogger::getInstance(I18NString(name), I18NString("LogTraceIndication")));
    }

    auttest::TempDir f_dir;
    std::string f_log;
};

TEST_F(LogFrameworkProbe, ProbesFollowTheLoggerLevel) {
    configure("log4j.logger.Trace.Warn=WARN, file\n"
              "log4j.logger.Trace.All=ALL, file\n"
              "log4j.logger.Trace.Fatal=FATAL, file\n"
              "log4j.logger.Trace.Off=OFF, file\n");
    struct Case {
        const char* name;
        long probe;
        long expected;
    };
    const Case cases[] = {
        {"Trace.Warn", INT_MIN, 0},
        {"Trace.Warn", 20000, 0},
        {"Trace.Warn", 30000, 1},
        {"Trace.Warn", 50000, 1},
        {"Trace.All", INT_MIN, 1},
        {"Trace.All", 10000, 1},
        {"Trace.Fatal", 40000, 0},
        {"Trace.Fatal", 50000, 1},
        {"Trace.Off", 50000, 0},
        // A child without a level of its own inherits its parent's.
        {"Trace.Warn.Child", 20000, 0},
        {"Trace.Warn.Child", 30000, 1},
        // Numbers between the named levels compare as numbers.
        {"Trace.Warn", 29999, 0},
        {"Trace.Warn", 30001, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.probe));
        EXPECT_EQ(logger(c.name)->isEnabled(c.probe) != 0, c.expected != 0);
    }
}

TEST_F(LogFrameworkProbe, RecordsCarryTheirContext) {
    configure("log4j.logger.Trace.Orq=ALL, file\nlog4j.logger.Audit.RTUsage.Orq=ALL, file\n");
    LogTraceIndication trace(I18NString("Orq"), 827);
    trace.setSessionID(I18NString("0"));
    trace.setRequestID(I18NString("0"));
    trace.setSubRequestID(I18NString("0"));
    trace.setStepID(I18NString("0"));
    trace.setObject(I18NString("Orq"));
    trace.setThreadID(7);
    trace.setLevel(50000);
    trace.setMessage(I18NString("first \xC3\xA9"));
    logger("Trace.Orq")->log(&trace);
    // The same object is sent again with other fields.
    trace.setLevel(12345);
    trace.setMessage(I18NString("second"));
    logger("Trace.Orq")->log(&trace);

    LogAuditIndication audit(I18NString("Orq"), 827);
    audit.setSessionID(I18NString("s1"));
    audit.setRequestID(I18NString("r1"));
    audit.setLevel(INT_MAX);
    audit.setThreadID(8);
    audit.setLogData(I18NString("audit data"));
    LogTypedLogger::getInstance(I18NString("Audit.RTUsage.Orq"), I18NString("LogAuditIndication"));
    logger("Audit.RTUsage.Orq")->log(&audit);

    EXPECT_EQ(auttest::readFile(f_log), "Trace.Orq|FATAL|7|0|0|0|0|Orq|first \xC3\xA9\n"
                                        "Trace.Orq|LEVEL12345|7|0|0|0|0|Orq|second\n"
                                        "Audit.RTUsage.Orq|OFF|8|s1|r1||||audit data\n");
}

TEST_F(LogFrameworkProbe, OneLoggerPerName) {
    LOGLogger* first = LogTypedLogger::getInstance(I18NString("Trace.X"), I18NString("T"));
    LOGLogger* second = LogTypedLogger::getInstance(I18NString("Trace.X"), I18NString("T"));
    EXPECT_EQ(first, second);
    EXPECT_NE(first, LogTypedLogger::getInstance(I18NString("Trace.Y"), I18NString("T")));
}

TEST_F(LogFrameworkProbe, DefaultShowsWarningsAndAbove) {
    unsetenv("ORQ_LOG_CONFIG");
    LogFramework::configure();
    EXPECT_TRUE(LogFramework::configurationFile().empty());
    EXPECT_EQ(logger("Trace.Orq")->isEnabled(20000), 0);
    EXPECT_NE(logger("Trace.Orq")->isEnabled(30000), 0);
}

TEST_F(LogFrameworkProbe, UnreadableConfigurationFallsBackToTheDefault) {
    setenv("ORQ_LOG_CONFIG", f_dir.file("missing.properties").c_str(), 1);
    LogFramework::configure();
    EXPECT_TRUE(LogFramework::configurationFile().empty());
    EXPECT_NE(logger("Trace.Orq")->isEnabled(40000), 0);
}

TEST_F(LogFrameworkProbe, XmlConfigurationIsRead) {
    const std::string xml =
        "<?xml version=\"1.0\"?>\n"
        "<log4j:configuration xmlns:log4j=\"http://jakarta.apache.org/log4j/\">\n"
        "  <appender name=\"file\" class=\"org.apache.log4j.FileAppender\">\n"
        "    <param name=\"File\" value=\"" +
        f_log +
        "\"/>\n"
        "    <layout class=\"org.apache.log4j.PatternLayout\">\n"
        "      <param name=\"ConversionPattern\" value=\"%c %m%n\"/>\n"
        "    </layout>\n"
        "  </appender>\n"
        "  <logger name=\"Trace.Orq\"><level value=\"INFO\"/><appender-ref "
        "ref=\"file\"/></logger>\n"
        "  <root><level value=\"OFF\"/></root>\n"
        "</log4j:configuration>\n";
    setenv("ORQ_LOG_CONFIG", f_dir.writeFile("log4cxx.xml", xml).c_str(), 1);
    LogFramework::configure();
    EXPECT_EQ(std::string(LogFramework::configurationFile().c_str()), f_dir.file("log4cxx.xml"));
    EXPECT_EQ(logger("Trace.Orq")->isEnabled(10000), 0);
    EXPECT_NE(logger("Trace.Orq")->isEnabled(20000), 0);
    LogTraceIndication trace(I18NString("Orq"), 827);
    trace.setLevel(20000);
    trace.setMessage(I18NString("from xml"));
    logger("Trace.Orq")->log(&trace);
    EXPECT_EQ(auttest::readFile(f_log), "Trace.Orq from xml\n");
}

} // namespace
