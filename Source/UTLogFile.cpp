#include "UTLogFile.h"

#include "AUTUserConfiguration.h"
#include "UTException.h"
#include "UTExceptionInternal.h"
#include "UTLibraryInternal.h"
#include "UTLogFileInternal.h"
#include "UTLogFrameworkInternal.h"
#include "UTStringSupport.h"
#include "uti_filesupport.h"

#include <BrxThread.h>
#include <algorithm>
#include <crt_io.h>
#include <crt_string.h>
#include <cstring>

namespace {

constexpr long kWriteFailedError = 701;
constexpr std::uint32_t kWriteFailedMessage = 0x7214BCB6;
constexpr std::uint32_t kCreateFailedMessage = 0x721C44D1;
constexpr unsigned long kDateLength = 8;
constexpr unsigned long kSequenceLength = 4;
constexpr unsigned long kLastSequenceNumber = 9999;
constexpr int kPlaceholderCount = 16;

const char kProcessIdPrefix[] = "PID#\t";
const char kAuditStartMarker[] = "START FUNCTION:\n";
const char kAuditEndMarker[] = "END FUNCTION:\n";

I18NString SectionName() {
    return AUT_I_LogFile::GetConfigurationSectionName();
}

AUT_RefPtr<AUT_I_UserConfiguration> CurrentUser() {
    return AUT_I_UserConfiguration::Create(AUT_I_UserConfiguration::kRootKeyCurrentUser);
}

// Index 0..15 of the placeholder letter in "{0}".."{9}", "{A}".."{F}", or -1.
inline int PlaceholderIndex(char32_t c) {
    if (c >= U'0' && c <= U'9') {
        return static_cast<int>(c - U'0');
    }
    if (c >= U'A' && c <= U'F') {
        return static_cast<int>(c - U'A') + 10;
    }
    return -1;
}

// Appends `message` with the parameters substituted, in the one left-to-right scan of
// AUT_SimpleSubstituteText: inserted text is never scanned again and a placeholder without a
// parameter is removed. Working on the code points and writing UTF-8 straight into the record
// saves the copy of the message, the substituted string and its narrow conversion.
void AppendSubstituted(RecordBuffer& out,
                       const std::u32string& message,
                       const I18NString* const* parameters,
                       int parameterCount) {
    const char32_t* at = message.data();
    const char32_t* const end = at + message.size();
    const char32_t* copied = at;
    for (; end - at >= 3; ++at) {
        if (at[0] != U'{' || at[2] != U'}') {
            continue;
        }
        const int index = PlaceholderIndex(at[1]);
        if (index < 0) {
            continue;
        }
        out.appendUtf8(copied, at);
        if (index < parameterCount) {
            const std::u32string& value = parameters[index]->codePoints();
            out.appendUtf8(value.data(), value.data() + value.size());
        }
        copied = at + 3;
        at += 2;
    }
    out.appendUtf8(copied, end);
}

void AppendText(RecordBuffer& out, const I18NString& text) {
    const std::u32string& codePoints = text.codePoints();
    out.appendUtf8(codePoints.data(), codePoints.data() + codePoints.size());
}

void AppendTimeStamp(LogFileState& state) {
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
    state.f_record.append(state.f_stamp, state.f_stampLength);
}

// The whole line goes to the kernel in one write on the stream's descriptor before this
// returns: nothing is buffered, so there is nothing to flush. The stream itself is unbuffered
// (see CreateLogFile) and never written through, so descriptor and stream agree.
bool WriteRecordLine(std::FILE* file, const RecordBuffer& record) {
    const int fd = _fileno(file);
    const long long result = _write(fd, record.data(), record.size());
    if (result == static_cast<long long>(record.size())) {
        return true;
    }
    // A full disk or a size limit took only part of the line: cut it off again, so that no
    // reader takes the torn line for a record. Only this failure path pays for the seeks.
    if (result > 0) {
        const long long end = _lseeki64(fd, 0, SEEK_CUR);
        if (end >= result && _chsize_s(fd, end - result) == 0) {
            _lseeki64(fd, end - result, SEEK_SET);
        }
    }
    return false;
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

} // namespace

// ---- RecordBuffer --------------------------------------------------------------------------

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
    reserveMore(static_cast<std::size_t>(to - from) * 4);
    char* out = f_data.get() + f_size;
    const char32_t* at = from;
    // Log texts are mostly ASCII: narrow whole blocks of it at once (the loop vectorizes).
    constexpr std::ptrdiff_t kBlock = 16;
    while (to - at >= kBlock) {
        char32_t bits = 0;
        for (std::ptrdiff_t i = 0; i < kBlock; ++i) {
            bits |= at[i];
        }
        if (bits >= 0x80) {
            break;
        }
        for (std::ptrdiff_t i = 0; i < kBlock; ++i) {
            out[i] = static_cast<char>(at[i]);
        }
        out += kBlock;
        at += kBlock;
    }
    for (; at != to; ++at) {
        const char32_t c = *at;
        if (c < 0x80) {
            *out++ = static_cast<char>(c);
        } else if (c < 0x800) {
            *out++ = static_cast<char>(0xC0 | (c >> 6));
            *out++ = static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000 && (c < 0xD800 || c > 0xDFFF)) {
            *out++ = static_cast<char>(0xE0 | (c >> 12));
            *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *out++ = static_cast<char>(0x80 | (c & 0x3F));
        } else if (c >= 0x10000 && c <= 0x10FFFF) {
            *out++ = static_cast<char>(0xF0 | (c >> 18));
            *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *out++ = static_cast<char>(0x80 | (c & 0x3F));
        } else {
            *out++ = static_cast<char>(0xEF); // U+FFFD
            *out++ = static_cast<char>(0xBF);
            *out++ = static_cast<char>(0xBD);
        }
    }
    f_size = static_cast<std::size_t>(out - f_data.get());
}

