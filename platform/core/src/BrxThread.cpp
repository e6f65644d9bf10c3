#include "BrxThread.h"

#include <atomic>
#include <climits>
#include <ctime>
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// A waiter that missed its wake-up (the holder released between the waiter's last look and
// its sleep without seeing it counted) wakes by itself after this long at the latest.
constexpr long kWaitSliceNanoseconds = 1000000;
constexpr int kSpinRounds = 100;

void futexWait(const std::atomic<std::uint32_t>* word,
               std::uint32_t expected,
               long nanoseconds = kWaitSliceNanoseconds) {
    timespec slice{nanoseconds / 1000000000, nanoseconds % 1000000000};
    syscall(SYS_futex, reinterpret_cast<const std::uint32_t*>(word), FUTEX_WAIT_PRIVATE, expected,
            &slice, nullptr, 0);
}

void futexWake(const std::atomic<std::uint32_t>* word, int count) {
    syscall(SYS_futex, reinterpret_cast<const std::uint32_t*>(word), FUTEX_WAKE_PRIVATE, count,
            nullptr, nullptr, 0);
}

} // namespace

namespace BrxThread {

std::uint32_t currentThreadId() {
    static std::atomic<std::uint32_t> nextId{1};
    thread_local const std::uint32_t id = nextId.fetch_add(1, std::memory_order_relaxed);
    return id;
}

void waitWhile(const std::atomic<std::uint32_t>& word, std::uint32_t value, long milliseconds) {
    futexWait(&word, value, milliseconds * 1000000);
}

void wakeAll(const std::atomic<std::uint32_t>& word) {
    futexWake(&word, INT_MAX);
}

} // namespace BrxThread

BrxThreadCriticalSection::BrxThreadCriticalSection(int flag)
    : f_flag(flag) {}

BrxThreadCriticalSection::~BrxThreadCriticalSection() = default;

void BrxThreadCriticalSection::lockContended() {
    for (int round = 0; round < kSpinRounds; ++round) {
        if (f_state.load(std::memory_order_relaxed) == 0 &&
            f_state.exchange(1, std::memory_order_acquire) == 0) {
            return;
        }
        BrxThread::relax();
    }
    f_waiters.fetch_add(1, std::memory_order_seq_cst);
    while (f_state.exchange(1, std::memory_order_acquire) != 0) {
        futexWait(&f_state, 1);
    }
    f_waiters.fetch_sub(1, std::memory_order_relaxed);
}

void BrxThreadCriticalSection::wakeOne() {
    futexWake(&f_state, 1);
}
