// The C runtime and Windows names under the file support: splitting and joining within fixed
// buffers (the rules themselves are tested through AUT_I_FileSupport), the directory search
// and its patterns, error texts, the system directory, descriptors and directory modes.
#include "AutTestSupport.h"
#include "ReliabilitySupport.h"
#include "Table.h"

#include <crt_io.h>
#include <crt_path.h>
#include <cstring>
#include <iterator>
#include <set>
#include <sstream>
#include <win32_errors.h>
#include <win32_files.h>
#include <win32_sysinfo.h>

// Each output buffer is followed by 16 '#' guard bytes that must stay intact.
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
            EXPECT_EQ(std::strlen(out[i].c_str()), c.lengths[i]);
            EXPECT_EQ(out[i].find_first_not_of('#', sizes[i]), std::string::npos);
        }
    }
    // Joined: 200 + 200 + 4 bytes are cut at 259; 202 bytes and 57 two-byte characters would
    // split the last one.
    const std::string dir(200, 'd'), fname(200, 'f'), oddName(201, 'f');
    for (const auto& [parts, length] :
         {std::pair(std::vector<const char*>{dir.c_str(), fname.c_str(), "log"}, 259u),
          {{nullptr, oddName.c_str(), wide.c_str()}, 258u}}) {
        std::string path(_MAX_PATH + 16, '#');
        _makepath(&path[0], nullptr, parts[0], parts[1], parts[2]);
        EXPECT_EQ(std::strlen(path.c_str()), length);
        EXPECT_EQ(path.find_first_not_of('#', _MAX_PATH), std::string::npos);
    }
}

TEST(CrtFind, WildcardsMatchWholeCharactersAndAttributesFollow) {
    // Names chosen to catch a matcher that is too loose or too strict.
    auttest::TempDir dir;
    for (const char* name :
         {"a.log", "b.log", "ab.log", "a[1].log", "\xC3\xA9.log", "noext", ".hidden"}) {
        dir.writeFile(name, "");
    }
    dir.makeDirectory("sub.log");
    for (const auttest::Row& row : auttest::ReadTable("CrtPathTest-find.tsv", 3)) {
        SCOPED_TRACE(row[0]);
        std::istringstream words(row[1]);
        const std::set<std::string> expected{std::istream_iterator<std::string>(words), {}};
        std::set<std::string> names;
        WIN32_FIND_DATAA data;
        const HANDLE search = FindFirstFileA(dir.file(row[0]).c_str(), &data);
        for (BOOL more = search != INVALID_HANDLE_VALUE; more;
             more = FindNextFileA(search, &data)) {
            const DWORD attributes = data.dwFileAttributes;
            names.insert(data.cFileName +
                         std::string(attributes & FILE_ATTRIBUTE_DIRECTORY ? "/" : "") +
                         (attributes & FILE_ATTRIBUTE_HIDDEN ? "(hidden)" : ""));
        }
        EXPECT_EQ(GetLastError(), row[2].empty() ? ERROR_NO_MORE_FILES : std::stoul(row[2]));
        EXPECT_EQ(names, expected);
        EXPECT_TRUE(search == INVALID_HANDLE_VALUE || FindClose(search));
    }
    EXPECT_EQ(_findclose(-1), -1);
}

TEST(Win32Names, TextsAndDirectoriesNeedRoomForTheirNul) {
    const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    const std::string text = "There are no more files.";
    char buffer[MAX_PATH];
    EXPECT_EQ(FormatMessageA(flags, nullptr, ERROR_NO_MORE_FILES, 0, buffer, text.size(), nullptr),
              0u);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(
        FormatMessageA(flags, nullptr, ERROR_NO_MORE_FILES, 0, buffer, text.size() + 1, nullptr),
        text.size());
    EXPECT_EQ(buffer, text);

    // The system directory: "/etc" unless configured; too small a buffer gets the size needed.
    auttest::TempDir dir;
    unsetenv("ORQ_SYSTEM_DIR");
    ASSERT_EQ(GetWindowsDirectoryA(buffer, MAX_PATH), 4u);
    EXPECT_STREQ(buffer, "/etc");
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

TEST(CrtIo, RuntimeModesMapToPosix) {
    auttest::TempDir dir;
    const std::string name = dir.writeFile("f.txt", "");
    // The text-mode letter is accepted; an access mode the runtime lacks is refused.
    FILE* stream = _fdopen(_open(name.c_str(), _O_RDWR, 0), "w+t");
    ASSERT_NE(stream, nullptr);
    std::fclose(stream);
    EXPECT_EQ(_access(name.c_str(), _A_READ | _A_WRITE), 0);
    EXPECT_EQ(_access(name.c_str(), 1), -1);
    EXPECT_EQ(errno, EINVAL);
}

// What the library opens and makes is its own: no descriptor for children or at 0 to 2 (where
// a closed standard output would send anyone's printf into a log), no directory for others.
TEST(CrtIo, DescriptorsAndDirectoriesStayTheOwners) {
    auttest::TempDir dir;
    const std::string name = dir.writeFile("f.txt", "");
    EXPECT_EQ(reliability::RunInChild(
                  [&] {
                      close(STDOUT_FILENO);
                      umask(0);
                      const int fd = _open(name.c_str(), _O_RDWR, 0);
                      struct stat status {};
                      if (fd <= STDERR_FILENO || (fcntl(fd, F_GETFD) & FD_CLOEXEC) == 0 ||
                          _mkdir((name + ".d").c_str()) != 0 ||
                          stat((name + ".d").c_str(), &status) != 0) {
                          return std::string("a low or inherited descriptor");
                      }
                      return (status.st_mode & 0777) == 0700
                                 ? std::string()
                                 : "mode " + std::to_string(status.st_mode & 0777);
                  },
                  10),
              "");
}
