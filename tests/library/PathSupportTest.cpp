// Path handling of AUT_I_FileSupport: splitting and joining, name checks, directory chains,
// removal by name, and the installation's and the system's directories.
#include "AutTestSupport.h"
#include "Table.h"
#include "uti_filesupport.h"

#include <filesystem>

using FS = AUT_I_FileSupport;
namespace fs = std::filesystem;

// Here only to name the suite.
class PathSupport : public auttest::InitializedTest {};

TEST(PathSplit, PartsFollowTheRuntimeRules) {
    for (const auttest::Row& row : auttest::ReadTable("PathSupportTest-split.tsv", 5)) {
        SCOPED_TRACE(row[0]);
        I18NString parts[] = {"x", "x", "x", "x"}; // drive, directory, file name, extension
        FS::SplitPath(row[0].c_str(), &parts[0], &parts[1], &parts[2], &parts[3]);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(parts[i], row[i + 1].c_str());
        }
    }
}

TEST(PathJoin, PartsFollowTheRuntimeRules) {
    for (const auttest::Row& row : auttest::ReadTable("PathSupportTest-join.tsv", 5)) {
        SCOPED_TRACE(row[4]);
        const I18NString parts[] = {row[0].c_str(), row[1].c_str(), row[2].c_str(), row[3].c_str()};
        auto part = [&](int i) { return row[i] == "(null)" ? nullptr : &parts[i]; };
        I18NString path("old");
        FS::MakePath(path, part(0), part(1), part(2), part(3));
        EXPECT_EQ(path, row[4].c_str());
    }
    // The output may be one of the parts.
    I18NString path("/a/b.c");
    FS::MakePath(path, nullptr, &path, nullptr, nullptr);
    EXPECT_EQ(path, "/a/b.c/");
}

TEST_F(PathSupport, NamesRejectTheCatalogCharactersLevelByLevel) {
    for (const auttest::Row& row : auttest::ReadTable("PathSupportTest-names.tsv", 3)) {
        SCOPED_TRACE(row[0] + " " + row[1]);
        const I18NString name(row[1].c_str());
        const bool valid =
            row[0] == "file" ? FS::FileNameIsValid(name) : FS::EvaluateDirectoryName(name);
        EXPECT_EQ(valid, row[2] == "valid");
    }
}

TEST_F(PathSupport, DirectoriesAreMadeAndFilesRemovedByName) {
    const std::string base = root().path();
    root().makeDirectory("a");
    FS::MakeDirectoryPath((base + "/a/b/c/").c_str());
    EXPECT_TRUE(fs::is_directory(base + "/a/b/c"));
    // Everything present: nothing to do. A last part without a separator is a file name.
    FS::MakeDirectoryPath((base + "/a/b/c/d").c_str());
    EXPECT_FALSE(fs::exists(base + "/a/b/c/d"));

    // Only the name of the second argument counts.
    const std::string target = root().writeFile("logs/x.log", "");
    const std::string decoy = root().writeFile("other/x.log", "");
    FS::RemoveFileFromDirectory((base + "/logs/").c_str(), decoy.c_str());
    EXPECT_FALSE(fs::exists(target));
    EXPECT_TRUE(fs::exists(decoy));
}

TEST_F(PathSupport, InstallationAndSystemDirectories) {
    const I18NString exe = FS::GetExeDirectory();
    EXPECT_EQ(exe[exe.length() - 1], U'/');
    EXPECT_TRUE(fs::equivalent(exe.c_str(), binDir()));
    // Longer than the usual 260-character buffer: still given whole.
    const std::string deep = root().makeDirectory(
        std::string(100, 'a') + "/" + std::string(100, 'b') + "/" + std::string(100, 'c'));
    setenv("ORQ_SYSTEM_DIR", deep.c_str(), 1);
    EXPECT_EQ(FS::GetSystemDirectoryA(), deep.c_str());
    unsetenv("ORQ_SYSTEM_DIR");
}
