// The logging framework over log4cxx: where its configuration comes from, its levels by number
// and name, and the context entries of sent records.
#include "AutTestSupport.h"
#include "Table.h"

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
        setenv("ORQ_LOG_CONFIG",
               f_dir.writeFile("log4cxx.xml", text.replace(text.find("@LOG@"), 5, f_log)).c_str(),
               1);
        LogFramework::configure();
    }
    void TearDown() override { unsetenv("ORQ_LOG_CONFIG"); }

    auttest::TempDir f_dir;
    const std::string f_log = f_dir.file("records.log");
};

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
    EXPECT_EQ(auttest::readFile(f_log), expected);
}

TEST_F(LogFrameworkTest, ConfigurationComesFromTheNamedFileOrTheDefault) {
    // The named XML file sets Trace.Info to INFO.
    EXPECT_EQ(std::string(LogFramework::configurationFile().c_str()), f_dir.file("log4cxx.xml"));
    EXPECT_EQ(Logger("Trace.Info")->isEnabled(10000), 0);
    EXPECT_NE(Logger("Trace.Info")->isEnabled(20000), 0);
    // Without a readable file: warnings and above.
    setenv("ORQ_LOG_CONFIG", f_dir.file("missing.xml").c_str(), 1);
    LogFramework::configure();
    EXPECT_TRUE(LogFramework::configurationFile().empty());
    EXPECT_EQ(Logger("Trace.Info")->isEnabled(20000), 0);
    EXPECT_NE(Logger("Trace.Info")->isEnabled(30000), 0);
}

} // namespace
