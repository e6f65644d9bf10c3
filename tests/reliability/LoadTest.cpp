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

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define AUT_LOAD_UNDER_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define AUT_LOAD_UNDER_SANITIZER 1
#endif
#endif

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
    std::atomic<int> failures{0};
    long residentKiB[2] = {};
    for (unsigned half = 0; half < 2; ++half) {
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([t, half, perThread, &failures] {
                AUT_RefPtr<L> log = L::Create(("Load" + std::to_string(t)).c_str());
                const I18NString thread = std::to_string(t).c_str();
                for (unsigned n = half * perThread / 2; n < (half + 1) * perThread / 2; ++n) {
                    try {
                        log->Log(L::kLogLevelTrace1, "t{0} n{1} load|", thread,
                                 std::to_string(n).c_str());
                    } catch (...) {
                        ++failures;
                    }
                }
            });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
        residentKiB[half] = reliability::ResidentKiB();
    }
    EXPECT_EQ(failures.load(), 0);

    std::vector<I18NString> created;
    L::GetLogFileNames(created, true);
    const std::vector<std::string> kept = reliability::FilesWithPrefix(logsDir(), "load_");
    const unsigned long total = static_cast<unsigned long>(perThread) * kThreads;
    EXPECT_GE(created.size(), (total + kLineCountLimit) / (kLineCountLimit + 1));
    EXPECT_LE(kept.size(), kFileCountLimit + 1);
    EXPECT_GE(kept.size(), std::min<std::size_t>(created.size(), kFileCountLimit));

    // Each thread's records in the kept files: every number from the oldest kept one to the
    // last, once each. Pruning removes whole files from the old end only.
    std::vector<std::vector<unsigned char>> seen(kThreads, std::vector<unsigned char>(perThread));
    std::size_t malformed = 0;
    for (const std::string& file : kept) {
        const reliability::LogFileContent content = reliability::ReadLogFile(file);
        EXPECT_TRUE(content.startsWithProcessId && content.endsWithNewline) << file;
        EXPECT_LE(content.records.size(), kLineCountLimit + 1) << file;
        for (const std::string& record : content.records) {
            int t = -1;
            unsigned n = 0;
            if (std::sscanf(record.c_str(), "t%d n%u", &t, &n) != 2 || t < 0 || t >= kThreads ||
                n >= perThread ||
                record != "t" + std::to_string(t) + " n" + std::to_string(n) + " load|") {
                ++malformed;
            } else if (seen[t][n] < 255) {
                ++seen[t][n];
            }
        }
    }
    EXPECT_EQ(malformed, 0u);
    std::size_t present = 0;
    for (int t = 0; t < kThreads; ++t) {
        SCOPED_TRACE("thread " + std::to_string(t));
        unsigned n = 0;
        while (n < perThread && seen[t][n] == 0) {
            ++n;
        }
        std::size_t gaps = 0;
        std::size_t repeats = 0;
        for (; n < perThread; ++n) {
            gaps += seen[t][n] == 0;
            repeats += seen[t][n] > 1;
            present += seen[t][n] != 0;
        }
        EXPECT_EQ(gaps, 0u);
        EXPECT_EQ(repeats, 0u);
        EXPECT_EQ(seen[t][perThread - 1], 1u) << "the newest record";
    }
    // The kept files hold all but the pruned files' records.
    EXPECT_GE(present, std::min<std::size_t>(total, (kept.size() - 1) * (kLineCountLimit + 1)));

    std::printf("resident %ld KiB after the first half, %ld KiB after the second\n", residentKiB[0],
                residentKiB[1]);
#ifndef AUT_LOAD_UNDER_SANITIZER
    // The list of created names grows by design (about 100 bytes a file); all else must be flat.
    EXPECT_LT(residentKiB[1] - residentKiB[0], 4096 + static_cast<long>(created.size() / 8));
#endif // the sanitizers' quarantine and shadow memory grow by design
    EXPECT_EQ(AUT_Terminate("Load"), 0);
}

} // namespace
