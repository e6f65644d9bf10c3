// File support beside what a program would call instead: the record write beside fputs and
// fflush, splitting and joining beside std::filesystem, the listing beside glob.
#include "uti_filesupport.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <glob.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const char* kRecord = "2024-01-01 12:00:00.000 [4711] QueryEngine trace 1: request 17 finished "
                      "in 12 ms\n";

// The log writer's call: one record, flushed.
void BM_WriteToFileFlushed(benchmark::State& state) {
    FILE* out = std::fopen("/dev/null", "w");
    const I18NString record(kRecord);
    for (auto _ : state) {
        AUT_I_FileSupport::WriteToFile(record, out, true);
    }
    std::fclose(out);
}
BENCHMARK(BM_WriteToFileFlushed);

void BM_FputsFflush(benchmark::State& state) {
    FILE* out = std::fopen("/dev/null", "w");
    const std::string record(kRecord);
    for (auto _ : state) {
        std::fputs(record.c_str(), out);
        std::fflush(out);
        benchmark::DoNotOptimize(std::ferror(out));
    }
    std::fclose(out);
}
BENCHMARK(BM_FputsFflush);

const char* kPath = "/opt/orq/installation/logs/QueryEngine_20240101_0001.log";

void BM_SplitPath(benchmark::State& state) {
    const I18NString path(kPath);
    I18NString drive, directory, fileName, extension;
    for (auto _ : state) {
        AUT_I_FileSupport::SplitPath(path, &drive, &directory, &fileName, &extension);
        benchmark::DoNotOptimize(fileName);
    }
}
BENCHMARK(BM_SplitPath);

void BM_FilesystemDecompose(benchmark::State& state) {
    const std::filesystem::path path(kPath);
    for (auto _ : state) {
        benchmark::DoNotOptimize(path.root_name());
        benchmark::DoNotOptimize(path.parent_path());
        benchmark::DoNotOptimize(path.stem());
        benchmark::DoNotOptimize(path.extension());
    }
}
BENCHMARK(BM_FilesystemDecompose);

void BM_MakePath(benchmark::State& state) {
    const I18NString directory("/opt/orq/installation/logs/");
    const I18NString fileName("QueryEngine_20240101_0001");
    const I18NString extension("log");
    I18NString path;
    for (auto _ : state) {
        AUT_I_FileSupport::MakePath(path, nullptr, &directory, &fileName, &extension);
        benchmark::DoNotOptimize(path);
    }
}
BENCHMARK(BM_MakePath);

void BM_FilesystemJoin(benchmark::State& state) {
    const std::filesystem::path directory("/opt/orq/installation/logs/");
    for (auto _ : state) {
        std::filesystem::path path = directory / "QueryEngine_20240101_0001";
        path.replace_extension("log");
        benchmark::DoNotOptimize(path);
    }
}
BENCHMARK(BM_FilesystemJoin);

// A log directory of state.range(0) rotated files and the rotation's listing pattern.
class LogDirectory : public benchmark::Fixture {
public:
    void SetUp(const benchmark::State& state) override {
        char name[] = "/tmp/autbench-XXXXXX";
        f_directory = mkdtemp(name);
        for (long i = 0; i < state.range(0); ++i) {
            char file[64];
            std::snprintf(file, sizeof file, "/QueryEngine_20240101_%04ld.log", i);
            std::fclose(std::fopen((f_directory + file).c_str(), "w"));
        }
        f_pattern = f_directory + "/QueryEngine_????????_????.log";
    }
    void TearDown(const benchmark::State&) override { std::filesystem::remove_all(f_directory); }

protected:
    std::string f_directory;
    std::string f_pattern;
};

BENCHMARK_DEFINE_F(LogDirectory, BM_GetExistingFiles)(benchmark::State& state) {
    const I18NString pattern(f_pattern.c_str());
    std::vector<I18NString> files;
    for (auto _ : state) {
        AUT_I_FileSupport::GetExistingFilesFromDirectory(pattern, files, true);
        benchmark::DoNotOptimize(files.data());
    }
}
BENCHMARK_REGISTER_F(LogDirectory, BM_GetExistingFiles)->Arg(10)->Arg(1000);

BENCHMARK_DEFINE_F(LogDirectory, BM_Glob)(benchmark::State& state) {
    for (auto _ : state) {
        glob_t found{};
        glob(f_pattern.c_str(), GLOB_NOSORT, nullptr, &found);
        std::vector<I18NString> files;
        for (std::size_t i = 0; i < found.gl_pathc; ++i) {
            const char* slash = std::strrchr(found.gl_pathv[i], '/');
            files.emplace_back(slash + 1);
        }
        benchmark::DoNotOptimize(files.data());
        globfree(&found);
    }
}
BENCHMARK_REGISTER_F(LogDirectory, BM_Glob)->Arg(10)->Arg(1000);

} // namespace
