#include "UTLibraryInternal.h"
#include "UTMemoryPool.h"

#include <BrxException.h>
#include <BrxThread.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <future>
#include <gtest/gtest.h>
#include <new>
#include <set>
#include <string>
#include <thread>
#include <vector>

// A chunk too large to allocate must come back as std::bad_alloc, also under the sanitizers,
// whose allocators abort on such a request by default.
#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}
#endif
#if defined(__SANITIZE_THREAD__)
extern "C" const char* __tsan_default_options() {
    return "allocator_may_return_null=1";
}
#endif

namespace {

std::uintptr_t address(const void* block) {
    return reinterpret_cast<std::uintptr_t>(block);
}

TEST(MemoryPool, SizesAreRaisedAndRounded) {
    struct Case {
        unsigned long blockSize, chunkSize, expectedBlock, expectedChunk;
    };
    const Case cases[] = {
        {0, 8, 8, 8},       {1, 100, 8, 96},    {7, 8, 8, 8},        {8, 15, 8, 8},
        {8, 16, 8, 16},     {12, 100, 12, 96},  {16, 100, 16, 96},   {100, 100, 100, 100},
        {9, 8192, 9, 8190}, {8, 8192, 8, 8192}, {24, 1000, 24, 984},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.blockSize) + ", " + std::to_string(c.chunkSize));
        AUT_MemoryPool pool(c.blockSize, c.chunkSize);
        EXPECT_EQ(c.expectedBlock, pool.GetBlockSize());
        EXPECT_EQ(c.expectedChunk, pool.GetChunkSize());
        EXPECT_EQ(0u, pool.GetChunkCount()); // nothing is allocated before the first block
    }
}

TEST(MemoryPool, ChunkSmallerThanBlockFailsTheAssertion) {
    struct Case {
        unsigned long blockSize, chunkSize;
    };
    const Case cases[] = {{16, 7}, {8, 0}, {0, 7}, {1, 7}, {101, 100}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.blockSize) + ", " + std::to_string(c.chunkSize));
        for (bool threadSafe : {false, true}) {
            try {
                if (threadSafe) {
                    AUT_ThreadSafeMemoryPool pool(c.blockSize, c.chunkSize);
                } else {
                    AUT_MemoryPool pool(c.blockSize, c.chunkSize);
                }
                ADD_FAILURE() << "no assertion";
            } catch (const BrxAssertError& error) {
                EXPECT_EQ("BRX_ASSERT(f_chunkSize != 0);", error.getText());
                ASSERT_FALSE(error.getBackTrace().empty());
                EXPECT_EQ("Source/UTMemoryPool.cpp", error.getBackTrace().front().file);
            }
        }
    }
}

TEST(MemoryPool, FreshChunkHandsOutHighestAddressFirst) {
    AUT_MemoryPool pool(8, 16);
    void* first = pool.GetMemory();
    void* second = pool.GetMemory();
    EXPECT_EQ(1u, pool.GetChunkCount());
    EXPECT_EQ(address(second) + 8, address(first)); // chunk + 8, then chunk + 0
    void* third = pool.GetMemory();
    EXPECT_EQ(2u, pool.GetChunkCount());
    EXPECT_TRUE(address(third) < address(second) || address(third) >= address(second) + 16);
}

TEST(MemoryPool, OddBlockSizeStridesDownTheChunk) {
    // 12-byte blocks keep their links at 4-aligned addresses: they must still work.
    AUT_MemoryPool pool(12, 100);
    std::vector<char*> blocks;
    for (int i = 0; i < 8; ++i) {
        blocks.push_back(static_cast<char*>(pool.GetMemory()));
    }
    EXPECT_EQ(1u, pool.GetChunkCount());
    for (std::size_t i = 1; i < blocks.size(); ++i) {
        EXPECT_EQ(blocks[i - 1] - 12, blocks[i]);
    }
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        std::memset(blocks[i], static_cast<int>(i + 1), 12);
    }
    for (char* block : blocks) {
        pool.ReleaseMemory(block);
    }
    for (auto it = blocks.rbegin(); it != blocks.rend(); ++it) {
        EXPECT_EQ(*it, pool.GetMemory());
    }
    pool.GetMemory();
    EXPECT_EQ(2u, pool.GetChunkCount());
}

TEST(MemoryPool, ReleasedBlocksComeBackLastInFirstOut) {
    AUT_MemoryPool pool(8, 32);
    void* a = pool.GetMemory();
    void* b = pool.GetMemory();
    void* c = pool.GetMemory();
    pool.ReleaseMemory(b);
    EXPECT_EQ(b, pool.GetMemory());
    pool.ReleaseMemory(a);
    pool.ReleaseMemory(c);
    EXPECT_EQ(c, pool.GetMemory());
    EXPECT_EQ(a, pool.GetMemory());
    // The chunk's last block is still there before any new chunk.
    pool.GetMemory();
    EXPECT_EQ(1u, pool.GetChunkCount());
}

