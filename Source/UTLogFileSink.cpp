// The file sink (see UTLogFileSinkInternal.h): record lines, group commit, rotation.
#include "UTException.h"
#include "UTExceptionInternal.h"
#include "UTLogFileInternal.h"
#include "UTLogFileSinkInternal.h"
#include "UTLogSettingsInternal.h"
#include "UTStringSupport.h"
#include "uti_filesupport.h"

#include <BrxThread.h>
#include <crt_io.h>

namespace {

inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

constexpr long kWriteFailedError = 701;
constexpr std::uint32_t kWriteFailedMessage = 0x7214BCB6;
constexpr std::uint32_t kCreateFailedMessage = 0x721C44D1;
// Records gathered for one write at most; a longer queue takes several.
constexpr std::size_t kGroupRecords = 64;
// Pauses (about 20 ns each here) a queued thread spins on its record before it sleeps: well
// over a write, since a sleeper costs the writer a wake-up call as dear as the write.
constexpr int kWaitSpins = 1000;
// Groups a writer writes for others, its own record done, before it hands the role over.
constexpr int kExtraGroups = 4;
// Pauses a writer waits at most for the threads of its last group to queue their next
// records: about a record's composition. Spinning, not yielding: a yield costs as much.
constexpr int kGatherSpins = 150;

const char kProcessIdPrefix[] = "PID#\t";
const char kAuditStartMarker[] = "START FUNCTION:\n";
const char kAuditEndMarker[] = "END FUNCTION:\n";

void AppendText(RecordBuffer& out, const I18NString& text) {
    const std::u32string& codePoints = text.codePoints();
    out.appendUtf8(codePoints.data(), codePoints.data() + codePoints.size());
}

// Once a second: out of the writer's code.
__attribute__((cold, noinline)) void FormatTimeStamp(FileSinkState& state, std::time_t now) {
    long seconds = static_cast<long>(now);
    std::tm local{};
    std::size_t length = 0;
    if (aut::localtime_r(&seconds, &local) != nullptr) {
        length = std::strftime(state.f_stamp, sizeof(state.f_stamp), "%c", &local);
    }
    state.f_stampLength = length;
    state.f_stampSecond = now;
}

void AppendTimeStamp(FileSinkState& state, RecordBuffer& out) {
    const std::time_t now = std::time(nullptr);
    if (now != state.f_stampSecond) {
        FormatTimeStamp(state, now);
    }
    out.append(state.f_stamp, state.f_stampLength);
}

// Adds the rotation's message to an exception from creating a log file, logs it again and
// passes it on with its own error code.
[[noreturn]] void RethrowCreateFailure(AUT_Exception& exception,
                                       const I18NString& fullPath,
                                       const char* file,
                                       int line) {
    const I18NString& empty = AUT_GetEmptyString();
    UTAddMessages(exception, kCreateFailedMessage, fullPath, empty, empty, empty, empty, empty);
    AUT_LogException(exception, file, line);
    exception.hurl(BrxFileLocation(file, line), "UT", "BRX_THROW");
}

// Closes the open file and creates the next member of the family, exclusively (an existing
// file is never appended to or overwritten), then prunes the family. Cold: kept out of the
// writer's code, which a record's caller returns through.
__attribute__((cold, noinline)) void Rotate() {
    FileSinkState& state = AUTg_FileSink;
    FileSinkClose();
    state.f_lineCount = 0;
    const AUT_LogFileFamily& family = *state.f_family;
    // Other processes of the installation list, number, create and prune the family too.
    const AUT_LogFileFamily::Lock familyLock(family);
    std::vector<I18NString> names;
    try {
        names = family.List();
    } catch (...) {
        // An unreadable directory only costs the sequence number and the pruning; the create
        // below reports a directory that cannot take the file.
    }
    const I18NString name = family.NextName(names);
    const I18NString fullPath = family.PathOf(name);
    long handle = -1;
    try {
        handle = family.Create(name);
    } catch (AUT_Exception& exception) {
        RethrowCreateFailure(exception, fullPath, __FILE__, __LINE__);
    }
    try {
        std::FILE* file = nullptr;
        try {
            file = AUT_I_FileSupport::OpenFile(handle, "w+");
        } catch (...) {
            try {
                AUT_I_FileSupport::CloseFile(handle);
            } catch (...) {
                // The descriptor is released by the close whether or not it reports an error.
            }
            throw;
        }
        // Unbuffered: records go to the kernel on the descriptor, never through the stream.
        std::setvbuf(file, nullptr, _IONBF, 0);
        state.f_file = file;
        state.f_fd = _fileno(file);
        state.f_writeProcessId = true;
        state.f_createdLogFiles.push_back(fullPath);
        family.Prune(names, state.f_fileCountLimit);
    } catch (AUT_Exception& exception) {
        RethrowCreateFailure(exception, fullPath, __FILE__, __LINE__);
    }
}

// The lines of a group's records, gathered for one write: a single buffer costs the kernel
// less than a vector of pieces, and the copy of a line is cheap beside the call.
class PendingWrite {
public:
    explicit PendingWrite(RecordBuffer& lines)
        : f_lines(lines) {
        f_lines.clear();
    }