// ---- Levels from the configuration ---------------------------------------------------------

AUT_I_LogFile::ELogLevel ConfiguredTraceLevel(const I18NString& componentName) {
    const unsigned long value = CurrentUser()->GetInt(SectionName(), componentName, 1);
    return static_cast<AUT_I_LogFile::ELogLevel>(static_cast<std::int32_t>(value));
}

AUT_I_LogFile::ELogLevel ConfiguredAuditLevel(const I18NString& componentName) {
    const unsigned long value = CurrentUser()->GetInt(
        SectionName(), FrameworkKey(componentName) + "AuditLevel", AUT_I_LogFile::kLogLevelAudit0);
    // Stored audit levels count from the first audit level; 12 itself is taken as meant.
    const std::int32_t level = static_cast<std::int32_t>(value);
    return static_cast<AUT_I_LogFile::ELogLevel>(
        level == AUT_I_LogFile::kLogLevelAudit0
            ? level
            : static_cast<std::int32_t>(static_cast<std::uint32_t>(level) +
                                        AUT_I_LogFile::kLogLevelAudit0));
}

// ---- Construction and destruction ----------------------------------------------------------

AUT_LogFile::AUT_LogFile(const I18NString& name) {
    BrxThreadGuard guard(AUTg_LogLock);
    Initialize(name);
}

AUT_LogFile::AUT_LogFile(const I18NString& name, ELogType type)
    : f_logType(type) {
    BrxThreadGuard guard(AUTg_LogLock);
    Initialize(name);
}

AUT_LogFile::AUT_LogFile(const I18NString& name,
                         ELogLevel level,
                         const I18NString& entry,
                         const I18NString& exit)
    : f_isScopeTracer(true)
    , f_tracerLevel(level)
    , f_entryMessage(entry)
    , f_exitMessage(exit) {
    BrxThreadGuard guard(AUTg_LogLock);
    Initialize(name);
    if (!entry.empty()) {
        Log(level, entry);
    }
    ++AUTg_LogState.f_traceDepth;
}

AUT_LogFile::AUT_LogFile(const I18NString& name,
                         ELogLevel level,
                         const I18NString& entry,
                         const I18NString& exit,
                         const I18NString& p1)
    : f_isScopeTracer(true)
    , f_tracerLevel(level)
    , f_entryMessage(entry)
    , f_exitMessage(exit)
    , f_parameters{p1} {
    BrxThreadGuard guard(AUTg_LogLock);
    Initialize(name);
    if (!entry.empty()) {
        Log(level, entry, p1);
    }
    ++AUTg_LogState.f_traceDepth;
}

