// Number conversions beside the C runtime calls they stand for.
#include "UTStringSupport.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>

namespace {

void BM_ToStringLong(benchmark::State& state) {
    long value = 1234567890L;
    for (auto _ : state) {
        benchmark::DoNotOptimize(AUT_ToString(value));
        ++value;
    }
}
BENCHMARK(BM_ToStringLong);

// The runtime's way: sprintf, then a string from the narrow text.
void BM_SprintfToString(benchmark::State& state) {
    long value = 1234567890L;
    for (auto _ : state) {
        char buffer[24];
        std::snprintf(buffer, sizeof buffer, "%ld", value);
        benchmark::DoNotOptimize(I18NString(buffer));
        ++value;
    }
}
BENCHMARK(BM_SprintfToString);

void BM_ToInt(benchmark::State& state) {
    const I18NString text("  -1234567890");
    for (auto _ : state) {
        benchmark::DoNotOptimize(AUT_ToInt(text));
    }
}
BENCHMARK(BM_ToInt);

// The runtime's way: copy the string, convert it to narrow text, atol.
void BM_AtolOfCopy(benchmark::State& state) {
    const I18NString text("  -1234567890");
    for (auto _ : state) {
        I18NString copy = text;
        benchmark::DoNotOptimize(std::atol(copy.c_str()));
    }
}
BENCHMARK(BM_AtolOfCopy);

void BM_HashTextShort(benchmark::State& state) {
    const I18NString text("QueryEngine");
    for (auto _ : state) {
        benchmark::DoNotOptimize(AUT_HashText(text));
    }
}
BENCHMARK(BM_HashTextShort);

} // namespace
