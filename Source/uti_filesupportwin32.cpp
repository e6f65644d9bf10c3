// The platform half of the file support: splitting and joining paths, the directory listing
// and the system's directory.
#include "UTExceptionInternal.h"
#include "uti_filesupport.h"
#include "uti_filesupportInternal.h"

#include <cerrno>
#include <crt_io.h>
#include <crt_path.h>
#include <cstddef>
#include <cstring>
#include <vector>
#include <win32_errors.h>
#include <win32_sysinfo.h>

namespace {

bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

// The bytes that the first character of a UTF-8 text takes, as _makepath counts them.
std::size_t firstCharacterLength(const char* text) {
    const auto lead = static_cast<unsigned char>(text[0]);
    const std::size_t sequence = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    std::size_t length = 1;
    while (length < sequence && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) {
        ++length;
    }
    return length;
}

// Ends a search also when the listing throws on the way.
class SearchGuard {
public:
    explicit SearchGuard(std::intptr_t handle)
        : f_handle(handle) {}
    ~SearchGuard() {
        if (f_handle != -1) {
            // Cleaning up after another failure: that failure is the one to report.
            _findclose(f_handle);
        }
    }
    SearchGuard(const SearchGuard&) = delete;
    SearchGuard& operator=(const SearchGuard&) = delete;

    // Ends the search now; -1 with errno on failure.
    int close() {
        const std::intptr_t handle = f_handle;
        f_handle = -1;
        return _findclose(handle);
    }

private:
    std::intptr_t f_handle;
};

} // namespace

bool SplitPathWhole(const I18NString& path,
                    I18NString* drive,
                    I18NString* directory,
                    I18NString* fileName,
                    I18NString* extension) {
    char driveText[_MAX_DRIVE];
    char directoryText[_MAX_DIR];
    char fileNameText[_MAX_FNAME];
    char extensionText[_MAX_EXT];
    // Split before assigning anything: an output may be `path` itself.
    const char* text = path.c_str();
    _splitpath(text, driveText, directoryText, fileNameText, extensionText);

    const std::size_t length = std::strlen(text);
    const std::size_t rest = std::strlen(driveText);
    std::size_t nameBegin = rest;
    std::size_t extensionBegin = length;
    for (std::size_t i = rest; i < length; ++i) {
        if (isSeparator(text[i])) {
            nameBegin = i + 1;
            extensionBegin = length;
        } else if (text[i] == '.') {
            extensionBegin = i;
        }
    }
    const bool whole = (directory == nullptr || nameBegin - rest < _MAX_DIR) &&
                       (fileName == nullptr || extensionBegin - nameBegin < _MAX_FNAME) &&
                       (extension == nullptr || length - extensionBegin < _MAX_EXT);
    if (drive != nullptr) {
        *drive = driveText;
    }
    if (directory != nullptr) {
        *directory = directoryText;
    }
    if (fileName != nullptr) {
        *fileName = fileNameText;
    }
    if (extension != nullptr) {
        *extension = extensionText;
    }
    return whole;
}

bool MakePathWhole(I18NString& path,
                   const I18NString* drive,
                   const I18NString* directory,
                   const I18NString* fileName,
                   const I18NString* extension) {
    BRX_ASSERT(drive != NULL || directory != NULL || fileName != NULL || extension != NULL);
    // The narrow texts are taken before `path` changes: a part may be `path` itself.
    const char* driveText = drive != nullptr ? drive->c_str() : "";
    const char* directoryText = directory != nullptr ? directory->c_str() : "";
    const char* fileNameText = fileName != nullptr ? fileName->c_str() : "";
    const char* extensionText = extension != nullptr ? extension->c_str() : "";
    char joined[_MAX_PATH];
    _makepath(joined, driveText, directoryText, fileNameText, extensionText);

    std::size_t needed = std::strlen(fileNameText);
    if (driveText[0] != '\0') {
        needed += firstCharacterLength(driveText) + 1;
    }
    if (const std::size_t length = std::strlen(directoryText); length != 0) {
        needed += length + (isSeparator(directoryText[length - 1]) ? 0 : 1);
    }
    if (extensionText[0] != '\0') {
        needed += std::strlen(extensionText) + (extensionText[0] == '.' ? 0 : 1);
    }
    path = joined;
    return needed < _MAX_PATH;
}

void AUT_I_FileSupport::SplitPath(const I18NString& path,
                                  I18NString* drive,
                                  I18NString* directory,
                                  I18NString* fileName,
                                  I18NString* extension) {
    SplitPathWhole(path, drive, directory, fileName, extension);
}

void AUT_I_FileSupport::MakePath(I18NString& path,
                                 const I18NString* drive,
                                 const I18NString* directory,
                                 const I18NString* fileName,
                                 const I18NString* extension) {
    MakePathWhole(path, drive, directory, fileName, extension);
}

void AUT_I_FileSupport::GetExistingFilesFromDirectory(const I18NString& pattern,
                                                      std::vector<I18NString>& files,
                                                      bool clear) {
    if (clear) {
        files.clear();
    }
    _finddata_t found{};
    const std::intptr_t handle = _findfirst(pattern.c_str(), &found);
    if (handle == -1) {
        const unsigned long error = static_cast<unsigned long>(errno);
        if (error == ENOENT) {
            return;
        }
        ThrowFileSupportException(error);
    }
    SearchGuard search(handle);
    unsigned long error = 0;
    for (;;) {
        files.emplace_back(found.name);
        if (_findnext(handle, &found) != 0) {
            error = static_cast<unsigned long>(errno);
            break;
        }
    }
    if (error != ENOENT) {
        ThrowFileSupportException(error);
    }
    if (search.close() != 0) {
        ThrowFileSupportException(static_cast<unsigned long>(errno));
    }
}

I18NString AUT_I_FileSupport::GetSystemDirectoryA() {
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        const UINT length = ::GetWindowsDirectoryA(buffer.data(), static_cast<UINT>(buffer.size()));
        if (length == 0) {
            const DWORD code = ::GetLastError();
            char text[512];
            if (::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text,
                                 sizeof text, nullptr) == 0) {
                text[0] = '\0';
            }
            AUT_THROW(kFileSupportErrorCode, kFileSupportMessage, I18NString(text));
        }
        if (length < buffer.size()) {
            return I18NString(buffer.data());
        }
        // Longer than the usual limit: take it whole rather than cut it.
        buffer.resize(length);
    }
}
