// A framework-mode record that is sent, beside log4cxx called directly with the same logger,
// level, text and context entries, both writing through one file appender that flushes every
// record.
#include "AUTInitialize.h"
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
struct Installation {
    std::string root;

    Installation() {
        char pattern[] = "/tmp/LogFrameworkBench.XXXXXX";
        root = mkdtemp(pattern);
        if (std::system(("mkdir -p " + root + "/bin " + root + "/configuration").c_str()) != 0) {
            std::abort();
        }
        write(root + "/configuration/OrqConfig.xml", "<OrqConfig/>");
        write(root + "/log4cxx.properties",
              "log4j.rootLogger=OFF\n"
              "log4j.logger.Trace.Orq=INFO, file\n"
              "log4j.appender.file=org.apache.log4j.FileAppender\n"
              "log4j.appender.file.File=" +
                  root +
                  "/framework.log\n"
                  "log4j.appender.file.ImmediateFlush=true\n"
                  "log4j.appender.file.layout=org.apache.log4j.PatternLayout\n"
                  "log4j.appender.file.layout.ConversionPattern="
                  "%d %p %c [%X{thread}] %X{session} %X{object} %m%n\n");
        setenv("ORQ_BIN_DIR", (root + "/bin").c_str(), 1);
        setenv("ORQ_LOG_CONFIG", (root + "/log4cxx.properties").c_str(), 1);
        AUT_Initialize("LogFrameworkBench");
    }
    ~Installation() {
        AUT_Terminate("LogFrameworkBench");
        if (std::system(("rm -rf " + root).c_str()) != 0) {
            std::fprintf(stderr, "could not remove %s\n", root.c_str());
        }
    }
    static void write(const std::string& path, const std::string& text) {
        FILE* out = std::fopen(path.c_str(), "wb");
        std::fwrite(text.data(), 1, text.size(), out);
        std::fclose(out);
    }
};

Installation& TheInstallation() {
    static Installation installation;
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