    bool full() const { return f_count == kGroupRecords; }

    // The whole line of `record`; it counts as written to the open file from here on (line
    // count, rotation), unless flush() finds otherwise.
    void add(FileSinkState& state, FileRecord& record) {
        if (state.f_writeProcessId) {
            AppendProcessIdLine(state);
        }
        AppendTimeStamp(state, f_lines);
        f_lines.append('\t', std::size_t{state.f_traceDepth} + 1);
        if (record.f_audit) {
            if (record.f_isStart) {
                f_lines.append(kAuditStartMarker, sizeof(kAuditStartMarker) - 1);
            } else {
                f_lines.append(kAuditEndMarker, sizeof(kAuditEndMarker) - 1);
            }
        }
        f_lines.append(record.f_text.data(), record.f_text.size());
        f_records[f_count] = &record;
        f_ends[f_count++] = f_lines.size();
        ++state.f_lineCount;
    }

    // One write for the records added. Records wholly in the kernel are written; on a short
    // write the torn line is cut off again, the file closed, and the record that did not make
    // it and all after it fail.
    void flush(FileSinkState& state) {
        if (f_count == 0) {
            return;
        }
        const int fd = state.f_fd;
        const long long result = _write(fd, f_lines.data(), f_lines.size());
        const std::size_t written = result > 0 ? static_cast<std::size_t>(result) : 0;
        std::size_t i = 0;
        while (i < f_count && f_ends[i] <= written) {
            ++i;
        }
        if (i < f_count) {
            Fail(state, i, written - (i == 0 ? 0 : f_ends[i - 1]));
        }
        f_count = 0;
        f_lines.clear();
    }

private:
    // A new file's first line.
    __attribute__((cold, noinline)) void AppendProcessIdLine(FileSinkState& state) {
        f_lines.append(kProcessIdPrefix, sizeof(kProcessIdPrefix) - 1);
        AppendText(f_lines, AUT_ToString(_getpid()));
        f_lines.append('\n', 1);
        state.f_writeProcessId = false;
    }

    __attribute__((cold, noinline)) void
    Fail(FileSinkState& state, std::size_t first, std::size_t torn) {
        const int fd = state.f_fd;
        // A full disk or a size limit took only part of the line: cut it off again, so that no
        // reader takes the torn line for a record. Only this failure path pays for the seeks.
        if (torn > 0) {
            const long long end = _lseeki64(fd, 0, SEEK_CUR);
            const long long cut = end - static_cast<long long>(torn);
            if (cut >= 0 && _chsize_s(fd, cut) == 0) {
                _lseeki64(fd, cut, SEEK_SET);
            }
        }
        const I18NString path =
            state.f_createdLogFiles.empty() ? AUT_GetEmptyString() : state.f_createdLogFiles.back();
        for (std::size_t i = first; i < f_count; ++i) {
            f_records[i]->f_outcome = FileRecord::kWriteFailed;
            f_records[i]->f_path.reset(new I18NString(path));
        }
        FileSinkClose();
    }

