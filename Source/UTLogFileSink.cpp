// The file sink (see UTLogFileSinkInternal.h): the commit queue through which threads
// hand their records to one writer.
#include "UTException.h"
#include "UTExceptionInternal.h"
#include "UTLogFileInternal.h"
#include "UTLogFileSinkInternal.h"
#include "UTStringSupport.h"

#include <BrxThread.h>
#include <algorithm>

namespace {

constexpr long kWriteFailedError = 701;
constexpr std::uint32_t kWriteFailedMessage = 0x7214BCB6;
// Pauses (about 20 ns each here) a queued thread spins on its record before it sleeps: well
// over a write, since a sleeper costs the writer a wake-up call as dear as the write.
constexpr int kWaitSpins = 1000;
// A sleeper is woken when its record is marked; it looks by itself only this rarely, so that a
// writer held up for seconds (a rotation waiting for another process) costs it little.
constexpr long kSleepMilliseconds = 100;
// Groups a writer writes for others, its own record done, before it hands the role over.
constexpr int kExtraGroups = 4;
// Pauses a writer waits at most for the threads of its last group to queue their next
// records: about a record's composition. Spinning, not yielding: a yield costs as much.
constexpr int kGatherSpins = 150;

// Passes a record's failure on in its own thread.
__attribute__((cold, noinline)) void ReportFailure(FileRecord& record) {
    if (record.f_outcome == FileRecord::kWriteFailed) {
        AUT_THROW(kWriteFailedError, kWriteFailedMessage,
                  record.f_path ? *record.f_path : AUT_GetEmptyString());
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
// One word says all: who holds the writer's role, and which records wait for it. Records wait
// only while a thread holds the role, and the role is given up only by a compare-and-swap
// that finds nothing waiting: no record can be left without a writer.

constexpr int kCountShift = 48;
constexpr std::uint64_t kAddressMask = (std::uint64_t{1} << kCountShift) - 1;
constexpr std::uint64_t kRoleHeld = std::uint64_t{1} << 63;
constexpr std::uint64_t kCountMax = (kRoleHeld >> kCountShift) - 1;

FileRecord* NewestOf(std::uint64_t head) {
    return reinterpret_cast<FileRecord*>(static_cast<std::uintptr_t>(head & kAddressMask));
}

std::uint32_t CountOf(std::uint64_t head) {
    return static_cast<std::uint32_t>((head & ~kRoleHeld) >> kCountShift);
}

// Whether the queue's head can hold the record's address: always on today's systems, which
// map user memory below 2^47.
bool Fits(const FileRecord& record) {
    return (reinterpret_cast<std::uintptr_t>(&record) & ~kAddressMask) == 0;
}

// Takes the writer's role when nobody holds it (true: the record is this thread's to write),
// or else queues the record for the holder. One compare-and-swap either way: a thread that
// only looked first would fetch the line twice.
AUT_LOG_PATH bool TakeRoleOrQueue(FileRecord& record) {
    std::atomic<std::uint64_t>& head = AUTg_FileCommitQueue.f_head;
    const std::uint64_t address = reinterpret_cast<std::uintptr_t>(&record);
    std::uint64_t seen = head.load(std::memory_order_relaxed);
    for (;;) {
        if ((seen & kRoleHeld) == 0) {
            // Nothing waits without a writer: the word is empty.
            if (head.compare_exchange_weak(seen, kRoleHeld, std::memory_order_acquire,
                                           std::memory_order_relaxed)) {
                return true;
            }
            continue;
        }
        record.f_next = NewestOf(seen);
        const std::uint64_t count = std::min<std::uint64_t>(CountOf(seen) + 1, kCountMax);
        if (head.compare_exchange_weak(seen, kRoleHeld | count << kCountShift | address,
                                       std::memory_order_release, std::memory_order_relaxed)) {
            return false;
        }
    }
}

// Takes what is queued (the role stays held), as a group in write order (oldest first).
AUT_LOG_PATH FileRecord* TakeQueued(std::uint64_t seen) {
    // Compare-and-swap from the value seen: the line comes over once, not once to read and
    // once more to write.
    while (seen != kRoleHeld &&
           !AUTg_FileCommitQueue.f_head.compare_exchange_weak(
               seen, kRoleHeld, std::memory_order_acquire, std::memory_order_relaxed)) {
    }
    FileRecord* group = nullptr;
    for (FileRecord* record = NewestOf(seen); record != nullptr;) {
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

// Gives the writer's role up, unless records wait: then takes them, the role still held.
AUT_LOG_PATH FileRecord* LeaveRole() {
    std::uint64_t seen = kRoleHeld;
    if (AUTg_FileCommitQueue.f_head.compare_exchange_strong(seen, 0, std::memory_order_release,
                                                            std::memory_order_relaxed)) {
        return nullptr;
    }
    return TakeQueued(seen);
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

// Waits a moment for the threads of the last group that were awake: they come back about a
// record's composition later, and one write for all of them is what makes more threads
// faster. Bounded, so that a thread stalled elsewhere costs only a few microseconds. Each
// record is fetched as soon as it is seen: the wait hides the transfer. `own` counts as one.
AUT_LOG_PATH FileRecord* Gather(FileRecord* own) {
    const std::atomic<std::uint64_t>& head = AUTg_FileCommitQueue.f_head;
    const std::uint32_t expected = AUTg_FileCommitQueue.f_expected - (own != nullptr ? 1 : 0);
    std::uint64_t seen = head.load(std::memory_order_relaxed);
    for (int spin = 0;
         spin < kGatherSpins && (own != nullptr || seen != kRoleHeld) && CountOf(seen) < expected;
         ++spin) {
        BrxThread::relax();
        const std::uint64_t now = head.load(std::memory_order_relaxed);
        if (now != seen) {
            // The record and the start of its text, which follows it.
            const char* const record = reinterpret_cast<const char*>(NewestOf(now));
            __builtin_prefetch(record);
            __builtin_prefetch(record + 64);
            __builtin_prefetch(record + 128);
            seen = now;
        }
    }
    FileRecord* const queued = TakeQueued(seen);
    if (own == nullptr) {
        return queued;
    }
    own->f_next = queued;
    return own;
}

// Called by the holder of the writer's role with its own record (not queued, or handed over
// at the head of `group`), or with a group to write for others: writes group after group
// while records come, and passes the role on.
AUT_LOG_PATH void WriteQueued(FileRecord* own, FileRecord* group) {
    FileCommitQueue& queue = AUTg_FileCommitQueue;
    bool ownDone = own == nullptr;
    for (int extra = 0;; ++extra) {
        if (group == nullptr) {
            group = Gather(ownDone ? nullptr : own);
        }
        if (group != nullptr) {
            const bool ownInGroup = !ownDone;
            ownDone = true;
            // The writer's thread logs again as soon as the others.
            const std::uint32_t awake = WriteAndMark(group);
            queue.f_expected = ownInGroup ? awake : awake + 1;
        }
        group = LeaveRole();
        if (group == nullptr) {
            return;
        }
        if (extra >= kExtraGroups) {
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

} // namespace

// ---- The sink ------------------------------------------------------------------------------

AUT_LOG_PATH void FileSinkWrite(FileRecord& record) {
    if (AUTg_LogLock.isHeldByCurrentThread() || !Fits(record)) {
        BrxThreadGuard guard(AUTg_LogLock);
        FileSinkWriteGroup(&record);
        Report(record);
        return;
    }
    if (TakeRoleOrQueue(record)) {
        if (AUTg_FileCommitQueue.f_expected > 1) {
            // Others logged a moment ago: this record waits for theirs in one group.
            WriteQueued(&record, nullptr);
        } else {
            // A thread logging alone: written at once, as few frames below Log as can be.
            {
                BrxThreadGuard guard(AUTg_LogLock);
                FileSinkWriteGroup(&record);
            }
            if (FileRecord* const queued = LeaveRole()) {
                WriteQueued(nullptr, queued);
            }
        }
        Report(record);
        return;
    }
    // The holder of the role writes the record, or hands it the role with the record at the
    // head of a group.
    for (;;) {
        std::uint32_t state = record.f_state.load(std::memory_order_acquire);
        if (state == FileRecord::kDone) {
            break;
        }
        if (state == FileRecord::kHandedOver) {
            WriteQueued(&record, &record);
            break;
        }
        // A write takes a few microseconds: spinning through it is cheaper than sleeping, and
        // the writer then needs no wake-up call.
        for (int spin = 0; spin < kWaitSpins && state == FileRecord::kWaiting; ++spin) {
            BrxThread::relax();
            state = record.f_state.load(std::memory_order_acquire);
        }
        if (state == FileRecord::kAsleep ||
            (state == FileRecord::kWaiting &&
             record.f_state.compare_exchange_strong(state, FileRecord::kAsleep,
                                                    std::memory_order_acquire))) {
            BrxThread::waitWhile(record.f_state, FileRecord::kAsleep, kSleepMilliseconds);
        }
    }
    Report(record);
}
