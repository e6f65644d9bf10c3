// The pools' hand-out and release beside what a caller would use instead: malloc, a free list
// behind std::mutex, a bare free list reached through an out-of-line call, the standard pool
// resources and boost::pool.
#include "UTLibraryInternal.h"
#include "UTMemoryPool.h"

#include <BrxThread.h>
#include <atomic>
#include <benchmark/benchmark.h>
#include <boost/pool/pool.hpp>
#include <cstdlib>
#include <memory_resource>
#include <mutex>
#include <new>

namespace {

constexpr unsigned long kBlockSize = 8;
constexpr unsigned long kChunkSize = 8192;
constexpr int kBatch = 64;

// The least a free list can do: no lock, no chunk bookkeeping beyond a bump pointer.
struct BareFreeList {
    void* head = nullptr;
    char* chunk = nullptr;
    char* chunkEnd = nullptr;
};

__attribute__((noinline)) void* bareGet(BareFreeList& list) {
    if (list.head != nullptr) {
        void* const block = list.head;
        list.head = *static_cast<void**>(block);
        return block;
    }
    if (list.chunk == list.chunkEnd) {
        // Leaked on purpose: lives as long as the benchmark.
        list.chunk = static_cast<char*>(::operator new(kChunkSize));
        list.chunkEnd = list.chunk + kChunkSize;
    }
    void* const block = list.chunk;
    list.chunk += kBlockSize;
    return block;
}

__attribute__((noinline)) void bareRelease(BareFreeList& list, void* block) {
    *static_cast<void**>(block) = list.head;
    list.head = block;
}

struct MutexFreeList {
    std::mutex lock;
    BareFreeList list;
};

__attribute__((noinline)) void* mutexGet(MutexFreeList& list) {
    std::lock_guard<std::mutex> guard(list.lock);
    return bareGet(list.list);
}

__attribute__((noinline)) void mutexRelease(MutexFreeList& list, void* block) {
    std::lock_guard<std::mutex> guard(list.lock);
    bareRelease(list.list, block);
}

// ---- One block out and back ----------------------------------------------------------

void BM_ThreadSafePoolGetRelease(benchmark::State& state) {
    AUT_ThreadSafeMemoryPool pool(kBlockSize, kChunkSize);
    for (auto _ : state) {
        void* block = pool.GetMemory();
        benchmark::DoNotOptimize(block);
        pool.ReleaseMemory(block);
    }
}
BENCHMARK(BM_ThreadSafePoolGetRelease);

// What the two locks of a pair cost on their own: the floor under the thread-safe pool.
void BM_PoolLockTwice(benchmark::State& state) {
    for (auto _ : state) {
        {
            BrxThreadGuard guard(AUTg_PoolLock);
            benchmark::ClobberMemory();
        }
        {
            BrxThreadGuard guard(AUTg_PoolLock);
            benchmark::ClobberMemory();
        }
    }
}
BENCHMARK(BM_PoolLockTwice);

// The least any lock can cost: two exchanges and two release stores, what a pair would pay for
// a lock of its own that is never contended.
void BM_AtomicExchangeTwice(benchmark::State& state) {
    std::atomic<int> flag{0};
    for (auto _ : state) {
        benchmark::DoNotOptimize(flag.exchange(1, std::memory_order_acquire));
        flag.store(0, std::memory_order_release);
        benchmark::DoNotOptimize(flag.exchange(1, std::memory_order_acquire));
        flag.store(0, std::memory_order_release);
    }
}
BENCHMARK(BM_AtomicExchangeTwice);

void BM_MallocFree(benchmark::State& state) {
    for (auto _ : state) {
        void* block = std::malloc(kBlockSize);
        benchmark::DoNotOptimize(block);
        std::free(block);
    }
}
BENCHMARK(BM_MallocFree);

void BM_MutexFreeListGetRelease(benchmark::State& state) {
    MutexFreeList list;
    for (auto _ : state) {
        void* block = mutexGet(list);
        benchmark::DoNotOptimize(block);
        mutexRelease(list, block);
    }
}
BENCHMARK(BM_MutexFreeListGetRelease);

void BM_PoolGetRelease(benchmark::State& state) {
    AUT_MemoryPool pool(kBlockSize, kChunkSize);
    for (auto _ : state) {
        void* block = pool.GetMemory();
        benchmark::DoNotOptimize(block);
        pool.ReleaseMemory(block);
    }
}
BENCHMARK(BM_PoolGetRelease);

void BM_BareFreeListGetRelease(benchmark::State& state) {
    BareFreeList list;
    for (auto _ : state) {
        void* block = bareGet(list);
        benchmark::DoNotOptimize(block);
        bareRelease(list, block);
    }
}
BENCHMARK(BM_BareFreeListGetRelease);

// The standard library's pools behind their virtual interface, with and without a lock.
template <class Resource> void pmrGetRelease(benchmark::State& state) {
    Resource resource;
    for (auto _ : state) {
        void* block = resource.allocate(kBlockSize, alignof(void*));
        benchmark::DoNotOptimize(block);
        resource.deallocate(block, kBlockSize, alignof(void*));
    }
}

void BM_PmrUnsynchronizedPoolGetRelease(benchmark::State& state) {
    pmrGetRelease<std::pmr::unsynchronized_pool_resource>(state);
}
BENCHMARK(BM_PmrUnsynchronizedPoolGetRelease);

void BM_PmrSynchronizedPoolGetRelease(benchmark::State& state) {
    pmrGetRelease<std::pmr::synchronized_pool_resource>(state);
}
BENCHMARK(BM_PmrSynchronizedPoolGetRelease);

// boost::pool inlines both calls into the loop: the same work as the plain pool, no call.
void BM_BoostPoolGetRelease(benchmark::State& state) {
    boost::pool<> pool(kBlockSize, kChunkSize / kBlockSize);
    for (auto _ : state) {
        void* block = pool.malloc();
        benchmark::DoNotOptimize(block);
        pool.free(block);
    }
}
BENCHMARK(BM_BoostPoolGetRelease);

// ---- A batch out, then back: the list is walked, and malloc leaves its per-thread cache ---

template <class Get, class Release> void batch(benchmark::State& state, Get get, Release release) {
    void* blocks[kBatch];
    for (auto _ : state) {
        for (void*& block : blocks) {
            block = get();
        }
        benchmark::DoNotOptimize(blocks);
        for (void* block : blocks) {
            release(block);
        }
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}

void BM_ThreadSafePoolBatch(benchmark::State& state) {
    AUT_ThreadSafeMemoryPool pool(kBlockSize, kChunkSize);
    batch(
        state, [&] { return pool.GetMemory(); }, [&](void* block) { pool.ReleaseMemory(block); });
}
BENCHMARK(BM_ThreadSafePoolBatch);

void BM_MallocFreeBatch(benchmark::State& state) {
    batch(
        state, [] { return std::malloc(kBlockSize); }, [](void* block) { std::free(block); });
}
BENCHMARK(BM_MallocFreeBatch);

void BM_PoolBatch(benchmark::State& state) {
    AUT_MemoryPool pool(kBlockSize, kChunkSize);
    batch(
        state, [&] { return pool.GetMemory(); }, [&](void* block) { pool.ReleaseMemory(block); });
}
BENCHMARK(BM_PoolBatch);

void BM_BareFreeListBatch(benchmark::State& state) {
    BareFreeList list;
    batch(
        state, [&] { return bareGet(list); }, [&](void* block) { bareRelease(list, block); });
}
BENCHMARK(BM_BareFreeListBatch);

} // namespace
