// Records per second of the file-mode writer against the record's size and the number of
// threads, beside the same records through write(2), spdlog's file sink flushing every record
// and a log4cxx file appender (which writes through at every record). Feeds the records-per-
// second plot and the thread scaling table.
#include "AUTInitialize.h"
#include "BenchInstallation.h"
#include "UTI_LogFile.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <log4cxx/fileappender.h>
#include <log4cxx/logger.h>
#include <log4cxx/patternlayout.h>
#include <memory>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using L = AUT_I_LogFile;

const char kMessage[] = "request finished: {0}";
const char kPrefix[] = "request finished: ";

// A temporary installation in file mode, started once and removed at exit.
BenchInstallation& installation() {
    static BenchInstallation instance("LogScalingBench",
                                      BenchInstallation::fileModeConfiguration("scaling.log"));
    return instance;
}

// Closes the library's file and removes every log written so far: a run of all sizes would
// otherwise leave gigabytes behind.
void ClearLogs() {
    L::Reset();
    if (std::system(("rm -f " + installation().logs() + "/*").c_str()) != 0) {
        std::fprintf(stderr, "could not empty %s\n", installation().logs().c_str());
    }
}

// The parameter that makes the message text `size` bytes long.
std::string parameterFor(long size) {
    const long rest = size - static_cast<long>(sizeof kPrefix - 1);
    return std::string(static_cast<std::size_t>(rest > 1 ? rest : 1), 'r');
}

// The line the library writes, for write(2): local time stamp, tab, text, newline.
std::string lineFor(const std::string& parameter) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[256];
    const std::string line(stamp, std::strftime(stamp, sizeof stamp, "%c", &local));
    return line + "\t" + kPrefix + parameter + "\n";
}

std::shared_ptr<spdlog::logger> spdlogLogger(const std::string& name) {
    auto logger = spdlog::basic_logger_mt(name, installation().logs() + "/" + name + ".log", true);
    logger->set_pattern("%c\t%v");
    logger->flush_on(spdlog::level::trace);
    return logger;
}

log4cxx::LoggerPtr log4cxxLogger(const std::string& name) {
    log4cxx::LoggerPtr logger = log4cxx::Logger::getLogger(name);
    if (logger->getAllAppenders().empty()) {
        auto layout = std::make_shared<log4cxx::PatternLayout>(LOG4CXX_STR("%d\t%m%n"));
        auto appender = std::make_shared<log4cxx::FileAppender>(
            layout, installation().logs() + "/" + name + ".log", false);
        logger->addAppender(appender);
        logger->setAdditivity(false);
        logger->setLevel(log4cxx::Level::getInfo());
    }
    return logger;
}

void recordSizes(benchmark::internal::Benchmark* benchmark) {
    for (long size : {32L, 128L, 512L, 2048L}) {
        benchmark->Arg(size);
    }
}

// ---- Against the record's size, one thread ---------------------------------------------------

void BM_LogRecordSize(benchmark::State& state) {
    installation();
    AUT_RefPtr<L> log = L::Create("Bench");
    const I18NString message(kMessage);
    const I18NString parameter(parameterFor(state.range(0)).c_str());
    for (auto _ : state) {
        log->Log(L::kLogLevelTrace1, message, parameter);
    }
    state.SetItemsProcessed(state.iterations());
    log = nullptr;
    ClearLogs();
}
BENCHMARK(BM_LogRecordSize)->Apply(recordSizes);

void BM_BareWriteRecordSize(benchmark::State& state) {
    const std::string path = installation().logs() + "/bare.log";
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0600);
    const std::string line = lineFor(parameterFor(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(write(fd, line.data(), line.size()));
    }
    state.SetItemsProcessed(state.iterations());
    close(fd);
    unlink(path.c_str());
}
BENCHMARK(BM_BareWriteRecordSize)->Apply(recordSizes);

void BM_SpdlogFlushedRecordSize(benchmark::State& state) {
    auto logger = spdlogLogger("spdlog_size");
    const std::string parameter = parameterFor(state.range(0));
    for (auto _ : state) {
        logger->info("request finished: {}", parameter);
    }
    state.SetItemsProcessed(state.iterations());
    spdlog::drop("spdlog_size");
    logger.reset();
    ClearLogs();
}
BENCHMARK(BM_SpdlogFlushedRecordSize)->Apply(recordSizes);

void BM_Log4cxxRecordSize(benchmark::State& state) {
    log4cxx::LoggerPtr logger = log4cxxLogger("log4cxx_size");
    const std::string parameter = parameterFor(state.range(0));
    for (auto _ : state) {
        LOG4CXX_INFO(logger, kPrefix << parameter);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Log4cxxRecordSize)->Apply(recordSizes);

// ---- Against the number of threads, 100-byte text ------------------------------------------
// Wall time, since the threads share it; every thread counts its own records.

constexpr long kThreadRecordSize = 100;

void BM_LogRecordThreads(benchmark::State& state) {
    installation();
    AUT_RefPtr<L> log = L::Create("Bench");
    const I18NString message(kMessage);
    const I18NString parameter(parameterFor(kThreadRecordSize).c_str());
    for (auto _ : state) {
        log->Log(L::kLogLevelTrace1, message, parameter);
    }
    state.SetItemsProcessed(state.iterations());
    log = nullptr;
    if (state.thread_index() == 0) {
        ClearLogs();
    }
}
BENCHMARK(BM_LogRecordThreads)->Threads(1)->Threads(2)->Threads(4)->UseRealTime();

void BM_BareWriteRecordThreads(benchmark::State& state) {
    static int fd = -1;
    const std::string path = installation().logs() + "/bare_threads.log";
    if (state.thread_index() == 0) {
        fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0600);
    }
    const std::string line = lineFor(parameterFor(kThreadRecordSize));
    for (auto _ : state) {
        benchmark::DoNotOptimize(write(fd, line.data(), line.size()));
    }
    state.SetItemsProcessed(state.iterations());
    if (state.thread_index() == 0) {
        close(fd);
        unlink(path.c_str());
    }
}
BENCHMARK(BM_BareWriteRecordThreads)->Threads(1)->Threads(2)->Threads(4)->UseRealTime();

void BM_SpdlogFlushedRecordThreads(benchmark::State& state) {
    static std::shared_ptr<spdlog::logger> logger;
    if (state.thread_index() == 0) {
        logger = spdlogLogger("spdlog_threads");
    }
    const std::string parameter = parameterFor(kThreadRecordSize);
    for (auto _ : state) {
        logger->info("request finished: {}", parameter);
    }
    state.SetItemsProcessed(state.iterations());
    if (state.thread_index() == 0) {
        spdlog::drop("spdlog_threads");
        logger.reset();
        ClearLogs();
    }
}
BENCHMARK(BM_SpdlogFlushedRecordThreads)->Threads(1)->Threads(2)->Threads(4)->UseRealTime();

void BM_Log4cxxRecordThreads(benchmark::State& state) {
    log4cxx::LoggerPtr logger = log4cxx::Logger::getLogger("log4cxx_threads");
    if (state.thread_index() == 0) {
        logger = log4cxxLogger("log4cxx_threads");
    }
    const std::string parameter = parameterFor(kThreadRecordSize);
    for (auto _ : state) {
        LOG4CXX_INFO(logger, kPrefix << parameter);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Log4cxxRecordThreads)->Threads(1)->Threads(2)->Threads(4)->UseRealTime();

} // namespace