    RecordBuffer& f_lines;
    FileRecord* f_records[kGroupRecords];
    std::size_t f_ends[kGroupRecords]; // where each record's line ends in f_lines
    std::size_t f_count = 0;
};

// Writes the records of `group` in their order, each file's line count and rotation applied
// record by record. Caller holds AUTg_LogLock. Never throws: outcomes go to the records.
AUT_LOG_PATH inline __attribute__((always_inline)) void WriteGroup(FileRecord* group) {
    FileSinkState& state = AUTg_FileSink;
    RecordBuffer ownLines;
    const bool useShared = !state.f_linesBusy;
    state.f_linesBusy = true;
    PendingWrite pending(useShared ? state.f_lines : ownLines);
    for (FileRecord* record = group; record != nullptr; record = record->f_next) {
        if (state.f_file != nullptr && state.f_lineCount > state.f_lineCountLimit) {
            pending.flush(state);
            if (state.f_file != nullptr) {
                try {
                    Rotate();
                } catch (...) {
                    record->f_outcome = FileRecord::kRotationFailed;
                    record->f_error = std::current_exception();
                    continue;
                }
            }
        }
        if (state.f_file == nullptr) {
            continue; // closed after a failure: dropped until the name is reset
        }
        pending.add(state, *record);
        if (pending.full()) {
            pending.flush(state);
        }
    }
    pending.flush(state);
    if (useShared) {
        state.f_linesBusy = false;
    }
}

// Passes a record's failure on in its own thread.
__attribute__((cold, noinline)) void ReportFailure(FileRecord& record) {
    if (record.f_outcome == FileRecord::kWriteFailed) {
        AUT_THROW(kWriteFailedError, kWriteFailedMessage, *record.f_path);
    }
    if (record.f_outcome == FileRecord::kRotationFailed) {
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
        WriteGroup(group);
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
                CpuRelax();
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
        WriteGroup(&record);
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

void FileSinkOpen() {
    FileSinkState& state = AUTg_FileSink;
    state.f_lineCountLimit = CachedLineCountLimit();
    state.f_fileCountLimit = CachedFileCountLimit();
    if (!state.f_family) {
        state.f_family.reset(new AUT_LogFileFamily(CachedLogFileName()));
    }
    if (state.f_file == nullptr) {
        state.f_traceDepth = 0;
        Rotate();
    }
}

AUT_LOG_PATH void FileSinkWrite(FileRecord& record) {
    if (AUTg_LogLock.isHeldByCurrentThread() || !Fits(record)) {
        BrxThreadGuard guard(AUTg_LogLock);
        WriteGroup(&record);
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
            CpuRelax();
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

void FileSinkClose() {
    FileSinkState& state = AUTg_FileSink;
    std::FILE* const file = state.f_file;
    if (file == nullptr) {
        return;
    }
    state.f_file = nullptr;
    state.f_fd = -1;
    try {
        AUT_I_FileSupport::CloseFile(file);
    } catch (...) {
        // The stream is gone either way; a failed close of a log must not stop logging.
    }
}

void FileSinkReset() {
    FileSinkClose();
    AUTg_FileSink.f_family.reset();
    AUTg_FileSink.f_createdLogFiles.clear();
}

void FileSinkCreatedFiles(std::vector<I18NString>& names, bool clearFirst) {
    if (clearFirst) {
        names.clear();
    }
    names.insert(names.end(), AUTg_FileSink.f_createdLogFiles.begin(),
                 AUTg_FileSink.f_createdLogFiles.end());
}
