// Threads that meet across subsystems: settings written to the registry from several threads
// and processes, exceptions logged from many threads into the logging framework, and the text
// services that all threads share. Run under
// ThreadSanitizer (CI's TSan build), where any data race fails the test.
#include "AUTConfiguration.h"
#include "AUTInitialize.h"
#include "AutTestSupport.h"
#include "ReliabilitySupport.h"
#include "UTException.h"
#include "UTI_LogFile.h"
#include "UTStringSupport.h"
#include "UTUserConfigurationWin32.h"

#include <I18NConverter.h>
#include <I18NLocale.h>
#include <WinRegistry.h>
#include <atomic>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using Config = AUT_UserConfigurationWin32;

constexpr int kThreads = 4;

class ConcurrencyStress : public auttest::InstallationTest {
protected:
    void Start() {
        setenv("ORQ_REGISTRY_USER", root().file("registry/user.db").c_str(), 1);
        ASSERT_EQ(AUT_Initialize("ConcurrencyStress"), 0);
        f_started = true;
    }
    void TearDown() override {
        EXPECT_TRUE(!f_started || AUT_Terminate("ConcurrencyStress") == 0);
        unsetenv("ORQ_REGISTRY_USER");
        InstallationTest::TearDown();
    }

    bool f_started = false;
};

