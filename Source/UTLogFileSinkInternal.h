#pragma once
// The file sink of the log objects: composes record lines and writes them to the rotating
// log files, with group commit. Its state is guarded by AUTg_LogLock.
#include "UTI_LogFile.h"
#include "UTLogFile.h"
#include "UTLogRecordInternal.h"

#include <BrxThread.h>
#include <I18NString.h>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <exception>
#include <memory>
#include <vector>

// One record on its way to the file. Its thread makes it, composes the text before the
// logging lock and passes it to FileSinkWrite; the writer fills in the outcome. While it
// exists it counts as inside the sink: a new writer waits briefly until every record inside
// is queued, so that they share its write.
struct FileRecord {
    FileRecord();
    ~FileRecord();
    FileRecord(const FileRecord&) = delete;
    FileRecord& operator=(const FileRecord&) = delete;

    enum EOutcome { kPending, kWritten, kDropped, kWriteFailed, kRotationFailed };

    const RecordBuffer* f_text = nullptr; // ends in its newline
    bool f_audit = false;                 // preceded by the audit marker
    bool f_isStart = false;               // which marker
    FileRecord* f_next = nullptr;         // in the commit queue
    std::atomic<bool> f_done{false};      // the writer is through with it
    EOutcome f_outcome = kPending;
    std::exception_ptr f_error; // kRotationFailed: the rotation's exception
    I18NString f_path;          // kWriteFailed: the file it was meant for
};

// Everything below is guarded by AUTg_LogLock.
struct FileSinkState {
    std::FILE* f_file = nullptr;   // the open member of the family, or null
    std::uint32_t f_lineCount = 0; // records written to it
    std::uint32_t f_lineCountLimit = 0;
    std::uint32_t f_fileCountLimit = 0;
    std::unique_ptr<AUT_LogFileFamily> f_family;
    bool f_writeProcessId = false;            // the next record opens a file: the pid line first
    std::uint32_t f_traceDepth = 0;           // live scope tracers, process-wide: indentation
    std::deque<I18NString> f_createdLogFiles; // full paths, oldest first
    // The "%c" text of the second it was made for: formatting it costs more than a write.
    std::time_t f_stampSecond = -1;
    char f_stamp[256] = {};
    std::size_t f_stampLength = 0;
    // The lines of one group, reused; busy while a group is written, so that a record logged
    // meanwhile (a failed rotation's exception) takes a buffer of its own.
    RecordBuffer f_lines;
    bool f_linesBusy = false;
};

// The records waiting for the writer, in arrival order. Its own lock: a thread queues its
// record without waiting for the logging lock.
struct FileCommitQueue {
    // Guards the members below; never held together with another lock. The platform's lock
    // spins a moment before it sleeps: the sections are a few instructions long.
    BrxThreadCriticalSection f_lock{0};
    std::condition_variable_any f_written;
    FileRecord* f_head = nullptr;
    FileRecord* f_tail = nullptr;
    std::atomic<bool> f_writerActive{false}; // a thread is writing (set under f_lock)
    int f_sleepers = 0;                      // threads asleep on f_written
    bool f_spinning = false;                 // a thread spins, waiting for its record
    std::atomic<int> f_queued{0};            // records in the list
    // Records that exist (made, queued or being written); a line of its own, as every
    // thread changes it twice per record.
    alignas(64) std::atomic<int> f_inside{0};
};

// Defined at their place in the library's load order (UTLibraryStatics.cpp).
extern FileSinkState AUTg_FileSink;
extern FileCommitQueue AUTg_FileCommitQueue;

// Reads the limits and the name, and opens the first file unless one is open. Caller holds
// AUTg_LogLock.
void FileSinkOpen();
// Writes the record (indented by the scope tracers live when it is written) and returns
// once it is in the kernel. A caller that holds AUTg_LogLock writes it alone; others join the
// queue, and whoever writes takes all queued records in one write. Throws error 701 when the
// record did not get written (the file is closed, later records are dropped), or the
// rotation's exception when it was the record that needed the new file.
void FileSinkWrite(FileRecord& record);
// Closes the file; records are dropped until it is opened again.
void FileSinkClose();
// Closes the file and forgets the family and the created names.
void FileSinkReset();
// The full paths of the files made since the last reset, oldest first.
void FileSinkCreatedFiles(std::vector<I18NString>& names, bool clearFirst);
