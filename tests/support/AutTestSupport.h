#pragma once
// Fixtures shared by the test suites: temporary directories, installation directories and an
// initialized library.
#include <gtest/gtest.h>
#include <string>

namespace auttest {

// Makes a fresh directory under $TMPDIR (or /tmp) and removes it, with everything in it,
// when destroyed.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return f_path; }
    // path() + "/" + relative
    std::string file(const std::string& relative) const;
    // Creates `relative` (and its parents) below the directory; returns its full path.
    std::string makeDirectory(const std::string& relative) const;
    // Writes `content` to `relative`, creating parent directories; returns its full path.
    std::string writeFile(const std::string& relative, const std::string& content) const;

private:
    std::string f_path;
};

std::string readFile(const std::string& path);

// A temporary installation: <root>/bin is the binary directory (ORQ_BIN_DIR), beside it
// <root>/configuration and <root>/logs. Restores the previous ORQ_BIN_DIR when done.
class InstallationTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string binDir() const { return f_root->path() + "/bin"; }
    std::string configurationDir() const { return f_root->path() + "/configuration"; }
    std::string logsDir() const { return f_root->path() + "/logs"; }
    TempDir& root() { return *f_root; }

private:
    TempDir* f_root = nullptr;
    std::string f_savedBinDir;
    bool f_hadBinDir = false;
};

// A temporary installation with the library initialized for the consumer "test" in SetUp and
// terminated in TearDown.
class InitializedTest : public InstallationTest {
protected:
    void SetUp() override;
    void TearDown() override;
};

} // namespace auttest
