// File and directory operations of AUT_I_FileSupport: existence tests, what every misuse and
// failure gives, flushing, file comparison and listing.
#include "AutTestSupport.h"
#include "FileSupportError.h"
#include "Table.h"
#include "uti_filesupport.h"

#include <crt_io.h>
#include <cstring>
#include <functional>
#include <set>
#include <sstream>

using FS = AUT_I_FileSupport;

class FileSupport : public auttest::InitializedTest {
protected:
    I18NString path(const std::string& relative) { return root().file(relative).c_str(); }
};

TEST_F(FileSupport, SearchesTellFilesFromDirectoriesAndListingsKeepWhatTheyHave) {
    for (const char* name : {"a.log", "app_20240101_0001.log", "app_20240101_0002.log",
                             "app_2024010_0003.log", "app_20240101_0001.txt"}) {
        root().writeFile(std::string("logs/") + name, "");
    }
    root().makeDirectory("logs/sub.dir");
    const long descriptors = auttest::OpenDescriptors();
    for (const auttest::Row& row : auttest::ReadTable("FileSupportTest-search.tsv", 5)) {
        SCOPED_TRACE(row[0]);
        EXPECT_EQ(FS::DirectoryExists(path(row[0])), row[1] == "yes");
        EXPECT_EQ(FS::FileExists(path(row[0])), row[2] == "yes");
        std::istringstream listed(row[3] + (row[4] == "clear" ? "" : " kept"));
        const std::multiset<std::string> wanted{std::istream_iterator<std::string>(listed), {}};
        std::vector<I18NString> files = {"kept"};
        FS::GetExistingFilesFromDirectory(path(row[0]), files, row[4] == "clear");
        std::multiset<std::string> names;
        for (const I18NString& name : files) {
            names.insert(name.c_str());
        }
        EXPECT_EQ(names, wanted);
    }
    EXPECT_EQ(auttest::OpenDescriptors(), descriptors);
}

TEST_F(FileSupport, MisuseAssertsAndFailuresThrowTheirErrorText) {
    root().writeFile("plain", "");
    root().makeDirectory("dir");
    const long readOnly = FS::OpenFile(path("plain"), _O_RDONLY, 0);
    FILE* reading = std::fopen(path("plain").c_str(), "r");
    std::vector<I18NString> files;
    I18NString joined;
    const std::string dir255 = "/" + std::string(253, 'n') + "/";
    auto error = [](int number) { return std::string(std::strerror(number)); };
    const std::pair<std::string, std::function<void()>> cases[] = {
        {"BRX_ASSERT(!fileName.empty());", [] { FS::OpenFile("", _O_RDONLY, 0); }},
        {"BRX_ASSERT(fileHandle != -1);", [] { FS::OpenFile(-1L, "w"); }},
        {"BRX_ASSERT(!mode.empty());", [&] { FS::OpenFile(readOnly, ""); }},
        {"BRX_ASSERT(file);", [] { FS::CloseFile(nullptr); }},
        {"BRX_ASSERT(fileHandle != -1);", [] { FS::CloseFile(-1L); }},
        {"BRX_ASSERT(file != NULL);", [] { FS::WriteToFile("x", nullptr, true); }},
        {"BRX_ASSERT(!DirectoryExists( directoryPath ));", [&] { FS::MakeDirectory(path("dir")); }},
        {"BRX_ASSERT(drive != NULL || directory != NULL || fileName != NULL || extension != NULL);",
         [&] { FS::MakePath(joined, nullptr, nullptr, nullptr, nullptr); }},
        {error(ENOENT), [&] { FS::OpenFile(path("missing"), _O_RDONLY, 0); }},
        {error(EEXIST), [&] { FS::OpenFile(path("plain"), _O_RDWR | _O_CREAT | _O_EXCL, 0); }},
        // A write stream over a read-only descriptor.
        {error(EINVAL), [&] { FS::OpenFile(readOnly, "w"); }},
        {error(EBADF), [] { FS::CloseFile(1L << 30); }},
        {error(EBADF), [&] { FS::WriteToFile("x", reading, false); }},
        // The stream keeps its error, though nothing is written and errno is not set again.
        {error(EIO), [&] { FS::WriteToFile("", reading, true); }},
        {error(ENOENT), [&] { FS::MakeDirectory(path("a/b")); }},
        {error(ENOTDIR), [&] { FS::GetExistingFilesFromDirectory(path("plain/*"), files, false); }},
        // Overlong names are refused whole rather than used cut.
        {error(ENAMETOOLONG), [&] { FS::MakeDirectoryPath(path(std::string(300, 'n') + "/")); }},
        {error(ENAMETOOLONG),
         [&] { FS::RemoveFileFromDirectory(path(""), std::string(300, 'f').c_str()); }},
        {error(ENOENT), [&] { FS::RemoveFileFromDirectory(dir255.c_str(), "x"); }},
        {error(ENAMETOOLONG), [&] { FS::RemoveFileFromDirectory(("/n" + dir255).c_str(), "x"); }},
        // unlink, not remove: a directory is not a file to remove.
        {error(EISDIR), [&] { FS::RemoveFileFromDirectory(path(""), "dir"); }},
        {error(ENOENT),
         [&] { setenv("ORQ_SYSTEM_DIR", path("missing").c_str(), 1), FS::GetSystemDirectoryA(); }},
    };
    for (const auto& [expected, action] : cases) {
        SCOPED_TRACE(expected);
        try {
            EXPECT_EQ(auttest::FileSupportError(action).parameter(), expected);
        } catch (const BrxAssertError& e) {
            EXPECT_EQ(e.getText(), expected);
        }
    }
    unsetenv("ORQ_SYSTEM_DIR");
    std::fclose(reading);
    // The descriptor was left alone by the failed streams: it still closes cleanly.
    FS::CloseFile(readOnly);
}

