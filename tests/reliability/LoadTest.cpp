// Two threads logging many records through small files: the line count limit forces a rotation
// every 1001 records and the file count limit prunes the oldest files all along. Nothing may be
// lost or repeated apart from the pruned files, every file must be well-formed, and memory must
// stay flat.
//
// The ordinary suite logs 2 x 75,000 records (150 files: the pruning runs from the 101st on);
// AUT_LOAD_RECORDS=1000000 gives the full load.
#include "AUTInitialize.h"
#include "AutTestSupport.h"
#include "ReliabilitySupport.h"
#include "UTI_LogFile.h"

#include <atomic>
#include <chrono>
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

constexpr int kThreads = 2;
constexpr unsigned kLineCountLimit = 1000; // the smallest the settings take
constexpr unsigned kFileCountLimit = 100;  // the smallest the settings take

unsigned RecordsPerThread() {
    const char* value = std::getenv("AUT_LOAD_RECORDS");
    const long records = value != nullptr ? std::atol(value) : 0;
    return records > 0 ? static_cast<unsigned>(records) : 75000u;
}

std::string Record(int thread, unsigned n) {
    return "t" + std::to_string(thread) + " n" + std::to_string(n) + " load|";
}

class Load : public auttest::InstallationTest {};

TEST_F(Load, TwoThreadsThroughSmallFilesLoseNothingButPrunedFiles) {
    const unsigned perThread = RecordsPerThread();
    root().writeFile(
        "configuration/OrqConfig.xml",
        reliability::FileModeConfiguration(
            logsDir() + "/load.log", {{"LineCountPerLogFile", std::to_string(kLineCountLimit)},
                                      {"LogFileCount", std::to_string(kFileCountLimit)}}));
    ASSERT_EQ(AUT_Initialize("Load"), 0);

    std::atomic<unsigned long> written{0};
    std::atomic<int> failures{0};
    const unsigned long total = static_cast<unsigned long>(perThread) * kThreads;
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, perThread, &written, &failures] {
            AUT_RefPtr<L> log = L::Create(("Load" + std::to_string(t)).c_str());
            for (unsigned n = 0; n < perThread; ++n) {
                try {
                    log->Log(L::kLogLevelTrace1, Record(t, n).c_str());
                } catch (...) {
                    ++failures;
                }
                ++written;
            }
        });
    }
    // Memory after the first quarter and at the end: the same work must not cost more memory.
    while (written.load() < total / 4) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const long firstQuarterKiB = reliability::ResidentKiB();
    while (written.load() < total - total / 4) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    const long lastQuarterKiB = reliability::ResidentKiB();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(failures.load(), 0);

    std::vector<I18NString> created;
    L::GetLogFileNames(created, true);
    const std::vector<std::string> kept = reliability::FilesWithPrefix(logsDir(), "load_");
    // The sequence number has four digits: at most 9999 files a day.
    const unsigned long expectedFiles = (total + kLineCountLimit) / (kLineCountLimit + 1);
    EXPECT_GE(created.size(), expectedFiles);
    EXPECT_LE(kept.size(), kFileCountLimit + 1);
    EXPECT_GE(kept.size(), std::min<std::size_t>(created.size(), kFileCountLimit));
    EXPECT_LE(kept.size(), created.size());

    // Each thread's records in the kept files: every number from the oldest kept one to the
    // last, once each. Pruning removes whole files from the old end only.
    std::vector<std::vector<unsigned char>> seen(kThreads, std::vector<unsigned char>(perThread));
    std::size_t malformed = 0;
    for (const std::string& file : kept) {
        const reliability::LogFileContent content = reliability::ReadLogFile(file);
        EXPECT_TRUE(content.startsWithProcessId) << file;
        EXPECT_TRUE(content.endsWithNewline) << file;
        EXPECT_LE(content.records.size(), kLineCountLimit + 1) << file;
        for (const std::string& record : content.records) {
            int t = -1;
            unsigned n = 0;
            if (std::sscanf(record.c_str(), "t%d n%u", &t, &n) != 2 || t < 0 || t >= kThreads ||
                n >= perThread || record != Record(t, n)) {
                ++malformed;
                continue;
            }
            if (seen[t][n] < 255) {
                ++seen[t][n];
            }
        }
    }
    EXPECT_EQ(malformed, 0u);
    std::size_t present = 0;
    for (int t = 0; t < kThreads; ++t) {
        SCOPED_TRACE("thread " + std::to_string(t));
        unsigned oldest = 0;
        while (oldest < perThread && seen[t][oldest] == 0) {
            ++oldest;
        }
        std::size_t gaps = 0;
        std::size_t repeats = 0;
        for (unsigned n = oldest; n < perThread; ++n) {
            gaps += seen[t][n] == 0;
            repeats += seen[t][n] > 1;
            present += seen[t][n] != 0;
        }
        EXPECT_EQ(gaps, 0u);
        EXPECT_EQ(repeats, 0u);
        // The newest records are all there.
        EXPECT_EQ(seen[t][perThread - 1], 1u);
    }
    // The kept files hold about what the limits keep: all but the pruned files' records.
    EXPECT_GE(present, std::min<std::size_t>(total, (kept.size() - 1) * (kLineCountLimit + 1)));

    const long growthKiB = lastQuarterKiB - firstQuarterKiB;
    std::printf("load: %u x %u records in %.1f s (%.0f records/s), %zu files created, %zu kept, "
                "resident %ld KiB after the first quarter, %ld KiB at the end\n",
                kThreads, perThread, seconds, total / seconds, created.size(), kept.size(),
                firstQuarterKiB, lastQuarterKiB);
#ifndef AUT_LOAD_UNDER_SANITIZER
    // The list of created names grows by design (about 100 bytes a file); all else must be flat.
    EXPECT_LT(growthKiB, 4096 + static_cast<long>(created.size() / 8));
#else
    (void)growthKiB; // the sanitizers' quarantine and shadow memory grow by design
#endif
    EXPECT_EQ(AUT_Terminate("Load"), 0);
}

} // namespace