TEST_F(ConcurrencyStress, RegistryWritersInThreadsAndProcessesLoseNothing) {
    Start();
    constexpr int kEntries = 150;
    // The first construction reads "Rendition.cfg": it may not race, so it happens here.
    { Config first(Config::kRootKeyCurrentUser); }
    // One shared handle as well: handles are documented as thread-safe.
    HKEY shared = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Stress\\Shared", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &shared, nullptr),
              ERROR_SUCCESS);
    // Writer `t` writes entries of its own and overwrites one that all share; the last writer
    // wins, nothing tears. Writer kThreads is another process, whose handles are its own.
    std::atomic<int> ready{0};
    auto writer = [&](int t) {
        Config config(Config::kRootKeyCurrentUser);
        // Objects made apart, whose first operations (completing the key path) run at once.
        for (++ready; t < kThreads && ready.load() < kThreads;) {
            std::this_thread::yield();
        }
        int failures = 0;
        for (int n = 0; n < kEntries; ++n) {
            const std::string name = std::to_string(t) + "e" + std::to_string(n);
            const DWORD value = static_cast<DWORD>(n * kThreads + t);
            failures += auttest::Catch([&] {
                            config.SetInt("Own", name.c_str(), value);
                            config.SetInt("Common", "last", t);
                        }).code != -1;
            failures += t < kThreads && RegSetValueExA(shared, name.c_str(), 0, REG_DWORD,
                                                       reinterpret_cast<const BYTE*>(&value),
                                                       sizeof(value)) != ERROR_SUCCESS;
        }
        return failures;
    };
    const pid_t other = fork();
    if (other == 0) {
        _exit(writer(kThreads));
    }
    std::atomic<int> failures{0};
    reliability::OnThreads(kThreads, [&](int t) { failures += writer(t); });
    int status = 0;
    waitpid(other, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(failures.load(), 0);

    Config config(Config::kRootKeyCurrentUser);
    int wrong = 0;
    for (int t = 0; t <= kThreads; ++t) {
        for (int n = 0; n < kEntries; ++n) {
            const std::string name = std::to_string(t) + "e" + std::to_string(n);
            const DWORD expected = static_cast<DWORD>(n * kThreads + t);
            DWORD value = expected;
            DWORD size = sizeof(value);
            wrong += config.GetInt("Own", name.c_str(), 0xFFFFFFFFul) != expected ||
                     (t < kThreads &&
                      (RegQueryValueExA(shared, name.c_str(), nullptr, nullptr,
                                        reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
                       value != expected));
        }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_LE(config.GetInt("Common", "last", 99), static_cast<unsigned long>(kThreads));
    RegCloseKey(shared);
}

TEST_F(ConcurrencyStress, ExceptionsFromManyThreadsReachTheFrameworkOnceEach) {
    const std::string records = root().file("framework.log");
    // In a child: the framework takes its configuration once per process.
    constexpr int kPerThread = 300;
    EXPECT_EQ(reliability::RunInChild(
                  [&] {
                      setenv("ORQ_LOG_CONFIG",
                             AUT_TEST_DATA_DIR "/ConcurrencyStressTest.properties", 1);
                      setenv("AUT_FRAMEWORK_LOG", records.c_str(), 1);
                      if (AUT_Initialize("ConcurrencyStress") != 0) {
                          return std::string("no start");
                      }
                      reliability::OnThreads(kThreads, [](int t) {
                          for (int n = 0; n < kPerThread; ++n) {
                              AUT_Exception error(BrxSeverity(1), ("marker " + std::to_string(t) +
                                                                   " " + std::to_string(n) + " end")
                                                                      .c_str());
                              AUT_LogException(error, __FILE__, __LINE__);
                          }
                      });
                      return std::to_string(AUT_Terminate("ConcurrencyStress"));
                  },
                  60),
              "0");
    std::size_t repeated = 0;
    EXPECT_EQ(reliability::Markers({records}, "marker ", repeated).size(),
              static_cast<std::size_t>(kThreads * kPerThread));
    EXPECT_EQ(repeated, 0u);
}

// Half the threads read, list and write the store (directly and as user configurations) while
// the others create file-mode and audit log objects and set the log limits, which read and
// write the store under the logging lock. The first GetInt of "Level" races between readers.
TEST_F(ConcurrencyStress, ConfigurationStoreServesReadersWritersAndLogging) {
    root().writeFile("configuration/OrqConfig.xml",
                     auttest::FileModeConfiguration(logsDir() + "/stress.log", {{"Level", "7"}}));
    Start();
    AUT_I_Configuration& store = *AUT_I_Configuration::GetConfiguration();
    const I18NString orq("Orq"), logging("Logging"), level("Level"), stress("Stress");
    std::atomic<int> wrong{0};
    reliability::OnThreads(kThreads, [&](int t) {
        const auto user =
            AUT_I_UserConfiguration::Create(AUT_I_UserConfiguration::kRootKeyCurrentUser);
        const I18NString component(("Comp" + std::to_string(t)).c_str());
        for (unsigned long n = 0; n < 200; ++n) {
            if (t % 2 == 0) {
                const I18NString entry(("e" + std::to_string(n % 20)).c_str());
                store.SetString(orq, stress, entry, I18NString(std::to_string(n).c_str()));
                wrong +=
                    store.GetInt(orq, logging, level, 0) != 7 || !user->HasEntry(stress, entry);
                wrong += user->GetEntryNames(logging).size() < 3 || user->GetSectionNames().empty();
            } else {
                AUT_I_LogFile::Create(component);
                AUT_I_LogFile::Create(component, AUT_I_LogFile::kLogTypeAudit);
                AUT_I_LogFile::SetLogFileLineCountLimit(1000 + n);
                AUT_I_LogFile::SetLogFileFileCountLimit(100 + n);
            }
        }
    });
    EXPECT_EQ(wrong.load(), 0);
}

// Collation keeps a collator per thread, each thread converts with its own copy of one
// converter, and literals and local time texts come from shared state.
TEST_F(ConcurrencyStress, TextServicesAnswerEveryThreadAlike) {
    Start();
    const I18NLocale german("de_DE");
    const I18NString apple(std::u32string(U"\u00e4pfel")), zebra("zebra");
    const I18NConverter shiftJis("Shift_JIS");
    std::atomic<int> wrong{0};
    reliability::OnThreads(kThreads, [&](int t) {
        const I18NConverter converter(shiftJis);
        char text[64];
        for (long n = 0; n < 500; ++n) {
            const long time = 86400L * (n + t);
            wrong += german.compare(apple, zebra) != -1 || german.compare(zebra, apple) != 1;
            wrong += converter.fromCodePoints(converter.toCodePoints("\x82\xA0", 2)) != "\x82\xA0";
            wrong += AUT_I18NLatin1Literal("caf\xe9") != AUT_I18NUTF8Literal("caf\xc3\xa9");
            wrong += aut::ctime_r(&time, text, sizeof(text)) == nullptr;
        }
    });
    EXPECT_EQ(wrong.load(), 0);
}

} // namespace
