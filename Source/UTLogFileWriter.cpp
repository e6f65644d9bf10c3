// The file sink's writer (see UTLogFileSinkInternal.h): a group's lines gathered for one write.
#include "UTLogFileSinkInternal.h"
#include "UTStringSupport.h"

#include <crt_io.h>

namespace {

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

// Marks a record that has not failed yet as failed with `error`.
void FailWith(FileRecord& record, const std::exception_ptr& error) {
    if (record.f_outcome == FileRecord::kNoFailure) {
        record.f_outcome = FileRecord::kThrew;
        record.f_error = error;
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
    // count, rotation), unless flush() finds otherwise. Out of memory for the line, the lines
    // stay as they were (the records before it are still written) and the exception passes on.
    void add(FileSinkState& state, FileRecord& record) {
        const std::size_t start = f_lines.size();
        const bool writeProcessId = state.f_writeProcessId;
        try {
            if (writeProcessId) {
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
        } catch (...) {
            f_lines.truncate(start);
            state.f_writeProcessId = writeProcessId;
            throw;
        }
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
        // reader takes the torn line for a record. Only this failure path pays for the seek.
        // Nothing is written to the file after it, so its position need not follow.
        if (torn > 0) {
            const long long end = _lseeki64(fd, 0, SEEK_CUR);
            const long long cut = end - static_cast<long long>(torn);
            if (cut >= 0) {
                _chsize_s(fd, cut);
            }
        }
        FileSinkClose();
        const I18NString& path =
            state.f_createdLogFiles.empty() ? AUT_GetEmptyString() : state.f_createdLogFiles.back();
        for (std::size_t i = first; i < f_count; ++i) {
            f_records[i]->f_outcome = FileRecord::kWriteFailed;
            try {
                f_records[i]->f_path.reset(new I18NString(path));
            } catch (...) {
                // Out of memory: the error names no file, but still reaches the call.
            }
        }
    }

    RecordBuffer& f_lines;
    FileRecord* f_records[kGroupRecords];
    std::size_t f_ends[kGroupRecords]; // where each record's line ends in f_lines
    std::size_t f_count = 0;
};

} // namespace

AUT_LOG_PATH void FileSinkWriteGroup(FileRecord* group) {
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
                    FileSinkRotate();
                } catch (...) {
                    FailWith(*record, std::current_exception());
                    continue;
                }
            }
        }
        if (state.f_file == nullptr) {
            continue; // closed after a failure: dropped until the name is reset
        }
        try {
            pending.add(state, *record);
        } catch (...) {
            // Out of memory for this line: it alone fails, in its own call. Passed on from
            // here, the exception would leave the writer's role held and every later record
            // waiting.
            FailWith(*record, std::current_exception());
            continue;
        }
        if (pending.full()) {
            pending.flush(state);
        }
    }
    pending.flush(state);
    if (useShared) {
        state.f_linesBusy = false;
    }
}
