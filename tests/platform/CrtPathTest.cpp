// The C runtime and Windows names under the file support: splitting and joining within fixed
// buffers (the rules themselves are tested through AUT_I_FileSupport), the directory search
// and its patterns, error texts, the system directory.
#include "AutTestSupport.h"

#include <algorithm>
#include <cerrno>
#include <crt_io.h>
#include <crt_path.h>
#include <cstdlib>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <win32_errors.h>
#include <win32_files.h>
#include <win32_sysinfo.h>

namespace {

// Output buffers of the runtime's sizes, each followed by guard bytes that must stay intact.
struct SplitBuffers {
    static constexpr char kGuard = 0x5A;
    static constexpr std::size_t kSlack = 16;
    char drive[_MAX_DRIVE + kSlack];
    char dir[_MAX_DIR + kSlack];
    char fname[_MAX_FNAME + kSlack];
    char ext[_MAX_EXT + kSlack];

    SplitBuffers() {
        std::memset(drive, kGuard, sizeof drive);
        std::memset(dir, kGuard, sizeof dir);
        std::memset(fname, kGuard, sizeof fname);
        std::memset(ext, kGuard, sizeof ext);
    }
    void split(const char* path) { _splitpath(path, drive, dir, fname, ext); }
    bool guardsIntact() const {
        auto intact = [](const char* buffer, std::size_t size) {
            return std::all_of(buffer + size, buffer + size + kSlack,
                               [](char c) { return c == kGuard; });
        };
        return intact(drive, _MAX_DRIVE) && intact(dir, _MAX_DIR) && intact(fname, _MAX_FNAME) &&
               intact(ext, _MAX_EXT);
    }
};

// Whether `text` ends on a character boundary: no lead byte without all its continuations.
bool endsOnCharacter(const std::string& text) {
    std::size_t lead = text.size();
    while (lead > 0 && (static_cast<unsigned char>(text[lead - 1]) & 0xC0) == 0x80) {
        --lead;
    }
    if (lead == 0) {
        return text.empty();
    }
    const auto byte = static_cast<unsigned char>(text[lead - 1]);
    const std::size_t sequence = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    return text.size() - (lead - 1) == sequence;
}

std::string repeat(const std::string& piece, std::size_t count) {
    std::string result;
    for (std::size_t i = 0; i < count; ++i) {
        result += piece;
    }
    return result;
}

TEST(CrtPath, OverlongPartsAreCutInsideTheirBuffers) {
    struct Case {
        std::string path;
        std::size_t dir;
        std::size_t fname;
        std::size_t ext;
    };
    const Case cases[] = {
        {std::string(10000, 'a'), 0, 255, 0},
        {std::string(10000, '/'), 255, 0, 0},
        {std::string(10000, '.'), 0, 255, 1},
        {std::string(300, 'd') + "/" + std::string(300, 'f') + "." + std::string(300, 'e'), 255,
         255, 255},
        {std::string(255, 'd') + "/", 255, 0, 0},
        {std::string(254, 'd') + "/" + std::string(255, 'f'), 255, 255, 0},
        // Two-byte characters: an odd cut would split the last one.
        {repeat("\xC3\xA9", 200), 0, 254, 0},
        {repeat("\xE2\x82\xAC", 100) + "/", 255, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.substr(0, 40));
        SplitBuffers out;
        out.split(c.path.c_str());
        EXPECT_TRUE(out.guardsIntact());
        EXPECT_EQ(std::strlen(out.dir), c.dir);
        EXPECT_EQ(std::strlen(out.fname), c.fname);
        EXPECT_EQ(std::strlen(out.ext), c.ext);
        EXPECT_TRUE(endsOnCharacter(out.dir));
        EXPECT_TRUE(endsOnCharacter(out.fname));
    }

    std::mt19937 random(4711);
    for (int round = 0; round < 200; ++round) {
        std::string bytes(1 + random() % 2000, '\0');
        for (char& byte : bytes) {
            byte = static_cast<char>(1 + random() % 255);
        }
        SplitBuffers out;
        out.split(bytes.c_str());
        ASSERT_TRUE(out.guardsIntact()) << "round " << round;
    }
}

TEST(CrtPath, OverlongJoinIsCutInsideTheBuffer) {
    const std::string dir(200, 'd');
    const std::string fname(200, 'f');
    const std::string oddName(201, 'f');
    const std::string wide = repeat("\xC3\xA9", 200);
    struct Case {
        const char* dir;
        const char* fname;
        const char* ext;
        std::size_t length;
    };
    const Case cases[] = {
        {dir.c_str(), fname.c_str(), "log", 259},
        // 202 bytes, then 57 of two-byte characters: the last one would be split.
        {nullptr, oddName.c_str(), wide.c_str(), 258},
        {dir.c_str(), nullptr, nullptr, 201},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        char path[_MAX_PATH + 16];
        std::memset(path, 0x5A, sizeof path);
        _makepath(path, nullptr, c.dir, c.fname, c.ext);
        EXPECT_EQ(std::strlen(path), c.length);
        EXPECT_TRUE(endsOnCharacter(path));
        EXPECT_TRUE(std::all_of(path + _MAX_PATH, path + sizeof path,
                                [](char byte) { return byte == 0x5A; }));
    }
}

// A directory with names chosen to catch a matcher that is too loose or too strict.
class CrtFind : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name :
             {"a.log", "b.log", "ab.log", "a[1].log", "\xC3\xA9.log", "noext", ".hidden"}) {
            f_dir.writeFile(name, "data");
        }
        f_dir.makeDirectory("sub.log");
    }

    // The sorted names that `pattern` (relative to the directory) finds, or the errno of a
    // search that finds nothing.
    std::set<std::string> find(const std::string& pattern, int& error) const {
        std::set<std::string> names;
        _finddata_t found{};
        const std::intptr_t handle = _findfirst(f_dir.file(pattern).c_str(), &found);
        error = handle == -1 ? errno : 0;
        if (handle == -1) {
            return names;
        }
        do {
            names.insert(found.name);
        } while (_findnext(handle, &found) == 0);
        EXPECT_EQ(errno, ENOENT);
        EXPECT_EQ(_findclose(handle), 0);
        return names;
    }

    auttest::TempDir f_dir;
};

