// Several threads logging through many rotations; threads logging exceptions while rotations
// fail and log their own.
#include "AUTInitialize.h"
#include "AutTestSupport.h"
#include "ReliabilitySupport.h"
#include "UTException.h"
#include "UTI_LogFile.h"

#include <chrono>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using L = AUT_I_LogFile;

using reliability::SplitLines;

std::vector<std::string> CreatedFiles() {
    std::vector<I18NString> names;
    L::GetLogFileNames(names, true);
    std::vector<std::string> contents;
    for (const I18NString& name : names) {
        contents.push_back(auttest::readFile(name.c_str()));
    }
    return contents;
}

class LogStressTest : public auttest::InstallationTest {
protected:
    void Configure(unsigned fileCountLimit) {
        root().writeFile(
            "configuration/OrqConfig.xml",
            reliability::FileModeConfiguration(logsDir() + "/app.log",
                                               {{"LineCountPerLogFile", "1000"},
                                                {"LogFileCount", std::to_string(fileCountLimit)}}));
    }
};

TEST_F(LogStressTest, EveryRecordAppearsOnceAndWholeAcrossRotations) {
    Configure(10000); // keeps every file
    ASSERT_EQ(AUT_Initialize("LogStressTest"), 0);
    constexpr int kThreads = 4;
    constexpr int kRecordsPerThread = 25000;
    const std::string padding(60, '.');
    {
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([t, &padding] {
                // Objects are per thread: AUT_RefPtr copies stay on one thread.
                AUT_RefPtr<AUT_I_LogFile> log = L::Create(("Thread" + std::to_string(t)).c_str());
                const I18NString thread = std::to_string(t).c_str();
                const I18NString pad = padding.c_str();
                for (int n = 0; n < kRecordsPerThread; ++n) {
                    log->Log(L::kLogLevelTrace1, "t{0} n{1} {2}|", thread,
                             std::to_string(n).c_str(), pad);
                }
            });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
    }

    std::vector<std::vector<int>> seen(kThreads, std::vector<int>(kRecordsPerThread, 0));
    const std::vector<std::string> files = CreatedFiles();
    EXPECT_GE(files.size(), 100u);
    int malformed = 0;
    for (std::size_t f = 0; f < files.size(); ++f) {
        const std::vector<std::string> lines = SplitLines(files[f]);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines[0], "PID#\t" + std::to_string(getpid()));
        EXPECT_LE(lines.size() - 1, 1001u) << "file " << f;
        for (std::size_t l = 1; l < lines.size(); ++l) {
            int t = -1;
            int n = -1;
            const std::size_t tab = lines[l].find('\t');
            const std::string text = tab == std::string::npos ? "" : lines[l].substr(tab + 1);
            char rest[128] = {};
            if (std::sscanf(text.c_str(), "t%d n%d %127s", &t, &n, rest) != 3 || t < 0 ||
                t >= kThreads || n < 0 || n >= kRecordsPerThread || rest != padding + "|") {
                ++malformed;
                continue;
            }
            ++seen[t][n];
        }
    }
    EXPECT_EQ(malformed, 0);
    int missing = 0;
    int repeated = 0;
    for (const auto& thread : seen) {
        for (int count : thread) {
            missing += count == 0;
            repeated += count > 1;
        }
    }
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(repeated, 0);
    AUT_Terminate("LogStressTest");
}

// Runs `body` in a child process and gives its result ("" for success), or "hung" when it has
// not ended within `seconds`.
std::string RunInChild(const std::function<std::string()>& body, int seconds) {
    int channel[2];
    if (pipe(channel) != 0) {
        return "pipe failed";
    }
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        const std::string result = body();
        if (write(channel[1], result.data(), result.size()) < 0) {
            _exit(2);
        }
        _exit(0);
    }
    close(channel[1]);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int status = 0;
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            close(channel[0]);
            return "hung";
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::string result;
    char buffer[512];
    for (ssize_t n; (n = read(channel[0], buffer, sizeof(buffer))) > 0;) {
        result.append(buffer, static_cast<std::size_t>(n));
    }
    close(channel[0]);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? result : "child failed: " + result;
}

TEST_F(LogStressTest, ExceptionLoggersAndFailingRotationsDoNotWaitOnEachOther) {
    Configure(100);
    // Old entries of the family that cannot be deleted (non-empty directories): every rotation
    // fails to prune them and logs that failure while it holds the logging lock.
    for (int i = 1; i <= 101; ++i) {
        char name[64];
        std::snprintf(name, sizeof(name), "logs/app_20200101_%04d.log/keep", i);
        root().writeFile(name, "");
    }
    const std::string result = RunInChild(
        [] {
            if (AUT_Initialize("LogStressTest") != 0) {
                return std::string("no start");
            }
            constexpr int kPerThread = 1500;
            std::vector<std::thread> threads;
            for (int t = 0; t < 2; ++t) {
                threads.emplace_back([] {
                    AUT_RefPtr<AUT_I_LogFile> log = L::Create("Rotator");
                    for (int n = 0; n < 20 * kPerThread; ++n) {
                        log->Log(L::kLogLevelTrace1, "r");
                    }
                });
                threads.emplace_back([t] {
                    for (int n = 0; n < kPerThread; ++n) {
                        AUT_Exception exception(
                            BrxSeverity(1),
                            ("marker " + std::to_string(t) + " " + std::to_string(n)).c_str());
                        AUT_LogException(exception, __FILE__, __LINE__);
                    }
                });
            }
            for (std::thread& thread : threads) {
                thread.join();
            }
            // Nothing lost: each exception logged by the threads is in the log exactly once.
            std::map<std::string, int> markers;
            for (const std::string& file : CreatedFiles()) {
                for (const std::string& line : SplitLines(file)) {
                    const std::size_t at = line.find("Exception: marker ");
                    if (at != std::string::npos) {
                        ++markers[line.substr(at + 11)];
                    }
                }
            }
            if (markers.size() != 2 * kPerThread) {
                return "markers " + std::to_string(markers.size());
            }
            for (const auto& marker : markers) {
                if (marker.second != 1) {
                    return marker.first + " " + std::to_string(marker.second) + " times";
                }
            }
            AUT_Terminate("LogStressTest");
            return std::string();
        },
        120);
    EXPECT_EQ(result, "");
}

} // namespace
