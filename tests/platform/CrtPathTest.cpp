// The C runtime and Windows names under the file support: splitting and joining within fixed
// buffers (the rules themselves are tested through AUT_I_FileSupport), the directory search
// and its patterns, error texts, the system directory.
#include "AutTestSupport.h"
#include "Table.h"

#include <I18NString.h>
#include <cerrno>
#include <crt_io.h>
#include <crt_path.h>
#include <cstring>
#include <iterator>
#include <set>
#include <sstream>
#include <win32_errors.h>
#include <win32_files.h>
#include <win32_sysinfo.h>

// Whether `out` holds a text of `length` bytes and the guard bytes after its first `size` are
// intact.
testing::AssertionResult fits(const std::string& out, std::size_t size, std::size_t length) {
    if (out.find_first_not_of('#', size) != std::string::npos) {
        return testing::AssertionFailure() << "written past " << size << " bytes";
    }
    return std::strlen(out.c_str()) == length
               ? testing::AssertionSuccess()
               : testing::AssertionFailure() << "cut at " << out.c_str();
}

TEST(CrtPath, OverlongPartsAreCutInsideTheirBuffers) {
    const std::string wide = I18NString(U'\u00E9', 200).c_str();
    struct Case {
        std::string path;
        std::size_t lengths[4]; // drive, directory, file name, extension
    };
    const Case cases[] = {
        {std::string(10000, 'a'), {0, 0, 255, 0}},
        {std::string(10000, '\\') + "x.y", {0, 255, 1, 2}},
        {std::string(10000, '.'), {0, 0, 255, 1}},
        {"C:" + std::string(300, 'd') + "/" + std::string(300, 'f') + "." + std::string(300, 'e'),
         {2, 255, 255, 255}},
        {std::string(255, 'd') + "/", {0, 255, 0, 0}},
        {std::string(254, 'd') + "/" + std::string(255, 'f'), {0, 255, 255, 0}},
        // Two-byte characters are never split: 254 bytes of them.
        {wide, {0, 0, 254, 0}},
    };
    const std::size_t sizes[] = {_MAX_DRIVE, _MAX_DIR, _MAX_FNAME, _MAX_EXT};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.substr(0, 40));
        std::string out[4];
        for (int i = 0; i < 4; ++i) {
            out[i].assign(sizes[i] + 16, '#');
        }
        _splitpath(c.path.c_str(), &out[0][0], &out[1][0], &out[2][0], &out[3][0]);
        for (int i = 0; i < 4; ++i) {
            EXPECT_TRUE(fits(out[i], sizes[i], c.lengths[i]));
        }
    }
    // Joined: 200 + 200 + 4 is cut at 259; 202 bytes and 57 two-byte characters would split the
    // last one.
    const std::string dir(200, 'd'), fname(200, 'f'), oddName(201, 'f');
    std::string path(_MAX_PATH + 16, '#');
    _makepath(&path[0], nullptr, dir.c_str(), fname.c_str(), "log");
    EXPECT_TRUE(fits(path, _MAX_PATH, 259));
    _makepath(&path[0], nullptr, nullptr, oddName.c_str(), wide.c_str());
    EXPECT_TRUE(fits(path, _MAX_PATH, 258));
    _makepath(&path[0], nullptr, dir.c_str(), nullptr, nullptr);
    EXPECT_TRUE(fits(path, _MAX_PATH, 201));
}

// A directory with names chosen to catch a matcher that is too loose or too strict.
class CrtFind : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"a.log", "b.log", "ab.log", "a[1].log", "\xC3\xA9.log", "noext"}) {
            f_dir.writeFile(name, "");
        }
        f_dir.writeFile(".hidden", "");
        f_dir.makeDirectory("sub.log");
    }

    auttest::TempDir f_dir;
};

TEST_F(CrtFind, WildcardsMatchWholeCharacters) {
    for (const auttest::Row& row : auttest::ReadTable("CrtPathTest-find.tsv", 3)) {
        SCOPED_TRACE(row[0]);
        std::istringstream words(row[1]);
        const std::set<std::string> expected{std::istream_iterator<std::string>(words), {}};
        std::set<std::string> names;
        _finddata_t found{};
        const std::intptr_t handle = _findfirst(f_dir.file(row[0]).c_str(), &found);
        for (bool more = handle != -1; more; more = _findnext(handle, &found) == 0) {
            names.insert(found.name);
        }
        // The error that ended the search: ENOENT, unless another is given.
        EXPECT_EQ(errno, row[2] == "ENOTDIR" ? ENOTDIR : ENOENT);
        EXPECT_EQ(names, expected);
        EXPECT_TRUE(handle == -1 || _findclose(handle) == 0);
    }
    _finddata_t found{};
    EXPECT_EQ(_findnext(-1, &found), -1);
    EXPECT_EQ(errno, EINVAL);
}

