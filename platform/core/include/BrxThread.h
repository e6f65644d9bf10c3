#pragma once
// Locks of the platform: a re-entrant critical section, a recursive mutex, a scope guard,
// and the calling thread's id.
#include "BrxExport.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <pthread.h>

namespace BrxThread {
// A small positive number unique to the calling thread for the life of the process.
BRX_EXPORT std::uint32_t currentThreadId();

// Sleeps while `word` holds `value`: until a wake on it, a spurious wake-up or `milliseconds`
// have passed, so callers test their condition again in a loop.
BRX_EXPORT void
waitWhile(const std::atomic<std::uint32_t>& word, std::uint32_t value, long milliseconds);
// Wakes every thread asleep in waitWhile on `word`. `word` need no longer hold live data: a
// wake on memory reused since only costs its sleepers a spurious wake-up.
BRX_EXPORT void wakeAll(const std::atomic<std::uint32_t>& word);
// One round of a spin-wait: tells the processor that the thread waits for another, which
// saves power and the pipeline flush at the loop's exit.
inline void relax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}
} // namespace BrxThread

// A critical section that its holder may take again (each lock() needs its unlock()).
// Uncontended, lock() is one atomic exchange and unlock() a release store; a contended
// lock() spins briefly and then sleeps in the kernel, so a waiter never burns a core.
// `flag` is kept for callers of the platform interface (0 or 1); both behave the same.
class BRX_EXPORT BrxThreadCriticalSection {
public:
    explicit BrxThreadCriticalSection(int flag = 0);
    BrxThreadCriticalSection(const BrxThreadCriticalSection&) = delete;
    BrxThreadCriticalSection& operator=(const BrxThreadCriticalSection&) = delete;
    ~BrxThreadCriticalSection();

    void lock() {
        const std::uintptr_t self = holderId();
        if (f_owner.load(std::memory_order_relaxed) == self) {
            ++f_depth;
            return;
        }
        if (f_state.exchange(1, std::memory_order_acquire) != 0) {
            lockContended();
        }
        f_owner.store(self, std::memory_order_relaxed);
        f_depth = 1;
    }
    void unlock() {
        if (--f_depth != 0) {
            return;
        }
        f_owner.store(0, std::memory_order_relaxed);
        f_state.store(0, std::memory_order_release);
        if (f_waiters.load(std::memory_order_relaxed) != 0) {
            wakeOne();
        }
    }
    // The flag it was made with.
    int getFlag() const { return f_flag; }
    bool isHeldByCurrentThread() const {
        return f_owner.load(std::memory_order_relaxed) == holderId();
    }

private:
    // The thread pointer, unique among live threads: read from a register, without the call
    // into the C library that pthread_self() costs.
    static std::uintptr_t holderId() {
#if defined(__x86_64__) || defined(__aarch64__)
        return reinterpret_cast<std::uintptr_t>(__builtin_thread_pointer());
#else
        return static_cast<std::uintptr_t>(pthread_self());
#endif
    }
    void lockContended();
    void wakeOne();

    std::atomic<std::uint32_t> f_state{0};   // 0 free, 1 held
    std::atomic<std::uint32_t> f_waiters{0}; // threads asleep or about to sleep on f_state
    std::atomic<std::uintptr_t> f_owner{0};  // holder's pthread id, 0 when free
    std::uint32_t f_depth = 0;               // holder's nesting; touched only by the holder
    int f_flag;
};

// A recursive mutex (std::recursive_mutex underneath).
class BRX_EXPORT BrxThreadRecursiveMutex {
public:
    BrxThreadRecursiveMutex() = default;
    BrxThreadRecursiveMutex(const BrxThreadRecursiveMutex&) = delete;
    BrxThreadRecursiveMutex& operator=(const BrxThreadRecursiveMutex&) = delete;

    void lock() { f_mutex.lock(); }
    void unlock() { f_mutex.unlock(); }

private:
    std::recursive_mutex f_mutex;
};

// Holds a lock from construction to destruction.
class BrxThreadGuard {
public:
    explicit BrxThreadGuard(BrxThreadCriticalSection& lock)
        : f_section(&lock) {
        lock.lock();
    }
    explicit BrxThreadGuard(BrxThreadRecursiveMutex& lock)
        : f_mutex(&lock) {
        lock.lock();
    }
    BrxThreadGuard(const BrxThreadGuard&) = delete;
    BrxThreadGuard& operator=(const BrxThreadGuard&) = delete;
    ~BrxThreadGuard() {
        if (f_section) {
            f_section->unlock();
        } else {
            f_mutex->unlock();
        }
    }

private:
    BrxThreadCriticalSection* f_section = nullptr;
    BrxThreadRecursiveMutex* f_mutex = nullptr;
};
