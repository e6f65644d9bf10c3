#pragma once
// The logging interface that components see: log objects made by the Create factories, and the
// settings of the library's own log files (section "Logging" of the user configuration).
#include "AUTExport.h"
#include "UTRefPtr.h"

#include <I18NString.h>
#include <vector>

// A log object filters records by level and hands them to the logging framework or to the
// library's rotating log file, whichever the process uses ("UseIPFLogging", read when logging
// initializes). Objects are made by Create and live as long as their AUT_RefPtr copies.
//
// Thread-safety: one object may be used by several threads (all shared state sits behind the
// logging lock), but its AUT_RefPtr copies follow AUT_RefPtr's rule (one thread at a time).
// The settings functions take no lock of their own and need an initialized library; like the
// configuration store behind them, concurrent calls must be serialized by the caller.
class AUT_EXPORT AUT_I_LogFile {
public:
    // Importance of a record and threshold of an object: a record is written when its level is
    // less than or equal to the object's level. 0..11 trace, 12..17 audit; lower is more
    // important. Values outside 0..17 are not supported.
    enum ELogLevel : int {
        kLogLevelTrace0 = 0,
        kLogLevelTrace1 = 1,
        kLogLevelTrace2 = 2,
        kLogLevelTrace3 = 3,
        kLogLevelTrace4 = 4,
        kLogLevelTrace5 = 5,
        kLogLevelTrace6 = 6,
        kLogLevelTrace7 = 7,
        kLogLevelTrace8 = 8,
        kLogLevelTrace9 = 9,
        kLogLevelTrace10 = 10,
        kLogLevelTrace11 = 11,
        kLogLevelAudit0 = 12,
        kLogLevelAudit1 = 13,
        kLogLevelAudit2 = 14,
        kLogLevelAudit3 = 15,
        kLogLevelAudit4 = 16,
        kLogLevelAudit5 = 17
    };
    // Audit objects take the component's audit level and mark file records "START FUNCTION:"
    // or "END FUNCTION:"; trace objects (the default) take its trace level.
    enum ELogType : int { kLogTypeAudit = 1, kLogTypeTrace = 3 };

    virtual ~AUT_I_LogFile();

    // Writes `message` with p1.. substituted for "{0}".. ("{A}".."{F}" for p11..p16); the
    // placeholders of parameters not given are removed. A level above the object's returns at
    // once. In file mode, throws AUT_Exception 701 when the record cannot be written (the file is
    // then closed and later records are dropped until the log file name is reset), or the
    // rotation's exception when the next file cannot be created.
    virtual void Log(ELogLevel level,
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
                     const I18NString& p16) = 0;
    virtual void Log(ELogLevel level,
                     const I18NString& message,
                     const I18NString& p1,
                     const I18NString& p2,
                     const I18NString& p3,
                     const I18NString& p4) = 0;
    virtual void Log(ELogLevel level,
                     const I18NString& message,
                     const I18NString& p1,
                     const I18NString& p2,
                     const I18NString& p3) = 0;
    virtual void
    Log(ELogLevel level, const I18NString& message, const I18NString& p1, const I18NString& p2) = 0;
    virtual void Log(ELogLevel level, const I18NString& message, const I18NString& p1) = 0;
    // Writes `message` as it is: braces in it are not placeholders here.
    virtual void Log(ELogLevel level, const I18NString& message) = 0;
    // An audit record: `message` as it is, in a file preceded by "START FUNCTION:\n" (isStart)
    // or "END FUNCTION:\n" on an audit object. The ids go to the framework only.
    virtual void AuditLog(ELogLevel level,
                          bool isStart,
                          const I18NString& sessionId,
                          const I18NString& requestId,
                          const I18NString& message) = 0;
    virtual ELogLevel GetLogLevel() = 0;

    // ---- Settings (section "Logging") -----------------------------------------------------
    static I18NString GetConfigurationSectionName();          // "Logging"
    static I18NString GetConfigurationEntryNameLogFileName(); // "LogFileName"

