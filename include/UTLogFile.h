#pragma once
// Log objects and the library's rotating log files: level filtering, record lines, scope
// tracers, file naming by date and sequence number, pruning of old files.
#include "AUTExport.h"
#include "UTI_LogFile.h"

#include <I18NString.h>
#include <vector>

// The one implementation of AUT_I_LogFile. Objects hold only their level, type and, for scope
// tracers, the texts to write on entry and exit; the log file, the per-component levels and the
// indentation are process-wide, behind the logging lock (re-entrant for its holder).
//
// A log file record is one line (one write to the kernel, flushed before Log returns):
//   [ "PID#\t" <process id> "\n" ]  on the first record of each file
//   <local time, strftime "%c">  "\t" x (live scope tracers + 1)
//   [ "START FUNCTION:\n" | "END FUNCTION:\n" ]  on audit objects
//   <text> "\n"
// Files are named <base>_<YYYYMMDD>_<nnnn><ext> beside the configured name, made exclusively
// (never appended to), and the oldest of the family are deleted beyond the file count limit.
class AUT_EXPORT AUT_LogFile : public AUT_I_LogFile {
public:
    // A trace object of component `name` (or of `type`). The first object after a reset reads
    // "UseIPFLogging" and, in file mode, the limits and the name, and creates the first file.
    explicit AUT_LogFile(const I18NString& name);
    AUT_LogFile(const I18NString& name, ELogType type);
    // Scope tracers: see AUT_I_LogFile::Create.
    AUT_LogFile(const I18NString& name,
                ELogLevel level,
                const I18NString& entry,
                const I18NString& exit);
    AUT_LogFile(const I18NString& name,
                ELogLevel level,
                const I18NString& entry,
                const I18NString& exit,
                const I18NString& p1);
    AUT_LogFile(const I18NString& name,
                ELogLevel level,
                const I18NString& entry,
                const I18NString& exit,
                const I18NString& p1,
                const I18NString& p2);
    AUT_LogFile(const I18NString& name,
                ELogLevel level,
                const I18NString& entry,
                const I18NString& exit,
                const I18NString& p1,
                const I18NString& p2,
                const I18NString& p3);
    AUT_LogFile(const I18NString& name,
                ELogLevel level,
                const I18NString& entry,
                const I18NString& exit,
                const I18NString& p1,
                const I18NString& p2,
                const I18NString& p3,
                const I18NString& p4);
    AUT_LogFile(const I18NString& name,
                ELogLevel level,
                const I18NString& entry,
                const I18NString& exit,
                const I18NString& p1,
                const I18NString& p2,
                const I18NString& p3,
                const I18NString& p4,
                const I18NString& p5,
                const I18NString& p6,
                const I18NString& p7,
                const I18NString& p8,
                const I18NString& p9,
                const I18NString& p10,
                const I18NString& p11,
                const I18NString& p12,
                const I18NString& p13,
                const I18NString& p14,
                const I18NString& p15,
                const I18NString& p16);
    AUT_LogFile(const AUT_LogFile&) = delete;
    AUT_LogFile& operator=(const AUT_LogFile&) = delete;
    // A scope tracer lowers the indentation and writes its exit record; never throws.
    ~AUT_LogFile() override;

    void Log(ELogLevel level,
             const I18NString& message,
             const I18NString& p1,
             const I18NString& p2,
             const I18NString& p3,
             const I18NString& p4,
             const I18NString& p5,
             const I18NString& p6,
             const I18NString& p7,
             const I18NString& p8,
             const I18NString& p9,
             const I18NString& p10,
             const I18NString& p11,
             const I18NString& p12,
             const I18NString& p13,
             const I18NString& p14,
             const I18NString& p15,
             const I18NString& p16) override;
    void Log(ELogLevel level,
             const I18NString& message,
             const I18NString& p1,
             const I18NString& p2,
             const I18NString& p3,
             const I18NString& p4) override;
    void Log(ELogLevel level,
             const I18NString& message,
             const I18NString& p1,
             const I18NString& p2,
             const I18NString& p3) override;
    void Log(ELogLevel level,
             const I18NString& message,
             const I18NString& p1,
             const I18NString& p2) override;
    void Log(ELogLevel level, const I18NString& message, const I18NString& p1) override;
    void Log(ELogLevel level, const I18NString& message) override;
    void AuditLog(ELogLevel level,
                  bool isStart,
                  const I18NString& sessionId,
                  const I18NString& requestId,
                  const I18NString& message) override;
    ELogLevel GetLogLevel() override;

