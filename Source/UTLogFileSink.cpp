// The file sink (see UTLogFileSinkInternal.h): the commit queue through which threads
// hand their records to one writer.
#include "UTException.h"
#include "UTExceptionInternal.h"
#include "UTLogFileInternal.h"
#include "UTLogFileSinkInternal.h"

#include <BrxThread.h>

namespace {

constexpr long kWriteFailedError = 701;
constexpr std::uint32_t kWriteFailedMessage = 0x7214BCB6;
// Pauses (about 20 ns each here) a queued thread spins on its record before it sleeps: well
// over a write, since a sleeper costs the writer a wake-up call as dear as the write.
constexpr int kWaitSpins = 1000;
// Groups a writer writes for others, its own record done, before it hands the role over.
constexpr int kExtraGroups = 4;
// Pauses a writer waits at most for the threads of its last group to queue their next
// records: about a record's composition. Spinning, not yielding: a yield costs as much.
constexpr int kGatherSpins = 150;

// Passes a record's failure on in its own thread.
__attribute__((cold, noinline)) void ReportFailure(FileRecord& record) {
    if (record.f_outcome == FileRecord::kWriteFailed) {
        AUT_THROW(kWriteFailedError, kWriteFailedMessage, *record.f_path);
    }
    if (record.f_outcome == FileRecord::kThrew) {
        std::rethrow_exception(record.f_error);
    }
}

inline void Report(FileRecord& record) {
    if (record.f_outcome != FileRecord::kNoFailure) {
        ReportFailure(record);
    }
}

// ---- The commit queue ----------------------------------------------------------------------

constexpr int kCountShift = 48;
constexpr std::uint64_t kAddressMask = (std::uint64_t{1} << kCountShift) - 1;

FileRecord* NewestOf(std::uint64_t head) {
    return reinterpret_cast<FileRecord*>(static_cast<std::uintptr_t>(head & kAddressMask));
}

std::uint32_t CountOf(std::uint64_t head) {
    return static_cast<std::uint32_t>(head >> kCountShift);
}

// Whether the queue's head can hold the record's address: always on today's systems, which
// map user memory below 2^47.
bool Fits(const FileRecord& record) {
    return (reinterpret_cast<std::uintptr_t>(&record) & ~kAddressMask) == 0;
}

AUT_LOG_PATH void Queue(FileRecord& record) {
    FileCommitQueue& queue = AUTg_FileCommitQueue;
    const std::uint64_t address = reinterpret_cast<std::uintptr_t>(&record);
    std::uint64_t head = queue.f_head.load(std::memory_order_relaxed);
    do {
        record.f_next = NewestOf(head);
    } while (!queue.f_head.compare_exchange_weak(
        head, address | ((std::uint64_t{CountOf(head)} + 1) << kCountShift),
        std::memory_order_seq_cst, std::memory_order_relaxed));
}

// Takes what is queued, as a group in write order (oldest first). Caller holds the writer's
// role.
AUT_LOG_PATH FileRecord* TakeQueued(std::uint64_t head) {
    // Compare-and-swap from the value seen: the line comes over once, not once to read and
    // once more to write.
    while (head != 0 && !AUTg_FileCommitQueue.f_head.compare_exchange_weak(
                            head, 0, std::memory_order_acquire, std::memory_order_relaxed)) {
    }
    FileRecord* group = nullptr;
    for (FileRecord* record = NewestOf(head); record != nullptr;) {
        // The texts are other threads' lines: fetched all at once, not one by one.
        for (std::size_t at = 0; at < record->f_text.size(); at += 64) {
            __builtin_prefetch(record->f_text.data() + at);
        }
        FileRecord* const older = record->f_next;
        record->f_next = group;
        group = record;
        record = older;
    }
    return group;
}

// Gives the writer's role up. Returns what was queued meanwhile by threads that saw the role
// taken and went to wait: then this thread holds the role again and must see to it.
AUT_LOG_PATH FileRecord* LeaveRole() {
    FileCommitQueue& queue = AUTg_FileCommitQueue;
    for (;;) {
        // With the queuing thread's push and look at the role, both sequentially consistent:
        // one of the two threads sees the other.
        queue.f_writerActive.store(false, std::memory_order_seq_cst);
        if (queue.f_head.load(std::memory_order_seq_cst) == 0 ||
            queue.f_writerActive.exchange(true, std::memory_order_acquire)) {
            return nullptr;
        }
        if (FileRecord* const group = TakeQueued(queue.f_head.load(std::memory_order_relaxed))) {
            return group;
        }
        // Another writer came and took the queue between the look and the retake.
    }
}

// Writes `group` as the holder of the writer's role, and marks its records done. Gives the
// number of their threads that were awake.
AUT_LOG_PATH std::uint32_t WriteAndMark(FileRecord* group) {
    {
        BrxThreadGuard guard(AUTg_LogLock);
        FileSinkWriteGroup(group);
    }
    // Each owner may leave once it sees its record done, so all that is needed of a record is
    // read before its mark. Sleepers are woken once all are marked: the awake ones need not
    // wait for the calls, which only take the word's address.
    const std::atomic<std::uint32_t>* sleepers[kGroupRecords];
    std::size_t sleeperCount = 0;
    std::uint32_t awake = 0;
    for (FileRecord* record = group; record != nullptr;) {
        FileRecord* const next = record->f_next;
        std::atomic<std::uint32_t>& state = record->f_state;
        if (state.exchange(FileRecord::kDone, std::memory_order_acq_rel) != FileRecord::kAsleep) {
            ++awake;
        } else if (sleeperCount < kGroupRecords) {
            sleepers[sleeperCount++] = &state;
        } else {
            BrxThread::wakeAll(state);
        }
        record = next;
    }
    for (std::size_t i = 0; i < sleeperCount; ++i) {
        BrxThread::wakeAll(*sleepers[i]);
    }
    return awake;
}

// Called by the holder of the writer's role with its own record (queued, or handed over at
// the head of `group`; null once written): writes group after group while records come, and
// passes the role on.
AUT_LOG_PATH void WriteQueued(const FileRecord* own, FileRecord* group) {
    FileCommitQueue& queue = AUTg_FileCommitQueue;
    bool ownDone = own == nullptr;
    for (int extra = 0;; ++extra) {
        if (group == nullptr) {
            // The threads of the last group that were awake come back about a record's
            // composition later: one write for all of them is what makes more threads faster.
            // Bounded, so that a thread stalled elsewhere costs only a few microseconds. Each
            // record is fetched as soon as it is seen: the wait hides the transfer.
            std::uint64_t head = queue.f_head.load(std::memory_order_relaxed);
            for (int spin = 0; spin < kGatherSpins && head != 0 && CountOf(head) < queue.f_expected;
                 ++spin) {
                BrxThread::relax();
                const std::uint64_t seen = queue.f_head.load(std::memory_order_relaxed);
                if (seen != head) {
                    // The record and the start of its text, which follows it.
                    const char* const record = reinterpret_cast<const char*>(NewestOf(seen));
                    __builtin_prefetch(record);
                    __builtin_prefetch(record + 64);
                    __builtin_prefetch(record + 128);
                    head = seen;
                }
            }
            group = TakeQueued(head);
        }
        if (group != nullptr) {
            bool ownInGroup = false;
            for (const FileRecord* record = group; record != nullptr; record = record->f_next) {
                ownInGroup = ownInGroup || record == own;
            }
            ownDone = ownDone || ownInGroup;
            // The writer's thread logs again as soon as the others.
            const std::uint32_t awake = WriteAndMark(group);
            queue.f_expected = ownInGroup ? awake : awake + 1;
        }
        group = LeaveRole();
        if (group == nullptr) {
            return;
        }
        if (ownDone && extra >= kExtraGroups) {
            // Others' records keep coming: the oldest one's thread writes them, so that this
            // thread's call returns.
            if (group->f_state.exchange(FileRecord::kHandedOver, std::memory_order_acq_rel) ==
                FileRecord::kAsleep) {
                BrxThread::wakeAll(group->f_state);
            }
            return;
        }
    }
}

// Gives the writer's role up, first writing what was queued for this thread to see to.
AUT_LOG_PATH void GiveRoleUp() {
    if (FileRecord* const group = LeaveRole()) {
        WriteQueued(nullptr, group);
    }
}

// Writes `record` without queuing it when its thread is the only one logging: nobody writes
// or waits, and the last group was this thread's alone. False when no writer's role was free.
AUT_LOG_PATH bool WriteAlone(FileRecord& record) {
    FileCommitQueue& queue = AUTg_FileCommitQueue;
    if (queue.f_head.load(std::memory_order_relaxed) != 0 ||
        queue.f_writerActive.load(std::memory_order_relaxed) ||
        queue.f_writerActive.exchange(true, std::memory_order_acquire)) {
        return false;
    }
    if (queue.f_expected > 1) {
        // Others logged a moment ago: this record waits for theirs in one group.
        Queue(record);
        WriteQueued(&record, nullptr);
        return true;
    }
    {
        BrxThreadGuard guard(AUTg_LogLock);
        FileSinkWriteGroup(&record);
    }
    GiveRoleUp();
    return true;
}

// Takes the writer's role if no thread holds it and writes what is queued, the queued
// `record` among it unless a writer has been through it meanwhile. False when the role is
// taken: its holder, or one after it, sees to the record.
AUT_LOG_PATH bool WriteIfNoWriter(FileRecord& record) {
    FileCommitQueue& queue = AUTg_FileCommitQueue;
    if (queue.f_writerActive.load(std::memory_order_seq_cst) ||
        queue.f_writerActive.exchange(true, std::memory_order_acquire)) {
        return false;
    }
    if (record.f_state.load(std::memory_order_acquire) == FileRecord::kDone) {
        GiveRoleUp();
        return true;
    }
    // No other writer can be through the record now: a sleeper's mark is void.
    record.f_state.store(FileRecord::kWaiting, std::memory_order_relaxed);
    WriteQueued(&record, nullptr);
    return true;
}

} // namespace

