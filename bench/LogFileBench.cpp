// The log file writer beside its anchors: a record that is written (one parameter, time stamp,
// flushed) against a bare write(2) of the same bytes and against spdlog's file sink flushing
// every record; a record filtered out by level against spdlog's filtered call; and one
// rotation with 100, 1,000 and 10,000 files of the family in the directory.
#include "AUTInitialize.h"
#include "BenchInstallation.h"
#include "UTI_LogFile.h"
#include "UTLogFile.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using L = AUT_I_LogFile;

// About 100 bytes a line with its time stamp, tab and newline.
const char kMessage[] = "request finished: rows={0}, status=ok, plan cached, cost within estimate";
const char kSpdlogMessage[] =
    "request finished: rows={}, status=ok, plan cached, cost within estimate";
const char kParameter[] = "12345";

// A temporary installation in file mode, started once and removed at exit.
BenchInstallation& TheInstallation() {
    static BenchInstallation installation("LogFileBench",
                                          BenchInstallation::fileModeConfiguration("bench.log"));
    return installation;
}

// The line the library writes for kMessage, for the bare write(2).
std::string SameLine() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[256];
    std::string line(stamp, std::strftime(stamp, sizeof(stamp), "%c", &local));
    std::string text = kMessage;
    text.replace(text.find("{0}"), 3, kParameter);
    return line + "\t" + text + "\n";
}

void BM_LogWrittenRecord(benchmark::State& state) {
    TheInstallation();
    AUT_RefPtr<AUT_I_LogFile> log = L::Create("Bench");
    const I18NString message(kMessage);
    const I18NString parameter(kParameter);
    for (auto _ : state) {
        log->Log(L::kLogLevelTrace1, message, parameter);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(SameLine().size()));
}
BENCHMARK(BM_LogWrittenRecord);

void BM_BareWriteRecord(benchmark::State& state) {
    const std::string path = TheInstallation().logs() + "/bare.log";
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    const std::string line = SameLine();
    for (auto _ : state) {
        benchmark::DoNotOptimize(write(fd, line.data(), line.size()));
    }
    close(fd);
    unlink(path.c_str());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(line.size()));
}
BENCHMARK(BM_BareWriteRecord);

std::shared_ptr<spdlog::logger> SpdlogLogger(const std::string& name) {
    auto logger =
        spdlog::basic_logger_mt(name, TheInstallation().logs() + "/" + name + ".log", true);
    logger->set_pattern("%c\t%v");
    return logger;
}

void BM_SpdlogFlushedRecord(benchmark::State& state) {
    auto logger = SpdlogLogger("spdlog_flushed");
    logger->flush_on(spdlog::level::trace);
    const std::string parameter = kParameter;
    for (auto _ : state) {
        logger->info(kSpdlogMessage, parameter);
    }
    spdlog::drop("spdlog_flushed");
}
BENCHMARK(BM_SpdlogFlushedRecord);

void BM_LogFilteredRecord(benchmark::State& state) {
    TheInstallation();
    AUT_RefPtr<AUT_I_LogFile> log = L::Create("Bench"); // trace level 1
    const I18NString message(kMessage);
    const I18NString parameter(kParameter);
    for (auto _ : state) {
        log->Log(L::kLogLevelTrace5, message, parameter);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_LogFilteredRecord);

void BM_SpdlogFilteredRecord(benchmark::State& state) {
    auto logger = SpdlogLogger("spdlog_filtered");
    logger->set_level(spdlog::level::info);
    const std::string parameter = kParameter;
    for (auto _ : state) {
        logger->debug(kSpdlogMessage, parameter);
        benchmark::ClobberMemory();
    }
    spdlog::drop("spdlog_filtered");
}
BENCHMARK(BM_SpdlogFilteredRecord);

// One rotation (the next log object after a name reset lists, filters and sorts the family,
// then creates the next file) with state.range(0) older files of the family present. The new
// file is removed again outside the timing, so every rotation sees the same directory.
void BM_Rotation(benchmark::State& state) {
    const int files = static_cast<int>(state.range(0));
    const std::string directory = TheInstallation().root() + "/rot" + std::to_string(files);
    if (std::system(("mkdir -p " + directory).c_str()) != 0) {
        state.SkipWithError("no directory");
        return;
    }
    for (int i = 0; i < files; ++i) {
        char name[64];
        std::snprintf(name, sizeof(name), "/rot_202001%02d_%04d.log", 1 + i / 5000, 1 + i % 5000);
        std::fclose(std::fopen((directory + name).c_str(), "wb"));
    }
    L::SetLogFileName((directory + "/rot.log").c_str());
    std::vector<I18NString> created;
    for (auto _ : state) {
        AUT_LogFile::ResetLogFileName();
        { AUT_LogFile log("Bench"); }
        state.PauseTiming();
        L::GetLogFileNames(created, true);
        for (const I18NString& path : created) {
            std::remove(path.c_str());
        }
        state.ResumeTiming();
    }
    state.SetComplexityN(files);
    AUT_LogFile::ResetLogFileName();
    if (std::system(("rm -rf " + directory).c_str()) != 0) {
        state.SkipWithError("could not clean up");
    }
}
BENCHMARK(BM_Rotation)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMicrosecond)
    ->Complexity(benchmark::oNLogN);

} // namespace