AUT_LogFile::AUT_LogFile(const I18NString& name,
                         ELogLevel level,
                         const I18NString& entry,
                         const I18NString& exit,
                         const I18NString& p1,
                         const I18NString& p2)
    : f_isScopeTracer(true)
    , f_tracerLevel(level)
    , f_entryMessage(entry)
    , f_exitMessage(exit)
    , f_parameters{p1, p2} {
    BrxThreadGuard guard(AUTg_LogLock);
    Initialize(name);
    if (!entry.empty()) {
        Log(level, entry, p1, p2);
    }
    ++AUTg_LogState.f_traceDepth;
}

AUT_LogFile::AUT_LogFile(const I18NString& name,
                         ELogLevel level,
                         const I18NString& entry,
                         const I18NString& exit,
                         const I18NString& p1,
                         const I18NString& p2,
                         const I18NString& p3)
    : f_isScopeTracer(true)
    , f_tracerLevel(level)
    , f_entryMessage(entry)
    , f_exitMessage(exit)
    , f_parameters{p1, p2, p3} {
    BrxThreadGuard guard(AUTg_LogLock);
    Initialize(name);
    if (!entry.empty()) {
        Log(level, entry, p1, p2, p3);
    }
    ++AUTg_LogState.f_traceDepth;
}

AUT_LogFile::AUT_LogFile(const I18NString& name,
                         ELogLevel level,
                         const I18NString& entry,
                         const I18NString& exit,
                         const I18NString& p1,
                         const I18NString& p2,
                         const I18NString& p3,
                         const I18NString& p4)
    : f_isScopeTracer(true)
    , f_tracerLevel(level)
    , f_entryMessage(entry)
    , f_exitMessage(exit)
    , f_parameters{p1, p2, p3, p4} {
    BrxThreadGuard guard(AUTg_LogLock);
    Initialize(name);
    if (!entry.empty()) {
        Log(level, entry, p1, p2, p3, p4);
    }
    ++AUTg_LogState.f_traceDepth;
}

AUT_LogFile::AUT_LogFile(const I18NString& name,
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
                         const I18NString& p16)
    : f_isScopeTracer(true)
    , f_tracerLevel(level)
    , f_entryMessage(entry)
    , f_exitMessage(exit)
    , f_parameters{p1, p2, p3, p4, p5, p6, p7, p8, p9, p10, p11, p12, p13, p14, p15, p16} {
    BrxThreadGuard guard(AUTg_LogLock);
    Initialize(name);
    if (!entry.empty()) {
        Log(level, entry, p1, p2, p3, p4, p5, p6, p7, p8, p9, p10, p11, p12, p13, p14, p15, p16);
    }
    ++AUTg_LogState.f_traceDepth;
}

AUT_LogFile::~AUT_LogFile() {
    try {
        BrxThreadGuard guard(AUTg_LogLock);
        // Lowered before the exit record, so that it stands where the entry record stood.
        if (f_isScopeTracer && AUTg_LogState.f_traceDepth > 0) {
            --AUTg_LogState.f_traceDepth;
        }
        if (!f_exitMessage.empty()) {
            Log(f_tracerLevel, f_exitMessage, f_parameters[0], f_parameters[1], f_parameters[2],
                f_parameters[3], f_parameters[4], f_parameters[5], f_parameters[6], f_parameters[7],
                f_parameters[8], f_parameters[9], f_parameters[10], f_parameters[11],
                f_parameters[12], f_parameters[13], f_parameters[14], f_parameters[15]);
        }
    } catch (...) {
        // A destructor must not throw: a failed exit record was logged where it failed.
    }
}

