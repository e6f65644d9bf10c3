// File and directory operations of AUT_I_FileSupport: existence tests, descriptors and
// streams, sticky write errors, file comparison, directory creation and listing.
#include "AUTInitialize.h"
#include "AutTestSupport.h"
#include "FileSupportError.h"
#include "UTException.h"
#include "uti_filesupport.h"

#include <algorithm>
#include <cerrno>
#include <crt_io.h>
#include <csignal>
#include <cstring>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using auttest::FileSupportError;
using auttest::Thrown;

std::vector<std::string> sorted(const std::vector<I18NString>& names) {
    std::vector<std::string> result;
    for (const I18NString& name : names) {
        result.emplace_back(name.c_str());
    }
    std::sort(result.begin(), result.end());
    return result;
}

long sizeOnDisk(FILE* file) {
    struct stat status {};
    return fstat(fileno(file), &status) == 0 ? static_cast<long>(status.st_size) : -1;
}

class FileSupport : public auttest::InitializedTest {
protected:
    void SetUp() override {
        InitializedTest::SetUp();
        f_base = root().path();
    }

    I18NString path(const std::string& relative) const { return (f_base + "/" + relative).c_str(); }

    std::string f_base;
};

TEST_F(FileSupport, ExistenceTellsFilesFromDirectories) {
    root().writeFile("logs/a.log", "x");
    root().makeDirectory("logs/sub.dir");
    struct Case {
        const char* name;
        bool directoryExists;
        bool fileExists;
    };
    const Case cases[] = {
        {"logs/a.log", true, true},      {"logs", true, false},
        {"logs/sub.dir", true, false},   {"logs/*.log", false, true},
        {"logs/?.log", false, true},     {"logs/??.log", false, false},
        {"logs/sub.*", false, false},    {"logs/missing", false, false},
        {"missing/*.log", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(AUT_I_FileSupport::DirectoryExists(path(c.name)), c.directoryExists);
        EXPECT_EQ(AUT_I_FileSupport::FileExists(path(c.name)), c.fileExists);
    }
    EXPECT_FALSE(AUT_I_FileSupport::DirectoryExists(""));
    EXPECT_FALSE(AUT_I_FileSupport::FileExists(""));
}

TEST_F(FileSupport, BrokenPreconditionsAssertBeforeAnythingHappens) {
    root().makeDirectory("present");
    const long handle = AUT_I_FileSupport::OpenFile(path("f"), _O_RDWR | _O_CREAT, _S_IWRITE);
    struct Case {
        const char* text;
        std::function<void()> action;
    };
    const Case cases[] = {
        {"BRX_ASSERT(!fileName.empty());",
         [] { AUT_I_FileSupport::OpenFile("", _O_RDWR | _O_CREAT, _S_IREAD | _S_IWRITE); }},
        {"BRX_ASSERT(fileHandle != -1);", [] { AUT_I_FileSupport::OpenFile(-1L, "w"); }},
        {"BRX_ASSERT(!mode.empty());", [&] { AUT_I_FileSupport::OpenFile(handle, ""); }},
        {"BRX_ASSERT(file);", [] { AUT_I_FileSupport::CloseFile(nullptr); }},
        {"BRX_ASSERT(fileHandle != -1);", [] { AUT_I_FileSupport::CloseFile(-1L); }},
        {"BRX_ASSERT(file != NULL);", [] { AUT_I_FileSupport::WriteToFile("x", nullptr, true); }},
        {"BRX_ASSERT(!DirectoryExists( directoryPath ));",
         [&] { AUT_I_FileSupport::MakeDirectory(path("present")); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        try {
            c.action();
            ADD_FAILURE() << "no assertion";
        } catch (const BrxAssertError& e) {
            EXPECT_EQ(e.getText(), c.text);
            EXPECT_EQ(e.getBackTrace().front().file, "Source/uti_filesupport.cpp");
        }
    }
    // The descriptor was left alone by the failed stream: it still closes cleanly.
    AUT_I_FileSupport::CloseFile(handle);
}

TEST_F(FileSupport, FailedRuntimeCallsThrowTheirErrorText) {
    const Thrown missing =
        FileSupportError([&] { AUT_I_FileSupport::OpenFile(path("missing.log"), _O_RDONLY, 0); });
    EXPECT_EQ(missing.parameter(), std::strerror(ENOENT));
    EXPECT_EQ(missing.file, "Source/uti_filesupport.cpp");

    const int flags = _O_RDWR | _O_CREAT | _O_EXCL;
    const long handle = AUT_I_FileSupport::OpenFile(path("new.log"), flags, _S_IREAD | _S_IWRITE);
    EXPECT_EQ(FileSupportError([&] {
                  AUT_I_FileSupport::OpenFile(path("new.log"), flags, _S_IREAD | _S_IWRITE);
              }).parameter(),
              std::strerror(EEXIST));
    const long readOnly = AUT_I_FileSupport::OpenFile(path("new.log"), _O_RDONLY, 0);
    // This system's fdopen refuses a write stream over a read-only descriptor.
    EXPECT_EQ(FileSupportError([&] { AUT_I_FileSupport::OpenFile(readOnly, "w"); }).parameter(),
              std::strerror(EINVAL));
    AUT_I_FileSupport::CloseFile(readOnly);
    EXPECT_EQ(FileSupportError([&] { AUT_I_FileSupport::CloseFile(readOnly); }).parameter(),
              std::strerror(EBADF));

    FILE* stream = AUT_I_FileSupport::OpenFile(handle, "w+");
    AUT_I_FileSupport::WriteToFile("abc", stream, true);
    EXPECT_EQ(AUT_I_FileSupport::GetFileSize(handle), 3);
    AUT_I_FileSupport::CloseFile(stream);
    EXPECT_EQ(AUT_I_FileSupport::GetFileSize(handle), -1);

    EXPECT_EQ(FileSupportError([&] { AUT_I_FileSupport::MakeDirectory(path("a/b")); }).parameter(),
              std::strerror(ENOENT));
    AUT_I_FileSupport::MakeDirectory(path("a"));
    AUT_I_FileSupport::MakeDirectory(path("a/b"));
    EXPECT_TRUE(AUT_I_FileSupport::DirectoryExists(path("a/b")));
}

TEST_F(FileSupport, WriteFlushesOnlyWhenAsked) {
    FILE* stream = std::fopen(path("w.log").c_str(), "w");
    ASSERT_NE(stream, nullptr);
    ASSERT_EQ(std::setvbuf(stream, nullptr, _IOFBF, 4096), 0);
    AUT_I_FileSupport::WriteToFile("first", stream, false);
    EXPECT_EQ(sizeOnDisk(stream), 0);
    AUT_I_FileSupport::WriteToFile(" second", stream, true);
    EXPECT_EQ(sizeOnDisk(stream), 12);
    AUT_I_FileSupport::CloseFile(stream);
    EXPECT_EQ(auttest::readFile(f_base + "/w.log"), "first second");
}

TEST_F(FileSupport, AFailedWriteFailsEveryLaterWrite) {
    root().writeFile("r.log", "read only");
    FILE* stream = std::fopen(path("r.log").c_str(), "r");
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(
        FileSupportError([&] { AUT_I_FileSupport::WriteToFile("x", stream, false); }).parameter(),
        std::strerror(EBADF));
    // Nothing more is written, but the stream keeps its error.
    EXPECT_FALSE(FileSupportError([&] {
                     AUT_I_FileSupport::WriteToFile("", stream, false);
                 }).parameter().empty());
    std::fclose(stream);
    EXPECT_EQ(auttest::readFile(f_base + "/r.log"), "read only");
}

TEST_F(FileSupport, AWriteOverTheSizeLimitFailsNowAndLater) {
    const I18NString name = path("limited.log");
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        // Exit codes name the step that went wrong; gtest checks do not cross the fork.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{16, 16};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) {
            _exit(10);
        }
        FILE* stream = AUT_I_FileSupport::OpenFile(
            AUT_I_FileSupport::OpenFile(name, _O_WRONLY | _O_CREAT, _S_IREAD | _S_IWRITE), "w");
        auto fails = [&](const char* text, bool flush, int expected) {
            try {
                AUT_I_FileSupport::WriteToFile(text, stream, flush);
            } catch (const AUT_Exception& e) {
                const auto& message = dynamic_cast<const BrxMessageComponents&>(e.messageAt(0));
                return e.getErrorCode() == 800 &&
                       (expected == 0 || message.getParameters().at(0) == std::strerror(expected));
            }
            return false;
        };
        AUT_I_FileSupport::WriteToFile("0123456789", stream, true);
        if (!fails("0123456789ABCDEF", true, EFBIG)) {
            _exit(11);
        }
        if (!fails("x", false, 0) || !fails("", true, 0)) {
            _exit(12);
        }
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(auttest::readFile(name.c_str()).substr(0, 10), "0123456789");
}

TEST_F(FileSupport, DiffFilesReportsByteForByte) {
    const std::string block(600, 'q');
    std::string late = block + block;
    late[700] = 'r';
    root().writeFile("same1", block + block);
    root().writeFile("same2", block + block);
    root().writeFile("short", block);
    root().writeFile("longer", block + "!");
    root().writeFile("exact500", block.substr(0, 500));
    root().writeFile("exact1000", block.substr(0, 500) + block.substr(0, 500));
    root().writeFile("late", late);
    root().writeFile("empty1", "");
    root().writeFile("empty2", "");
    root().makeDirectory("dir");
    struct Case {
        const char* file1;
        const char* file2;
        bool differ;
        const char* report; // "%1" and "%2" stand for the two full names
    };
    const Case cases[] = {
        {"same1", "same2", false, "Files are the same:\n%1 == %2\n"},
        {"empty1", "empty2", false, "Files are the same:\n%1 == %2\n"},
        {"short", "longer", true, "Files are different:\n\n%1 != %2\n"},
        {"exact500", "exact1000", true, "Files are different:\n\n%1 != %2\n"},
        {"same1", "late", true, "Files are different:\n\n%1 != %2\n"},
        {"missing1", "missing2", true, "Could not open %1\nCould not open %2\n"},
        {"same1", "missing2", true, "Could not open %2\n"},
        {"dir", "same1", true, "Could not open %1\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file1) + " " + c.file2);
        const std::string file1 = root().file(c.file1);
        const std::string file2 = root().file(c.file2);
        const std::string reportFile = root().writeFile("report.txt", "old contents to replace");
        EXPECT_EQ(AUT_I_FileSupport::diffFiles(file1.c_str(), file2.c_str(), reportFile.c_str()),
                  c.differ);
        std::string expected = c.report;
        for (const auto& [marker, name] : {std::make_pair("%1", file1), {"%2", file2}}) {
            const auto at = expected.find(marker);
            if (at != std::string::npos) {
                expected.replace(at, 2, name);
            }
        }
        EXPECT_EQ(auttest::readFile(reportFile), expected);
    }
    // A report that cannot be written changes nothing else.
    EXPECT_FALSE(AUT_I_FileSupport::diffFiles(path("same1"), path("same2"), path("no/report")));
    EXPECT_TRUE(AUT_I_FileSupport::diffFiles(path("same1"), path("late"), path("no/report")));
}

TEST_F(FileSupport, ListingTakesEveryMatchAndKeepsWhatItHas) {
    for (const char* name : {"app_20240101_0001.log", "app_20240101_0002.log",
                             "app_2024010_0003.log", "app_20240101_0001.txt", "other.log"}) {
        root().writeFile(std::string("logs/") + name, "");
    }
    root().makeDirectory("logs/app_20240102_0001.log");
    root().writeFile("plain", "");
    const std::vector<I18NString> kept = {"kept"};
    struct Case {
        const char* pattern;
        bool clear;
        std::vector<std::string> names; // sorted, including what was kept
    };
    const Case cases[] = {
        {"logs/app_????????_????.log",
         false,
         {"app_20240101_0001.log", "app_20240101_0002.log", "app_20240102_0001.log", "kept"}},
        {"logs/*.txt", true, {"app_20240101_0001.txt"}},
        {"logs/.*", true, {".", ".."}},
        {"logs/*.none", true, {}},
        {"logs/*.none", false, {"kept"}},
        {"missing/*.log", false, {"kept"}},
        {"logs/other.log", false, {"kept", "other.log"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern);
        std::vector<I18NString> files = kept;
        AUT_I_FileSupport::GetExistingFilesFromDirectory(path(c.pattern), files, c.clear);
        EXPECT_EQ(sorted(files), c.names);
    }

    std::vector<I18NString> files = kept;
    const Thrown thrown = FileSupportError(
        [&] { AUT_I_FileSupport::GetExistingFilesFromDirectory(path("plain/*"), files, false); });
    EXPECT_EQ(thrown.parameter(), std::strerror(ENOTDIR));
    // The one helper throws every file-support exception, from its own unit.
    EXPECT_EQ(thrown.file, "Source/uti_filesupport.cpp");
    EXPECT_EQ(files.size(), 1u);
}

} // namespace
