#pragma once
// What the subcommands of `aut` share: their failures, the library session, argument helpers
// and the reading of the library's log files.
#include <I18NString.h>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace auttool {

using Args = std::vector<std::string>;

// A failure of the command: main prints "aut <command>: <what>" and exits with 1.
class Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A misuse of the command line: main prints "aut <command>: <what>" and exits with 2.
class Misuse : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Registers the tool as a consumer of the library for its lifetime. Everything the library
// hands out (log objects, configurations) must be released before the session ends.
class LibrarySession {
public:
    LibrarySession();
    ~LibrarySession();
    LibrarySession(const LibrarySession&) = delete;
    LibrarySession& operator=(const LibrarySession&) = delete;
};

// True when `args` asks for help ("--help" or "-h" before a "--").
bool wantsHelp(const Args& args);

// Takes the value of an option such as "--level 3" or "--level=3" out of `args`; empty
// when absent. Throws Misuse when the option is last and has no value.
bool takeOption(Args& args, const std::string& name, std::string& value);
// Takes a flag such as "--machine" out of `args`.
bool takeFlag(Args& args, const std::string& name);
// Drops a leading "--", after which nothing is an option; throws Misuse for any argument
// that still looks like an option before it.
void rejectUnknownOptions(Args& args);

// A decimal or "0x" hexadecimal number of at most `maximum`; Misuse naming `what` otherwise.
std::uint32_t parseNumber(const std::string& text, std::uint32_t maximum, const char* what);

// One line of text: the exception's messages joined with "; ".
std::string oneLine(const std::string& text);

// The narrow (UTF-8) text of a string.
inline std::string narrow(const I18NString& text) {
    return text.c_str();
}

// The log files of the configured family (AUT_I_LogFile::GetLogFileName()) that exist, as
// full paths, oldest first. Needs a running session.
std::vector<std::string> existingLogFiles();

// The records of one log file: lines that begin with a time stamp, which every record has
// (a record's further lines, and the process id line, do not).
struct LogFileSummary {
    std::size_t records = 0;
    std::vector<std::string> lines; // every line, for the first and last lines
};
LogFileSummary readLogFile(const std::string& path);

// Reads a whole file; throws Failure naming it when it cannot be read.
std::string readTextFile(const std::string& path);

} // namespace auttool
