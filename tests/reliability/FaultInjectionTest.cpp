// Faults from outside the process while the library logs: the disk filling up, the log
// directory vanishing, memory running out. Each must give the documented error, never a crash
// or a hang, lose nothing that was already written, and leave logging able to go on once the
// fault is repaired.
//
// The tests run as root, so permission bits stop nothing: a full disk is a file size limit
// (RLIMIT_FSIZE, with SIGXFSZ ignored, in a forked child), an unwritable directory a regular
// file in its place. Memory runs out through this program's own operator new[] (the library
// allocates its record buffers as arrays).
#include "AUTInitialize.h"
#include "AutTestSupport.h"
#include "ReliabilitySupport.h"
#include "UTI_LogFile.h"
#include "UTLogFileInternal.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <sstream>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {

// Array allocations of kLargeArray bytes or more: while g_largeArraysLeft is not negative,
// that many pass and the ones after throw std::bad_alloc.
constexpr std::size_t kLargeArray = 512 * 1024;
std::atomic<int> g_largeArraysLeft{-1};

} // namespace

void* operator new[](std::size_t size) {
    if (size >= kLargeArray) {
        int left = g_largeArraysLeft.load();
        while (left > 0 && !g_largeArraysLeft.compare_exchange_weak(left, left - 1)) {
        }
        if (left == 0) {
            throw std::bad_alloc();
        }
    }
    if (void* memory = std::malloc(size == 0 ? 1 : size)) {
        return memory;
    }
    throw std::bad_alloc();
}

void operator delete[](void* memory) noexcept {
    std::free(memory);
}

void operator delete[](void* memory, std::size_t) noexcept {
    std::free(memory);
}

