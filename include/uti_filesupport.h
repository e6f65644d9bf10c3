#pragma once
// File, directory and path operations over the C runtime: existence tests, descriptors and
// streams, comparison of two files, directory creation and listing, splitting and joining
// paths, name checks and the installation's and the system's directories.
#include "AUTExport.h"

#include <I18NString.h>
#include <cstdio>
#include <vector>

// Static operations only; no object is ever made. Holds no state and takes no lock: each
// operation is as thread-safe as the C runtime calls it makes (one stream or descriptor must
// not be used by two threads at once). Every path and mode goes to the system as the string's
// UTF-8 text, unchanged ("\" is an ordinary character of a name to the file system here; only
// SplitPath and MakePath treat it as a separator).
//
// Failures: a failing C runtime call throws AUT_Exception with severity 1, code 800 and
// message 0x7210C8B0, whose one parameter is the C runtime's text for the error number (for
// GetSystemDirectoryA, the system's text for its last error); it is logged before it is
// thrown. Broken preconditions throw BrxAssertError before anything is done. The existence
// tests, GetFileSize and diffFiles answer through their results and never throw.
//
// Path limits, in bytes of UTF-8 text without the NUL: drive 2, directory 255, file name 255,
// extension 255, joined path 259. SplitPath and MakePath cut a longer part or result at its
// limit (at a character boundary). The operations that act on the file system with a split
// or joined path (MakeDirectoryPath, RemoveFileFromDirectory) refuse a path whose parts pass
// the limits, with the text for ENAMETOOLONG, rather than act on a cut one.
class AUT_EXPORT AUT_I_FileSupport {
public:
    // Whether anything, file or directory, exists under `path`; false for "".
    static bool DirectoryExists(const I18NString& path);
    // Whether the first entry that `name` matches is not a directory. `name` may hold the
    // wildcards '*' and '?' ('?' is exactly one character) in its last part:
    // "<dir>/*.log" with <dir>/a.log present -> true; an existing directory -> false.
    static bool FileExists(const I18NString& name);

    // The descriptor of `fileName` opened with the C runtime's `flags` (_O_RDWR | _O_CREAT |
    // ...; use the names of crt_io.h, never numbers from another system) and `permissions`
    // (_S_IREAD | _S_IWRITE). Asserts that `fileName` is not empty.
    static long OpenFile(const I18NString& fileName, long flags, long permissions);
    // A stream over `fileHandle` with the C stream `mode` ("w+", "r", ...); the stream owns
    // the descriptor from then on. Asserts fileHandle != -1 and a non-empty mode.
    static FILE* OpenFile(long fileHandle, const I18NString& mode);
    // Asserts a stream; closes it (and its descriptor), also when it throws.
    static void CloseFile(FILE* file);
    // Asserts fileHandle != -1.
    static void CloseFile(long fileHandle);

    // Writes the text as it stands (no line end added), then flushes when `flush` is true.
    // Throws when the stream's error indicator is set afterwards; the indicator stays set,
    // so after one failed write every later call on that stream throws too. Without
    // `flush`, a failure may only show at a later flushing call. Asserts a stream.
    static void WriteToFile(const I18NString& text, FILE* file, bool flush);

    // The length in bytes of the file open on `fileHandle`, or -1.
    static long GetFileSize(long fileHandle);

    // Compares two files byte for byte and writes a report to `reportFile` (created or
    // emptied): "Could not open <name>\n" for each input that cannot be opened (file1 first),
    // or "Files are the same:\n<file1> == <file2>\n", or
    // "Files are different:\n\n<file1> != <file2>\n". Returns false only when both open and
    // are the same. A report that cannot be written is lost silently.
    static bool
    diffFiles(const I18NString& file1, const I18NString& file2, const I18NString& reportFile);

    // Creates the one directory; parents are not made. Asserts that nothing exists under the
    // name yet.
    static void MakeDirectory(const I18NString& directoryPath);

    // Appends the bare names of the entries that `pattern` matches ("<dir>/base_????.log"):
    // every match, directories and "." and ".." included, in the directory's order, unsorted.
    // `clear` empties `files` first. A pattern that matches nothing, also in a missing
    // directory, adds nothing; any other failure throws (the names found so far stay).
    static void GetExistingFilesFromDirectory(const I18NString& pattern,
                                              std::vector<I18NString>& files,
                                              bool clear);

    // Splits `path` into drive ("C:" when the second character is ':'), directory (up to
    // and including the last '/' or '\'), file name and extension (from the last '.' of the
    // last part, included). Each non-null output is assigned; an output may be `path` itself.
    // "C:/logs/app.log" -> "C:", "/logs/", "app", ".log"; "archive.tar.gz" -> "", "",
    // "archive.tar", ".gz"; ".cfg" -> "", "", "", ".cfg". Never throws.
    static void SplitPath(const I18NString& path,
                          I18NString* drive,
                          I18NString* directory,
                          I18NString* fileName,
                          I18NString* extension);
    // Joins the parts into `path`; a null and an empty part add nothing. The drive adds its
    // first character and ':'; a directory that does not end in '/' or '\' gets the last
    // separator it holds, else '/'; the extension gets a leading '.' when it has none.
    // ("C", "\logs", "app", "log") -> "C:\logs\app.log". Asserts that a part is given.
    static void MakePath(I18NString& path,
                         const I18NString* drive,
                         const I18NString* directory,
                         const I18NString* fileName,
                         const I18NString* extension);

    // False for ""; else whether `name` holds none of the characters of message 0xF7C1724C
    // (read on the first call and kept until unload; that first call must end before other
    // threads call). Passes on a failure to read the message. A text of a catalog that leaves
    // out "/" or a control character (U+0001 to U+001F, U+007F) is not used: those are
    // forbidden whatever a catalog says.
    static bool FileNameIsValid(const I18NString& name);
    // Checks each directory level of `path` (not its last part) with FileNameIsValid, from
    // the innermost out; only the part of a level before its last '.' counts, so a level
    // such as ".cfg" fails. False for "".
    static bool EvaluateDirectoryName(const I18NString& path);
    // Creates the missing levels of the directory part of `path`, outermost first; the last
    // part ("C:/a/b" -> "b") is taken for a file and not made. Levels made before a failure
    // stay.
    static void MakeDirectoryPath(const I18NString& path);
    // Removes the file named by the name and extension of `fileName` from the drive and
    // directory of `directory`: ("/logs/", "/other/x.log") removes "/logs/x.log". A
    // directory without a trailing separator loses its last part ("/logs" -> "/").
    static void RemoveFileFromDirectory(const I18NString& directory, const I18NString& fileName);

    // The installation's binary directory from the configuration service, with "/" appended.
    static I18NString GetExeDirectory();
    // The same as GetExeDirectory().
    static I18NString GetLibraryDirectory();
    // This system's own directory: "/etc", or the directory that ORQ_SYSTEM_DIR names. Throws
    // (code 800, the system's error text) when that is missing or no directory.
    static I18NString GetSystemDirectoryA();

private:
    AUT_I_FileSupport();
    ~AUT_I_FileSupport();

    // Builds, logs and throws the file-support exception for a C runtime error number.
    [[noreturn]] static void ThrowFileSupportException(const unsigned long& errorNumber);
};
