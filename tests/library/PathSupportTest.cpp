// Path handling of AUT_I_FileSupport: splitting and joining, name checks, directory chains,
// removal by name, and the installation's and the system's directories.
#include "AUTInitialize.h"
#include "AutTestSupport.h"
#include "FileSupportError.h"
#include "UTException.h"
#include "uti_filesupport.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <sys/stat.h>

namespace {

using auttest::FileSupportError;
using auttest::Thrown;

bool isDirectory(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

class PathSupport : public auttest::InitializedTest {
protected:
    void TearDown() override {
        unsetenv("ORQ_SYSTEM_DIR");
        InitializedTest::TearDown();
    }
};

TEST(PathSplit, PartsFollowTheRuntimeRules) {
    struct Case {
        const char* path;
        const char* drive;
        const char* directory;
        const char* fileName;
        const char* extension;
    };
    const Case cases[] = {
        {"C:/logs/app.log", "C:", "/logs/", "app", ".log"},
        {"archive.tar.gz", "", "", "archive.tar", ".gz"},
        {"dir.d/file", "", "dir.d/", "file", ""},
        {"C:", "C:", "", "", ""},
        {"C:file", "C:", "", "file", ""},
        {"..hidden", "", "", ".", ".hidden"},
        {".cfg", "", "", "", ".cfg"},
        {"a.b.c.d", "", "", "a.b.c", ".d"},
        {"C:\\logs/sub\\app.x.log", "C:", "\\logs/sub\\", "app.x", ".log"},
        {"/\xC3\xA4rger/d\xC3\xA9j\xC3\xA0.vu", "", "/\xC3\xA4rger/", "d\xC3\xA9j\xC3\xA0", ".vu"},
        {"\\\\server\\share\\f.txt", "", "\\\\server\\share\\", "f", ".txt"},
        {"...", "", "", "..", "."},
        {"name.", "", "", "name", "."},
        {":x", "", "", ":x", ""},
        {"////", "", "////", "", ""},
        {"dir/", "", "dir/", "", ""},
        {"", "", "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        I18NString drive("x"), directory("x"), fileName("x"), extension("x");
        AUT_I_FileSupport::SplitPath(c.path, &drive, &directory, &fileName, &extension);
        EXPECT_EQ(drive, c.drive);
        EXPECT_EQ(directory, c.directory);
        EXPECT_EQ(fileName, c.fileName);
        EXPECT_EQ(extension, c.extension);
    }
}

TEST(PathSplit, OutputMayBeThePathItself) {
    I18NString path("C:/logs/app.log");
    I18NString extension;
    AUT_I_FileSupport::SplitPath(path, nullptr, nullptr, &path, &extension);
    EXPECT_EQ(path, "app");
    EXPECT_EQ(extension, ".log");

    path = "/a/b.c";
    AUT_I_FileSupport::MakePath(path, nullptr, &path, nullptr, nullptr);
    EXPECT_EQ(path, "/a/b.c/");
}

TEST(PathJoin, PartsFollowTheRuntimeRules) {
    const I18NString none("(null)");
    struct Case {
        I18NString drive;
        I18NString directory;
        I18NString fileName;
        I18NString extension;
        const char* expected;
    };
    const Case cases[] = {
        {"C", "\\logs", "app", "log", "C:\\logs\\app.log"},
        {none, "logs/", "x", none, "logs/x"},
        {none, "logs", "x", none, "logs/x"},
        {"C:", "/logs/", "app", ".log", "C:/logs/app.log"},
        {"", "", "", "", ""},
        {"D", none, "f", none, "D:f"},
        {none, "a\\b/c", "f", "e", "a\\b/c/f.e"},    // the separator the directory last used
        {"\xC3\xA9", none, "f", none, "\xC3\xA9:f"}, // a drive's first character, not byte
        {none, none, none, ".cfg", ".cfg"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        auto part = [&](const I18NString& value) { return value == none ? nullptr : &value; };
        I18NString path("old");
        AUT_I_FileSupport::MakePath(path, part(c.drive), part(c.directory), part(c.fileName),
                                    part(c.extension));
        EXPECT_EQ(path, c.expected);
    }

    I18NString path("old");
    try {
        AUT_I_FileSupport::MakePath(path, nullptr, nullptr, nullptr, nullptr);
        ADD_FAILURE() << "no assertion";
    } catch (const BrxAssertError& e) {
        EXPECT_EQ(e.getText(), "BRX_ASSERT(drive != NULL || directory != NULL || fileName != "
                               "NULL || extension != NULL);");
        EXPECT_EQ(e.getBackTrace().front().file, "Source/uti_filesupportwin32.cpp");
    }
    EXPECT_EQ(path, "old");
}

TEST(PathJoin, SplitThenJoinGivesThePathBack) {
    // Paths within the limits survive the round trip byte for byte, whatever they hold.
    const char* pieces[] = {"a", "b", ".", "/", "\\", ":", "\xC3\xA9", "C:", " "};
    std::mt19937 random(815);
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        for (int length = random() % 12; length > 0; --length) {
            text += pieces[random() % (sizeof pieces / sizeof pieces[0])];
        }
        SCOPED_TRACE(text);
        I18NString drive, directory, fileName, extension, joined;
        AUT_I_FileSupport::SplitPath(text.c_str(), &drive, &directory, &fileName, &extension);
        AUT_I_FileSupport::MakePath(joined, &drive, &directory, &fileName, &extension);
        ASSERT_EQ(joined, text.c_str());
    }
}

TEST(PathSplit, OverlongAndHostilePathsAreCutAtTheLimits) {
    struct Case {
        std::string path;
        long directory; // expected lengths in characters
        long fileName;
        long extension;
    };
    // The plain cuts, and where they fall in multi-byte characters, are tested on the runtime
    // split itself; these add the drive, the backslash and the join of what was cut.
    const Case cases[] = {
        {std::string(10000, '\\') + "x.y", 255, 1, 2},
        {"C:" + std::string(300, 'd') + "/" + std::string(300, 'f') + "." + std::string(300, 'e'),
         255, 255, 255},
        {std::string(255, 'd') + "/" + std::string(255, 'f'), 255, 255, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.substr(0, 30));
        I18NString drive, directory, fileName, extension, joined;
        AUT_I_FileSupport::SplitPath(c.path.c_str(), &drive, &directory, &fileName, &extension);
        EXPECT_EQ(directory.length(), c.directory);
        EXPECT_EQ(fileName.length(), c.fileName);
        EXPECT_EQ(extension.length(), c.extension);
        AUT_I_FileSupport::MakePath(joined, &drive, &directory, &fileName, &extension);
        EXPECT_LE(std::strlen(joined.c_str()), 259u);
    }

    std::mt19937 random(99);
    for (int round = 0; round < 100; ++round) {
        std::string bytes(1 + random() % 5000, '\0');
        for (char& byte : bytes) {
            byte = static_cast<char>(1 + random() % 255);
        }
        I18NString drive, directory, fileName, extension, joined;
        AUT_I_FileSupport::SplitPath(bytes.c_str(), &drive, &directory, &fileName, &extension);
        AUT_I_FileSupport::MakePath(joined, &drive, &directory, &fileName, &extension);
        ASSERT_LE(std::strlen(joined.c_str()), 259u) << "round " << round;
    }
}

TEST_F(PathSupport, FileNamesRejectTheCatalogCharacters) {
    struct Case {
        const char* name;
        bool valid;
    };
    const Case cases[] = {
        {"", false},         {"app.log", true},  {"a/b", false},       {"tab\there", false},
        {"bell\x07", false}, {"del\x7F", false}, {"a*b?c\\d:e", true}, {"\xC3\xA9t\xC3\xA9", true},
        {" ", true},         {"/", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(AUT_I_FileSupport::FileNameIsValid(c.name), c.valid);
    }
}

TEST_F(PathSupport, DirectoryNamesAreCheckedLevelByLevel) {
    struct Case {
        const char* path;
        bool valid;
    };
    const Case cases[] = {
        {"", false},
        {"file.txt", true},
        {"bad\x01name.txt", true}, // the last part is not checked
        {"C:/a/b/file.txt", true},
        {"/a/b\x01/file.txt", false},
        {"/a\x01/b/file.txt", false},
        {"/a/.cfg/x", false}, // only the part before the last '.' counts, and it is empty
        {"/a/b.d/x", true},
        {"/a/b.\x01/x", true},
        {"//x", false},
        {"rel/dir/", true},
        {"\\a\\b\x1F\\x", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(AUT_I_FileSupport::EvaluateDirectoryName(c.path), c.valid);
    }
}

TEST_F(PathSupport, MakeDirectoryPathCreatesOnlyWhatIsMissing) {
    const std::string base = root().path();
    root().makeDirectory("a");
    const std::string marker = root().writeFile("a/marker", "kept");

    AUT_I_FileSupport::MakeDirectoryPath((base + "/a/b/c/").c_str());
    EXPECT_TRUE(isDirectory(base + "/a/b/c"));
    EXPECT_EQ(auttest::readFile(marker), "kept");

    // The last part is a file name: only its parent is made.
    AUT_I_FileSupport::MakeDirectoryPath((base + "/x/y").c_str());
    EXPECT_TRUE(isDirectory(base + "/x"));
    EXPECT_FALSE(isDirectory(base + "/x/y"));

    // Everything present: nothing to do.
    AUT_I_FileSupport::MakeDirectoryPath((base + "/a/b/c/").c_str());

    root().writeFile("blocker", "");
    EXPECT_FALSE(FileSupportError([&] {
                     AUT_I_FileSupport::MakeDirectoryPath((base + "/blocker/sub/").c_str());
                 }).parameter().empty());

    // Overlong: refused whole rather than made under a cut name.
    const std::string overlong = base + "/" + std::string(300, 'n') + "/";
    const Thrown thrown =
        FileSupportError([&] { AUT_I_FileSupport::MakeDirectoryPath(overlong.c_str()); });
    EXPECT_EQ(thrown.parameter(), std::strerror(ENAMETOOLONG));
    EXPECT_EQ(thrown.file, "Source/uti_filesupport.cpp");
}

TEST_F(PathSupport, RemoveUsesOnlyTheNameOfItsSecondArgument) {
    const std::string base = root().path();
    const std::string target = root().writeFile("logs/x.log", "");
    const std::string decoy = root().writeFile("other/x.log", "");
    AUT_I_FileSupport::RemoveFileFromDirectory((base + "/logs/").c_str(),
                                               (base + "/other/x.log").c_str());
    EXPECT_FALSE(AUT_I_FileSupport::DirectoryExists(target.c_str()));
    EXPECT_TRUE(AUT_I_FileSupport::DirectoryExists(decoy.c_str()));

    // Without a trailing separator the directory's last part is dropped.
    const std::string inLogs = root().writeFile("logs/y.log", "");
    const std::string beside = root().writeFile("y.log", "");
    AUT_I_FileSupport::RemoveFileFromDirectory((base + "/logs").c_str(), "y.log");
    EXPECT_FALSE(AUT_I_FileSupport::DirectoryExists(beside.c_str()));
    EXPECT_TRUE(AUT_I_FileSupport::DirectoryExists(inLogs.c_str()));

    struct Case {
        std::string fileName;
        int error;
    };
    const Case cases[] = {
        {"missing.log", ENOENT},
        {"other", EISDIR}, // a directory is not a file to remove
        {std::string(300, 'f') + ".log", ENAMETOOLONG},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fileName.substr(0, 20));
        EXPECT_EQ(FileSupportError([&] {
                      AUT_I_FileSupport::RemoveFileFromDirectory((base + "/").c_str(),
                                                                 c.fileName.c_str());
                  }).parameter(),
                  std::strerror(c.error));
    }
    EXPECT_TRUE(isDirectory(base + "/other"));
}

TEST_F(PathSupport, InstallationDirectoriesComeFromTheConfiguration) {
    const I18NString exe = AUT_I_FileSupport::GetExeDirectory();
    EXPECT_EQ(exe, AUT_I_FileSupport::GetLibraryDirectory());
    ASSERT_GT(exe.length(), 1);
    EXPECT_EQ(exe[exe.length() - 1], U'/');
    char resolved[PATH_MAX];
    char expected[PATH_MAX];
    ASSERT_NE(realpath(exe.c_str(), resolved), nullptr);
    ASSERT_NE(realpath(binDir().c_str(), expected), nullptr);
    EXPECT_STREQ(resolved, expected);
}

TEST_F(PathSupport, SystemDirectoryIsTheConfiguredOneOrFailsWithItsText) {
    unsetenv("ORQ_SYSTEM_DIR");
    EXPECT_EQ(AUT_I_FileSupport::GetSystemDirectoryA(), "/etc");

    // Longer than the usual 260-character buffer: still given whole.
    const std::string deep = root().makeDirectory(
        std::string(100, 'a') + "/" + std::string(100, 'b') + "/" + std::string(100, 'c'));
    setenv("ORQ_SYSTEM_DIR", deep.c_str(), 1);
    EXPECT_EQ(AUT_I_FileSupport::GetSystemDirectoryA(), deep.c_str());

    setenv("ORQ_SYSTEM_DIR", root().file("missing").c_str(), 1);
    const Thrown thrown = FileSupportError([] { AUT_I_FileSupport::GetSystemDirectoryA(); });
    EXPECT_EQ(thrown.parameter(), std::strerror(ENOENT));
    EXPECT_EQ(thrown.file, "Source/uti_filesupportwin32.cpp");
}

} // namespace