void AUT_LogFile::Initialize(const I18NString& name) {
    LogFileState& state = AUTg_LogState;
    f_componentName = name;
    if (state.f_logInitialized) {
        InitComponentLogging();
        SetLogLevel();
        return;
    }
    state.f_useIPFLogging = CurrentUser()->GetInt(SectionName(), "UseIPFLogging", 1) != 0;
    if (!state.f_useIPFLogging) {
        if (!state.f_lineCountLimitRead) {
            state.f_lineCountLimit =
                static_cast<std::uint32_t>(AUT_I_LogFile::GetLogFileLineCountLimit());
            state.f_lineCountLimitRead = true;
        }
        if (!state.f_fileCountLimitRead) {
            state.f_fileCountLimit =
                static_cast<std::uint32_t>(AUT_I_LogFile::GetLogFileFileCountLimit());
            state.f_fileCountLimitRead = true;
        }
        if (!state.f_logFileNameRead) {
            AUT_I_FileSupport::SplitPath(AUT_I_LogFile::GetLogFileName(), &state.f_logDrive,
                                         &state.f_logDirectory, &state.f_logBaseName,
                                         &state.f_logExtension);
            state.f_logFileNameRead = true;
        }
        if (state.f_logFileHandle == nullptr) {
            state.f_traceDepth = 0;
            CreateLogFile();
        }
    }
    if (!state.f_logMapsCreated) {
        state.f_traceLevels = new LogLevelMap();
        state.f_auditLevels = new LogLevelMap();
        state.f_logMapsCreated = true;
    }
    // File mode at one initialization and framework mode at a later one (a name reset in
    // between, no Terminate) must still find the framework maps.
    if (state.f_useIPFLogging) {
        FrameworkCreateMaps();
    }
    InitComponentLogging();
    SetLogLevel();
    state.f_logInitialized = true;
}

// ---- Levels --------------------------------------------------------------------------------

void AUT_LogFile::InitComponentLogging() {
    LogFileState& state = AUTg_LogState;
    if (state.f_traceLevels->find(f_componentName) != state.f_traceLevels->end()) {
        return;
    }
    if (state.f_useIPFLogging) {
        FrameworkInitComponent(f_componentName);
    }
    SyncTraceLevel();
    SyncAuditLevel();
}

void AUT_LogFile::SyncTraceLevel() {
    LogFileState& state = AUTg_LogState;
    (*state.f_traceLevels)[f_componentName] = state.f_useIPFLogging
                                                  ? FrameworkProbeTraceLevel(f_componentName)
                                                  : ConfiguredTraceLevel(f_componentName);
}

void AUT_LogFile::SyncAuditLevel() {
    LogFileState& state = AUTg_LogState;
    (*state.f_auditLevels)[f_componentName] = state.f_useIPFLogging
                                                  ? FrameworkProbeAuditLevel(f_componentName)
                                                  : ConfiguredAuditLevel(f_componentName);
}

void AUT_LogFile::SetLogLevel() {
    LogFileState& state = AUTg_LogState;
    if (f_logType == kLogTypeTrace) {
        f_logLevel = (*state.f_traceLevels)[f_componentName];
    } else if (f_logType == kLogTypeAudit) {
        // Audit objects read their levels afresh, so a changed setting reaches the next one.
        SyncTraceLevel();
        SyncAuditLevel();
        f_logLevel = (*state.f_auditLevels)[f_componentName];
    }
    // Objects of other types keep level 0: only the most important records.
}

AUT_I_LogFile::ELogLevel AUT_LogFile::GetLogLevel() {
    return f_logLevel;
}

// ---- Records -------------------------------------------------------------------------------
// Each Log tests the level before anything else: a filtered record costs a load and a compare.

void AUT_LogFile::Log(ELogLevel level,
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
                      const I18NString& p16) {
    if (level > f_logLevel) {
        return;
    }
    const I18NString* const parameters[kPlaceholderCount] = {
        &p1, &p2, &p3, &p4, &p5, &p6, &p7, &p8, &p9, &p10, &p11, &p12, &p13, &p14, &p15, &p16};
    LogRecord(level, message, parameters, kPlaceholderCount);
}

void AUT_LogFile::Log(ELogLevel level,
                      const I18NString& message,
                      const I18NString& p1,
                      const I18NString& p2,
                      const I18NString& p3,
                      const I18NString& p4) {
    if (level > f_logLevel) {
        return;
    }
    const I18NString* const parameters[4] = {&p1, &p2, &p3, &p4};
    LogRecord(level, message, parameters, 4);
}

void AUT_LogFile::Log(ELogLevel level,
                      const I18NString& message,
                      const I18NString& p1,
                      const I18NString& p2,
                      const I18NString& p3) {
    if (level > f_logLevel) {
        return;
    }
    const I18NString* const parameters[3] = {&p1, &p2, &p3};
    LogRecord(level, message, parameters, 3);
}