TEST_F(FileSupport, WritesFlushOnlyWhenAsked) {
    const long handle = FS::OpenFile(path("w.log"), _O_RDWR | _O_CREAT, _S_IREAD | _S_IWRITE);
    FILE* stream = FS::OpenFile(handle, "w+");
    FS::WriteToFile("first", stream, false);
    EXPECT_EQ(FS::GetFileSize(handle), 0);
    FS::WriteToFile(" second", stream, true);
    EXPECT_EQ(FS::GetFileSize(handle), 12);
    FS::CloseFile(stream);
    EXPECT_EQ(auttest::readFile(root().file("w.log")), "first second");
}

TEST_F(FileSupport, DiffFilesComparesByteForByteAndClosesWhatItOpened) {
    const std::pair<const char*, int> sizes[] = {{"full", 1200},      {"copy", 1200},
                                                 {"short", 600},      {"exact500", 500},
                                                 {"exact1000", 1000}, {"empty", 0}};
    for (const auto& [name, size] : sizes) {
        root().writeFile(name, std::string(size, 'q'));
    }
    root().writeFile("late", std::string(700, 'q') + std::string(500, 'r'));
    root().makeDirectory("dir");
    const std::string prefix = root().path() + "/";
    const long descriptors = auttest::OpenDescriptors();
    for (const auttest::Row& row : auttest::ReadTable("FileSupportTest-diff.tsv", 4)) {
        SCOPED_TRACE(row[0] + " " + row[1]);
        const std::string report = root().writeFile("report.txt", "old contents to replace");
        EXPECT_EQ(FS::diffFiles(path(row[0]), path(row[1]), report.c_str()), row[2] == "differ");
        std::string text = auttest::readFile(report);
        for (std::size_t at; (at = text.find(prefix)) != std::string::npos;) {
            text.erase(at, prefix.size());
        }
        EXPECT_EQ(text, row[3]);
    }
    EXPECT_EQ(auttest::OpenDescriptors(), descriptors);
    // A report that cannot be written changes nothing else.
    EXPECT_FALSE(FS::diffFiles(path("full"), path("copy"), path("no/report")));
    EXPECT_TRUE(FS::diffFiles(path("full"), path("late"), path("no/report")));
}
