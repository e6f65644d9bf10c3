// A process killed at a random moment (SIGKILL: no handler, no flush, no destructor) while it
// logs to files or writes settings. The child reports through a pipe each call that returned;
// afterwards every such record or value must be on disk, whole, and nothing may be torn.
// The seed of each run is printed, so that a failing moment can be replayed.
#include "AUTInitialize.h"
#include "AutTestSupport.h"
#include "ReliabilitySupport.h"
#include "UTI_LogFile.h"
#include "UTUserConfigurationWin32.h"

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <poll.h>
#include <random>
#include <set>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using L = AUT_I_LogFile;

constexpr int kRuns = 20;

// What a child reports per returned call: which writer and which sequence number.
struct Report {
    std::uint32_t writer;
    std::uint32_t sequence;
};

// Forks `body`, which writes Reports to the given descriptor; kills the child with SIGKILL
// after `delay` and gives every report that reached the pipe.
std::vector<Report> RunAndKill(const std::function<void(int)>& body,
                               std::chrono::milliseconds delay) {
    int channel[2];
    if (pipe(channel) != 0) {
        ADD_FAILURE() << "pipe";
        return {};
    }
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        body(channel[1]);
        _exit(0);
    }
    close(channel[1]);
    std::string bytes;
    const auto deadline = std::chrono::steady_clock::now() + delay;
    auto drain = [&](int timeoutMs) {
        pollfd ready{channel[0], POLLIN, 0};
        if (poll(&ready, 1, timeoutMs) <= 0) {
            return false;
        }
        char buffer[8192];
        const ssize_t n = read(channel[0], buffer, sizeof(buffer));
        if (n <= 0) {
            return false;
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
        return true;
    };
    while (std::chrono::steady_clock::now() < deadline) {
        drain(1);
    }
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    while (drain(0)) {
    }
    close(channel[0]);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the child ended early";
    // Reports are written whole (fewer bytes than PIPE_BUF), so the stream splits evenly.
    std::vector<Report> reports(bytes.size() / sizeof(Report));
    if (!reports.empty()) {
        std::memcpy(reports.data(), bytes.data(), reports.size() * sizeof(Report));
    }
    return reports;
}

void Send(int channel, std::uint32_t writer, std::uint32_t sequence) {
    const Report report{writer, sequence};
    if (write(channel, &report, sizeof(report)) != static_cast<ssize_t>(sizeof(report))) {
        _exit(3);
    }
}

std::string LogRecord(std::uint32_t writer, std::uint32_t sequence) {
    return "w" + std::to_string(writer) + " n" + std::to_string(sequence) + " " +
           std::string(40 + sequence % 50, '=') + "|";
}

class CrashSafety : public auttest::InstallationTest {
protected:
    std::mt19937 Random() {
        const unsigned seed = std::random_device{}();
        std::printf("seed %u\n", seed);
        return std::mt19937(seed);
    }
};

TEST_F(CrashSafety, KilledWhileLoggingLeavesEveryReturnedRecordWhole) {
    std::mt19937 random = Random();
    std::uniform_int_distribution<int> delays(20, 400);
    std::size_t returnedTotal = 0;
    for (int run = 0; run < kRuns; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        // A directory of its own per run, named in the configuration the child reads.
        const std::string logs = root().makeDirectory("logs/run" + std::to_string(run));
        root().writeFile(
            "configuration/OrqConfig.xml",
            reliability::FileModeConfiguration(
                logs + "/crash.log", {{"LineCountPerLogFile", "1000"}, {"LogFileCount", "10000"}}));
        const std::vector<Report> reports = RunAndKill(
            [](int channel) {
                if (AUT_Initialize("CrashSafety") != 0) {
                    _exit(4);
                }
                // Two writers, so that the kill also lands between threads and in rotations.
                auto writer = [channel](std::uint32_t id) {
                    AUT_RefPtr<L> log = L::Create(("Writer" + std::to_string(id)).c_str());
                    for (std::uint32_t n = 0;; ++n) {
                        log->Log(L::kLogLevelTrace1, LogRecord(id, n).c_str());
                        Send(channel, id, n);
                    }
                };
                std::thread second(writer, 1);
                writer(0);
            },
            std::chrono::milliseconds(delays(random)));
        returnedTotal += reports.size();

        std::map<std::pair<std::uint32_t, std::uint32_t>, int> seen;
        std::set<std::pair<std::uint32_t, std::uint32_t>> returned;
        for (const Report& report : reports) {
            returned.insert({report.writer, report.sequence});
        }
        int torn = 0;
        int cutInFlight = 0;
        for (const std::string& file : reliability::FilesWithPrefix(logs, "crash_")) {
            reliability::LogFileContent content = reliability::ReadLogFile(file);
            // An empty file is one killed between its creation and its first record.
            if (auttest::readFile(file).empty()) {
                continue;
            }
            EXPECT_TRUE(content.startsWithProcessId) << file;
            // The kernel may stop a write at a page boundary for SIGKILL, so the record in
            // flight can end the file cut short, without its newline. It must be one whose Log
            // never returned, and the only one.
            if (!content.endsWithNewline && !content.records.empty()) {
                const std::string cut = content.records.back();
                content.records.pop_back();
                ++cutInFlight;
                unsigned writer = 0;
                unsigned sequence = 0;
                if (std::sscanf(cut.c_str(), "w%u n%u", &writer, &sequence) == 2) {
                    EXPECT_EQ(LogRecord(writer, sequence).compare(0, cut.size(), cut), 0) << cut;
                    EXPECT_EQ(returned.count({writer, sequence}), 0u)
                        << "returned, yet cut: " << cut;
                }
            }
            for (const std::string& record : content.records) {
                unsigned writer = 0;
                unsigned sequence = 0;
                if (std::sscanf(record.c_str(), "w%u n%u", &writer, &sequence) != 2 ||
                    record != LogRecord(writer, sequence)) {
                    ++torn;
                    ADD_FAILURE() << "torn record in " << file << ": " << record;
                    continue;
                }
                ++seen[{writer, sequence}];
            }
        }
        EXPECT_EQ(torn, 0);
        EXPECT_LE(cutInFlight, 1);
        int missing = 0;
        for (const Report& report : reports) {
            missing += seen.count({report.writer, report.sequence}) == 0;
        }
        EXPECT_EQ(missing, 0);
        for (const auto& entry : seen) {
            EXPECT_EQ(entry.second, 1) << "w" << entry.first.first << " n" << entry.first.second;
        }
        // Only the record in flight at the kill may be on disk unreported, one per writer.
        EXPECT_LE(seen.size(), reports.size() + 2);
    }
    std::printf("%d runs, %zu returned records checked\n", kRuns, returnedTotal);
    // Runs that never got to log prove nothing: most must have.
    EXPECT_GT(returnedTotal, static_cast<std::size_t>(kRuns) * 10);
}

