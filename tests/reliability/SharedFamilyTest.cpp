// Several processes of one installation logging into one family of files: they start together,
// rotate together, and one prunes while another still writes an old file. Every record whose
// Log returned must be on disk.
#include "AUTInitialize.h"
#include "AutTestSupport.h"
#include "ReliabilitySupport.h"
#include "UTI_LogFile.h"

#include <chrono>
#include <thread>

namespace {

using L = AUT_I_LogFile;
using Clock = std::chrono::steady_clock;

class SharedFamily : public auttest::InstallationTest {
protected:
    void SetUp() override {
        InstallationTest::SetUp();
        root().writeFile("configuration/OrqConfig.xml",
                         reliability::FileModeConfiguration(
                             logsDir() + "/shared.log",
                             {{"LineCountPerLogFile", "1000"}, {"LogFileCount", "100"}}));
    }

    // A process's work: from `start` on, records "<name> n<k>|" for k in [0, last), with
    // `pause` run after `pauseAt` records; what failed, or "".
    static std::string Logger(const std::string& name,
                              int last,
                              Clock::time_point start,
                              int pauseAt = -1,
                              const std::function<void()>& pause = nullptr) {
        while (Clock::now() < start) {
        }
        if (AUT_Initialize(name.c_str()) != 0) {
            return name + " did not start";
        }
        const auttest::Thrown thrown = auttest::Catch([&] {
            const AUT_RefPtr<L> log = L::Create("Shared");
            for (int k = 0; k < last; ++k) {
                if (k == pauseAt) {
                    pause();
                }
                log->Log(L::kLogLevelTrace1, "{0}|", (name + " n" + std::to_string(k)).c_str());
            }
        });
        AUT_Terminate(name.c_str());
        return thrown.code == -1 ? "" : name + ": " + thrown.text;
    }

    // Runs the loggers in processes of their own at once; expects each to succeed and every
    // record of each to be in the family's files.
    void RunTogether(const std::vector<std::pair<std::string, int>>& loggers,
                     const std::function<std::string(int, Clock::time_point)>& body) {
        const Clock::time_point start = Clock::now() + std::chrono::milliseconds(50);
        std::vector<std::string> failures(loggers.size());
        reliability::OnThreads(static_cast<int>(loggers.size()), [&](int i) {
            failures[i] = reliability::RunInChild([&] { return body(i, start); }, 120);
        });
        std::size_t repeated = 0;
        const std::set<std::string> written = reliability::Markers(
            reliability::FilesWithPrefix(logsDir(), "shared_"), "proc-", repeated);
        for (std::size_t i = 0; i < loggers.size(); ++i) {
            EXPECT_EQ(failures[i], "");
            for (int k = 0; k < loggers[i].second; ++k) {
                const std::string record = loggers[i].first + " n" + std::to_string(k) + "|";
                ASSERT_EQ(written.count(record), 1u) << record;
            }
        }
        EXPECT_EQ(repeated, 0u);
    }
};

TEST_F(SharedFamily, ProcessesNeverTakeOneNumberNorPruneAFileInUse) {
    // Starting together: each process lists the family and creates the next number at once.
    for (int round = 0; round < 30; ++round) {
        const std::string a = "proc-" + std::to_string(round) + "a";
        const std::string b = "proc-" + std::to_string(round) + "b";
        RunTogether({{a, 1}, {b, 1}}, [&](int i, Clock::time_point start) {
            return Logger(i == 0 ? a : b, 1, start);
        });
    }
    // Rotating together, every 1001 records.
    RunTogether({{"proc-r", 20000}, {"proc-s", 20000}}, [](int i, Clock::time_point start) {
        return Logger(i == 0 ? "proc-r" : "proc-s", 20000, start);
    });
    // A quiet process writes an old file while a busy one rotates through more files than the
    // family keeps; the quiet one's file must outlive the pruning.
    const std::string ready = root().file("quiet-ready");
    const std::string done = root().file("busy-done");
    const auto waitFor = [](const std::string& path) {
        while (access(path.c_str(), F_OK) != 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    };
    RunTogether({{"proc-quiet", 10}, {"proc-busy", 0}}, [&](int i, Clock::time_point start) {
        if (i == 0) {
            return Logger("proc-quiet", 10, start, 5, [&] {
                root().writeFile("quiet-ready", "");
                waitFor(done);
            });
        }
        waitFor(ready);
        const std::string failure = Logger("proc-busy", 110000, start);
        root().writeFile("busy-done", "");
        return failure;
    });
}

} // namespace
