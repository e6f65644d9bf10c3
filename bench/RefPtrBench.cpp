// AUT_RefPtr beside std::shared_ptr: copies (plain versus atomic counts) and whole lifetimes
// (object plus pooled counter versus one combined allocation).
#include "UTRefPtr.h"

#include <benchmark/benchmark.h>
#include <memory>

namespace {

class Object {
public:
    virtual ~Object() = default;
    int f_value = 0;
};

void BM_RefPtrCopyDestroy(benchmark::State& state) {
    AUT_RefPtr<Object> original(new Object);
    for (auto _ : state) {
        AUT_RefPtr<Object> copy(original);
        benchmark::DoNotOptimize(copy);
    }
}
BENCHMARK(BM_RefPtrCopyDestroy);

void BM_SharedPtrCopyDestroy(benchmark::State& state) {
    std::shared_ptr<Object> original = std::make_shared<Object>();
    for (auto _ : state) {
        std::shared_ptr<Object> copy(original);
        benchmark::DoNotOptimize(copy);
    }
}
BENCHMARK(BM_SharedPtrCopyDestroy);

void BM_RefPtrCreateDestroy(benchmark::State& state) {
    for (auto _ : state) {
        AUT_RefPtr<Object> object(new Object);
        benchmark::DoNotOptimize(object);
    }
}
BENCHMARK(BM_RefPtrCreateDestroy);

void BM_MakeSharedCreateDestroy(benchmark::State& state) {
    for (auto _ : state) {
        std::shared_ptr<Object> object = std::make_shared<Object>();
        benchmark::DoNotOptimize(object);
    }
}
BENCHMARK(BM_MakeSharedCreateDestroy);

// The like-for-like lifetime: object and counter in two allocations.
void BM_SharedPtrFromNewCreateDestroy(benchmark::State& state) {
    for (auto _ : state) {
        std::shared_ptr<Object> object(new Object);
        benchmark::DoNotOptimize(object);
    }
}
BENCHMARK(BM_SharedPtrFromNewCreateDestroy);

} // namespace
