// Fixed-size memory pools: sizes, the order blocks come and go in, chunks that cannot be had,
// and one pool shared by threads.
#include "UTLibraryInternal.h"
#include "UTMemoryPool.h"

#include <BrxException.h>
#include <BrxThread.h>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

// A chunk too large to allocate must come back as std::bad_alloc, also under AddressSanitizer,
// whose allocator aborts on such a request by default (CI passes ThreadSanitizer the same option).
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}

TEST(MemoryPool, BlocksStrideDownEachChunkAndComeBackLastInFirstOut) {
    struct Case {
        unsigned long blockSize, chunkSize, expectedBlock, expectedChunk; // 0: refused
    };
    // 12-byte blocks keep their links at 4-aligned addresses: they must still work.
    const Case cases[] = {{0, 8, 8, 8},      {7, 8, 8, 8},       {8, 15, 8, 8},   {8, 16, 8, 16},
                          {12, 100, 12, 96}, {9, 8192, 9, 8190}, {16, 15, 16, 0}, {0, 7, 8, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.blockSize) + ", " + std::to_string(c.chunkSize));
        try {
            AUT_MemoryPool pool(c.blockSize, c.chunkSize);
            ASSERT_NE(0u, c.expectedChunk) << "no assertion";
            EXPECT_EQ(c.expectedBlock, pool.GetBlockSize());
            EXPECT_EQ(c.expectedChunk, pool.GetChunkSize());
            std::vector<char*> blocks;
            while (blocks.size() < c.expectedChunk / c.expectedBlock) {
                blocks.push_back(static_cast<char*>(pool.GetMemory()));
                ASSERT_EQ(blocks[0] - (blocks.size() - 1) * c.expectedBlock, blocks.back());
            }
            EXPECT_EQ(1u, pool.GetChunkCount());
            char* const next = static_cast<char*>(pool.GetMemory());
            EXPECT_EQ(2u, pool.GetChunkCount());
            pool.ReleaseMemory(blocks[0]);
            pool.ReleaseMemory(next);
            EXPECT_EQ(next, pool.GetMemory());
            EXPECT_EQ(blocks[0], pool.GetMemory());
        } catch (const BrxAssertError& error) {
            EXPECT_EQ(0u, c.expectedChunk);
            EXPECT_EQ("BRX_ASSERT(f_chunkSize != 0);", error.getText());
        }
    }
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

TEST(MemoryPool, ThreadsHammeringOnePoolNeverShareABlock) {
    // Two pools that share the one lock; every thread stamps each block it holds and checks
    // the stamp before giving the block back, so a block handed out twice at once shows.
    AUT_ThreadSafeMemoryPool pools[2] = {{16, 256}, {8, 64}};
    std::atomic<long> clobbered{0};
    std::vector<std::thread> threads;
    for (std::uint64_t t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            std::vector<std::uint64_t*> held;
            for (std::uint64_t stamp = t << 32; stamp < (t << 32) + 2000 * 37; ++stamp) {
                held.push_back(static_cast<std::uint64_t*>(pools[t % 2].GetMemory()));
                *held.back() = stamp;
                // Every 37 blocks, all go back, in an order that differs from the hand-out order.
                for (std::size_t i = 0; held.size() == 37 && i < 2 * 37; i += 2) {
                    const std::size_t at = i < 37 ? i : i - 37;
                    clobbered += *held[at] != stamp - 36 + at;
                    pools[t % 2].ReleaseMemory(held[at]);
                }
                held.resize(held.size() % 37);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(0, clobbered.load());
}
