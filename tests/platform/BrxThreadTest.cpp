// The platform's critical section: re-entrance, exclusion, sleeping waiters; thread ids.
#include "ReliabilitySupport.h"

#include <BrxThread.h>
#include <atomic>
#include <csignal>
#include <cstddef>
#include <fstream>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t g_trappedCalls = 0;

// Runs in a child: the filter that counts the section's system calls cannot be removed.
std::string UncontendedUseAfterContention() {
    BrxThreadCriticalSection section;
    section.lock();
    section.lock(); // its holder may take it again
    std::atomic<long> waiterTid{0};
    std::uint32_t waiterId = 0;
    std::thread waiter([&] {
        waiterId = BrxThread::currentThreadId();
        waiterTid = syscall(SYS_gettid);
        BrxThreadGuard guard(section);
    });
    // Wait until it sleeps in a futex call (a spinning waiter hangs here).
    for (std::string call; call != std::to_string(SYS_futex);) {
        std::ifstream("/proc/self/task/" + std::to_string(waiterTid) + "/syscall") >> call;
    }
    section.unlock();
    section.unlock();
    waiter.join();
    if (waiterId == BrxThread::currentThreadId() || waiterId == 0) {
        return "thread ids are not distinct";
    }

    // Trap the system calls whose first argument (its low half) is the section's lock word, its
    // first member.
    const auto address = reinterpret_cast<std::uintptr_t>(&section);
    sock_filter code[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, std::uint32_t(address), 0, 1),
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

} // namespace