TEST_F(CrtFind, WildcardsMatchWholeCharacters) {
    struct Case {
        const char* pattern;
        std::set<std::string> names;
        int error;
    };
    const Case cases[] = {
        {"*.log", {"a.log", "b.log", "ab.log", "a[1].log", "\xC3\xA9.log", "sub.log"}, 0},
        {"?.log", {"a.log", "b.log", "\xC3\xA9.log"}, 0},
        {"??.log", {"ab.log"}, 0},
        {"a[1].log", {"a[1].log"}, 0},
        {"a*.l?g", {"a.log", "ab.log", "a[1].log"}, 0},
        {"*x*", {"noext"}, 0},
        {".*", {".", "..", ".hidden"}, 0},
        {"*",
         {".", "..", "a.log", "b.log", "ab.log", "a[1].log", "\xC3\xA9.log", "noext", ".hidden",
          "sub.log"},
         0},
        {"noext", {"noext"}, 0},
        {"zzz*", {}, ENOENT},
        {"missing", {}, ENOENT},
        {"missing/*.log", {}, ENOENT},
        {"a.log/*", {}, ENOTDIR},
        {"sub.log/", {}, ENOENT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern);
        int error = 0;
        EXPECT_EQ(find(c.pattern, error), c.names);
        EXPECT_EQ(error, c.error);
    }
}