    // The stored "LogFileName" (current user, then local machine) when it is a usable path,
    // else "<installation>/logs/" + product name + the catalog's log extension. Creates the
    // missing directories of a stored name, and the logs directory for the default.
    static I18NString GetLogFileName();
    // The same as GetLogFileName().
    static I18NString GetConfigurationDefaultLogFileName();
    // Stores `name` and makes the next log object start a new file under it (the open file is
    // closed now) when it differs from GetLogFileName(). Throws AUT_Exception 704 (message
    // 0x7212F1B2) for a name that is empty, has forbidden characters or whose directory cannot
    // be created.
    static void SetLogFileName(const I18NString& name);

    // Records per file (the file takes one more before the next opens): stored value clamped
    // to 1000..4000000000; absent or 0 gives 10000 from the local machine, else 1000.
    static unsigned long GetLogFileLineCountLimit();
    // Throws AUT_Exception 702 (message 0x7217A829) outside 1000..4000000000. Stores nothing
    // when GetLogFileLineCountLimit() already gives `limit`. The writer takes a new value at
    // its next full initialization (after a name reset or Terminate).
    static void SetLogFileLineCountLimit(const unsigned long& limit);
    // Files kept: stored value clamped to 100..10000; absent or 0 gives 100.
    static unsigned long GetLogFileFileCountLimit();
    // Throws AUT_Exception 703 (message 0x721F9028) outside 100..10000; otherwise as
    // SetLogFileLineCountLimit.
    static void SetLogFileFileCountLimit(const unsigned long& limit);

    // Marks both limits and the name stale and closes the log file: the next log object reads
    // every setting again and starts a new file.
    static void Reset();
    // Appends the full paths of the log files created since the last name reset, oldest
    // first; empties `names` first when `clearFirst`.
    static void GetLogFileNames(std::vector<I18NString>& names, bool clearFirst);

    // ---- Factories: each returns a new object in a new AUT_RefPtr (count 1) ----------------
    // Trace object of component `name`; throws what initialization throws (in file mode the
    // rotation's exception when no log file can be created).
    static AUT_RefPtr<AUT_I_LogFile> Create(const I18NString& name);
    static AUT_RefPtr<AUT_I_LogFile> Create(const I18NString& name, ELogType type);
    // Scope tracers: write `entry` (parameters substituted) at `level` now and `exit` when the
    // last reference goes; while one lives, every file record of the process is indented one
    // tab further. An empty `entry` or `exit` writes nothing but still counts for indentation.
    static AUT_RefPtr<AUT_I_LogFile> Create(const I18NString& name,
                                            ELogLevel level,
                                            const I18NString& entry,
                                            const I18NString& exit);
    static AUT_RefPtr<AUT_I_LogFile> Create(const I18NString& name,
                                            ELogLevel level,
                                            const I18NString& entry,
                                            const I18NString& exit,
                                            const I18NString& p1);
    static AUT_RefPtr<AUT_I_LogFile> Create(const I18NString& name,
                                            ELogLevel level,
                                            const I18NString& entry,
                                            const I18NString& exit,
                                            const I18NString& p1,
                                            const I18NString& p2);
    static AUT_RefPtr<AUT_I_LogFile> Create(const I18NString& name,
                                            ELogLevel level,
                                            const I18NString& entry,
                                            const I18NString& exit,
                                            const I18NString& p1,
                                            const I18NString& p2,
                                            const I18NString& p3);
    static AUT_RefPtr<AUT_I_LogFile> Create(const I18NString& name,
                                            ELogLevel level,
                                            const I18NString& entry,
                                            const I18NString& exit,
                                            const I18NString& p1,
                                            const I18NString& p2,
                                            const I18NString& p3,
                                            const I18NString& p4);
    static AUT_RefPtr<AUT_I_LogFile> Create(const I18NString& name,
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

protected:
    AUT_I_LogFile();

private:
    static I18NString GetConfigurationEntryNameLineCountLimit(); // "LineCountPerLogFile"
    static I18NString GetConfigurationEntryNameFileCountLimit(); // "LogFileCount"
    // A non-empty path with a valid file name and directory names whose directory exists or
    // could be made (missing levels are created here; a failure to create is swallowed).
    static bool PathIsValid(const I18NString& path);
};

// The counted pointer's constructor and destructor for this interface live in libaut.
extern template AUT_EXPORT AUT_RefPtr<AUT_I_LogFile>::AUT_RefPtr(AUT_I_LogFile* object);
extern template AUT_EXPORT AUT_RefPtr<AUT_I_LogFile>::~AUT_RefPtr();
