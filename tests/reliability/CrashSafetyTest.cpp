// A process killed at a random moment (SIGKILL: no handler, no flush, no destructor) while it
// logs to files or writes settings. The child reports each call that returned; afterwards every
// such record or value must be on disk, whole, and nothing may be torn. The seed of each test is
// printed, so that a failing moment can be replayed.
#include "AUTInitialize.h"
#include "AutTestSupport.h"
#include "ReliabilitySupport.h"
#include "UTI_LogFile.h"
#include "UTUserConfigurationWin32.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using L = AUT_I_LogFile;
using Config = AUT_UserConfigurationWin32;

constexpr int kRuns = 20;

class CrashSafety : public auttest::InstallationTest {
protected:
    // Forks `body`, which calls Send after each call that returned, and kills the child with
    // SIGKILL at a random moment within 20..400 ms. Gives every report sent.
    std::vector<std::string> RunAndKill(const std::function<void()>& body) {
        const std::string file = root().file("reports");
        f_reports = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0600);
        const pid_t child = fork();
        if (child == 0) {
            body();
            _exit(0);
        }
        close(f_reports);
        std::this_thread::sleep_for(std::chrono::milliseconds(f_delays(f_random)));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the child ended early";
        // The kill may cut the last report short: it lacks its newline then, and is no report.
        const std::string text = auttest::readFile(file);
        const std::vector<std::string> reports =
            reliability::SplitLines(text.substr(0, text.rfind('\n') + 1));
        f_returnedTotal += reports.size();
        return reports;
    }
    void Send(const std::string& report) {
        const std::string line = report + "\n";
        if (write(f_reports, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
            _exit(3);
        }
    }
    void TearDown() override {
        std::printf("seed %u, %zu returned calls checked\n", f_seed, f_returnedTotal);
        // Runs that never got to log prove nothing: most must have.
        EXPECT_GT(f_returnedTotal, static_cast<std::size_t>(kRuns));
        InstallationTest::TearDown();
    }

    const unsigned f_seed = std::random_device{}();
    std::mt19937 f_random{f_seed};
    std::uniform_int_distribution<int> f_delays{20, 400};
    int f_reports = -1;
    std::size_t f_returnedTotal = 0;
};

std::string LogRecord(unsigned writer, unsigned sequence) {
    return "w" + std::to_string(writer) + " n" + std::to_string(sequence) + " " +
           std::string(40 + sequence % 50, '=') + "|";
}

