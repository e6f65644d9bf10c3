// The critical section uncontended, beside the cheapest possible lock (one exchange and one
// store) and beside std::mutex.
#include <BrxThread.h>
#include <atomic>
#include <benchmark/benchmark.h>
#include <mutex>

namespace {

void BM_AtomicExchangeAnchor(benchmark::State& state) {
    std::atomic<int> flag{0};
    for (auto _ : state) {
        benchmark::DoNotOptimize(flag.exchange(1, std::memory_order_acquire));
        flag.store(0, std::memory_order_release);
    }
}
BENCHMARK(BM_AtomicExchangeAnchor);

void BM_CriticalSectionGuard(benchmark::State& state) {
    BrxThreadCriticalSection section(0);
    for (auto _ : state) {
        BrxThreadGuard guard(section);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_CriticalSectionGuard);

// The holder taking its lock again, as the logging code does.
void BM_CriticalSectionReentered(benchmark::State& state) {
    BrxThreadCriticalSection section(1);
    BrxThreadGuard outer(section);
    for (auto _ : state) {
        BrxThreadGuard guard(section);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_CriticalSectionReentered);

void BM_StdMutex(benchmark::State& state) {
    std::mutex mutex;
    for (auto _ : state) {
        std::lock_guard<std::mutex> guard(mutex);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_StdMutex);

void BM_RecursiveMutexGuard(benchmark::State& state) {
    BrxThreadRecursiveMutex mutex;
    for (auto _ : state) {
        BrxThreadGuard guard(mutex);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_RecursiveMutexGuard);

} // namespace
