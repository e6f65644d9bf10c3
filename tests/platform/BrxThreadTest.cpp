// The platform's locks: re-entrance, mutual exclusion under contention, thread ids.
#include <BrxThread.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>
#include <vector>

#include <sys/resource.h>

namespace {

TEST(BrxThreadCriticalSection, HolderMayTakeItAgain) {
    BrxThreadCriticalSection section(1);
    {
        BrxThreadGuard outer(section);
        BrxThreadGuard inner(section);
        EXPECT_TRUE(section.isHeldByCurrentThread());
    }
    EXPECT_FALSE(section.isHeldByCurrentThread());

    // Released completely: another thread gets it at once.
    std::atomic<bool> acquired{false};
    std::thread other([&] {
        BrxThreadGuard guard(section);
        acquired = true;
    });
    other.join();
    EXPECT_TRUE(acquired);
}

TEST(BrxThreadCriticalSection, ExcludesOtherThreads) {
    BrxThreadCriticalSection section(0);
    constexpr int kThreads = 4;
    constexpr int kRounds = 20000;
    long counter = 0; // deliberately plain: the section must make the increments exclusive
    std::atomic<int> inside{0};
    std::atomic<bool> overlap{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) {
                BrxThreadGuard guard(section);
                if (inside.fetch_add(1) != 0) {
                    overlap = true;
                }
                ++counter;
                if (i % 1000 == 0) {
                    // Hold it long enough that the others go to sleep and must be woken.
                    std::this_thread::sleep_for(std::chrono::microseconds(50));
                }
                inside.fetch_sub(1);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_FALSE(overlap);
    EXPECT_EQ(counter, static_cast<long>(kThreads) * kRounds);
}

TEST(BrxThreadCriticalSection, WaiterSleepsInsteadOfSpinning) {
    BrxThreadCriticalSection section;
    section.lock();
    std::atomic<bool> got{false};
    rusage before{};
    std::thread waiter([&] {
        getrusage(RUSAGE_THREAD, &before);
        BrxThreadGuard guard(section);
        got = true;
        rusage after{};
        getrusage(RUSAGE_THREAD, &after);
        const double cpuSeconds =
            (after.ru_utime.tv_sec - before.ru_utime.tv_sec) +
            (after.ru_utime.tv_usec - before.ru_utime.tv_usec) / 1e6 +
            (after.ru_stime.tv_sec - before.ru_stime.tv_sec) +
            (after.ru_stime.tv_usec - before.ru_stime.tv_usec) / 1e6;
        // It waited 300 ms; a spinning waiter would have burnt nearly all of that.
        EXPECT_LT(cpuSeconds, 0.15);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(got);
    section.unlock();
    waiter.join();
    EXPECT_TRUE(got);
}

TEST(BrxThreadRecursiveMutex, GuardNestsAndExcludesOthers) {
    BrxThreadRecursiveMutex mutex;
    std::atomic<bool> acquired{false};
    std::thread other;
    {
        BrxThreadGuard outer(mutex);
        {
            BrxThreadGuard inner(mutex);
        }
        other = std::thread([&] {
            BrxThreadGuard guard(mutex);
            acquired = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        // The inner guard is gone, the outer one still holds the mutex.
        EXPECT_FALSE(acquired);
    }
    other.join();
    EXPECT_TRUE(acquired);
}

TEST(BrxThread, IdsAreStableAndDistinct) {
    const auto mine = BrxThread::currentThreadId();
    EXPECT_EQ(mine, BrxThread::currentThreadId());
    EXPECT_NE(mine, 0u);
    std::set<std::uint32_t> ids{mine};
    std::vector<std::thread> threads;
    std::vector<std::uint32_t> seen(8);
    for (std::size_t t = 0; t < seen.size(); ++t) {
        threads.emplace_back([&seen, t] { seen[t] = BrxThread::currentThreadId(); });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    ids.insert(seen.begin(), seen.end());
    EXPECT_EQ(ids.size(), seen.size() + 1);
}

} // namespace