TEST_F(CrashSafety, KilledWhileLoggingLeavesEveryReturnedRecordWhole) {
    for (int run = 0; run < kRuns; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        // A directory of its own per run, named in the configuration the child reads.
        const std::string logs = root().makeDirectory("logs/run" + std::to_string(run));
        root().writeFile(
            "configuration/OrqConfig.xml",
            reliability::FileModeConfiguration(
                logs + "/crash.log", {{"LineCountPerLogFile", "1000"}, {"LogFileCount", "10000"}}));
        // Two writers, so that the kill also lands between threads and in rotations. Each
        // reports its number after every record that returned.
        const std::vector<std::string> reports = RunAndKill([this] {
            if (AUT_Initialize("CrashSafety") != 0) {
                _exit(4);
            }
            auto writer = [this](unsigned id) {
                AUT_RefPtr<L> log = L::Create(("Writer" + std::to_string(id)).c_str());
                for (unsigned n = 0;; ++n) {
                    log->Log(L::kLogLevelTrace1, LogRecord(id, n).c_str());
                    Send(std::to_string(id));
                }
            };
            std::thread second(writer, 1);
            writer(0);
        });
        const long returned[2] = {std::count(reports.begin(), reports.end(), "0"),
                                  std::count(reports.begin(), reports.end(), "1")};
        long next[2] = {0, 0}; // the record due next from each writer, in file order
        int cut = 0;
        for (const std::string& file : reliability::FilesWithPrefix(logs, "crash_")) {
            reliability::LogFileContent content = reliability::ReadLogFile(file);
            // An empty file is one killed between its creation and its first record.
            EXPECT_TRUE(content.startsWithProcessId || content.records.empty()) << file;
            // The kernel may stop a write at a page boundary for SIGKILL, so the record in
            // flight can end the file cut short, without its newline: the only one, and one
            // whose Log never returned, so the next of its writer. Cut before its text (in the
            // time stamp), nothing of it is left to compare.
            if (!content.endsWithNewline && !content.records.empty()) {
                const std::string tail = content.records.back();
                content.records.pop_back();
                ++cut;
                const auto inFlight = [&](unsigned writer) {
                    return LogRecord(writer, static_cast<unsigned>(returned[writer]))
                               .compare(0, tail.size(), tail) == 0;
                };
                EXPECT_TRUE(tail.empty() || tail[0] != 'w' || inFlight(0) || inFlight(1)) << tail;
            }
            for (const std::string& record : content.records) {
                unsigned writer = 2;
                std::sscanf(record.c_str(), "w%u", &writer);
                if (writer >= 2 || record != LogRecord(writer, next[writer])) {
                    ADD_FAILURE() << "torn, or records lost or repeated before it, in " << file
                                  << ": " << record;
                    break;
                }
                ++next[writer];
            }
        }
        EXPECT_LE(cut, 1);
        // Every returned record is there, and at most the one in flight besides.
        for (int writer = 0; writer < 2; ++writer) {
            EXPECT_TRUE(next[writer] == returned[writer] || next[writer] == returned[writer] + 1)
                << "writer " << writer << ": " << next[writer] << " records on disk, "
                << returned[writer] << " returned";
        }
    }
}

TEST_F(CrashSafety, KilledWhileWritingSettingsLosesNoReturnedValue) {
    setenv("ORQ_REGISTRY_USER", root().file("registry/user.db").c_str(), 1);
    ASSERT_EQ(AUT_Initialize("CrashSafety"), 0);
    // Values of several kilobytes keep each write busy for longer, so kills land inside them.
    const std::string text(3000, 't');
    const unsigned long none = 0xFFFFFFFFul;
    for (int run = 0; run < kRuns; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        const I18NString section = ("Run" + std::to_string(run)).c_str();
        const std::vector<std::string> reports = RunAndKill([&] {
            Config config(Config::kRootKeyCurrentUser);
            for (unsigned n = 0;; ++n) {
                // A new entry, an overwritten one and a long text.
                config.SetInt(section, ("k" + std::to_string(n)).c_str(), n);
                config.SetInt(section, "last", n);
                config.SetString(section, ("s" + std::to_string(n)).c_str(),
                                 (text + std::to_string(n)).c_str());
                Send(std::to_string(n));
            }
        });
        Config config(Config::kRootKeyCurrentUser);
        for (const std::string& n : reports) {
            EXPECT_EQ(config.GetInt(section, ("k" + n).c_str(), none), std::stoul(n));
            EXPECT_EQ(config.GetString(section, ("s" + n).c_str(), ""), (text + n).c_str());
        }
        // The overwritten entry holds the last returned value, or the one in flight; the entry
        // in flight is there whole or not at all; none beyond it.
        const unsigned long count = reports.size();
        const unsigned long last = config.GetInt(section, "last", none);
        EXPECT_TRUE(last == count || last + 1 == count || (count == 0 && last == none)) << last;
        const I18NString inFlight =
            config.GetString(section, ("s" + std::to_string(count)).c_str(), "");
        EXPECT_TRUE(inFlight.empty() || inFlight == (text + std::to_string(count)).c_str());
        EXPECT_EQ(config.GetInt(section, ("k" + std::to_string(count + 1)).c_str(), none), none);
        // The database takes writes again after the crash.
        config.SetInt(section, "after", 1);
        EXPECT_EQ(config.GetInt(section, "after", 0), 1u);
    }
    unsetenv("ORQ_REGISTRY_USER");
    EXPECT_EQ(AUT_Terminate("CrashSafety"), 0);
}

} // namespace
