// The log file family (AUT_LogFileFamily) and the function objects it is built from.
#include "UTLogFile.h"
#include "UTLogFileInternal.h"
#include "UTStringSupport.h"
#include "uti_filesupport.h"
#include "uti_filesupportInternal.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <crt_io.h>
#include <crt_path.h>
#include <crt_string.h>
#include <cstring>
#include <ctime>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace {

// "%Y%m%d" of today into `text` (room for 16); empty when the clock cannot be read.
void FormatToday(char (&text)[16]) {
    long now = static_cast<long>(std::time(nullptr));
    std::tm local{};
    if (aut::localtime_r(&now, &local) == nullptr ||
        std::strftime(text, sizeof(text), "%Y%m%d", &local) == 0) {
        text[0] = '\0';
    }
}

// How long a rotation waits for another process's listing, create and pruning: those take
// milliseconds; a holder stopped for longer must not stop this process's logging.
constexpr auto kFamilyLockPatience = std::chrono::seconds(5);

// Whether another open file description holds a lock on `path` (a process still writes it).
// While this returns false the caller holds the file exclusively through `fd`, which it
// closes; a file that cannot be opened is not held by anyone.
bool HeldElsewhere(const I18NString& path, int& fd) {
    fd = _open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK, 0);
    return fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}

} // namespace

// ---- The family ----------------------------------------------------------------------------

bool AUT_LogFileFamily::Fits(const I18NString& logFileName) {
    I18NString drive;
    I18NString directory;
    I18NString baseName;
    I18NString extension;
    if (!SplitPathWhole(logFileName, &drive, &directory, &baseName, &extension) ||
        baseName.empty()) {
        return false;
    }
    // Every member is as long as this one: the date and the number have fixed widths.
    const I18NString member =
        baseName + "_" + I18NString(U'0', kDateLength) + "_" + I18NString(U'0', kSequenceLength);
    I18NString path;
    return std::strlen((member + extension).c_str()) < _MAX_FNAME &&
           MakePathWhole(path, &drive, &directory, &member, &extension);
}