// ---- The sink ------------------------------------------------------------------------------

AUT_LOG_PATH void FileSinkWrite(FileRecord& record) {
    if (AUTg_LogLock.isHeldByCurrentThread() || !Fits(record)) {
        BrxThreadGuard guard(AUTg_LogLock);
        FileSinkWriteGroup(&record);
        Report(record);
        return;
    }
    if (WriteAlone(record)) {
        Report(record);
        return;
    }
    Queue(record);
    // Whoever finds no writer at work writes everything queued so far, its own record
    // included. The others wait until a writer has been through theirs, or has handed them
    // the role with their record at the head of a group: a writer that gives the role up looks
    // at the queue once more, so a waiter need not watch the role. It looks all the same
    // whenever it wakes, so that no record can be left without a writer.
    for (;;) {
        std::uint32_t state = record.f_state.load(std::memory_order_acquire);
        if (state == FileRecord::kDone) {
            break;
        }
        if (state == FileRecord::kHandedOver) {
            WriteQueued(&record, &record);
            continue;
        }
        if (WriteIfNoWriter(record)) {
            continue;
        }
        // A write takes a few microseconds: spinning through it is cheaper than sleeping, and
        // the writer then needs no wake-up call.
        for (int spin = 0; spin < kWaitSpins && state < FileRecord::kDone; ++spin) {
            BrxThread::relax();
            state = record.f_state.load(std::memory_order_acquire);
        }
        if (state == FileRecord::kAsleep ||
            (state == FileRecord::kWaiting &&
             record.f_state.compare_exchange_strong(state, FileRecord::kAsleep,
                                                    std::memory_order_acquire))) {
            BrxThread::waitWhile(record.f_state, FileRecord::kAsleep);
        }
    }
    Report(record);
}
