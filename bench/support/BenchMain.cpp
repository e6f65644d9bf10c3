// Entry point of every benchmark binary.
#include <benchmark/benchmark.h>
#include <thread>

int main(int argc, char** argv) {
    // glibc and libstdc++ skip atomics and locking until a process has started a thread;
    // the library lives in threaded programs, so measure it the way it runs there.
    std::thread([] {}).join();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