AUT_LogFileFamily::Lock::Lock(const AUT_LogFileFamily& family)
    : f_fd(-1) {
    I18NString directory;
    AUT_I_FileSupport::MakePath(directory, &family.f_drive, &family.f_directory, nullptr, nullptr);
    f_fd = _open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY, 0);
    const auto deadline = std::chrono::steady_clock::now() + kFamilyLockPatience;
    while (f_fd >= 0 && flock(f_fd, LOCK_EX | LOCK_NB) != 0) {
        if ((errno != EWOULDBLOCK && errno != EINTR) ||
            std::chrono::steady_clock::now() > deadline) {
            close(f_fd);
            f_fd = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

AUT_LogFileFamily::Lock::~Lock() {
    if (f_fd >= 0) {
        close(f_fd); // releases the lock
    }
}

AUT_LogFileFamily::AUT_LogFileFamily(const I18NString& logFileName) {
    AUT_I_FileSupport::SplitPath(logFileName, &f_drive, &f_directory, &f_baseName, &f_extension);
}

std::vector<I18NString> AUT_LogFileFamily::List() const {
    const I18NString members = f_baseName + "_????????_????";
    I18NString pattern;
    AUT_I_FileSupport::MakePath(pattern, &f_drive, &f_directory, &members, &f_extension);
    std::vector<I18NString> names;
    AUT_I_FileSupport::GetExistingFilesFromDirectory(pattern, names, true);
    const AUT_PredicateLogFileNameIsValid isValid(static_cast<unsigned long>(f_baseName.length()),
                                                  kDateLength, kSequenceLength);
    names.erase(std::remove_if(names.begin(), names.end(),
                               [&isValid](const I18NString& name) { return !isValid(name); }),
                names.end());
    std::sort(names.begin(), names.end(), AUT_PredicateStringCompare(I18NString()));
    return names;
}

I18NString AUT_LogFileFamily::PathOf(const I18NString& name) const {
    I18NString path;
    AUT_I_FileSupport::MakePath(path, &f_drive, &f_directory, &name, nullptr);
    return path;
}

I18NString AUT_LogFileFamily::NextName(const std::vector<I18NString>& listed) const {
    unsigned long sequence = listed.empty() ? 0 : SequenceOf(listed.back());
    if (++sequence > kLastSequence) {
        sequence = 1;
    }
    return f_baseName + "_" + Today() + "_" + SequenceText(sequence) + f_extension;
}

long AUT_LogFileFamily::Create(const I18NString& name) const {
    const long fd = AUT_I_FileSupport::OpenFile(PathOf(name), _O_RDWR | _O_CREAT | _O_EXCL,
                                                _S_IREAD | _S_IWRITE);
    // Advisory only: it keeps other processes' pruning away, never a reader.
    flock(static_cast<int>(fd), LOCK_SH | LOCK_NB);
    return fd;
}

void AUT_LogFileFamily::Prune(const std::vector<I18NString>& listed, std::size_t limit) const {
    if (listed.size() <= limit) {
        return;
    }
    // The names were listed before the new file existed; deleting one more than the excess
    // still leaves the limit + 1 files after this rotation when exactly the limit was there.
    const std::size_t count = listed.size() - limit + 1;
    I18NString directory;
    AUT_I_FileSupport::MakePath(directory, &f_drive, &f_directory, nullptr, nullptr);
    const AUT_PredicateRemoveFileFromDirectory remove(directory);
    for (std::size_t i = 0; i < count; ++i) {
        int fd = -1;
        if (!HeldElsewhere(PathOf(listed[i]), fd)) {
            remove(listed[i]);
        }
        if (fd >= 0) {
            close(fd);
        }
    }
}

I18NString AUT_LogFileFamily::Today() {
    char today[16];
    FormatToday(today);
    return I18NString(today);
}

I18NString AUT_LogFileFamily::SequenceText(unsigned long number) {
    I18NString digits = AUT_ToString(number);
    if (digits.length() < static_cast<long>(kSequenceLength)) {
        digits.insert(0, I18NString(U'0', static_cast<long>(kSequenceLength) - digits.length()));
    }
    return digits;
}

unsigned long AUT_LogFileFamily::SequenceOf(const I18NString& name) const {
    const long k = f_baseName.length() + 1;
    if (name.substring(k, k + static_cast<long>(kDateLength)) == Today()) {
        const long sequenceStart = k + static_cast<long>(kDateLength) + 1;
        return AUT_ToUInt(
            name.substring(sequenceStart, sequenceStart + static_cast<long>(kSequenceLength)));
    }
    return 0; // a new day starts again at 1
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
    char today[16];
    FormatToday(today);
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

namespace {

I18NString& TestBaseName() {
    static I18NString baseName;
    return baseName;
}

AUT_LogFileFamily TestFamily() {
    return AUT_LogFileFamily(TestBaseName() + ".log");
}

} // namespace

I18NString LogFileTestAccess::GetDate() {
    return AUT_LogFileFamily::Today();
}

I18NString LogFileTestAccess::GenerateSequenceString(unsigned long number) {
    return AUT_LogFileFamily::SequenceText(number);
}

unsigned long LogFileTestAccess::GetLastSequenceNumber(const I18NString& fileName) {
    return TestFamily().SequenceOf(fileName);
}

void LogFileTestAccess::FilterExistingLogFileNames(std::vector<I18NString>& fileNames) {
    const AUT_PredicateLogFileNameIsValid isValid(
        static_cast<unsigned long>(TestBaseName().length()), AUT_LogFileFamily::kDateLength,
        AUT_LogFileFamily::kSequenceLength);
    fileNames.erase(std::remove_if(fileNames.begin(), fileNames.end(),
                                   [&isValid](const I18NString& name) { return !isValid(name); }),
                    fileNames.end());
}

void LogFileTestAccess::SetLogBaseName(const I18NString& baseName) {
    TestBaseName() = baseName;
}
