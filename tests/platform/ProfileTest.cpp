#include "AutTestSupport.h"
#include "Table.h"

#include <WinProfile.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Reads (section, key) of the file `path` into a buffer of `size` bytes, checking that the
// call's count matches the text and that nothing was written past the buffer.
std::string read(const std::string& path,
                 const char* section,
                 const char* key,
                 std::uint32_t size,
                 const char* defaultValue = "default") {
    std::vector<char> buffer(size + 1, '#');
    const std::uint32_t count =
        GetPrivateProfileStringA(section, key, defaultValue, buffer.data(), size, path.c_str());
    EXPECT_EQ(buffer[size], '#') << "wrote past the buffer";
    EXPECT_TRUE(size == 0 ? count == 0 : count < size && buffer[count] == '\0') << count;
    return std::string(buffer.data(), size == 0 ? 0 : count);
}

// Rows: the file's content ("{ini}": ProfileTest-values.ini), section, key, buffer size, value.
TEST(ProfileTest, ValuesAreFoundAsTheWindowsCallFindsThem) {
    const auttest::TempDir dir;
    const std::string ini = auttest::readFile(AUT_TEST_DATA_DIR "/ProfileTest-values.ini");
    for (const auttest::Row& row : auttest::ReadTable("ProfileTest-reads.tsv", 5)) {
        SCOPED_TRACE(row[0].substr(0, 20) + " " + row[1] + "/" + row[2] + " in " + row[3]);
        const std::string path = dir.writeFile("test.ini", row[0] == "{ini}" ? ini : row[0]);
        EXPECT_EQ(read(path, row[1].c_str(), row[2].c_str(), std::stoul(row[3])), row[4]);
    }
}

// Only a regular file of at most 16 MiB is read, opened without blocking, and a line of it
// keeps its first MiB; anything else gives the default exactly as given.
TEST(ProfileTest, OnlyABoundedRegularFileIsRead) {
    const auttest::TempDir dir;
    alarm(60); // a FIFO or /dev/zero used to hang the reader
    mkfifo(dir.file("fifo").c_str(), 0600);
    const std::string path =
        dir.writeFile("test.ini", "[S]\nk=" + std::string((16u << 20) - 6, 'v'));
    EXPECT_EQ(read(path, "S", "k", 4u << 20), std::string((1u << 20) - 2, 'v'));
    truncate(path.c_str(), (16 << 20) + 1);
    for (const std::string& file : {path, dir.file("fifo"), std::string("/dev/zero"), dir.path()}) {
        EXPECT_EQ(read(file, "S", "k", 32, "\tkept  \t"), "\tkept  \t") << file;
    }
    EXPECT_EQ(read(dir.path(), "S", "k", 32, nullptr), "");
    alarm(0);
}

} // namespace
