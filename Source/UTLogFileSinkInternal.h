#pragma once
// The file sink of the log objects: composes record lines and writes them to the rotating
// log files, with group commit. Its state is guarded by AUTg_LogLock.
#include "UTI_LogFile.h"
#include "UTLogFile.h"
#include "UTLogRecordInternal.h"

#include <BrxThread.h>
#include <I18NString.h>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <exception>
#include <memory>
#include <vector>

// Records gathered for one write at most; a longer queue takes several.
constexpr std::size_t kGroupRecords = 64;

// One record on its way to the file. Its thread makes it, composes the text before the
// logging lock and passes it to FileSinkWrite; the writer fills in the outcome.
// What the writer reads and writes of a record comes first, the text right after it: in a
// group, each record is another thread's, and each cache line a transfer between cores.
struct alignas(64) FileRecord {
    // Set by the writer only for a failure: a record written (or dropped, the file being
    // closed) is touched once, by its done mark. kThrew: the writer caught an exception for
    // it, the rotation's or running out of memory.
    enum EOutcome : std::uint8_t { kNoFailure, kWriteFailed, kThrew };
    // f_state: the writer is not through with it (kWaiting; kAsleep once its thread sleeps on
    // the word), or is (kDone: the record is its owner's again), or has handed the writer's
    // role to its thread with the record at the head of a group to write (kHandedOver).
    enum EState : std::uint32_t { kWaiting, kAsleep, kDone, kHandedOver };

    FileRecord* f_next = nullptr; // queued: the record queued before it; in a group: after it
    std::atomic<std::uint32_t> f_state{kWaiting};
    EOutcome f_outcome = kNoFailure;
    bool f_audit = false;               // preceded by the audit marker
    bool f_isStart = false;             // which marker
    RecordBuffer f_text;                // composed by its thread, ending in its newline
    std::exception_ptr f_error;         // kThrew: the exception
    std::unique_ptr<I18NString> f_path; // kWriteFailed: the file it was meant for
};

// Everything below is guarded by AUTg_LogLock.
struct FileSinkState {
    std::FILE* f_file = nullptr;   // the open member of the family, or null
    int f_fd = -1;                 // its descriptor, kept: asking the stream costs a call
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

// The records waiting for the writer, and who writes. Lock-free: a record costs its thread
// one compare-and-swap on this line, and the writer's take another, whatever the number of
// threads.
struct FileCommitQueue {
    // Whether a thread holds the writer's role (the top bit), the number of records queued
    // (the next 15 bits) and the newest of them (a chain through f_next, newest first) in the
    // low 48 bits of an address. Records are queued only while the role is held.
    alignas(64) std::atomic<std::uint64_t> f_head{0};
    // The writer's own (touched only by the holder of the role): how many records the next
    // group waits a moment for, the threads of the last group that were awake.
    std::uint32_t f_expected = 1;
};

// Defined at their place in the library's load order (UTLibraryStatics.cpp).
extern FileSinkState AUTg_FileSink;
extern FileCommitQueue AUTg_FileCommitQueue;

// Writes the records of `group` in their order, gathered in one write(2) (kGroupRecords at
// most), each file's line count and rotation applied record by record. Caller holds
// AUTg_LogLock. Never throws: outcomes go to the records.
void FileSinkWriteGroup(FileRecord* group);
// Reads the limits and the name, and opens the first file unless one is open. Caller holds
// AUTg_LogLock.
void FileSinkOpen();
// Writes the record (indented by the scope tracers live when it is written) and returns
// once it is in the kernel. A caller that holds AUTg_LogLock writes it alone; the others take
// the writer's role or queue the record for its holder, who takes all queued records in one
// write. Throws error 701 when the record did not get written (the file is closed, later
// records are dropped), or the rotation's exception when it was the record that needed the
// new file.
void FileSinkWrite(FileRecord& record);
// Closes the open file and creates the next member of the family, exclusively (an existing
// file is never appended to or overwritten), then prunes the family. Caller holds
// AUTg_LogLock.
void FileSinkRotate();
// Closes the file; records are dropped until it is opened again.
void FileSinkClose();
// Closes the file and forgets the family and the created names.
void FileSinkReset();
// The full paths of the files made since the last reset, oldest first.
void FileSinkCreatedFiles(std::vector<I18NString>& names, bool clearFirst);
