#pragma once
// Helpers of the reliability suites (faults, crashes, load, threads): child processes, the
// file-mode logging set-up, and reading log files back record by record.
#include "AutTestSupport.h"

#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace reliability {

using Entries = std::vector<std::pair<std::string, std::string>>;

using auttest::FileModeConfiguration;

// Runs `body` in a forked child and gives what it returned ("" means success), "hung" when it
// has not ended within `seconds` (it is then killed), or "child failed: ..." when it died.
std::string RunInChild(const std::function<std::string()>& body, int seconds);

// Runs `body(t)` on threads t = 0..count-1 at once and waits for them all.
void OnThreads(int count, const std::function<void(int)>& body);

std::vector<std::string> SplitLines(const std::string& text);

// Full paths of the files in `directory` whose names begin with `prefix`, sorted by name (the
// log family's names sort oldest first within a day).
std::vector<std::string> FilesWithPrefix(const std::string& directory, const std::string& prefix);

// The texts of a log file's records: each line after its time stamp and indentation. The
// process id line that starts a file is checked and left out.
struct LogFileContent {
    std::vector<std::string> records;
    bool startsWithProcessId = false; // "PID#\t<digits>" as the first line
    bool endsWithNewline = false;     // an empty file counts as ended
};
LogFileContent ReadLogFile(const std::string& path);

// The texts from `marker` on of the lines in `files` that hold it, each once; `repeated` counts
// the lines whose text had come before.
std::set<std::string>
Markers(const std::vector<std::string>& files, const std::string& marker, std::size_t& repeated);

// The resident set size of this process in KiB, from /proc/self/statm.
long ResidentKiB();

} // namespace reliability
