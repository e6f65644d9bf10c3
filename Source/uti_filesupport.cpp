// File and directory operations: existence tests, descriptors and streams, comparison,
// directory creation and removal, name checks, the installation's directories, and the one
// place where a C runtime error number becomes the library's exception.
#include "uti_filesupport.h"

#include "UTExceptionInternal.h"
#include "UTResourceAccess.h"
#include "uti_filesupportInternal.h"

#include <BrxConfiguration.h>
#include <BrxException.h>
#include <cerrno>
#include <crt_io.h>
#include <cstring>
#include <unistd.h>
#include <vector>
#include <win32_files.h>

namespace {

// The message whose text lists the characters forbidden in a file or directory name.
constexpr std::uint32_t kForbiddenCharactersMessage = 0xF7C1724C;

// The characters that are path syntax, not words: the directory separator and the control
// characters (a line break in a log file's name, say). The catalog's list may add to them,
// never leave one out; a list that does is not used.
I18NString forbiddenCharacters() {
    std::u32string syntax = U"/\x7F";
    for (char32_t c = 1; c < 0x20; ++c) {
        syntax += c;
    }
    const I18NString listed = AUT_ResourceGetString(kForbiddenCharactersMessage);
    for (const char32_t c : syntax) {
        if (listed.find(c) == -1) {
            return I18NString(std::move(syntax));
        }
    }
    return listed;
}

// Inputs are compared in blocks of this many bytes.
constexpr std::size_t kCompareBlock = 500;

// A stream for reading a file to compare; null when it cannot be opened as a file. A
// directory counts as unopenable: reading it would fail at once, and never reach its end.
FILE* openForComparison(const char* name) {
    FILE* file = std::fopen(name, "r");
    if (file == nullptr) {
        return nullptr;
    }
    struct stat status {};
    if (fstat(fileno(file), &status) != 0 || S_ISDIR(status.st_mode)) {
        std::fclose(file);
        return nullptr;
    }
    return file;
}

// The report is best effort: a report that could not be opened drops its text.
void report(FILE* out, const char* text) {
    if (out != nullptr) {
        std::fputs(text, out);
    }
}

void closeQuietly(FILE* file) {
    if (file != nullptr) {
        std::fclose(file);
    }
}

// Whether the two inputs hold the same bytes. A read error counts as a difference.
bool sameContents(FILE* first, FILE* second) {
    char firstBlock[kCompareBlock] = {};
    char secondBlock[kCompareBlock] = {};
    for (;;) {
        if (std::feof(first) && std::feof(second)) {
            return true;
        }
        const std::size_t firstRead = std::fread(firstBlock, 1, kCompareBlock, first);
        const std::size_t secondRead = std::fread(secondBlock, 1, kCompareBlock, second);
        if (firstRead != secondRead || std::memcmp(firstBlock, secondBlock, firstRead) != 0 ||
            std::ferror(first) || std::ferror(second)) {
            return false;
        }
    }
}

} // namespace

void AUT_I_FileSupport::ThrowFileSupportException(const unsigned long& errorNumber) {
    char scratch[256];
    // The GNU strerror_r: thread-safe, and it returns the text (static or in scratch).
    const char* text = strerror_r(static_cast<int>(errorNumber), scratch, sizeof scratch);
    AUT_THROW(kFileSupportErrorCode, kFileSupportMessage, I18NString(text));
}

bool AUT_I_FileSupport::DirectoryExists(const I18NString& path) {
    if (path.empty()) {
        return false;
    }
    return _access(path.c_str(), _A_EXISTS) == 0;
}

