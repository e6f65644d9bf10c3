// The logging framework over log4cxx: where its configuration comes from, its levels by number
// and name, and the context entries of sent records.
#include "AutTestSupport.h"

#include <climits>
#include <cstdlib>
#include <mrvipf2.h>

namespace {

class LogFrameworkTest : public ::testing::Test {
protected:
    void TearDown() override { unsetenv("ORQ_LOG_CONFIG"); }

    // Configures from tests/data/<name> (writing its records to f_log) with `loggers` added.
    std::string Configure(const char* name, const std::string& loggers = "") {
        std::string text = auttest::readFile(std::string(AUT_TEST_DATA_DIR) + "/" + name);
        const std::string path =
            f_dir.writeFile(name, text.replace(text.find("@LOG@"), 5, f_log) + loggers);
        setenv("ORQ_LOG_CONFIG", path.c_str(), 1);
        LogFramework::configure();
        return path;
    }

    static LogTypedLogger* Logger(const char* name) {
        return static_cast<LogTypedLogger*>(
            LogTypedLogger::getInstance(I18NString(name), I18NString("LogTraceIndication")));
    }

    auttest::TempDir f_dir;
    const std::string f_log = f_dir.file("records.log");
};

TEST_F(LogFrameworkTest, ProbesCompareLevelsAsNumbers) {
    Configure("LogFrameworkTest.properties", "log4j.logger.Trace.Warn=WARN\n"
                                             "log4j.logger.Trace.All=ALL\n"
                                             "log4j.logger.Trace.Off=OFF\n");
    const struct {
        const char* name;
        long probe;
        bool taken;
    } cases[] = {{"Trace.Warn", INT_MIN, false}, {"Trace.Warn", 29999, false},
                 {"Trace.Warn", 30000, true},    {"Trace.Warn", 30001, true},
                 {"Trace.All", INT_MIN, true},   {"Trace.Off", 50000, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.probe));
        EXPECT_EQ(Logger(c.name)->isEnabled(c.probe) != 0, c.taken);
    }
}

TEST_F(LogFrameworkTest, RecordsCarryTheirLevelNameAndContext) {
    Configure("LogFrameworkTest.properties",
              "log4j.logger.Trace.Orq=ALL, file\nlog4j.logger.Audit.RTUsage.Orq=ALL, file\n");
    LogTraceIndication trace(I18NString("Orq"), 827);
    trace.setSessionID(I18NString("s"));
    trace.setRequestID(I18NString("r"));
    trace.setSubRequestID(I18NString("u"));
    trace.setStepID(I18NString("p"));
    trace.setObject(I18NString("Orq"));
    trace.setThreadID(7);
    std::string expected;
    // The same object is sent again with other levels and texts.
    const std::pair<long, const char*> levels[] = {
        {INT_MIN, "ALL"}, {5000, "TRACE"},  {10000, "DEBUG"}, {20000, "INFO"},      {30000, "WARN"},
        {40000, "ERROR"}, {50000, "FATAL"}, {INT_MAX, "OFF"}, {12345, "LEVEL12345"}};
    for (const auto& level : levels) {
        trace.setLevel(level.first);
        trace.setMessage(I18NString(("text \xC3\xA9 " + std::to_string(level.first)).c_str()));
        Logger("Trace.Orq")->log(&trace);
        expected += std::string("Trace.Orq|") + level.second + "|7|s|r|u|p|Orq|text \xC3\xA9 " +
                    std::to_string(level.first) + "\n";
    }
    // An audit record has no object.
    LogAuditIndication audit(I18NString("Orq"), 827);
    audit.setSessionID(I18NString("s1"));
    audit.setThreadID(8);
    audit.setLevel(50000);
    audit.setLogData(I18NString("audit data"));
    Logger("Audit.RTUsage.Orq")->log(&audit);
    EXPECT_EQ(auttest::readFile(f_log),
              expected + "Audit.RTUsage.Orq|FATAL|8|s1|||||audit data\n");
}

TEST_F(LogFrameworkTest, OneLoggerPerName) {
    LOGLogger* first = LogTypedLogger::getInstance(I18NString("Trace.X"), I18NString("T"));
    EXPECT_EQ(first, LogTypedLogger::getInstance(I18NString("Trace.X"), I18NString("T")));
    EXPECT_NE(first, LogTypedLogger::getInstance(I18NString("Trace.Y"), I18NString("T")));
}

TEST_F(LogFrameworkTest, WithoutAReadableConfigurationWarningsAndAboveAreShown) {
    for (const std::string& named :
         {std::string(), f_dir.file("missing.properties"), f_dir.path()}) {
        SCOPED_TRACE(named);
        setenv("ORQ_LOG_CONFIG", named.c_str(), 1);
        LogFramework::configure();
        EXPECT_TRUE(LogFramework::configurationFile().empty());
        EXPECT_EQ(Logger("Trace.Orq")->isEnabled(20000), 0);
        EXPECT_NE(Logger("Trace.Orq")->isEnabled(30000), 0);
    }
}

TEST_F(LogFrameworkTest, XmlConfigurationIsRead) {
    const std::string path = Configure("LogFrameworkTest.xml");
    EXPECT_EQ(std::string(LogFramework::configurationFile().c_str()), path);
    EXPECT_EQ(Logger("Trace.Orq")->isEnabled(10000), 0);
    LogTraceIndication trace(I18NString("Orq"), 827);
    trace.setLevel(20000);
    trace.setMessage(I18NString("from xml"));
    Logger("Trace.Orq")->log(&trace);
    EXPECT_EQ(auttest::readFile(f_log), "Trace.Orq from xml\n");
}

} // namespace
