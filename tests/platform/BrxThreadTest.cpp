// The platform's critical section: re-entrance, exclusion, sleeping waiters; thread ids.
#include <BrxThread.h>
#include <atomic>
#include <fstream>
#include <gtest/gtest.h>
#include <linux/futex.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Returns once the thread `tid` sleeps in a futex call, or `done` is set.
void WaitUntilAsleep(const std::atomic<long>& tid, const std::atomic<bool>& done) {
    for (std::string call; call != std::to_string(SYS_futex) && !done;) {
        std::ifstream("/proc/self/task/" + std::to_string(tid) + "/syscall") >> call;
    }
}

// A futex call on the section's lock word, its first member.
long Futex(BrxThreadCriticalSection& section, int operation) {
    return syscall(SYS_futex, &section, operation, operation == FUTEX_WAKE_PRIVATE, nullptr,
                   nullptr, 0);
}

TEST(BrxThreadCriticalSection, WaiterSleepsAndLaterUncontendedUseWakesNobody) {
    BrxThreadCriticalSection section;
    section.lock();
    section.lock(); // its holder may take it again
    std::atomic<long> tid{0};
    std::atomic<bool> acquired{false};
    std::uint32_t waiterId = 0;
    std::thread waiter([&] {
        tid = syscall(SYS_gettid);
        waiterId = BrxThread::currentThreadId();
        BrxThreadGuard guard(section);
        acquired = true;
    });
    WaitUntilAsleep(tid, acquired);
    EXPECT_FALSE(acquired);
    section.unlock();
    section.unlock();
    waiter.join();
    EXPECT_NE(waiterId, BrxThread::currentThreadId());

    // A thread asleep on the lock word stays asleep through an uncontended lock and unlock.
    tid = 0;
    acquired = false;
    std::thread sleeper([&] {
        tid = syscall(SYS_gettid);
        Futex(section, FUTEX_WAIT_PRIVATE);
    });
    WaitUntilAsleep(tid, acquired);
    section.lock();
    section.unlock();
    EXPECT_EQ(Futex(section, FUTEX_WAKE_PRIVATE), 1) << "the unlock woke it";
    sleeper.join();
}

TEST(BrxThreadCriticalSection, ExcludesEveryOtherThread) {
    BrxThreadCriticalSection section;
    long counter = 0; // plain on purpose: only the section keeps the increments whole
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 100000; ++i) {
                BrxThreadGuard guard(section);
                counter = counter + 1;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(counter, 400000);
}

} // namespace
