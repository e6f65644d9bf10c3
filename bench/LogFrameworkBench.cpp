// A record forwarded to the logging framework (log4cxx behind the platform layer) beside the
// same record logged through log4cxx directly, both into one file appender. Until the writer
// forwards records, the library's benchmark reports an error instead of timing a no-op.
#include "AUTInitialize.h"
#include "UTI_LogFile.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <log4cxx/logger.h>
#include <log4cxx/propertyconfigurator.h>
#include <string>
#include <sys/stat.h>

namespace {

using L = AUT_I_LogFile;

const char kMessage[] = "request finished: rows={0}, status=ok, plan cached, cost within estimate";
const char kPrefix[] = "request finished: rows=";
const char kSuffix[] = ", status=ok, plan cached, cost within estimate";
const char kParameter[] = "12345";

// A temporary installation in framework mode whose log4cxx configuration sends every record to
// one file; started once and removed at exit.
struct Installation {
    std::string root;
    std::string properties;
    std::string output;

    Installation() {
        char pattern[] = "/tmp/LogFrameworkBench.XXXXXX";
        root = mkdtemp(pattern);
        if (std::system(("mkdir -p " + root + "/bin " + root + "/configuration").c_str()) != 0) {
            std::abort();
        }
        const std::string xml = "<OrqConfig><g><section name=\"Logging\">"
                                "<entry name=\"UseIPFLogging\" value=\"1\"/>"
                                "</section></g></OrqConfig>";
        writeFile(root + "/configuration/OrqConfig.xml", xml);
        output = root + "/framework.log";
        properties = root + "/log4cxx.properties";
        writeFile(properties, "log4j.rootLogger=ALL, file\n"
                              "log4j.appender.file=org.apache.log4j.FileAppender\n"
                              "log4j.appender.file.File=" +
                                  output +
                                  "\n"
                                  "log4j.appender.file.Append=false\n"
                                  "log4j.appender.file.layout=org.apache.log4j.PatternLayout\n"
                                  "log4j.appender.file.layout.ConversionPattern="
                                  "%d %-5p %c [thread %X{thread}] %m%n\n");
        setenv("ORQ_BIN_DIR", (root + "/bin").c_str(), 1);
        setenv("ORQ_LOG_CONFIG", properties.c_str(), 1);
        if (AUT_Initialize("LogFrameworkBench") != 0) {
            std::abort();
        }
    }
    ~Installation() {
        AUT_Terminate("LogFrameworkBench");
        if (std::system(("rm -rf " + root).c_str()) != 0) {
            std::fprintf(stderr, "could not remove %s\n", root.c_str());
        }
    }

    long outputSize() const {
        struct stat info {};
        return stat(output.c_str(), &info) == 0 ? static_cast<long>(info.st_size) : -1;
    }

private:
    static void writeFile(const std::string& path, const std::string& text) {
        FILE* out = std::fopen(path.c_str(), "wb");
        if (out == nullptr || std::fwrite(text.data(), 1, text.size(), out) != text.size()) {
            std::abort();
        }
        std::fclose(out);
    }
};

Installation& installation() {
    static Installation instance;
    return instance;
}

// The file appender exists once the platform layer or this benchmark has configured log4cxx.
void configureLog4cxx() {
    if (log4cxx::Logger::getRootLogger()->getAllAppenders().empty()) {
        log4cxx::PropertyConfigurator::configure(installation().properties);
    }
}

void BM_LogFrameworkRecord(benchmark::State& state) {
    Installation& setup = installation();
    AUT_RefPtr<L> log = L::Create("Bench");
    const I18NString message(kMessage);
    const I18NString parameter(kParameter);
    const long before = setup.outputSize();
    log->Log(L::kLogLevelTrace1, message, parameter);
    if (setup.outputSize() <= before) {
        state.SkipWithError("records are not forwarded to the framework yet");
        return;
    }
    for (auto _ : state) {
        log->Log(L::kLogLevelTrace1, message, parameter);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LogFrameworkRecord);

void BM_Log4cxxDirectRecord(benchmark::State& state) {
    installation();
    configureLog4cxx();
    const log4cxx::LoggerPtr logger = log4cxx::Logger::getLogger("Trace.Anchor");
    const std::string parameter = kParameter;
    for (auto _ : state) {
        LOG4CXX_FATAL(logger, kPrefix << parameter << kSuffix);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Log4cxxDirectRecord);

} // namespace
