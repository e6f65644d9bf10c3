// The logging framework over log4cxx: where its configuration comes from, its levels by number
// and name, and the context entries of sent records.
#include "AutTestSupport.h"
#include "Table.h"

#include <climits>
#include <mrvipf2.h>

namespace {

LogTypedLogger* Logger(const char* name) {
    return static_cast<LogTypedLogger*>(
        LogTypedLogger::getInstance(I18NString(name), I18NString("LogTraceIndication")));
}

// Configured from tests/data/LogFrameworkTest.xml, whose records go to f_log.
class LogFrameworkTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string text = auttest::readFile(AUT_TEST_DATA_DIR "/LogFrameworkTest.xml");
        f_configuration =
            f_dir.writeFile("log4cxx.xml", text.replace(text.find("@LOG@"), 5, f_log));
        setenv("ORQ_LOG_CONFIG", f_configuration.c_str(), 1);
        LogFramework::configure();
    }
    void TearDown() override { unsetenv("ORQ_LOG_CONFIG"); }

    auttest::TempDir f_dir;
    const std::string f_log = f_dir.file("records.log");
    std::string f_configuration;
};

TEST_F(LogFrameworkTest, XmlConfigurationIsReadAndLevelsCompareAsNumbers) {
    EXPECT_EQ(std::string(LogFramework::configurationFile().c_str()), f_configuration);
    EXPECT_EQ(Logger("Trace.Info")->isEnabled(19999), 0);
    EXPECT_NE(Logger("Trace.Info")->isEnabled(20000), 0);
    EXPECT_NE(Logger("Trace.Info")->isEnabled(20001), 0);
    EXPECT_NE(Logger("Trace.Orq")->isEnabled(INT_MIN), 0);
}

TEST_F(LogFrameworkTest, RecordsCarryTheirLevelNameAndContext) {
    // One object sent again and again, as the library does.
    LogTraceIndication trace(I18NString("Orq"), 827);
    trace.setSessionID(I18NString("s"));
    trace.setRequestID(I18NString("r"));
    trace.setSubRequestID(I18NString("u"));
    trace.setStepID(I18NString("p"));
    trace.setObject(I18NString("Orq"));
    trace.setThreadID(7);
    std::string expected;
    for (const auto& row : auttest::ReadTable("LogFrameworkTest-levels.tsv", 2)) {
        trace.setLevel(std::stol(row[0]));
        trace.setMessage(I18NString(("\xC3\xA9 " + row[0]).c_str()));
        Logger("Trace.Orq")->log(&trace);
        expected += "Trace.Orq|" + row[1] + "|7|s|r|u|p|Orq|\xC3\xA9 " + row[0] + "\n";
    }
    // An audit record has no object.
    LogAuditIndication audit(I18NString("Orq"), 827);
    audit.setSessionID(I18NString("s1"));
    audit.setThreadID(8);
    audit.setLevel(50000);
    audit.setLogData(I18NString("audit data"));
    Logger("Audit.RTUsage.Orq")->log(&audit);
    EXPECT_EQ(auttest::readFile(f_log), expected + "Audit.RTUsage.Orq|FATAL|8|s1|||||audit data\n");
}

TEST_F(LogFrameworkTest, OneLoggerPerName) {
    EXPECT_EQ(Logger("Trace.X"), Logger("Trace.X"));
    EXPECT_NE(Logger("Trace.X"), Logger("Trace.Y"));
}

TEST_F(LogFrameworkTest, WithoutAReadableConfigurationWarningsAndAboveAreShown) {
    for (const std::string& named : {std::string(), f_dir.file("missing"), f_dir.path()}) {
        SCOPED_TRACE(named);
        setenv("ORQ_LOG_CONFIG", named.c_str(), 1);
        LogFramework::configure();
        EXPECT_TRUE(LogFramework::configurationFile().empty());
        EXPECT_EQ(Logger("Trace.Orq")->isEnabled(20000), 0);
        EXPECT_NE(Logger("Trace.Orq")->isEnabled(30000), 0);
    }
}

} // namespace