namespace {

using L = AUT_I_LogFile;
using reliability::RunInChild;

// "rec <n> <padding>|": a record of these tests, whole only with its closing bar.
std::string RecordText(int n) {
    return "rec " + std::to_string(n) + " " + std::string(80, '.') + "|";
}

// `file` must hold exactly the records `first`..`last` - 1 in order, whole, after its process id
// line.
void ExpectRecords(const std::string& file, int first, int last) {
    const reliability::LogFileContent content = reliability::ReadLogFile(file);
    EXPECT_TRUE(content.startsWithProcessId && content.endsWithNewline) << file;
    std::vector<std::string> expected;
    for (int n = first; n < last; ++n) {
        expected.push_back(RecordText(n));
    }
    EXPECT_EQ(content.records, expected) << file;
}

void Log(AUT_RefPtr<L>& log, int first, int last) {
    for (int n = first; n < last; ++n) {
        log->Log(L::kLogLevelTrace1, RecordText(n).c_str());
    }
}

// Sets the soft file size limit of this process, SIGXFSZ ignored; the hard limit stays, so it
// can be raised again.
bool LimitFileSize(rlim_t bytes) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    if (getrlimit(RLIMIT_FSIZE, &limit) != 0) {
        return false;
    }
    limit.rlim_cur = bytes;
    return setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

// Logs records from `first` on until one throws, at most up to `last`: gives the number of the
// one that threw (or `last`) and what it threw.
int LogUntilThrown(AUT_RefPtr<L>& log, int first, int last, auttest::Thrown& thrown) {
    for (int n = first; n < last; ++n) {
        thrown = auttest::Catch([&] { Log(log, n, n + 1); });
        if (thrown.code != -1) {
            return n;
        }
    }
    return last;
}

class FaultInjection : public auttest::InstallationTest {};

// Each fault strikes after 500 records, while the first file of the family is open; the line
// count limit would rotate after 1001. The records before the failing one must all be there,
// whole (a write cut short by the full disk is cut off again), later records are dropped quietly,
// and once the fault is repaired, a reset of the name starts a new file.
TEST_F(FaultInjection, LogFaultsGiveTheirErrorThenSilenceUntilReset) {
    const std::string logs = logsDir();
    const std::string moved = logsDir() + ".moved";
    const struct {
        const char* name;
        std::function<bool()> inject;
        std::function<void()> repair;
        const char* oldDirectory; // where the first file is afterwards
        long code;                // of the error thrown
        unsigned number;          // its first message's number
        bool named;               // the error names the file it could not create
    } faults[] = {
        // Never on a record boundary: the failing write is cut inside its record.
        {"disk full", [] { return LimitFileSize(64 * 1024 + 17); },
         [] { LimitFileSize(RLIM_INFINITY); }, "", 701, 0x7214BCB6, false},
        // The open file moves away with its directory, so what it holds can be checked.
        {"directory removed", [&] { return rename(logs.c_str(), moved.c_str()) == 0; }, [] {},
         ".moved", 800, 0x7210C8B0, true},
        {"directory replaced by a file",
         [&] {
             return rename(logs.c_str(), moved.c_str()) == 0 &&
                    !root().writeFile("logs", "in the way").empty();
         },
         [&] { unlink(logs.c_str()); }, ".moved", 800, 0x7210C8B0, true},
    };
    for (const auto& fault : faults) {
        SCOPED_TRACE(fault.name);
        root().writeFile("configuration/OrqConfig.xml",
                         reliability::FileModeConfiguration(logs + "/app.log",
                                                            {{"LineCountPerLogFile", "1000"}}));
        const std::string result = RunInChild(
            [&] {
                if (AUT_Initialize("FaultInjection") != 0) {
                    return std::string("no start");
                }
                AUT_RefPtr<L> log = L::Create("Faulty");
                Log(log, 0, 500);
                if (!fault.inject()) {
                    return std::string("not injected");
                }
                auttest::Thrown thrown;
                const int returned = LogUntilThrown(log, 500, 5000, thrown);
                if (auttest::Catch([&] { Log(log, 0, 10); }).code != -1) {
                    return std::string("a record after the failure threw");
                }
                fault.repair();
                L::Reset();
                AUT_RefPtr<L> again = L::Create("Faulty");
                Log(again, 10000, 10010);
                AUT_Terminate("FaultInjection");
                const bool named =
                    thrown.text.find("The new log file \"" + logs + "/app_") != std::string::npos;
                return std::to_string(returned) + " " + std::to_string(thrown.code) + " " +
                       std::to_string(thrown.number) + (named ? " named" : "");
            },
            60);
        int returned = -1;
        ASSERT_EQ(std::sscanf(result.c_str(), "%d", &returned), 1) << result;
        EXPECT_EQ(result.substr(result.find(' ') + 1), std::to_string(fault.code) + " " +
                                                           std::to_string(fault.number) +
                                                           (fault.named ? " named" : ""));
        // About 650 records fit on the full disk; the directory is needed at the rotation.
        EXPECT_TRUE(fault.named ? returned == 1001 : returned > 500 && returned < 1001) << returned;
        const std::vector<std::string> before =
            reliability::FilesWithPrefix(logs + fault.oldDirectory, "app_");
        const std::vector<std::string> after = reliability::FilesWithPrefix(logs, "app_");
        ASSERT_FALSE(before.empty());
        ASSERT_EQ(after.size(), fault.oldDirectory[0] == '\0' ? 2u : 1u);
        ExpectRecords(before.front(), 0, returned);
        ExpectRecords(after.back(), 10000, 10010);
        std::system(("rm -rf '" + logs + "' '" + moved + "'").c_str());
    }
}

// Threads that log at once share writes: when the disk fills, a call throws 701 exactly when
// its record is not in the file, and each thread's records there are its first ones, whole.
TEST_F(FaultInjection, SharedWritesFailExactlyTheCallsNotWritten) {
    root().writeFile("configuration/OrqConfig.xml",
                     reliability::FileModeConfiguration(logsDir() + "/app.log"));
    std::istringstream thrown(RunInChild( // per thread, the record that threw 701, or -1
        [] {
            std::vector<long> at(4, -1);
            if (AUT_Initialize("FaultInjection") == 0 && LimitFileSize(64 * 1024 + 17)) {
                reliability::OnThreads(4, [&at](int t) {
                    AUT_RefPtr<L> log = L::Create("Faulty");
                    auttest::Thrown error;
                    const int n = LogUntilThrown(log, t * 10000, t * 10000 + 2000, error);
                    at[t] = error.code == -1 ? -1 : error.code == 701 ? n % 10000 : -2;
                });
            }
            return std::to_string(at[0]) + " " + std::to_string(at[1]) + " " +
                   std::to_string(at[2]) + " " + std::to_string(at[3]);
        },
        60));
    std::vector<long> next(4, 0);
    for (const std::string& record :
         reliability::ReadLogFile(reliability::FilesWithPrefix(logsDir(), "app_").at(0)).records) {
        const long n = std::atol(record.c_str() + 4);
        ASSERT_TRUE(n / 10000 < 4 && n % 10000 == next[n / 10000]++ && record == RecordText(n))
            << record;
    }
    int failed = 0;
    for (long at = -3, t = 0; thrown >> at; ++t, failed += at >= 0) {
        EXPECT_TRUE(at == -1 || at == next[t]) << "thread " << t << " threw at " << at;
    }
    EXPECT_GE(failed, 1);
}

// The writer runs out of memory for one record's line (a long one, which its caller's buffer
// took) in the middle of a group: that call throws std::bad_alloc, and the records before and
// after it, in its group and after, are written whole.
TEST_F(FaultInjection, AWriterOutOfMemoryFailsOnlyThatRecord) {
    root().writeFile("configuration/OrqConfig.xml",
                     reliability::FileModeConfiguration(logsDir() + "/app.log"));
    const std::string result = RunInChild(
        [] {
            if (AUT_Initialize("FaultInjection") != 0) {
                return std::string("no start");
            }
            AUT_RefPtr<L> log = L::Create("Faulty");
            const I18NString longText(std::string(kLargeArray, 'x').c_str());
            std::atomic<int> failed{0};
            std::vector<std::thread> threads;
            {
                // Held back by the logging lock: the first thread takes the writer's role, the
                // next two queue, in this order, and are written as one group.
                BrxThreadGuard hold(AUTg_LogLock);
                for (int t = 0; t < 3; ++t) {
                    threads.emplace_back([&, t] {
                        try {
                            t == 2 ? log->Log(L::kLogLevelTrace1, longText) : Log(log, t, t + 1);
                        } catch (const std::bad_alloc&) {
                            failed += t == 2 ? 1 : 100;
                        }
                    });
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
                }
                g_largeArraysLeft = 0; // the writer's buffer for the long line
            }
            for (std::thread& thread : threads) {
                thread.join();
            }
            g_largeArraysLeft = -1;
            Log(log, 2, 4);
            AUT_Terminate("FaultInjection");
            return failed == 1 ? std::string() : "failed " + std::to_string(failed);
        },
        20);
    EXPECT_EQ(result, "");
    ExpectRecords(reliability::FilesWithPrefix(logsDir(), "app_").at(0), 0, 4);
}

} // namespace
