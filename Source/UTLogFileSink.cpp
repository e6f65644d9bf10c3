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
// Pauses a new writer gives the other threads inside the sink to queue their records for its
// write: about a record's composition. Spinning, not yielding: a yield costs as much.
constexpr int kGatherSpins = 150;

const char kProcessIdPrefix[] = "PID#\t";
const char kAuditStartMarker[] = "START FUNCTION:\n";
const char kAuditEndMarker[] = "END FUNCTION:\n";

void AppendText(RecordBuffer& out, const I18NString& text) {
    const std::u32string& codePoints = text.codePoints();
    out.appendUtf8(codePoints.data(), codePoints.data() + codePoints.size());
}

void AppendTimeStamp(FileSinkState& state, RecordBuffer& out) {
    const std::time_t now = std::time(nullptr);
    if (now != state.f_stampSecond) {
        long seconds = static_cast<long>(now);
        std::tm local{};
        std::size_t length = 0;
        if (aut::localtime_r(&seconds, &local) != nullptr) {
            length = std::strftime(state.f_stamp, sizeof(state.f_stamp), "%c", &local);
        }
        state.f_stampLength = length;
        state.f_stampSecond = now;
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
// file is never appended to or overwritten), then prunes the family.
void Rotate() {
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
            f_lines.append(kProcessIdPrefix, sizeof(kProcessIdPrefix) - 1);
            AppendText(f_lines, AUT_ToString(_getpid()));
            f_lines.append('\n', 1);
            state.f_writeProcessId = false;
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
        f_lines.append(record.f_text->data(), record.f_text->size());
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
        const int fd = _fileno(state.f_file);
        const long long result = _write(fd, f_lines.data(), f_lines.size());
        const std::size_t written = result > 0 ? static_cast<std::size_t>(result) : 0;
        std::size_t i = 0;
        for (; i < f_count && f_ends[i] <= written; ++i) {
            f_records[i]->f_outcome = FileRecord::kWritten;
        }
        if (i < f_count) {
            Fail(state, i, written - (i == 0 ? 0 : f_ends[i - 1]));
        }
        f_count = 0;
        f_lines.clear();
    }

private:
    void Fail(FileSinkState& state, std::size_t first, std::size_t torn) {
        const int fd = _fileno(state.f_file);
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
            f_records[i]->f_path = path;
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
void WriteGroup(FileRecord* group) {
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
            // Closed after a failure: dropped until the name is reset.
            if (record->f_outcome == FileRecord::kPending) {
                record->f_outcome = FileRecord::kDropped;
            }
            continue;
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
void Report(FileRecord& record) {
    if (record.f_outcome == FileRecord::kWriteFailed) {
        AUT_THROW(kWriteFailedError, kWriteFailedMessage, record.f_path);
    }
    if (record.f_outcome == FileRecord::kRotationFailed) {
        std::rethrow_exception(record.f_error);
    }
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

FileRecord::FileRecord() {
    AUTg_FileCommitQueue.f_inside.fetch_add(1, std::memory_order_relaxed);
}

FileRecord::~FileRecord() {
    AUTg_FileCommitQueue.f_inside.fetch_sub(1, std::memory_order_relaxed);
}

void FileSinkWrite(FileRecord& record) {
    if (AUTg_LogLock.isHeldByCurrentThread()) {
        WriteGroup(&record);
        Report(record);
        return;
    }
    FileCommitQueue& queue = AUTg_FileCommitQueue;
    std::unique_lock<BrxThreadCriticalSection> lock(queue.f_lock);
    if (queue.f_tail != nullptr) {
        queue.f_tail->f_next = &record;
    } else {
        queue.f_head = &record;
    }
    queue.f_tail = &record;
    queue.f_queued.fetch_add(1, std::memory_order_relaxed);
    // Whoever finds no writer at work writes everything queued so far, its own record
    // included; the others wait until a writer has been through theirs.
    while (!record.f_done.load(std::memory_order_acquire)) {
        if (queue.f_writerActive.load(std::memory_order_relaxed)) {
            // A write takes a few microseconds: spinning through it is cheaper than sleeping,
            // and the writer then needs no wake-up call. One spinner at a time, so that on a
            // small machine the spinners do not take the writer's core.
            const int spins = queue.f_spinning ? 0 : kWaitSpins;
            queue.f_spinning = spins > 0;
            lock.unlock();
            for (int spin = 0; spin < spins; ++spin) {
                if (record.f_done.load(std::memory_order_acquire) ||
                    !queue.f_writerActive.load(std::memory_order_relaxed)) {
                    break;
                }
                CpuRelax();
            }
            lock.lock();
            if (spins > 0) {
                queue.f_spinning = false;
            }
            if (!record.f_done.load(std::memory_order_acquire) &&
                queue.f_writerActive.load(std::memory_order_relaxed)) {
                ++queue.f_sleepers;
                queue.f_written.wait(lock);
                --queue.f_sleepers;
            }
            continue;
        }
        queue.f_writerActive.store(true, std::memory_order_relaxed);
        // Records of the other threads inside the sink join this write if they come soon: one
        // write for several records is what makes more threads faster. Bounded, so that a
        // thread stalled elsewhere costs the writer only a few microseconds.
        lock.unlock();
        for (int spin = 0;
             spin < kGatherSpins && queue.f_queued.load(std::memory_order_relaxed) <
                                        queue.f_inside.load(std::memory_order_relaxed);
             ++spin) {
            CpuRelax();
        }
        lock.lock();
        FileRecord* const group = queue.f_head;
        queue.f_head = queue.f_tail = nullptr;
        queue.f_queued.store(0, std::memory_order_relaxed);
        lock.unlock();
        {
            BrxThreadGuard guard(AUTg_LogLock);
            WriteGroup(group);
        }
        lock.lock();
        // Each owner may leave once it sees its flag, so the list is walked before that.
        for (FileRecord* done = group; done != nullptr;) {
            FileRecord* const next = done->f_next;
            done->f_done.store(true, std::memory_order_release);
            done = next;
        }
        queue.f_writerActive.store(false, std::memory_order_relaxed);
        if (queue.f_sleepers != 0) {
            queue.f_written.notify_all();
        }
    }
    lock.unlock();
    Report(record);
}

void FileSinkClose() {
    FileSinkState& state = AUTg_FileSink;
    std::FILE* const file = state.f_file;
    if (file == nullptr) {
        return;
    }
    state.f_file = nullptr;
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
