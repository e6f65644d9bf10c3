// Threads that meet across subsystems: settings written to the registry from several threads
// and processes, exceptions logged from many threads into the logging framework, and every
// shared part of the library used at once while consumers come and go. Run under
// ThreadSanitizer (CI's TSan build), where any data race fails the test.
#include "AUTInitialize.h"
#include "AutTestSupport.h"
#include "ReliabilitySupport.h"
#include "UTException.h"
#include "UTI_LogFile.h"
#include "UTMemoryPool.h"
#include "UTRefPtr.h"
#include "UTResourceAccess.h"
#include "UTStringSupport.h"
#include "UTUserConfigurationWin32.h"

#include <WinRegistry.h>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using L = AUT_I_LogFile;
using Config = AUT_UserConfigurationWin32;

constexpr int kThreads = 4;

void JoinAll(std::vector<std::thread>& threads) {
    for (std::thread& thread : threads) {
        thread.join();
    }
}

class ConcurrencyStress : public auttest::InstallationTest {
protected:
    void SetUp() override {
        InstallationTest::SetUp();
        setenv("ORQ_REGISTRY_USER", root().file("registry/user.db").c_str(), 1);
    }
    void TearDown() override {
        if (f_started) {
            EXPECT_EQ(AUT_Terminate("ConcurrencyStress"), 0);
        }
        unsetenv("ORQ_REGISTRY_USER");
        unsetenv("ORQ_LOG_CONFIG");
        InstallationTest::TearDown();
    }
    void Start() {
        ASSERT_EQ(AUT_Initialize("ConcurrencyStress"), 0);
        f_started = true;
    }

    bool f_started = false;
};

TEST_F(ConcurrencyStress, RegistryWritersInThreadsAndProcessesLoseNothing) {
    Start();
    constexpr int kEntries = 150;
    // The first construction reads "Rendition.cfg" and the first use completes the key path:
    // neither may race, so both happen here.
    {
        Config first(Config::kRootKeyCurrentUser);
        first.SetInt("Common", "last", 0);
    }
    // One shared handle as well: handles are documented as thread-safe.
    HKEY shared = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Stress\\Shared", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &shared, nullptr),
              ERROR_SUCCESS);

    // A second process writes into the same database at the same time.
    const pid_t other = fork();
    if (other == 0) {
        Config config(Config::kRootKeyCurrentUser);
        for (int n = 0; n < kEntries; ++n) {
            config.SetInt("Process", ("e" + std::to_string(n)).c_str(), n);
        }
        _exit(0);
    }
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, shared, &failures] {
            Config config(Config::kRootKeyCurrentUser);
            const I18NString section = ("Thread" + std::to_string(t)).c_str();
            for (int n = 0; n < kEntries; ++n) {
                const std::string name = "e" + std::to_string(n);
                try {
                    config.SetInt(section, name.c_str(), n * kThreads + t);
                    config.SetString("Common", ("t" + std::to_string(t) + name).c_str(),
                                     name.c_str());
                    // Everyone overwrites one entry: the last writer wins, nothing tears.
                    config.SetInt("Common", "last", t);
                } catch (const AUT_Exception&) {
                    ++failures;
                }
                const DWORD value = static_cast<DWORD>(n * kThreads + t);
                if (RegSetValueExA(shared, (std::to_string(t) + name).c_str(), 0, REG_DWORD,
                                   reinterpret_cast<const BYTE*>(&value),
                                   sizeof(value)) != ERROR_SUCCESS) {
                    ++failures;
                }
            }
        });
    }
    JoinAll(threads);
    int status = 0;
    waitpid(other, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(failures.load(), 0);

    Config config(Config::kRootKeyCurrentUser);
    int wrong = 0;
    for (int n = 0; n < kEntries; ++n) {
        const std::string name = "e" + std::to_string(n);
        wrong += config.GetInt("Process", name.c_str(), 0xFFFFFFFFul) != static_cast<unsigned>(n);
        for (int t = 0; t < kThreads; ++t) {
            const unsigned long expected = static_cast<unsigned long>(n * kThreads + t);
            wrong +=
                config.GetInt(("Thread" + std::to_string(t)).c_str(), name.c_str(), 0) != expected;
            wrong += config.GetString("Common", ("t" + std::to_string(t) + name).c_str(), "") !=
                     name.c_str();
            DWORD value = 0;
            DWORD size = sizeof(value);
            wrong += RegQueryValueExA(shared, (std::to_string(t) + name).c_str(), nullptr, nullptr,
                                      reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
                     value != expected;
        }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_LT(config.GetInt("Common", "last", 99), static_cast<unsigned long>(kThreads));
    RegCloseKey(shared);
}

// Objects made apart whose first operations run at once share only what was made at load;
// a ThreadSanitizer build sees any write to the shared key path.
TEST_F(ConcurrencyStress, FirstRegistryWritesFromSeveralThreadsDoNotRace) {
    Start();
    // The one construction that must not race, done alone.
    { Config first(Config::kRootKeyCurrentUser); }
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &ready] {
            Config config(Config::kRootKeyCurrentUser);
            // All first operations at once.
            ++ready;
            while (ready.load() < kThreads) {
                std::this_thread::yield();
            }
            config.SetInt("First", ("t" + std::to_string(t)).c_str(), t);
        });
    }
    JoinAll(threads);
    Config config(Config::kRootKeyCurrentUser);
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(config.GetInt("First", ("t" + std::to_string(t)).c_str(), 99),
                  static_cast<unsigned long>(t));
    }
}