bool AUT_I_FileSupport::FileExists(const I18NString& name) {
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA(name.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return false;
    }
    FindClose(search);
    return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

long AUT_I_FileSupport::OpenFile(const I18NString& fileName, long flags, long permissions) {
    BRX_ASSERT(!fileName.empty());
    const int handle =
        _open(fileName.c_str(), static_cast<int>(flags), static_cast<int>(permissions));
    if (handle == -1) {
        ThrowFileSupportException(static_cast<unsigned long>(errno));
    }
    return handle;
}

FILE* AUT_I_FileSupport::OpenFile(long fileHandle, const I18NString& mode) {
    BRX_ASSERT(fileHandle != -1);
    BRX_ASSERT(!mode.empty());
    FILE* file = _fdopen(static_cast<int>(fileHandle), mode.c_str());
    if (file == nullptr) {
        ThrowFileSupportException(static_cast<unsigned long>(errno));
    }
    return file;
}

void AUT_I_FileSupport::CloseFile(FILE* file) {
    BRX_ASSERT(file);
    if (std::fclose(file) != 0) {
        ThrowFileSupportException(static_cast<unsigned long>(errno));
    }
}

void AUT_I_FileSupport::CloseFile(long fileHandle) {
    BRX_ASSERT(fileHandle != -1);
    if (_close(static_cast<int>(fileHandle)) == -1) {
        ThrowFileSupportException(static_cast<unsigned long>(errno));
    }
}

void AUT_I_FileSupport::WriteToFile(const I18NString& text, FILE* file, bool flush) {
    BRX_ASSERT(file != NULL);
    errno = 0;
    std::fputs(text.c_str(), file);
    if (flush) {
        std::fflush(file);
    }
    if (std::ferror(file)) {
        // A stream that failed earlier keeps its indicator but may not set errno again.
        ThrowFileSupportException(static_cast<unsigned long>(errno != 0 ? errno : EIO));
    }
}

long AUT_I_FileSupport::GetFileSize(long fileHandle) {
    return _filelength(static_cast<int>(fileHandle));
}

bool AUT_I_FileSupport::diffFiles(const I18NString& file1,
                                  const I18NString& file2,
                                  const I18NString& reportFile) {
    FILE* first = openForComparison(file1.c_str());
    FILE* second = openForComparison(file2.c_str());
    FILE* out = std::fopen(reportFile.c_str(), "w");

    bool differ = true;
    if (first == nullptr || second == nullptr) {
        for (const auto& [input, name] : {std::make_pair(first, &file1), {second, &file2}}) {
            if (input == nullptr) {
                report(out, "Could not open ");
                report(out, name->c_str());
                report(out, "\n");
            }
        }
    } else if (sameContents(first, second)) {
        report(out, "Files are the same:\n");
        report(out, file1.c_str());
        report(out, " == ");
        report(out, file2.c_str());
        report(out, "\n");
        differ = false;
    } else {
        report(out, "Files are different:\n\n");
        report(out, file1.c_str());
        report(out, " != ");
        report(out, file2.c_str());
        report(out, "\n");
    }
    closeQuietly(first);
    closeQuietly(second);
    closeQuietly(out);
    return differ;
}

void AUT_I_FileSupport::MakeDirectory(const I18NString& directoryPath) {
    // clang-format off
    BRX_ASSERT(!DirectoryExists( directoryPath ));
    // clang-format on
    if (_mkdir(directoryPath.c_str()) == -1) {
        ThrowFileSupportException(static_cast<unsigned long>(errno));
    }
}

bool AUT_I_FileSupport::FileNameIsValid(const I18NString& name) {
    if (name.empty()) {
        return false;
    }
    // Kept until unload; a fetch that throws leaves it unset, and the next call tries again.
    static const I18NString forbidden = forbiddenCharacters();
    return name.findFirstOf(forbidden) == -1;
}

bool AUT_I_FileSupport::EvaluateDirectoryName(const I18NString& path) {
    if (path.empty()) {
        return false;
    }
    I18NString directory;
    I18NString level;
    SplitPath(path, nullptr, &directory, nullptr, nullptr);
    bool valid = true;
    while (valid && directory.length() >= 2) {
        // Without its trailing separator the innermost level becomes the "file name".
        directory.erase(directory.length() - 1);
        SplitPath(directory, nullptr, &directory, &level, nullptr);
        valid = FileNameIsValid(level);
    }
    return valid;
}

void AUT_I_FileSupport::MakeDirectoryPath(const I18NString& path) {
    I18NString drive;
    I18NString directory;
    if (!SplitPathWhole(path, &drive, &directory, nullptr, nullptr)) {
        ThrowFileSupportException(ENAMETOOLONG);
    }
    // Innermost first; the root ("/", "C:/") never enters the list.
    std::vector<I18NString> levels;
    while (directory.length() > 1) {
        I18NString level;
        MakePath(level, &drive, &directory, nullptr, nullptr);
        levels.push_back(level);
        level.erase(level.length() - 1);
        SplitPath(level, nullptr, &directory, nullptr, nullptr);
    }
    for (auto level = levels.rbegin(); level != levels.rend(); ++level) {
        if (!DirectoryExists(*level)) {
            MakeDirectory(*level);
        }
    }
}

void AUT_I_FileSupport::RemoveFileFromDirectory(const I18NString& directory,
                                                const I18NString& fileName) {
    I18NString drive;
    I18NString directoryPart;
    I18NString name;
    I18NString extension;
    I18NString target;
    if (!SplitPathWhole(directory, &drive, &directoryPart, nullptr, nullptr) ||
        !SplitPathWhole(fileName, nullptr, nullptr, &name, &extension) ||
        !MakePathWhole(target, &drive, &directoryPart, &name, &extension)) {
        // Removing a file of a cut name could remove the wrong one.
        ThrowFileSupportException(ENAMETOOLONG);
    }
    // unlink, not remove: a directory that happens to carry the name is not a file to delete.
    if (unlink(target.c_str()) == -1) {
        ThrowFileSupportException(static_cast<unsigned long>(errno));
    }
}

I18NString AUT_I_FileSupport::GetExeDirectory() {
    I18NString directory(".");
    BrxConfigurationFactory::getInstance().resolveInstallPath(directory);
    return directory + "/";
}

I18NString AUT_I_FileSupport::GetLibraryDirectory() {
    return GetExeDirectory();
}