TEST_F(CrtFind, AttributesTellDirectoriesAndHiddenFiles) {
    for (const auto& [pattern, attributes] : {std::pair(".hid*", FILE_ATTRIBUTE_HIDDEN),
                                              {"sub.lo?", FILE_ATTRIBUTE_DIRECTORY},
                                              {"a.log", FILE_ATTRIBUTE_NORMAL}}) {
        SCOPED_TRACE(pattern);
        WIN32_FIND_DATAA data;
        HANDLE search = FindFirstFileA(f_dir.file(pattern).c_str(), &data);
        ASSERT_NE(search, INVALID_HANDLE_VALUE);
        EXPECT_EQ(data.dwFileAttributes, attributes);
        EXPECT_EQ(FindNextFileA(search, &data), FALSE);
        EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
        EXPECT_EQ(FindClose(search), TRUE);
    }
}

TEST(Win32Names, FormatMessageGivesTheSystemText) {
    const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    const std::string text = std::strerror(ENOENT);
    char buffer[256] = "untouched";
    // Room for the text and its NUL is enough; one byte less is not, and writes nothing.
    EXPECT_EQ(FormatMessageA(flags, nullptr, ENOENT, 0, buffer, text.size(), nullptr), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_STREQ(buffer, "untouched");
    EXPECT_EQ(FormatMessageA(flags, nullptr, ENOENT, 0, buffer, text.size() + 1, nullptr),
              text.size());
    EXPECT_EQ(buffer, text);
    ASSERT_NE(FormatMessageA(flags, nullptr, ERROR_NO_MORE_FILES, 0, buffer, 256, nullptr), 0u);
    EXPECT_STREQ(buffer, "There are no more files.");
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_STRING, "x", 0, 0, buffer, 256, nullptr), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(Win32Names, WindowsDirectoryIsTheConfiguredOne) {
    auttest::TempDir dir;
    char buffer[MAX_PATH] = "untouched";
    unsetenv("ORQ_SYSTEM_DIR");
    ASSERT_EQ(GetWindowsDirectoryA(buffer, MAX_PATH), 4u);
    EXPECT_STREQ(buffer, "/etc");

    // One byte too small: the size needed, NUL included, and nothing written.
    setenv("ORQ_SYSTEM_DIR", dir.path().c_str(), 1);
    const UINT length = dir.path().size();
    EXPECT_EQ(GetWindowsDirectoryA(buffer, length), length + 1);
    EXPECT_STREQ(buffer, "/etc");
    EXPECT_EQ(GetWindowsDirectoryA(buffer, length + 1), length);
    EXPECT_EQ(buffer, dir.path());

    setenv("ORQ_SYSTEM_DIR", dir.writeFile("plain", "").c_str(), 1);
    EXPECT_EQ(GetWindowsDirectoryA(buffer, MAX_PATH), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ENOTDIR));
    unsetenv("ORQ_SYSTEM_DIR");
}

TEST(CrtIo, RuntimeModesAndFlagsMapToPosix) {
    auttest::TempDir dir;
    const std::string name = dir.file("f.txt");
    const int fd = _open(name.c_str(), _O_RDWR | _O_CREAT | _O_EXCL, _S_IREAD | _S_IWRITE);
    // The runtime's text-mode letter is accepted.
    FILE* stream = _fdopen(fd, "w+t");
    ASSERT_NE(stream, nullptr);
    std::fputs("12345", stream);
    std::fflush(stream);
    EXPECT_EQ(_filelength(fd), 5);
    std::fclose(stream);
    EXPECT_EQ(_filelength(fd), -1);

    EXPECT_EQ(_access(name.c_str(), _A_READ | _A_WRITE), 0);
    EXPECT_EQ(_access(name.c_str(), 1), -1);
    EXPECT_EQ(errno, EINVAL);
}