void AUT_LogFile::Log(ELogLevel level,
                      const I18NString& message,
                      const I18NString& p1,
                      const I18NString& p2) {
    if (level > f_logLevel) {
        return;
    }
    const I18NString* const parameters[2] = {&p1, &p2};
    LogRecord(level, message, parameters, 2);
}

void AUT_LogFile::Log(ELogLevel level, const I18NString& message, const I18NString& p1) {
    if (level > f_logLevel) {
        return;
    }
    const I18NString* const parameters[1] = {&p1};
    LogRecord(level, message, parameters, 1);
}

void AUT_LogFile::Log(ELogLevel level, const I18NString& message) {
    if (level > f_logLevel) {
        return;
    }
    LogRecord(level, message, nullptr, 0);
}

void AUT_LogFile::AuditLog(ELogLevel level,
                           bool isStart,
                           const I18NString& sessionId,
                           const I18NString& requestId,
                           const I18NString& message) {
    if (level > f_logLevel) {
        return;
    }
    BrxThreadGuard guard(AUTg_LogLock);
    DoLog(message, level, isStart, sessionId, requestId);
}

// Kept out of line so that the level test of each Log stays a few instructions.
__attribute__((noinline)) void AUT_LogFile::LogRecord(ELogLevel level,
                                                      const I18NString& message,
                                                      const I18NString* const* parameters,
                                                      int parameterCount) {
    BrxThreadGuard guard(AUTg_LogLock);
    if (!AUTg_LogState.f_useIPFLogging) {
        WriteFileRecord(message, parameters, parameterCount, false);
        return;
    }
    const I18NString& empty = AUT_GetEmptyString();
    if (parameterCount == 0) {
        DoLog(message, level, false, empty, empty);
        return;
    }
    const I18NString* p[kPlaceholderCount];
    for (int i = 0; i < kPlaceholderCount; ++i) {
        p[i] = i < parameterCount ? parameters[i] : &empty;
    }
    I18NString text(message);
    AUT_SimpleSubstituteText(text, *p[0], *p[1], *p[2], *p[3], *p[4], *p[5], *p[6], *p[7], *p[8],
                             *p[9], *p[10], *p[11], *p[12], *p[13], *p[14], *p[15]);
    DoLog(text, level, false, empty, empty);
}

void AUT_LogFile::DoLog(const I18NString& text,
                        ELogLevel level,
                        bool isStart,
                        const I18NString& sessionId,
                        const I18NString& requestId) {
    if (AUTg_LogState.f_useIPFLogging) {
        FrameworkSendRecord(f_componentName, f_logType, level, text, sessionId, requestId);
        return;
    }
    WriteFileRecord(text, nullptr, 0, isStart);
}

void AUT_LogFile::WriteFileRecord(const I18NString& message,
                                  const I18NString* const* parameters,
                                  int parameterCount,
                                  bool isStart) {
    LogFileState& state = AUTg_LogState;
    if (state.f_logFileHandle == nullptr) {
        return; // closed after a failure: dropped until the name is reset
    }
    if (state.f_lineCount > state.f_lineCountLimit) {
        CreateLogFile();
    }
    RecordBuffer& record = state.f_record;
    record.clear();
    if (state.f_writeProcessId) {
        record.append(kProcessIdPrefix, sizeof(kProcessIdPrefix) - 1);
        AppendText(record, AUT_ToString(_getpid()));
        record.append('\n', 1);
        state.f_writeProcessId = false;
    }
    AppendTimeStamp(state);
    record.append('\t', std::size_t{state.f_traceDepth} + 1);
    if (f_logType == kLogTypeAudit) {
        if (isStart) {
            record.append(kAuditStartMarker, sizeof(kAuditStartMarker) - 1);
        } else {
            record.append(kAuditEndMarker, sizeof(kAuditEndMarker) - 1);
        }
    }
    if (parameterCount == 0) {
        AppendText(record, message);
    } else {
        AppendSubstituted(record, message.codePoints(), parameters, parameterCount);
    }
    record.append('\n', 1);
    if (!WriteRecordLine(state.f_logFileHandle, record)) {
        CloseLogFile();
        const I18NString path =
            state.f_createdLogFiles.empty() ? AUT_GetEmptyString() : state.f_createdLogFiles.back();
        AUT_THROW(kWriteFailedError, kWriteFailedMessage, path);
    }
    ++state.f_lineCount;
}

