// The platform's locks: re-entrance, mutual exclusion, sleeping waiters, thread ids.
#include "ReliabilitySupport.h"

#include <BrxThread.h>
#include <atomic>
#include <csignal>
#include <cstddef>
#include <fstream>
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <set>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

TEST(BrxThreadCriticalSection, HolderMayTakeItAgainAndReleasesItCompletely) {
    BrxThreadCriticalSection section(1);
    {
        BrxThreadGuard outer(section);
        BrxThreadGuard inner(section);
        EXPECT_TRUE(section.isHeldByCurrentThread());
    }
    EXPECT_FALSE(section.isHeldByCurrentThread());
    std::thread([&] { BrxThreadGuard guard(section); }).join();
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
                overlap = overlap || inside.fetch_add(1) != 0;
                ++counter;
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

volatile std::sig_atomic_t g_trappedCalls = 0;

// Runs in a child: the filter that counts the section's system calls cannot be removed.
std::string UncontendedUseAfterContention() {
    BrxThreadCriticalSection section;
    section.lock();
    std::atomic<long> waiterTid{0};
    std::thread waiter([&] {
        waiterTid = syscall(SYS_gettid);
        BrxThreadGuard guard(section);
    });
    while (waiterTid == 0) {
        std::this_thread::yield();
    }
    // Wait until it sleeps in a futex call (a spinning waiter hangs here).
    const std::string status = "/proc/self/task/" + std::to_string(waiterTid) + "/syscall";
    const std::string futex = std::to_string(SYS_futex) + " ";
    for (std::string line; line.compare(0, futex.size(), futex) != 0;) {
        std::ifstream(status) >> line;
        line += ' ';
        std::this_thread::yield();
    }
    section.unlock();
    waiter.join();

    // Trap every system call whose first argument is the section's lock word, its first member.
    const auto address = reinterpret_cast<std::uint64_t>(&section);
    const std::size_t arg0 = offsetof(seccomp_data, args);
    sock_filter code[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, arg0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, std::uint32_t(address), 0, 3),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, arg0 + 4),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, std::uint32_t(address >> 32), 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_TRAP),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program{static_cast<unsigned short>(std::size(code)), code};
    std::signal(SIGSYS, [](int) { g_trappedCalls = g_trappedCalls + 1; });
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
        prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0) {
        return "no seccomp filter";
    }
    section.lock();
    section.unlock();
    return g_trappedCalls == 0 ? "" : "uncontended unlock made a system call";
}

// A waiter sleeps in the kernel rather than spinning; once it has had the section, an
// uncontended lock and unlock stay in user space again.
TEST(BrxThreadCriticalSection, WaiterSleepsAndLaterUncontendedUseStaysInUserSpace) {
    EXPECT_EQ(reliability::RunInChild(UncontendedUseAfterContention, 60), "");
}

TEST(BrxThread, IdsAreStableAndDistinct) {
    const auto mine = BrxThread::currentThreadId();
    EXPECT_EQ(mine, BrxThread::currentThreadId());
    EXPECT_NE(mine, 0u);
    std::vector<std::uint32_t> seen(8);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < seen.size(); ++t) {
        threads.emplace_back([&seen, t] { seen[t] = BrxThread::currentThreadId(); });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    std::set<std::uint32_t> ids(seen.begin(), seen.end());
    ids.insert(mine);
    EXPECT_EQ(ids.size(), seen.size() + 1);
}

} // namespace