TEST_F(ConcurrencyStress, ExceptionsFromManyThreadsReachTheFrameworkOnceEach) {
    const std::string records = root().file("framework.log");
    setenv("ORQ_LOG_CONFIG",
           root()
               .writeFile("log4cxx.properties",
                          "log4j.rootLogger=ALL, file\n"
                          "log4j.appender.file=org.apache.log4j.FileAppender\n"
                          "log4j.appender.file.File=" +
                              records +
                              "\n"
                              "log4j.appender.file.ImmediateFlush=true\n"
                              "log4j.appender.file.layout=org.apache.log4j.PatternLayout\n"
                              "log4j.appender.file.layout.ConversionPattern=%m%n\n")
               .c_str(),
           1);
    Start();
    constexpr int kPerThread = 300;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int n = 0; n < kPerThread; ++n) {
                AUT_Exception error(
                    BrxSeverity(1),
                    ("marker " + std::to_string(t) + " " + std::to_string(n) + " end").c_str());
                AUT_LogException(error, __FILE__, __LINE__);
            }
        });
    }
    JoinAll(threads);
    std::map<std::string, int> markers;
    for (const std::string& line : reliability::SplitLines(auttest::readFile(records))) {
        const std::size_t at = line.find("marker ");
        if (at != std::string::npos) {
            ++markers[line.substr(at)];
        }
    }
    EXPECT_EQ(markers.size(), static_cast<std::size_t>(kThreads * kPerThread));
    for (const auto& marker : markers) {
        EXPECT_EQ(marker.second, 1) << marker.first;
    }
}

// Every shared part of the library at once: counted pointers and their counter pool, thread-safe
// pools, literals, time conversions, catalog texts, file-mode logging across rotations, and
// consumers registering and leaving while the library stays up.
TEST_F(ConcurrencyStress, EverySharedPartAtOnce) {
    root().writeFile("configuration/OrqConfig.xml",
                     reliability::FileModeConfiguration(
                         logsDir() + "/mixed.log",
                         {{"LineCountPerLogFile", "1000"}, {"LogFileCount", "10000"}}));
    Start();
    constexpr int kRounds = 3000;
    std::atomic<int> wrong{0};
    AUT_ThreadSafeMemoryPool pool(sizeof(std::uint64_t), 4096);
    std::vector<std::thread> threads;
    // Pools: each block is written with its owner's id and read back before it goes.
    for (int t = 0; t < 2; ++t) {
        threads.emplace_back([t, &pool, &wrong] {
            std::vector<std::uint64_t*> held;
            for (int n = 0; n < kRounds; ++n) {
                auto* block = static_cast<std::uint64_t*>(pool.GetMemory());
                *block = (static_cast<std::uint64_t>(t) << 32) | static_cast<unsigned>(n);
                held.push_back(block);
                if (held.size() > 16) {
                    for (std::uint64_t* old : held) {
                        wrong += (*old >> 32) != static_cast<std::uint64_t>(t);
                        pool.ReleaseMemory(old);
                    }
                    held.clear();
                }
            }
            for (std::uint64_t* old : held) {
                pool.ReleaseMemory(old);
            }
        });
    }
    // Counted pointers (their counters come from the shared counter pool) around log objects
    // that write through rotations.
    for (int t = 0; t < 2; ++t) {
        threads.emplace_back([t, &wrong] {
            for (int n = 0; n < kRounds; ++n) {
                AUT_RefPtr<L> log = L::Create(("Mixed" + std::to_string(t)).c_str());
                AUT_RefPtr<L> copy = log;
                copy->Log(L::kLogLevelTrace1, "mixed {0} {1}", std::to_string(t).c_str(),
                          std::to_string(n).c_str());
                wrong += copy->GetLogLevel() < L::kLogLevelTrace1;
            }
        });
    }
    // Literals, time conversions and catalog texts.
    threads.emplace_back([&wrong] {
        for (int n = 0; n < kRounds; ++n) {
            wrong += AUT_I18NLatin1Literal("caf\xe9") != I18NString(std::u32string(U"caf\u00e9"));
            wrong += AUT_I18NUTF8Literal("caf\xc3\xa9") != I18NString(std::u32string(U"caf\u00e9"));
            const long time = 86400L * (n % 20000);
            tm result{};
            wrong += aut::gmtime_r(&time, &result) == nullptr || result.tm_hour != 0;
            char text[64];
            wrong += aut::ctime_r(&time, text, sizeof(text)) == nullptr;
            wrong += AUT_ResourceGetString(0xF7C73265u) != "true";
        }
    });
    // Consumers of their own come and go; the test's registration keeps the library up.
    threads.emplace_back([&wrong] {
        for (int n = 0; n < 200; ++n) {
            const std::string name = "Visitor" + std::to_string(n % 3);
            wrong += AUT_Initialize(name.c_str()) != 0;
            wrong += AUT_Terminate(name.c_str()) != 0;
        }
    });
    JoinAll(threads);
    EXPECT_EQ(wrong.load(), 0);

    // Both loggers' records, once each, across the rotations.
    std::set<std::string> records;
    std::size_t total = 0;
    for (const std::string& file : reliability::FilesWithPrefix(logsDir(), "mixed_")) {
        for (const std::string& record : reliability::ReadLogFile(file).records) {
            records.insert(record);
            ++total;
        }
    }
    EXPECT_EQ(total, 2u * kRounds);
    EXPECT_EQ(records.size(), 2u * kRounds);
}

} // namespace
