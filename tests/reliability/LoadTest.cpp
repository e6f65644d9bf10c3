// Threads logging many records through small files: the line count limit forces a rotation
// every 1001 records and the file count limit prunes the oldest files all along. Nothing may be
// lost or repeated apart from the pruned files, every file must be well-formed, and memory must
// not grow with the records logged.
//
// The ordinary suite logs 150,000 records (150 files: the pruning runs from the 101st on);
// AUT_LOAD_RECORDS=1000000 (per thread) gives the full load.
#include "AUTInitialize.h"
#include "AutTestSupport.h"
#include "ReliabilitySupport.h"
#include "UTI_LogFile.h"
#include "UTLogFileInternal.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <thread>

namespace {

using L = AUT_I_LogFile;

constexpr int kThreads = 4;
constexpr unsigned kLineCountLimit = 1000; // the smallest the settings take
constexpr unsigned kFileCountLimit = 100;  // the smallest the settings take

class Load : public auttest::InstallationTest {};

TEST_F(Load, ThreadsThroughSmallFilesLoseNothingButPrunedFiles) {
    const char* records = std::getenv("AUT_LOAD_RECORDS");
    const unsigned perThread = records != nullptr ? std::atol(records) : 37500u;
    root().writeFile(
        "configuration/OrqConfig.xml",
        reliability::FileModeConfiguration(
            logsDir() + "/load.log", {{"LineCountPerLogFile", std::to_string(kLineCountLimit)},
                                      {"LogFileCount", std::to_string(kFileCountLimit)}}));
    ASSERT_EQ(AUT_Initialize("Load"), 0);

    // Two halves of the same work: the second must not cost more memory than the first.
    long residentKiB[2] = {};
    for (unsigned half = 0; half < 2; ++half) {
        reliability::OnThreads(kThreads, [half, perThread](int t) {
            AUT_RefPtr<L> log = L::Create(("Load" + std::to_string(t)).c_str());
            const I18NString thread = std::to_string(t).c_str();
            for (unsigned n = half * perThread / 2; n < (half + 1) * perThread / 2; ++n) {
                // A record that throws ends the process: nothing may.
                log->Log(L::kLogLevelTrace1, "t{0} n{1} load|", thread, std::to_string(n).c_str());
            }
        });
        residentKiB[half] = reliability::ResidentKiB();
    }

    std::vector<I18NString> created;
    L::GetLogFileNames(created, true);
    EXPECT_EQ(AUT_Terminate("Load"), 0);
    std::printf("resident %ld KiB after the first half, %ld KiB after the second\n", residentKiB[0],
                residentKiB[1]);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__) // g++, as the suite builds
    // The list of created names grows by design (about 100 bytes a file); all else must be flat.
    EXPECT_LT(residentKiB[1] - residentKiB[0], 4096 + static_cast<long>(created.size() / 8));
#endif // the sanitizers' quarantine and shadow memory grow by design
    const std::vector<std::string> kept = reliability::FilesWithPrefix(logsDir(), "load_");
    const unsigned long total = static_cast<unsigned long>(perThread) * kThreads;
    EXPECT_GE(created.size(), (total + kLineCountLimit) / (kLineCountLimit + 1));
    EXPECT_LE(kept.size(), kFileCountLimit + 1);
    EXPECT_GE(kept.size(), std::min<std::size_t>(created.size(), kFileCountLimit));

    // Each thread's records in the kept files, oldest first: consecutive numbers from the oldest
    // kept one to the last, each whole. Pruning removes whole files from the old end only.
    std::vector<long> next(kThreads, -1); // the number due next from each thread
    std::size_t present = 0;
    for (const std::string& file : kept) {
        const reliability::LogFileContent content = reliability::ReadLogFile(file);
        EXPECT_TRUE(content.startsWithProcessId && content.endsWithNewline) << file;
        EXPECT_LE(content.records.size(), kLineCountLimit + 1) << file;
        for (const std::string& record : content.records) {
            int t = -1;
            long n = -1;
            if (std::sscanf(record.c_str(), "t%d n%ld", &t, &n) != 2 || t < 0 || t >= kThreads ||
                record != "t" + std::to_string(t) + " n" + std::to_string(n) + " load|" ||
                (next[t] >= 0 && n != next[t])) {
                ADD_FAILURE() << "out of place in " << file << ": " << record;
                return;
            }
            next[t] = n + 1;
            ++present;
        }
    }
    EXPECT_EQ(next, std::vector<long>(kThreads, perThread)) << "the newest records";
    // The kept files hold all but the pruned files' records.
    EXPECT_GE(present, std::min<std::size_t>(total, (kept.size() - 1) * (kLineCountLimit + 1)));
}

// More records at once than one write takes (64): held back by the logging lock, a hundred
// threads' records queue up behind the first and go out as one group in several writes.
TEST_F(Load, AQueueLongerThanOneWriteLosesNothing) {
    root().writeFile("configuration/OrqConfig.xml",
                     reliability::FileModeConfiguration(logsDir() + "/many.log"));
    ASSERT_EQ(AUT_Initialize("Load"), 0);
    constexpr int kMany = 100;
    std::vector<AUT_RefPtr<L>> logs;
    for (int t = 0; t < kMany; ++t) {
        logs.push_back(L::Create("Many"));
    }
    std::vector<std::thread> threads;
    {
        BrxThreadGuard hold(AUTg_LogLock);
        for (int t = 0; t < kMany; ++t) {
            threads.emplace_back([&logs, t] {
                logs[t]->Log(L::kLogLevelTrace1, ("m" + std::to_string(t) + "|").c_str());
            });
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    logs.clear();
    EXPECT_EQ(AUT_Terminate("Load"), 0);
    std::set<std::string> expected;
    for (int t = 0; t < kMany; ++t) {
        expected.insert("m" + std::to_string(t) + "|");
    }
    const std::vector<std::string> records =
        reliability::ReadLogFile(reliability::FilesWithPrefix(logsDir(), "many_").at(0)).records;
    EXPECT_EQ(std::set<std::string>(records.begin(), records.end()), expected);
    EXPECT_EQ(records.size(), expected.size());
}

} // namespace
