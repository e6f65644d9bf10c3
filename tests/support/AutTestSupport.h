#pragma once
// Fixtures shared by the test suites: temporary directories and installations, an initialized
// library, file-mode logging, and what a thrown AUT_Exception carries.
#include "UTException.h"

#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

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

// The descriptors this process holds open on paths that begin with `under` (all when empty):
// a search, a stream or a log file left open shows here.
long OpenDescriptors(const std::string& under = "");

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

// A temporary installation whose "OrqConfig.xml" puts logging into file mode, writing the
// family "<logs>/test.log"; Start() writes it and initializes the library for the consumer
// "test", TearDown terminates it again.
class FileModeTest : public InstallationTest {
protected:
    using Entries = std::vector<std::pair<std::string, std::string>>;

    void TearDown() override;
    // Further entries of the section "Logging" ("LineCountPerLogFile", a component's level...).
    void Start(const Entries& extra = {});
    std::string logFileName() const { return logsDir() + "/test.log"; }
    // The contents of the files this process created, oldest first.
    std::vector<std::string> files() const;
    // The texts of every record of those files in order: each line after its time stamp and
    // indentation, the process id lines left out.
    std::vector<std::string> records() const;

private:
    bool f_started = false;
};

// "OrqConfig.xml" text that puts logging into file mode, writing `logFile` (the family's
// name, "<dir>/<base>.log"), with further entries of the section "Logging".
std::string
FileModeConfiguration(const std::string& logFile,
                      const std::vector<std::pair<std::string, std::string>>& extra = {});

// What the AUT_Exception that an action threw carries; `code` is -1 when it threw nothing.
struct Thrown {
    long code = -1;
    int severity = -1;
    unsigned number = 0;                 // the first message's number, 0 without one
    std::vector<std::string> parameters; // the first message's parameters
    std::string text;                    // what()
    std::string file;                    // where it was thrown: the first back-trace entry

    std::string parameter(std::size_t index = 0) const {
        return index < parameters.size() ? parameters[index] : std::string();
    }
};

Thrown Inspect(const AUT_Exception& exception);

// Runs `action` and gives what the AUT_Exception it throws carries. Any other exception
// escapes and fails the test.
template <class Action> Thrown Catch(Action&& action) {
    try {
        action();
    } catch (const AUT_Exception& exception) {
        return Inspect(exception);
    }
    return {};
}

} // namespace auttest
