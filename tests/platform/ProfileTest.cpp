#include "AutTestSupport.h"
#include "Table.h"

#include <WinProfile.h>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <tuple>
#include <vector>

namespace {

class ProfileTest : public ::testing::Test {
protected:
    // Reads (section, key) of the file `path` into a buffer of `size` bytes; the text is
    // returned and `count` receives the call's result.
    static std::string read(const std::string& path,
                            const char* section,
                            const char* key,
                            std::uint32_t size,
                            std::uint32_t& count) {
        std::vector<char> buffer(size + 1, '#');
        count =
            GetPrivateProfileStringA(section, key, "default", buffer.data(), size, path.c_str());
        EXPECT_EQ(buffer[size], '#') << "wrote past the buffer";
        if (size == 0) {
            return std::string();
        }
        EXPECT_LT(count, size);
        EXPECT_EQ(buffer[count], '\0');
        return std::string(buffer.data(), count);
    }
    std::string read(const std::string& content, const char* key, std::uint32_t size) {
        std::uint32_t count = 0;
        const std::string value = read(f_dir.writeFile("test.ini", content), "S", key, size, count);
        EXPECT_EQ(count, value.size());
        return value;
    }

    auttest::TempDir f_dir;
};

TEST_F(ProfileTest, ValuesAreFoundAsTheWindowsCallFindsThem) {
    const std::string path = std::string(AUT_TEST_DATA_DIR) + "/ProfileTest-values.ini";
    for (const auttest::Row& row : auttest::ReadTable("ProfileTest-values.tsv", 3)) {
        SCOPED_TRACE(row[0] + "/" + row[1]);
        std::uint32_t count = 0;
        EXPECT_EQ(read(path, row[0].c_str(), row[1].c_str(), 2048, count), row[2]);
        EXPECT_EQ(count, row[2].size());
    }
}

TEST_F(ProfileTest, TheBufferCutsTheValueAndTheDefault) {
    const std::string file = "[S]\nk=0123456789\n";
    const std::vector<std::tuple<const char*, std::uint32_t, const char*>> cases = {
        {"k", 11, "0123456789"}, {"k", 10, "012345678"}, {"k", 2, "0"}, {"k", 1, ""},
        {"missing", 4, "def"},   {"missing", 3, "de"},
    };
    for (const auto& [key, size, expected] : cases) {
        SCOPED_TRACE(std::string(key) + " in " + std::to_string(size));
        EXPECT_EQ(read(file, key, size), expected);
    }
    std::uint32_t count = 99;
    read(f_dir.writeFile("test.ini", file), "S", "k", 0, count);
    EXPECT_EQ(count, 0u);
}

TEST_F(ProfileTest, AMissingFileGivesTheDefaultWithoutTrailingBlanks) {
    char buffer[32];
    const std::string directory = f_dir.path();
    const std::string missing = f_dir.file("absent.ini");
    const std::vector<std::tuple<const char*, const char*, const char*>> cases = {
        {missing.c_str(), "Morvex", "Morvex"},
        {missing.c_str(), "trailing  \t", "trailing"},
        {missing.c_str(), nullptr, ""},
        {"", "empty name", "empty name"},
        {nullptr, "null name", "null name"},
        {directory.c_str(), "a directory", "a directory"},
        {missing.c_str(), "  leading", "  leading"},
    };
    for (const auto& [file, defaultValue, expected] : cases) {
        SCOPED_TRACE(expected);
        const std::uint32_t count =
            GetPrivateProfileStringA("S", "k", defaultValue, buffer, sizeof(buffer), file);
        EXPECT_STREQ(buffer, expected);
        EXPECT_EQ(count, std::strlen(expected));
    }
}

TEST_F(ProfileTest, NullNamesListSectionsAndKeys) {
    const std::string path = f_dir.writeFile("list.ini", "[One]\na=1\nbb = 2\n[Two]\nc=3\n");
    char buffer[64];
    std::uint32_t count =
        GetPrivateProfileStringA(nullptr, nullptr, "d", buffer, sizeof(buffer), path.c_str());
    EXPECT_EQ(std::string(buffer, count + 1), std::string("One\0Two\0\0", 9));
    count = GetPrivateProfileStringA("one", nullptr, "d", buffer, sizeof(buffer), path.c_str());
    EXPECT_EQ(std::string(buffer, count + 1), std::string("a\0bb\0\0", 6));
    // A list that does not fit is cut and still ends in two NULs.
    char small[7];
    count = GetPrivateProfileStringA(nullptr, nullptr, "d", small, sizeof(small), path.c_str());
    EXPECT_EQ(count, 5u);
    EXPECT_EQ(std::string(small, 7), std::string("One\0T\0\0", 7));
    // The first name fills all but the final NUL: the second is dropped whole.
    count = GetPrivateProfileStringA(nullptr, nullptr, "d", small, 5, path.c_str());
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(std::string(small, 5), std::string("One\0\0", 5));
}

TEST_F(ProfileTest, HostileFilesAreReadWithoutHarm) {
    std::string junk;
    for (int i = 0; i < 70000; ++i) {
        junk.push_back(static_cast<char>((i * 7919) & 0xFF));
    }
    const std::string huge(3u << 20, 'v'); // longer than a line may be
    const std::pair<std::string, std::string> cases[] = {
        {junk, "default"},
        {junk + "\n[S]\nk=found\n", "found"},
        {"[S]\nk=" + huge + "\n", std::string(63, 'v')},
        {std::string(3u << 20, '[') + "\n[S]\nk=after\n", "after"},
        {std::string("[S]\nk=ab\0cd\n", 12), "ab"},
        {"\xEF\xBB\xBF[S]\nk=bom\n", "bom"},
        {"[S]\nk=last", "last"},
        {"[S\nk=unclosed\n", "unclosed"},
        {"", "default"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.second.substr(0, 10));
        EXPECT_EQ(read(c.first, "k", 64), c.second);
    }
    // A line keeps its first MiB: the value is what of it follows "k=".
    EXPECT_EQ(read("[S]\nk=" + huge + "\n", "k", 4u << 20).size(), (1u << 20) - 2);
}

} // namespace
