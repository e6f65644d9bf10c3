// AUT_RefPtr beside std::shared_ptr and boost::intrusive_ptr: copies (plain versus atomic
// counts) and whole lifetimes (object plus pooled counter versus one combined allocation).
#include "UTRefPtr.h"

#include <atomic>
#include <benchmark/benchmark.h>
#include <boost/intrusive_ptr.hpp>
#include <memory>

namespace {

class Object {
public:
    virtual ~Object() = default;
    int f_value = 0;
};

// The count inside the object, atomic as a thread-safe intrusive count must be.
class CountedObject : public Object {
public:
    std::atomic<long> f_count{0};
};

void intrusive_ptr_add_ref(CountedObject* object) {
    object->f_count.fetch_add(1, std::memory_order_relaxed);
}

void intrusive_ptr_release(CountedObject* object) {
    if (object->f_count.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        delete object;
    }
}

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

void BM_IntrusivePtrCopyDestroy(benchmark::State& state) {
    boost::intrusive_ptr<CountedObject> original(new CountedObject);
    for (auto _ : state) {
        boost::intrusive_ptr<CountedObject> copy(original);
        benchmark::DoNotOptimize(copy);
    }
}
BENCHMARK(BM_IntrusivePtrCopyDestroy);

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

void BM_IntrusivePtrCreateDestroy(benchmark::State& state) {
    for (auto _ : state) {
        boost::intrusive_ptr<CountedObject> object(new CountedObject);
        benchmark::DoNotOptimize(object);
    }
}
BENCHMARK(BM_IntrusivePtrCreateDestroy);

// The two parts of a RefPtr lifetime on their own: the object's allocation, and the counter's
// trip through the counter pool (two passes through the pool lock).
void BM_NewDeleteObject(benchmark::State& state) {
    for (auto _ : state) {
        Object* object = new Object;
        benchmark::DoNotOptimize(object);
        delete object;
    }
}
BENCHMARK(BM_NewDeleteObject);

void BM_RefPtrCounterGetRelease(benchmark::State& state) {
    for (auto _ : state) {
        unsigned long* counter = AUT_RefPtrGetMemory();
        benchmark::DoNotOptimize(counter);
        AUT_RefPtrReleaseMemory(counter);
    }
}
BENCHMARK(BM_RefPtrCounterGetRelease);

// The like-for-like lifetime: object and counter in two allocations.
void BM_SharedPtrFromNewCreateDestroy(benchmark::State& state) {
    for (auto _ : state) {
        std::shared_ptr<Object> object(new Object);
        benchmark::DoNotOptimize(object);
    }
}
BENCHMARK(BM_SharedPtrFromNewCreateDestroy);

} // namespace
