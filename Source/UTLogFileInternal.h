#pragma once
// The process-wide state of the log file writer, shared by its units (UTLogFile,
// UTLogFramework, UTI_LogFile) and reached by the library's tests.
#include "AUTExport.h"
#include "UTLogFile.h"

#include <I18NString.h>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <map>
#include <memory>
#include <vector>

struct FrameworkLogState; // UTLogFrameworkInternal.h

using LogLevelMap = std::map<I18NString, AUT_I_LogFile::ELogLevel>;

// A growable byte buffer that keeps its memory between records, so that building a record
// line allocates nothing once the longest line has been seen.
class RecordBuffer {
public:
    void clear() { f_size = 0; }
    const char* data() const { return f_data.get(); }
    std::size_t size() const { return f_size; }

    void append(const char* text, std::size_t length) {
        reserveMore(length);
        std::memcpy(f_data.get() + f_size, text, length);
        f_size += length;
    }
    void append(char c, std::size_t count) {
        reserveMore(count);
        std::memset(f_data.get() + f_size, c, count);
        f_size += count;
    }
    // The UTF-8 form of the code points, as I18NString::c_str() writes it (a code point that is
    // no Unicode scalar value becomes U+FFFD).
    void appendUtf8(const char32_t* from, const char32_t* to);

private:
    void reserveMore(std::size_t length) {
        if (f_capacity - f_size < length) {
            grow(length);
        }
    }
    void grow(std::size_t length);

    std::unique_ptr<char[]> f_data;
    std::size_t f_size = 0;
    std::size_t f_capacity = 0;
};

// Everything below is guarded by AUTg_LogLock.
struct LogFileState {
    bool f_useIPFLogging = true;   // records go to the framework (true) or to the log file
    bool f_logInitialized = false; // the full initialization has run
    bool f_logMapsCreated = false; // f_traceLevels and f_auditLevels exist
    std::FILE* f_logFileHandle = nullptr;
    std::uint32_t f_lineCount = 0; // records written to the open file
    std::uint32_t f_lineCountLimit = 0;
    bool f_lineCountLimitRead = false;
    std::uint32_t f_fileCountLimit = 0;
    bool f_fileCountLimitRead = false;
    // The configured log file name, split; rotated names are built from these.
    I18NString f_logDrive;
    I18NString f_logDirectory;
    I18NString f_logBaseName;
    I18NString f_logExtension;
    bool f_logFileNameRead = false;
    std::uint32_t f_traceDepth = 0; // live scope tracers, process-wide
    bool f_writeProcessId = false;  // the next record opens a file: precede it by the pid line
    std::deque<I18NString> f_createdLogFiles; // full paths, oldest first
    LogLevelMap* f_traceLevels = nullptr;     // per component
    LogLevelMap* f_auditLevels = nullptr;
    FrameworkLogState* f_framework = nullptr; // the framework branch's per-component state

    // The record line, reused; and the "%c" text of the second it was made for, since the
    // clock's text changes once a second and formatting it costs more than a record's write.
    RecordBuffer f_record;
    std::time_t f_stampSecond = -1;
    char f_stamp[256] = {};
    std::size_t f_stampLength = 0;
};

// Defined at its place in the library's load order (UTLibraryStatics.cpp).
extern AUT_TESTABLE LogFileState AUTg_LogState;

// The component's levels as the section "Logging" gives them: trace level from the entry named
// like the component (default 1, stored unchanged); audit level from key + "AuditLevel"
// (default 12; any other value v gives 12 + v). Need an initialized library.
AUT_I_LogFile::ELogLevel ConfiguredTraceLevel(const I18NString& componentName);
AUT_I_LogFile::ELogLevel ConfiguredAuditLevel(const I18NString& componentName);

// The private steps of the rotation, for the library's tests and fuzzers. Each takes the
// logging lock like the member it calls.
struct AUT_TESTABLE LogFileTestAccess {
    static I18NString GetDate();
    static I18NString GenerateSequenceString(unsigned long number);
    static unsigned long GetLastSequenceNumber(const I18NString& fileName);
    static void FilterExistingLogFileNames(std::vector<I18NString>& fileNames);
    // Sets the base name that the two above measure names against.
    static void SetLogBaseName(const I18NString& baseName);
};
