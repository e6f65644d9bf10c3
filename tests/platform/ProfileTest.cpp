#include "AutTestSupport.h"
#include "Table.h"

#include <WinProfile.h>
#include <gtest/gtest.h>
#include <string>
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

TEST(ProfileTest, NoFileGivesTheDefaultWithoutTrailingBlanks) {
    const auttest::TempDir dir;
    EXPECT_EQ(read(dir.file("absent.ini"), "S", "k", 32, "  kept  \t"), "  kept");
    EXPECT_EQ(read(dir.path(), "S", "k", 32, nullptr), "");
}

TEST(ProfileTest, NullNamesListSectionsAndKeys) {
    const auttest::TempDir dir;
    const std::string path = dir.writeFile("list.ini", "[One]\na=1\nbb = 2\n[Two]\nc=3\n");
    char buffer[64];
    std::uint32_t count =
        GetPrivateProfileStringA(nullptr, nullptr, "d", buffer, sizeof(buffer), path.c_str());
    EXPECT_EQ(std::string(buffer, count + 1), std::string("One\0Two\0\0", 9));
    count = GetPrivateProfileStringA("one", nullptr, "d", buffer, sizeof(buffer), path.c_str());
    EXPECT_EQ(std::string(buffer, count + 1), std::string("a\0bb\0\0", 6));
    // A list that does not fit is cut and still ends in two NULs; when the first name fills
    // all but the final NUL, the second is dropped whole.
    EXPECT_EQ(GetPrivateProfileStringA(nullptr, nullptr, "d", buffer, 7, path.c_str()), 5u);
    EXPECT_EQ(std::string(buffer, 7), std::string("One\0T\0\0", 7));
    EXPECT_EQ(GetPrivateProfileStringA(nullptr, nullptr, "d", buffer, 5, path.c_str()), 3u);
    EXPECT_EQ(std::string(buffer, 5), std::string("One\0\0", 5));
}

TEST(ProfileTest, HostileFilesAreReadWithoutHarm) {
    const auttest::TempDir dir;
    std::string junk;
    for (int i = 0; i < 70000; ++i) {
        junk.push_back(static_cast<char>((i * 7919) & 0xFF));
    }
    const std::string huge(3u << 20, 'v'); // longer than a line may be
    EXPECT_EQ(read(dir.writeFile("test.ini", junk + "\n[S]\nk=found\n"), "S", "k", 64), "found");
    // A line keeps its first MiB: the value is what of it follows "k=".
    const std::string path = dir.writeFile("test.ini", "[S]\nk=" + huge + "\n");
    EXPECT_EQ(read(path, "S", "k", 4u << 20).size(), (1u << 20) - 2);
}

} // namespace