// ---- Shared state --------------------------------------------------------------------------

void AUT_LogFile::CloseLogFile() {
    BrxThreadGuard guard(AUTg_LogLock);
    std::FILE* const file = AUTg_LogState.f_logFileHandle;
    if (file == nullptr) {
        return;
    }
    AUTg_LogState.f_logFileHandle = nullptr;
    try {
        AUT_I_FileSupport::CloseFile(file);
    } catch (...) {
        // The stream is gone either way; a failed close of a log must not stop logging.
    }
}

void AUT_LogFile::ResetLineCountLimit() {
    BrxThreadGuard guard(AUTg_LogLock);
    AUTg_LogState.f_lineCountLimitRead = false;
}

void AUT_LogFile::ResetFileCountLimit() {
    BrxThreadGuard guard(AUTg_LogLock);
    AUTg_LogState.f_fileCountLimitRead = false;
}

void AUT_LogFile::Terminate() {
    ResetLogFileName();
    BrxThreadGuard guard(AUTg_LogLock);
    LogFileState& state = AUTg_LogState;
    delete state.f_traceLevels;
    state.f_traceLevels = nullptr;
    state.f_lineCountLimitRead = false;
    state.f_fileCountLimitRead = false;
    state.f_writeProcessId = false;
    delete state.f_auditLevels;
    state.f_auditLevels = nullptr;
    FrameworkDeleteMaps();
    state.f_logMapsCreated = false;
}

// ---- Rotation ------------------------------------------------------------------------------

void AUT_LogFile::CreateLogFile() {
    BrxThreadGuard guard(AUTg_LogLock);
    LogFileState& state = AUTg_LogState;
    CloseLogFile();
    state.f_lineCount = 0;
    unsigned long sequence = 0;

    std::vector<I18NString> names;
    I18NString pattern;
    const I18NString familyName = state.f_logBaseName + "_????????_????";
    AUT_I_FileSupport::MakePath(pattern, &state.f_logDrive, &state.f_logDirectory, &familyName,
                                &state.f_logExtension);
    try {
        AUT_I_FileSupport::GetExistingFilesFromDirectory(pattern, names, true);
    } catch (...) {
        // An unreadable directory only costs the sequence number and the pruning; the open
        // below reports a directory that cannot take the file.
    }
    FilterExistingLogFileNames(names);
    if (!names.empty()) {
        std::sort(names.begin(), names.end(), AUT_PredicateStringCompare(AUT_GetEmptyString()));
        sequence = GetLastSequenceNumber(names.back());
    }
    if (++sequence > kLastSequenceNumber) {
        sequence = 1;
    }

    const I18NString fileName =
        state.f_logBaseName + "_" + GetDate() + "_" + GenerateSequenceString(sequence);
    I18NString fullPath;
    AUT_I_FileSupport::MakePath(fullPath, &state.f_logDrive, &state.f_logDirectory, &fileName,
                                &state.f_logExtension);
    long handle = -1;
    try {
        // Exclusive: an existing file is never appended to or overwritten.
        handle = AUT_I_FileSupport::OpenFile(fullPath, _O_RDWR | _O_CREAT | _O_EXCL,
                                             _S_IREAD | _S_IWRITE);
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
        // Unbuffered: each record goes to the kernel in one write, with nothing left behind
        // in the stream and no copy into a stream buffer.
        std::setvbuf(file, nullptr, _IONBF, 0);
        state.f_logFileHandle = file;
        state.f_writeProcessId = true;
        state.f_createdLogFiles.push_back(fullPath);
        RemoveOlderFiles(names);
    } catch (AUT_Exception& exception) {
        RethrowCreateFailure(exception, fullPath, __FILE__, __LINE__);
    }
}

I18NString AUT_LogFile::GetDate() {
    BrxThreadGuard guard(AUTg_LogLock);
    long now = static_cast<long>(std::time(nullptr));
    std::tm local{};
    char text[256];
    if (aut::localtime_r(&now, &local) == nullptr ||
        std::strftime(text, sizeof(text), "%Y%m%d", &local) == 0) {
        return I18NString();
    }
    return I18NString(text);
}