TEST_F(CrashSafety, KilledWhileWritingSettingsLosesNoReturnedValue) {
    setenv("ORQ_REGISTRY_USER", root().file("registry/user.db").c_str(), 1);
    ASSERT_EQ(AUT_Initialize("CrashSafety"), 0);
    std::mt19937 random = Random();
    std::uniform_int_distribution<int> delays(20, 400);
    // Values of several kilobytes keep each write busy for longer, so kills land inside them.
    const std::string text(3000, 't');
    std::size_t returnedTotal = 0;
    for (int run = 0; run < kRuns; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        const I18NString section = ("Run" + std::to_string(run)).c_str();
        const std::vector<Report> reports = RunAndKill(
            [&](int channel) {
                AUT_UserConfigurationWin32 config(AUT_UserConfigurationWin32::kRootKeyCurrentUser);
                for (std::uint32_t n = 0;; ++n) {
                    // A new entry, an overwritten one and a long text.
                    config.SetInt(section, ("k" + std::to_string(n)).c_str(), n);
                    config.SetInt(section, "last", n);
                    config.SetString(section, ("s" + std::to_string(n)).c_str(),
                                     (text + std::to_string(n)).c_str());
                    Send(channel, 0, n);
                }
            },
            std::chrono::milliseconds(delays(random)));
        returnedTotal += reports.size();

        AUT_UserConfigurationWin32 config(AUT_UserConfigurationWin32::kRootKeyCurrentUser);
        const unsigned long none = 0xFFFFFFFFul;
        int lost = 0;
        for (const Report& report : reports) {
            const std::string n = std::to_string(report.sequence);
            lost += config.GetInt(section, ("k" + n).c_str(), none) != report.sequence;
            lost += config.GetString(section, ("s" + n).c_str(), "") != (text + n).c_str();
        }
        EXPECT_EQ(lost, 0);
        const unsigned long returned = reports.size();
        // The overwritten entry holds the last returned value, or the one in flight.
        const unsigned long last = config.GetInt(section, "last", none);
        if (returned > 0) {
            EXPECT_TRUE(last == returned - 1 || last == returned) << last;
        }
        // The entry in flight is there whole or not at all; none beyond it.
        const I18NString inFlight =
            config.GetString(section, ("s" + std::to_string(returned)).c_str(), "");
        EXPECT_TRUE(inFlight.empty() || inFlight == (text + std::to_string(returned)).c_str());
        EXPECT_EQ(config.GetInt(section, ("k" + std::to_string(returned + 1)).c_str(), none), none);
        // The database takes writes again after the crash.
        config.SetInt(section, "after", 1);
        EXPECT_EQ(config.GetInt(section, "after", 0), 1u);
    }
    std::printf("%d runs, %zu returned setting writes checked\n", kRuns, returnedTotal);
    EXPECT_GT(returnedTotal, static_cast<std::size_t>(kRuns));
    unsetenv("ORQ_REGISTRY_USER");
    EXPECT_EQ(AUT_Terminate("CrashSafety"), 0);
}

} // namespace
