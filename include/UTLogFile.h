#pragma once
// Log objects and the library's rotating log files: level filtering, record lines, scope
// tracers, file naming by date and sequence number, pruning of old files.
#include "AUTExport.h"
#include "UTI_LogFile.h"

#include <I18NString.h>
#include <cstddef>
#include <initializer_list>
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
    // The one scope tracer constructor the public ones delegate to: the entry record takes
    // the parameters given (none: the text as it stands), the exit record all sixteen.
    AUT_LogFile(const I18NString& name,
                ELogLevel level,
                const I18NString& entry,
                const I18NString& exit,
                std::initializer_list<const I18NString*> parameters);
    void Initialize(const I18NString& name);
    // The record path after the level test: the file sink or the framework sink.
    // `parameters` may be null.
    void LogRecord(ELogLevel level,
                   const I18NString& message,
                   const I18NString* const* parameters,
                   int parameterCount,
                   bool isStart,
                   const I18NString* sessionId,
                   const I18NString* requestId);
    void InitComponentLogging();
    void SyncTraceLevel();
    void SyncAuditLevel();
    void SetLogLevel();

    ELogLevel f_logLevel = kLogLevelTrace0;
    ELogType f_logType = kLogTypeTrace;
    bool f_isScopeTracer = false;
    ELogLevel f_tracerLevel = kLogLevelTrace0;
    I18NString f_entryMessage;
    I18NString f_exitMessage;
    I18NString f_parameters[16];
    I18NString f_componentName;
};

// The rotating files of one configured log file name: <base>_<YYYYMMDD>_<nnnn><ext> in the
// name's directory. Listing, well-formedness, order, the next name, the exclusive create and
// the pruning of the family all live here, for the writer and the tool alike. Within a process
// the writer calls it under the logging lock; between processes of one installation, which
// share the family, a Lock orders listing, numbering, the exclusive create and pruning, and
// each process holds a shared lock on the member it writes, which pruning respects.
class AUT_EXPORT AUT_LogFileFamily {
public:
    // The family named after `logFileName` (a path with directory, base name and extension).
    explicit AUT_LogFileFamily(const I18NString& logFileName);

    // Whether every member of the family of `logFileName` has a name and path that fit the
    // path limits whole (a longer one would be cut, losing its number and extension).
    static bool Fits(const I18NString& logFileName);

    // Holds the family's directory locked (flock) exclusively while it lives: no file of
    // its own that could be planted or left behind. A directory that cannot be opened, or a
    // holder that keeps it for more than a few seconds, leaves the family unlocked: the
    // exclusive create still never shares a member.
    class AUT_EXPORT Lock {
    public:
        explicit Lock(const AUT_LogFileFamily& family);
        ~Lock();
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        int f_fd;
    };

    // The members present: bare names (with extension), well-formed, oldest first (date and
    // sequence number sort as text). Throws when the directory cannot be read.
    std::vector<I18NString> List() const;
    // The full path of a member's bare name.
    I18NString PathOf(const I18NString& name) const;
    // The member to create after `listed` (List's order): today's date and one past today's
    // last sequence number; 9999 wraps to 1, a new day starts at 1.
    I18NString NextName(const std::vector<I18NString>& listed) const;
    // Creates the member `name` exclusively (never opening an existing file) for writing;
    // returns its descriptor, which holds the member's shared lock until it is closed. Throws
    // the open's error.
    long Create(const I18NString& name) const;
    // Deletes the oldest of `listed` (taken before a new member was created) so that at most
    // `limit` + 1 remain with the new one; a file that cannot go, or that a process still
    // writes (holds locked), is left for a later time.
    void Prune(const std::vector<I18NString>& listed, std::size_t limit) const;

    // Today's date as the family writes it ("%Y%m%d"); empty when the clock cannot be read.
    static I18NString Today();
    // The sequence number's four digits, zero-padded.
    static I18NString SequenceText(unsigned long number);
    // The sequence number of a well-formed member of today, 0 for an older day.
    unsigned long SequenceOf(const I18NString& name) const;

    static constexpr unsigned long kDateLength = 8;
    static constexpr unsigned long kSequenceLength = 4;
    static constexpr unsigned long kLastSequence = 9999;

private:
    I18NString f_drive;
    I18NString f_directory;
    I18NString f_baseName;
    I18NString f_extension;
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
