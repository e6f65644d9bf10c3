// Threads that meet across subsystems: settings written to the registry from several threads
// and processes, and exceptions logged from many threads into the logging framework. Run under
// ThreadSanitizer (CI's TSan build), where any data race fails the test.
#include "AUTInitialize.h"
#include "AutTestSupport.h"
#include "ReliabilitySupport.h"
#include "UTException.h"
#include "UTUserConfigurationWin32.h"

#include <WinRegistry.h>
#include <atomic>
#include <map>
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
    const std::string configuration = root().writeFile(
        "log4cxx.properties", "log4j.rootLogger=ALL, file\n"
                              "log4j.appender.file=org.apache.log4j.FileAppender\n"
                              "log4j.appender.file.File=" +
                                  records +
                                  "\n"
                                  "log4j.appender.file.ImmediateFlush=true\n"
                                  "log4j.appender.file.layout=org.apache.log4j.PatternLayout\n"
                                  "log4j.appender.file.layout.ConversionPattern=%m%n\n");
    // In a child: the framework takes its configuration once per process.
    constexpr int kPerThread = 300;
    EXPECT_EQ(reliability::RunInChild(
                  [&] {
                      setenv("ORQ_LOG_CONFIG", configuration.c_str(), 1);
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

} // namespace