I18NString AUT_LogFile::GenerateSequenceString(unsigned long number) {
    BrxThreadGuard guard(AUTg_LogLock);
    I18NString digits = AUT_ToString(number);
    if (digits.length() < static_cast<long>(kSequenceLength)) {
        digits.insert(0, I18NString(U'0', static_cast<long>(kSequenceLength) - digits.length()));
    }
    return digits;
}

unsigned long AUT_LogFile::GetLastSequenceNumber(const I18NString& fileName) {
    BrxThreadGuard guard(AUTg_LogLock);
    const long k = AUTg_LogState.f_logBaseName.length() + 1;
    if (fileName.substring(k, k + static_cast<long>(kDateLength)) == GetDate()) {
        const long sequenceStart = k + static_cast<long>(kDateLength) + 1;
        return AUT_ToUInt(
            fileName.substring(sequenceStart, sequenceStart + static_cast<long>(kSequenceLength)));
    }
    return 0; // a new day starts again at 1
}

void AUT_LogFile::FilterExistingLogFileNames(std::vector<I18NString>& fileNames) {
    BrxThreadGuard guard(AUTg_LogLock);
    if (fileNames.empty()) {
        return;
    }
    const AUT_PredicateLogFileNameIsValid isValid(
        static_cast<unsigned long>(AUTg_LogState.f_logBaseName.length()), kDateLength,
        kSequenceLength);
    fileNames.erase(std::remove_if(fileNames.begin(), fileNames.end(),
                                   [&isValid](const I18NString& name) { return !isValid(name); }),
                    fileNames.end());
}

void AUT_LogFile::RemoveOlderFiles(std::vector<I18NString>& fileNames) {
    BrxThreadGuard guard(AUTg_LogLock);
    const std::size_t limit = AUTg_LogState.f_fileCountLimit;
    if (fileNames.size() <= limit) {
        return;
    }
    // The names were listed before the new file existed; deleting one more than the excess
    // still leaves the limit + 1 files after this rotation when exactly the limit was there.
    const std::size_t count = fileNames.size() - limit + 1;
    I18NString directory;
    AUT_I_FileSupport::MakePath(directory, &AUTg_LogState.f_logDrive, &AUTg_LogState.f_logDirectory,
                                nullptr, nullptr);
    std::for_each(fileNames.begin(), fileNames.begin() + static_cast<std::ptrdiff_t>(count),
                  AUT_PredicateRemoveFileFromDirectory(directory));
}

void AUT_LogFile::ResetLogFileName() {
    BrxThreadGuard guard(AUTg_LogLock);
    AUTg_LogState.f_logFileNameRead = false;
    CloseLogFile();
    AUTg_LogState.f_createdLogFiles.clear();
    AUTg_LogState.f_logInitialized = false;
}

void AUT_LogFile::GetLogFileNames(std::vector<I18NString>& names, bool clearFirst) {
    BrxThreadGuard guard(AUTg_LogLock);
    if (clearFirst) {
        names.clear();
    }
    names.insert(names.end(), AUTg_LogState.f_createdLogFiles.begin(),
                 AUTg_LogState.f_createdLogFiles.end());
}

// ---- Function objects ----------------------------------------------------------------------

AUT_PredicateLogFileNameIsValid::AUT_PredicateLogFileNameIsValid(unsigned long baseLength,
                                                                 unsigned long dateLength,
                                                                 unsigned long sequenceLength)
    : f_baseLength(static_cast<unsigned int>(baseLength))
    , f_dateLength(static_cast<unsigned int>(dateLength))
    , f_sequenceLength(static_cast<unsigned int>(sequenceLength)) {}