    // Mark a cached limit stale; the writer reads it again at its next full initialization.
    static void ResetLineCountLimit();
    static void ResetFileCountLimit();
    // Closes the log file and forgets the name and the list of created files: the next log
    // object initializes fully (and reads "UseIPFLogging" again).
    static void ResetLogFileName();
    // See AUT_I_LogFile::GetLogFileNames.
    static void GetLogFileNames(std::vector<I18NString>& names, bool clearFirst);
    // Closes the log file and releases the per-component state; run by the library's last
    // termination. The next log object sets logging up again.
    static void Terminate();

private:
    friend struct LogFileTestAccess;

    void Initialize(const I18NString& name);
    // The record path after the level test: lock, substitute, DoLog. `parameters` may be null.
    void LogRecord(ELogLevel level,
                   const I18NString& message,
                   const I18NString* const* parameters,
                   int parameterCount);
    void DoLog(const I18NString& text,
               ELogLevel level,
               bool isStart,
               const I18NString& sessionId,
               const I18NString& requestId);
    // DoLog's file branch: the record line is built in narrow text, substituting on the way.
    void WriteFileRecord(const I18NString& message,
                         const I18NString* const* parameters,
                         int parameterCount,
                         bool isStart);
    void InitComponentLogging();
    void SyncTraceLevel();
    void SyncAuditLevel();
    void SetLogLevel();

    static void CloseLogFile();
    static void CreateLogFile();
    static I18NString GetDate();
    static I18NString GenerateSequenceString(unsigned long number);
    static unsigned long GetLastSequenceNumber(const I18NString& fileName);
    static void FilterExistingLogFileNames(std::vector<I18NString>& fileNames);
    static void RemoveOlderFiles(std::vector<I18NString>& fileNames);

    ELogLevel f_logLevel = kLogLevelTrace0;
    ELogType f_logType = kLogTypeTrace;
    bool f_isScopeTracer = false;
    ELogLevel f_tracerLevel = kLogLevelTrace0;
    I18NString f_entryMessage;
    I18NString f_exitMessage;
    I18NString f_parameters[16];
    I18NString f_componentName;
};

// True for a bare file name (an extension may follow) of the shape
// <base>_<date>_<sequence>: the file-name part has exactly the three lengths + 2 characters,
// the date and sequence positions hold ASCII digits, and the date (compared as text with today's
// "%Y%m%d", read from the clock on every call) is not after today. The base name and the two
// separators are not looked at. No lock; any thread.
class AUT_EXPORT AUT_PredicateLogFileNameIsValid {
public:
    AUT_PredicateLogFileNameIsValid(unsigned long baseLength,
                                    unsigned long dateLength,
                                    unsigned long sequenceLength);
    bool operator()(const I18NString& name) const;

private:
    unsigned int f_baseLength;
    unsigned int f_dateLength;
    unsigned int f_sequenceLength;
};

// Removes the file named by the file name and extension of its argument from `directory`
// (which ends in a separator); a file that cannot be removed is skipped silently.
class AUT_EXPORT AUT_PredicateRemoveFileFromDirectory {
public:
    explicit AUT_PredicateRemoveFileFromDirectory(const I18NString& directory);
    void operator()(const I18NString& fileName) const;

private:
    I18NString f_directory;
};

// Case-insensitive comparison of the narrow texts (_stricmp): the one-argument form tests
// equality with the stored text, the two-argument form orders (`left` before `right`). Names
// that differ only in case compare equal. Reads the arguments' narrow texts (c_str), so an
// argument must not be used by another thread at the same time.
class AUT_EXPORT AUT_PredicateStringCompare {
public:
    explicit AUT_PredicateStringCompare(const I18NString& text);
    bool operator()(const I18NString& text) const;
    bool operator()(const I18NString& left, const I18NString& right) const;

private:
    I18NString f_text;
};