TEST(MemoryPool, ChunkThatCannotBeAllocatedThrowsBadAlloc) {
    AUT_MemoryPool pool(8, static_cast<unsigned long>(-1));
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_THROW(pool.GetMemory(), std::bad_alloc);
        EXPECT_EQ(0u, pool.GetChunkCount());
    }
    AUT_ThreadSafeMemoryPool locked(8, static_cast<unsigned long>(-1));
    EXPECT_THROW(locked.GetMemory(), std::bad_alloc);
    // The failure let go of the lock: another thread can take it.
    std::thread([] { BrxThreadGuard guard(AUTg_PoolLock); }).join();
}

TEST(MemoryPool, ManyBlocksAcrossChunksAreDistinctAndWritable) {
    struct Case {
        unsigned long blockSize, chunkSize;
    };
    const Case cases[] = {{8, 8}, {8, 8192}, {24, 1000}, {13, 64}, {4096, 4096}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.blockSize) + ", " + std::to_string(c.chunkSize));
        AUT_MemoryPool pool(c.blockSize, c.chunkSize);
        const std::size_t count = 3000;
        std::vector<unsigned char*> blocks;
        std::set<std::uintptr_t> seen;
        for (std::size_t i = 0; i < count; ++i) {
            auto* block = static_cast<unsigned char*>(pool.GetMemory());
            std::memset(block, static_cast<int>(i & 0xFF), c.blockSize);
            blocks.push_back(block);
            seen.insert(address(block));
        }
        EXPECT_EQ(count, seen.size());
        const std::size_t perChunk = pool.GetChunkSize() / pool.GetBlockSize();
        EXPECT_EQ((count + perChunk - 1) / perChunk, pool.GetChunkCount());
        // No block overlaps another: every byte still holds its block's pattern.
        for (std::size_t i = 0; i < count; ++i) {
            const auto expected = static_cast<unsigned char>(i & 0xFF);
            ASSERT_TRUE(std::all_of(blocks[i], blocks[i] + c.blockSize,
                                    [&](unsigned char b) { return b == expected; }))
                << "block " << i;
        }
    }
}

TEST(MemoryPool, ThreadSafePoolTakesTheSharedLock) {
    AUT_ThreadSafeMemoryPool pool(8, 64);
    std::promise<void> held;
    std::promise<void> letGo;
    std::thread holder([&] {
        BrxThreadGuard guard(AUTg_PoolLock);
        held.set_value();
        letGo.get_future().wait();
    });
    held.get_future().wait();

    // Through the base class the pool is not locked: this returns while the lock is held.
    AUT_MemoryPool& unlocked = pool;
    void* block = unlocked.GetMemory();
    unlocked.ReleaseMemory(block);

    auto locked = std::async(std::launch::async, [&] { return pool.GetMemory(); });
    EXPECT_EQ(std::future_status::timeout, locked.wait_for(std::chrono::milliseconds(50)));
    letGo.set_value();
    EXPECT_EQ(block, locked.get());
    holder.join();
}

TEST(MemoryPool, ThreadsHammeringOnePoolNeverShareABlock) {
    // Two pools that share the one lock; every thread stamps each block it holds and checks
    // the stamp before giving the block back, so a block handed out twice at once shows.
    AUT_ThreadSafeMemoryPool pools[2] = {{16, 256}, {8, 64}};
    constexpr int kThreads = 4;
    constexpr int kRounds = 2000;
    constexpr int kHeld = 37;
    std::atomic<long> clobbered{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            AUT_ThreadSafeMemoryPool& pool = pools[t % 2];
            std::vector<std::uint64_t*> held;
            for (int round = 0; round < kRounds; ++round) {
                for (int i = 0; i < kHeld; ++i) {
                    auto* block = static_cast<std::uint64_t*>(pool.GetMemory());
                    *block = (static_cast<std::uint64_t>(t) << 32) | (round * kHeld + i);
                    held.push_back(block);
                }
                for (std::size_t i = 0; i < held.size(); ++i) {
                    if (*held[i] != ((static_cast<std::uint64_t>(t) << 32) | (round * kHeld + i))) {
                        ++clobbered;
                    }
                }
                // Give back in an order that differs from the hand-out order.
                for (std::size_t i = 0; i < held.size(); i += 2) {
                    pool.ReleaseMemory(held[i]);
                }
                for (std::size_t i = 1; i < held.size(); i += 2) {
                    pool.ReleaseMemory(held[i]);
                }
                held.clear();
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(0, clobbered.load());
    // Two threads per pool hold at most 74 blocks at once: growth stays bounded.
    EXPECT_LE(pools[0].GetChunkCount(), 74u * 16 / 256 + 2);
    EXPECT_LE(pools[1].GetChunkCount(), 74u * 8 / 64 + 2);
}

} // namespace
