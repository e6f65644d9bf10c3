// The log files of the file sink (see UTLogFileSinkInternal.h): opening, rotation, closing.
#include "UTException.h"
#include "UTExceptionInternal.h"
#include "UTLogFileInternal.h"
#include "UTLogFileSinkInternal.h"
#include "UTLogSettingsInternal.h"
#include "UTStringSupport.h"
#include "uti_filesupport.h"

#include <crt_io.h>

namespace {

constexpr std::uint32_t kCreateFailedMessage = 0x721C44D1;

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

void FileSinkRotate() {
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
        state.f_fd = _fileno(file);
        state.f_writeProcessId = true;
        state.f_createdLogFiles.push_back(fullPath);
        family.Prune(names, state.f_fileCountLimit);
    } catch (AUT_Exception& exception) {
        RethrowCreateFailure(exception, fullPath, __FILE__, __LINE__);
    }
}

void FileSinkOpen() {
    FileSinkState& state = AUTg_FileSink;
    state.f_lineCountLimit = CachedLineCountLimit();
    state.f_fileCountLimit = CachedFileCountLimit();
    if (!state.f_family) {
        state.f_family.reset(new AUT_LogFileFamily(CachedLogFileName()));
    }
    if (state.f_file == nullptr) {
        state.f_traceDepth = 0;
        FileSinkRotate();
    }
}

void FileSinkClose() {
    FileSinkState& state = AUTg_FileSink;
    std::FILE* const file = state.f_file;
    if (file == nullptr) {
        return;
    }
    state.f_file = nullptr;
    state.f_fd = -1;
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