bool AUT_PredicateLogFileNameIsValid::operator()(const I18NString& name) const {
    I18NString fileName;
    AUT_I_FileSupport::SplitPath(name, nullptr, nullptr, &fileName, nullptr);
    // 64-bit sums: no choice of the three lengths can wrap them.
    const std::uint64_t expected =
        std::uint64_t{f_baseLength} + f_dateLength + f_sequenceLength + 2;
    if (static_cast<std::uint64_t>(fileName.length()) != expected) {
        return false;
    }
    // The positions count from the start of `name`, which is at least as long as its
    // file-name part, so they stay inside it.
    const long dateStart = static_cast<long>(f_baseLength) + 1;
    const long dateEnd = dateStart + static_cast<long>(f_dateLength);
    const long sequenceStart = dateEnd + 1;
    const long sequenceEnd = sequenceStart + static_cast<long>(f_sequenceLength);
    // ASCII digits only: the sequence number is read back as decimal text, and a date in other
    // digits could never equal today's, so such a name is not one of the family.
    const auto isDigit = [](char32_t c) { return c >= U'0' && c <= U'9'; };
    for (long i = dateStart; i < dateEnd; ++i) {
        if (!isDigit(name[i])) {
            return false;
        }
    }
    for (long i = sequenceStart; i < sequenceEnd; ++i) {
        if (!isDigit(name[i])) {
            return false;
        }
    }
    // Today's date without the logging lock: the predicate is used anywhere.
    long now = static_cast<long>(std::time(nullptr));
    std::tm local{};
    char today[256];
    if (aut::localtime_r(&now, &local) == nullptr ||
        std::strftime(today, sizeof(today), "%Y%m%d", &local) == 0) {
        today[0] = '\0';
    }
    const I18NString datePart = name.substring(dateStart, dateEnd);
    return std::strcmp(datePart.c_str(), today) <= 0;
}

AUT_PredicateRemoveFileFromDirectory::AUT_PredicateRemoveFileFromDirectory(
    const I18NString& directory)
    : f_directory(directory) {}

void AUT_PredicateRemoveFileFromDirectory::operator()(const I18NString& fileName) const {
    try {
        AUT_I_FileSupport::RemoveFileFromDirectory(f_directory, fileName);
    } catch (...) {
        // A file that cannot go (in use, already gone) is left for the next rotation.
    }
}

AUT_PredicateStringCompare::AUT_PredicateStringCompare(const I18NString& text)
    : f_text(text) {}

bool AUT_PredicateStringCompare::operator()(const I18NString& text) const {
    return _stricmp(text.c_str(), f_text.c_str()) == 0;
}

bool AUT_PredicateStringCompare::operator()(const I18NString& left, const I18NString& right) const {
    return _stricmp(left.c_str(), right.c_str()) < 0;
}

// ---- Test access ---------------------------------------------------------------------------

I18NString LogFileTestAccess::GetDate() {
    return AUT_LogFile::GetDate();
}

I18NString LogFileTestAccess::GenerateSequenceString(unsigned long number) {
    return AUT_LogFile::GenerateSequenceString(number);
}

unsigned long LogFileTestAccess::GetLastSequenceNumber(const I18NString& fileName) {
    return AUT_LogFile::GetLastSequenceNumber(fileName);
}

void LogFileTestAccess::FilterExistingLogFileNames(std::vector<I18NString>& fileNames) {
    AUT_LogFile::FilterExistingLogFileNames(fileNames);
}

void LogFileTestAccess::SetLogBaseName(const I18NString& baseName) {
    BrxThreadGuard guard(AUTg_LogLock);
    AUTg_LogState.f_logBaseName = baseName;
}

// ---- Exception records ---------------------------------------------------------------------

void WriteExceptionRecord(const I18NString& entryText, const I18NString& formattedMessages) {
    // The logging lock always comes before the exception log lock: a thread that holds the
    // logging lock (a failing rotation) logs its exception under it. A caller that arrives
    // here holding only the exception log lock therefore lets go of it, with its busy flag,
    // while it waits for the logging lock, and takes both back in that order. The caller
    // holds the exception log lock once (a nested call never gets past the busy flag).
    const bool reorder =
        !AUTg_LogLock.isHeldByCurrentThread() && AUTg_ExceptionLogLock.isHeldByCurrentThread();
    if (reorder) {
        AUTg_ExceptionLogBusy = false;
        AUTg_ExceptionLogLock.unlock();
    }
    BrxThreadGuard logGuard(AUTg_LogLock);
    if (reorder) {
        AUTg_ExceptionLogLock.lock();
        AUTg_ExceptionLogBusy = true;
    }
    AUT_LogFile log("QueryEngine");
    log.Log(AUT_I_LogFile::kLogLevelTrace1, entryText, formattedMessages);
}