TEST_F(CrtFind, AttributesTellDirectoriesFromFiles) {
    _finddata_t found{};
    std::intptr_t handle = _findfirst(f_dir.file("sub.*").c_str(), &found);
    ASSERT_NE(handle, -1);
    EXPECT_NE(found.attrib & _A_SUBDIR, 0u);
    EXPECT_EQ(_findclose(handle), 0);

    handle = _findfirst(f_dir.file("a.log").c_str(), &found);
    ASSERT_NE(handle, -1);
    EXPECT_EQ(found.attrib & _A_SUBDIR, 0u);
    EXPECT_EQ(found.size, 4u);
    EXPECT_EQ(_findclose(handle), 0);

    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(f_dir.file("sub.lo?").c_str(), &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(data.cFileName, "sub.log");
    EXPECT_EQ(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(FindNextFileA(search, &data), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
    EXPECT_EQ(FindClose(search), TRUE);

    EXPECT_EQ(FindFirstFileA(f_dir.file("none*").c_str(), &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(_findnext(-1, &found), -1);
    EXPECT_EQ(errno, EINVAL);
}

TEST(Win32Names, FormatMessageGivesTheSystemText) {
    const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    const DWORD language = MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT);
    char text[256];
    for (int code : {ENOENT, EACCES, ENOTDIR}) {
        SCOPED_TRACE(code);
        const DWORD length = FormatMessageA(flags, nullptr, code, language, text, 256, nullptr);
        EXPECT_STREQ(text, std::strerror(code));
        EXPECT_EQ(length, std::strlen(std::strerror(code)));
    }
    ASSERT_NE(FormatMessageA(flags, nullptr, ERROR_NO_MORE_FILES, language, text, 256, nullptr),
              0u);
    EXPECT_STREQ(text, "There are no more files.");

    std::strcpy(text, "untouched");
    EXPECT_EQ(FormatMessageA(flags, nullptr, ENOENT, language, text, 4, nullptr), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_STREQ(text, "untouched");
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_STRING, "x", 0, 0, text, 256, nullptr), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(Win32Names, WindowsDirectoryIsTheConfiguredOne) {
    auttest::TempDir dir;
    const std::string file = dir.writeFile("plain", "");
    char buffer[MAX_PATH];

    unsetenv("ORQ_SYSTEM_DIR");
    ASSERT_EQ(GetWindowsDirectoryA(buffer, MAX_PATH), 4u);
    EXPECT_STREQ(buffer, "/etc");

    setenv("ORQ_SYSTEM_DIR", dir.path().c_str(), 1);
    EXPECT_EQ(GetWindowsDirectoryA(buffer, MAX_PATH), dir.path().size());
    EXPECT_EQ(buffer, dir.path());
    // Too small: the size needed, NUL included, and nothing written.
    std::strcpy(buffer, "untouched");
    EXPECT_EQ(GetWindowsDirectoryA(buffer, 3), dir.path().size() + 1);
    EXPECT_STREQ(buffer, "untouched");

    setenv("ORQ_SYSTEM_DIR", file.c_str(), 1);
    EXPECT_EQ(GetWindowsDirectoryA(buffer, MAX_PATH), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ENOTDIR));
    setenv("ORQ_SYSTEM_DIR", dir.file("missing").c_str(), 1);
    EXPECT_EQ(GetWindowsDirectoryA(buffer, MAX_PATH), 0u);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    unsetenv("ORQ_SYSTEM_DIR");
}

TEST(CrtIo, RuntimeModesAndFlagsMapToPosix) {
    auttest::TempDir dir;
    const std::string name = dir.file("f.txt");
    const int fd = _open(name.c_str(), _O_RDWR | _O_CREAT | _O_EXCL, _S_IREAD | _S_IWRITE);
    ASSERT_NE(fd, -1);
    EXPECT_EQ(_open(name.c_str(), _O_RDWR | _O_CREAT | _O_EXCL, _S_IREAD | _S_IWRITE), -1);
    EXPECT_EQ(errno, EEXIST);
    // The runtime's text-mode letter is accepted.
    FILE* stream = _fdopen(fd, "w+t");
    ASSERT_NE(stream, nullptr);
    std::fputs("12345", stream);
    std::fflush(stream);
    EXPECT_EQ(_filelength(fd), 5);
    std::fclose(stream);
    EXPECT_EQ(_filelength(fd), -1);

    EXPECT_EQ(_access(name.c_str(), _A_EXISTS), 0);
    EXPECT_EQ(_access(name.c_str(), _A_READ | _A_WRITE), 0);
    EXPECT_EQ(_access(name.c_str(), 1), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(_access(dir.file("missing").c_str(), _A_EXISTS), -1);
}

} // namespace
