// The file sink (see UTLogFileSinkInternal.h): record lines, group commit, rotation.
#include "UTException.h"
#include "UTExceptionInternal.h"
#include "UTLogFileInternal.h"
#include "UTLogFileSinkInternal.h"
#include "UTLogSettingsInternal.h"
#include "UTStringSupport.h"
#include "uti_filesupport.h"

#include <BrxThread.h>
#include <I18NText.h>
#include <cerrno>
#include <crt_io.h>
#include <sys/uio.h>

namespace {

constexpr long kWriteFailedError = 701;
constexpr std::uint32_t kWriteFailedMessage = 0x7214BCB6;
constexpr std::uint32_t kCreateFailedMessage = 0x721C44D1;
// Records per writev: two pieces each, well inside the kernel's 1024.
constexpr std::size_t kGroupRecords = 64;

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

// Records of a group whose line heads are composed and that wait for one writev.
class PendingWrite {
public:
    explicit PendingWrite(RecordBuffer& heads)
        : f_heads(heads) {
        f_heads.clear();
    }

    bool full() const { return f_count == kGroupRecords; }

    // The line head of `record` into the heads buffer; the record counts as written to the
    // open file from here on (line count, rotation), unless flush() finds otherwise.
    void add(FileSinkState& state, FileRecord& record) {
        const std::size_t start = f_heads.size();
        if (state.f_writeProcessId) {
            f_heads.append(kProcessIdPrefix, sizeof(kProcessIdPrefix) - 1);
            AppendText(f_heads, AUT_ToString(_getpid()));
            f_heads.append('\n', 1);
            state.f_writeProcessId = false;
        }
        AppendTimeStamp(state, f_heads);
        f_heads.append('\t', std::size_t{state.f_traceDepth} + 1);
        if (record.f_audit) {
            if (record.f_isStart) {
                f_heads.append(kAuditStartMarker, sizeof(kAuditStartMarker) - 1);
            } else {
                f_heads.append(kAuditEndMarker, sizeof(kAuditEndMarker) - 1);
            }
        }
        f_records[f_count] = &record;
        f_headEnds[f_count] = f_heads.size();
        f_headStarts[f_count++] = start;
        ++state.f_lineCount;
    }

    // One writev for the records added. Records wholly in the kernel are written; on a short
    // write the torn line is cut off again, the file closed, and the record that did not make
    // it and all after it fail.
    void flush(FileSinkState& state) {
        if (f_count == 0) {
            return;
        }
        iovec pieces[2 * kGroupRecords];
        for (std::size_t i = 0; i < f_count; ++i) {
            pieces[2 * i] = {const_cast<char*>(f_heads.data()) + f_headStarts[i],
                             f_headEnds[i] - f_headStarts[i]};
            pieces[2 * i + 1] = {const_cast<char*>(f_records[i]->f_text->data()),
                                 f_records[i]->f_text->size()};
        }
        const int fd = _fileno(state.f_file);
        ssize_t result;
        do {
            result = ::writev(fd, pieces, static_cast<int>(2 * f_count));
        } while (result < 0 && errno == EINTR);
        std::size_t written = result > 0 ? static_cast<std::size_t>(result) : 0;
        std::size_t i = 0;
        for (; i < f_count; ++i) {
            const std::size_t length = pieces[2 * i].iov_len + pieces[2 * i + 1].iov_len;
            if (written < length) {
                break;
            }
            written -= length;
            f_records[i]->f_outcome = FileRecord::kWritten;
        }
        if (i < f_count) {
            Fail(state, i, written);
        }
        f_count = 0;
        f_heads.clear();
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

    RecordBuffer& f_heads;
    FileRecord* f_records[kGroupRecords];
    std::size_t f_headStarts[kGroupRecords];
    std::size_t f_headEnds[kGroupRecords];
    std::size_t f_count = 0;
};

// Writes the records of `group` in their order, each file's line count and rotation applied
// record by record. Caller holds AUTg_LogLock. Never throws: outcomes go to the records.
void WriteGroup(FileRecord* group) {
    FileSinkState& state = AUTg_FileSink;
    RecordBuffer ownHeads;
    const bool useShared = !state.f_headsBusy;
    state.f_headsBusy = true;
    PendingWrite pending(useShared ? state.f_heads : ownHeads);
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
        state.f_headsBusy = false;
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

// ---- RecordBuffer and the record's text ------------------------------------------------------

void RecordBuffer::grow(std::size_t length) {
    std::size_t capacity = f_capacity == 0 ? 512 : f_capacity;
    while (capacity - f_size < length) {
        capacity *= 2;
    }
    std::unique_ptr<char[]> data(new char[capacity]);
    if (f_size != 0) {
        std::memcpy(data.get(), f_data.get(), f_size);
    }
    f_data = std::move(data);
    f_capacity = capacity;
}

void RecordBuffer::appendUtf8(const char32_t* from, const char32_t* to) {
    // Four bytes per code point and the encoder's one spare byte: no length pass needed.
    reserveMore(static_cast<std::size_t>(to - from) * 4 + 1);
    f_size =
        static_cast<std::size_t>(i18n::writeUtf8(from, to, f_data.get() + f_size) - f_data.get());
}

void ComposeRecordText(RecordBuffer& out,
                       const I18NString& message,
                       const I18NString* const* parameters,
                       int parameterCount) {
    const std::u32string& text = message.codePoints();
    const char32_t* const end = text.data() + text.size();
    const char32_t* copied = text.data();
    if (parameterCount > 0) {
        int index = 0;
        for (const char32_t* at = i18n::nextPlaceholder(copied, end, index); at != end;
             at = i18n::nextPlaceholder(copied, end, index)) {
            out.appendUtf8(copied, at);
            if (index < parameterCount) {
                const std::u32string& value = parameters[index]->codePoints();
                out.appendUtf8(value.data(), value.data() + value.size());
            }
            copied = at + 3;
        }
    }
    out.appendUtf8(copied, end);
    out.append('\n', 1);
}

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

void FileSinkWrite(FileRecord& record) {
    if (AUTg_LogLock.isHeldByCurrentThread()) {
        WriteGroup(&record);
        Report(record);
        return;
    }
    FileCommitQueue& queue = AUTg_FileCommitQueue;
    std::unique_lock<std::mutex> lock(queue.f_lock);
    if (queue.f_tail != nullptr) {
        queue.f_tail->f_next = &record;
    } else {
        queue.f_head = &record;
    }
    queue.f_tail = &record;
    // Whoever finds no writer at work writes everything queued so far, its own record
    // included; the others wait until a writer has taken theirs.
    while (!record.f_done) {
        if (queue.f_writerActive) {
            queue.f_written.wait(lock);
            continue;
        }
        queue.f_writerActive = true;
        FileRecord* const group = queue.f_head;
        queue.f_head = queue.f_tail = nullptr;
        lock.unlock();
        {
            BrxThreadGuard guard(AUTg_LogLock);
            WriteGroup(group);
        }
        lock.lock();
        // Each owner may leave once it sees its flag, so the list is walked before that.
        for (FileRecord* done = group; done != nullptr;) {
            FileRecord* const next = done->f_next;
            done->f_done = true;
            done = next;
        }
        queue.f_writerActive = false;
        queue.f_written.notify_all();
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
