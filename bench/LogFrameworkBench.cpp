// A framework-mode record that is sent, beside log4cxx called directly with the same logger,
// level, text and context entries, both writing through one file appender that flushes every
// record.
#include "AUTInitialize.h"
#include "BenchInstallation.h"
#include "UTI_LogFile.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <log4cxx/logger.h>
#include <log4cxx/mdc.h>
#include <mrvipf2.h>
#include <string>
#include <unistd.h>

namespace {

using L = AUT_I_LogFile;

const char kMessage[] = "request finished: rows={0}, status=ok, plan cached, cost within estimate";
const char kText[] = "request finished: rows=12345, status=ok, plan cached, cost within estimate";
const char kParameter[] = "12345";

// A temporary installation in framework mode whose log4cxx configuration sends "Trace.Orq" to
// one flushing file appender.
BenchInstallation& TheInstallation() {
    static BenchInstallation installation("LogFrameworkBench", "<OrqConfig/>");
    static const bool configured = [] {
        const std::string properties = installation.root() + "/log4cxx.properties";
        BenchInstallation::writeFile(
            properties, "log4j.rootLogger=OFF\n"
                        "log4j.logger.Trace.Orq=INFO, file\n"
                        "log4j.appender.file=org.apache.log4j.FileAppender\n"
                        "log4j.appender.file.File=" +
                            installation.logs() +
                            "/framework.log\n"
                            "log4j.appender.file.ImmediateFlush=true\n"
                            "log4j.appender.file.layout=org.apache.log4j.PatternLayout\n"
                            "log4j.appender.file.layout.ConversionPattern="
                            "%d %p %c [%X{thread}] %X{session} %X{object} %m%n\n");
        setenv("ORQ_LOG_CONFIG", properties.c_str(), 1);
        LogFramework::configure();
        return true;
    }();
    static_cast<void>(configured);
    return installation;
}

void BM_FrameworkRecord(benchmark::State& state) {
    TheInstallation();
    auto log = L::Create("QueryEngine");
    const I18NString message(kMessage);
    const I18NString parameter(kParameter);
    for (auto _ : state) {
        log->Log(L::kLogLevelTrace1, message, parameter);
    }
}
BENCHMARK(BM_FrameworkRecord);

// The same record sent by hand: the same logger, level, text and context entries.
void BM_FrameworkRecord_AnchorLog4cxx(benchmark::State& state) {
    TheInstallation();
    auto logger = log4cxx::Logger::getLogger("Trace.Orq");
    const log4cxx::LevelPtr level = log4cxx::Level::getFatal();
    const auto location = log4cxx::spi::LocationInfo::getLocationUnavailable();
    for (auto _ : state) {
        log4cxx::MDC::putLS("thread", "1");
        log4cxx::MDC::putLS("session", "0");
        log4cxx::MDC::putLS("request", "0");
        log4cxx::MDC::putLS("subrequest", "0");
        log4cxx::MDC::putLS("step", "0");
        log4cxx::MDC::putLS("object", "Orq");
        logger->forcedLogLS(level, kText, location);
        log4cxx::LogString previous;
        for (const char* key : {"thread", "session", "request", "subrequest", "step", "object"}) {
            log4cxx::MDC::remove(key, previous);
        }
    }
}
BENCHMARK(BM_FrameworkRecord_AnchorLog4cxx);

} // namespace
