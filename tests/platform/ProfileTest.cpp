#include "AutTestSupport.h"

#include <WinProfile.h>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

class ProfileTest : public ::testing::Test {
protected:
    // Reads (section, key) of `content` into a buffer of `size` bytes; the text is returned
    // and `count` receives the call's result.
    std::string read(const std::string& content,
                     const char* section,
                     const char* key,
                     const char* defaultValue,
                     std::uint32_t size,
                     std::uint32_t& count) {
        const std::string path = f_dir.writeFile("test.ini", content);
        std::vector<char> buffer(size + 1, '#');
        count =
            GetPrivateProfileStringA(section, key, defaultValue, buffer.data(), size, path.c_str());
        EXPECT_EQ(buffer[size], '#') << "wrote past the buffer";
        if (size == 0) {
            return std::string();
        }
        EXPECT_LT(count, size);
        EXPECT_EQ(buffer[count], '\0');
        return std::string(buffer.data(), count);
    }

    auttest::TempDir f_dir;
};

TEST_F(ProfileTest, ValuesAreFoundAsTheWindowsCallFindsThem) {
    const std::string file = "; leading comment\n"
                             "top = outside any section\n"
                             "[Rendition]\n"
                             "Base Rendition Company=Acme\n"
                             "  Base Rendition Name   =   Spaced Out   \n"
                             "Quoted = \"  kept blanks  \"\n"
                             "Single = 'x'\n"
                             "Unbalanced = \"x\n"
                             "Inline = a ; not a comment\n"
                             "  ; indented comment = no\n"
                             "Empty =\n"
                             "NoEquals\n"
                             "Twice = first\n"
                             "Twice = second\n"
                             "Windows = crlf\r\n"
                             "Equals = a=b\n"
                             "[ Other ]\n"
                             "Key = other\n"
                             "[rendition]\n"
                             "Late = in a repeated section\n";
    struct Case {
        const char* section;
        const char* key;
        const char* expected;
    };
    const Case cases[] = {
        {"Rendition", "Base Rendition Company", "Acme"},
        {"RENDITION", "base rendition company", "Acme"},
        {"Rendition", "Base Rendition Name", "Spaced Out"},
        {"Rendition", "Quoted", "  kept blanks  "},
        {"Rendition", "Single", "x"},
        {"Rendition", "Unbalanced", "\"x"},
        {"Rendition", "Inline", "a ; not a comment"},
        {"Rendition", "; indented comment", "default"},
        {"Rendition", "Empty", ""},
        {"Rendition", "NoEquals", ""},
        {"Rendition", "Twice", "first"},
        {"Rendition", "Windows", "crlf"},
        {"Rendition", "Equals", "a=b"},
        {"other", "KEY", "other"},
        {"Rendition", "Late", "default"},
        {"Rendition", "top", "default"},
        {"Rendition", "Key", "default"},
        {"Missing", "Base Rendition Company", "default"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.section) + "/" + c.key);
        std::uint32_t count = 0;
        EXPECT_EQ(read(file, c.section, c.key, "default", 2048, count), c.expected);
        EXPECT_EQ(count, std::strlen(c.expected));
    }
}

TEST_F(ProfileTest, TheBufferCutsTheValueAndTheDefault) {
    const std::string file = "[S]\nk=0123456789\n";
    struct Case {
        const char* key;
        std::uint32_t size;
        const char* expected;
    };
    const Case cases[] = {
        {"k", 11, "0123456789"}, {"k", 10, "012345678"}, {"k", 2, "0"}, {"k", 1, ""},
        {"missing", 4, "def"},   {"missing", 3, "de"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " in " + std::to_string(c.size));
        std::uint32_t count = 0;
        EXPECT_EQ(read(file, "S", c.key, "default", c.size, count), c.expected);
        EXPECT_EQ(count, std::strlen(c.expected));
    }
    std::uint32_t count = 99;
    read(file, "S", "k", "default", 0, count);
    EXPECT_EQ(count, 0u);
}

TEST_F(ProfileTest, AMissingFileGivesTheDefaultWithoutTrailingBlanks) {
    char buffer[32];
    struct Case {
        const char* file;
        const char* defaultValue;
        const char* expected;
    };
    const std::string directory = f_dir.path();
    const std::string missing = f_dir.file("absent.ini");
    const Case cases[] = {
        {missing.c_str(), "Morvex", "Morvex"},
        {missing.c_str(), "trailing  \t", "trailing"},
        {missing.c_str(), nullptr, ""},
        {"", "empty name", "empty name"},
        {nullptr, "null name", "null name"},
        {directory.c_str(), "a directory", "a directory"},
        {missing.c_str(), "  leading", "  leading"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        const std::uint32_t count =
            GetPrivateProfileStringA("S", "k", c.defaultValue, buffer, sizeof(buffer), c.file);
        EXPECT_STREQ(buffer, c.expected);
        EXPECT_EQ(count, std::strlen(c.expected));
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
    const std::string hugeValue(3u << 20, 'v'); // longer than a line may be
    struct Case {
        const char* what;
        std::string content;
        const char* expected;
    };
    const Case cases[] = {
        {"binary junk", junk, "default"},
        {"junk then the section", junk + "\n[S]\nk=found\n", "found"},
        {"huge value", "[S]\nk=" + hugeValue + "\n", nullptr},
        {"huge line before", std::string(3u << 20, '[') + "\n[S]\nk=after\n", "after"},
        {"NUL inside a value", std::string("[S]\nk=ab\0cd\n", 12), "ab"},
        {"byte order mark", "\xEF\xBB\xBF[S]\nk=bom\n", "bom"},
        {"no newline at the end", "[S]\nk=last", "last"},
        {"unclosed section", "[S\nk=unclosed\n", "unclosed"},
        {"empty", "", "default"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::uint32_t count = 0;
        const std::string value = read(c.content, "S", "k", "default", 64, count);
        if (c.expected != nullptr) {
            EXPECT_EQ(value, c.expected);
        } else {
            EXPECT_EQ(value, std::string(63, 'v'));
        }
    }
}

} // namespace
