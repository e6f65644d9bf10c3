#include "win32_errors.h"

#include <cstring>

namespace {

thread_local DWORD t_lastError = ERROR_SUCCESS;

// Texts of the codes that have no errno of their own.
const char* ownText(DWORD code) {
    switch (code) {
    case ERROR_NO_MORE_FILES:
        return "There are no more files.";
    default:
        return nullptr;
    }
}

} // namespace

DWORD GetLastError() {
    return t_lastError;
}

void SetLastError(DWORD errorCode) {
    t_lastError = errorCode;
}

DWORD FormatMessageA(DWORD flags,
                     LPCVOID /*source*/,
                     DWORD messageId,
                     DWORD /*languageId*/,
                     LPSTR buffer,
                     DWORD size,
                     va_list* /*arguments*/) {
    if ((flags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 ||
        (flags & (FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_FROM_HMODULE)) != 0 ||
        buffer == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const char* text = ownText(messageId);
    char scratch[256];
    if (text == nullptr) {
        // The GNU strerror_r: thread-safe, and it returns the text (static or in scratch).
        text = strerror_r(static_cast<int>(messageId), scratch, sizeof scratch);
    }
    const std::size_t length = std::strlen(text);
    if (length + 1 > size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(buffer, text, length + 1);
    return static_cast<DWORD>(length);
}
