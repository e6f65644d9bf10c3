#include "ReliabilitySupport.h"

#include "AutTestSupport.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <poll.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace reliability {

std::string RunInChild(const std::function<std::string()>& body, int seconds) {
    int channel[2];
    if (pipe(channel) != 0) {
        return "pipe failed";
    }
    const pid_t child = fork();
    if (child < 0) {
        close(channel[0]);
        close(channel[1]);
        return "fork failed";
    }
    if (child == 0) {
        close(channel[0]);
        std::string result;
        try {
            result = body();
        } catch (const std::exception& error) {
            result = std::string("exception: ") + error.what();
        } catch (...) {
            result = "unknown exception";
        }
        const char* data = result.data();
        std::size_t left = result.size();
        while (left > 0) {
            const ssize_t n = write(channel[1], data, left);
            if (n <= 0) {
                _exit(2);
            }
            data += n;
            left -= static_cast<std::size_t>(n);
        }
        // No exit handlers: the parent's test framework state must not run twice.
        _exit(0);
    }
    close(channel[1]);
    // Read while waiting, so that a long result never blocks the child on a full pipe.
    std::string result;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int status = 0;
    bool open = true;
    for (;;) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            close(channel[0]);
            return "hung";
        }
        if (open) {
            pollfd ready{channel[0], POLLIN, 0};
            if (poll(&ready, 1, 100) > 0) {
                char buffer[4096];
                const ssize_t n = read(channel[0], buffer, sizeof(buffer));
                if (n > 0) {
                    result.append(buffer, static_cast<std::size_t>(n));
                } else if (n == 0 || errno != EINTR) {
                    open = false; // the child has closed its end: it is ending
                }
            }
            continue;
        }
        if (waitpid(child, &status, WNOHANG) == child) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    close(channel[0]);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        return result;
    }
    return "child failed (status " + std::to_string(status) + "): " + result;
}

void OnThreads(int count, const std::function<void(int)>& body) {
    std::vector<std::thread> threads;
    for (int t = 0; t < count; ++t) {
        threads.emplace_back(body, t);
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> FilesWithPrefix(const std::string& directory, const std::string& prefix) {
    std::vector<std::string> files;
    if (DIR* dir = opendir(directory.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != ".." && name.compare(0, prefix.size(), prefix) == 0) {
                files.push_back(directory + "/" + name);
            }
        }
        closedir(dir);
    }
    std::sort(files.begin(), files.end());
    return files;
}

LogFileContent ReadLogFile(const std::string& path) {
    const std::string text = auttest::readFile(path);
    LogFileContent content;
    content.endsWithNewline = text.empty() || text.back() == '\n';
    const std::vector<std::string> lines = SplitLines(text);
    std::size_t first = 0;
    if (!lines.empty() && lines[0].compare(0, 5, "PID#\t") == 0 && lines[0].size() > 5 &&
        std::all_of(lines[0].begin() + 5, lines[0].end(),
                    [](unsigned char c) { return std::isdigit(c) != 0; })) {
        content.startsWithProcessId = true;
        first = 1;
    }
    for (std::size_t i = first; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        const std::size_t tab = line.find('\t');
        if (tab == std::string::npos) {
            content.records.push_back(line); // a continuation line of a multi-line record
            continue;
        }
        const std::size_t textStart = line.find_first_not_of('\t', tab);
        content.records.push_back(textStart == std::string::npos ? std::string()
                                                                 : line.substr(textStart));
    }
    return content;
}

std::set<std::string>
Markers(const std::vector<std::string>& files, const std::string& marker, std::size_t& repeated) {
    std::set<std::string> markers;
    repeated = 0;
    for (const std::string& file : files) {
        for (const std::string& line : SplitLines(auttest::readFile(file))) {
            const std::size_t at = line.find(marker);
            if (at != std::string::npos && !markers.insert(line.substr(at)).second) {
                ++repeated;
            }
        }
    }
    return markers;
}

long ResidentKiB() {
    long pages = 0;
    long resident = 0;
    if (FILE* file = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(file, "%ld %ld", &pages, &resident) != 2) {
            resident = 0;
        }
        std::fclose(file);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

} // namespace reliability
