// aut demo: the library at work on an installation of its own, and a report of what it did.
#include "AUTConfiguration.h"
#include "AUTInitialize.h"
#include "AUTUserConfiguration.h"
#include "Commands.h"
#include "DemoFiles.h"
#include "TerminalProgressBox.h"
#include "UTException.h"
#include "UTI_LogFile.h"
#include "UTStringSupport.h"
#include "UTUserConfigurationWin32.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <fstream>
#include <sys/stat.h>
#include <thread>

namespace auttool {

const char* const kDemoHelp =
    "usage: aut demo [--records N]\n"
    "\n"
    "Starts the library as a consumer on a demonstration installation and reports what it\n"
    "did: it writes N records (default 5000) from three components on three threads, with\n"
    "scope tracers, parameters and audit records, into the library's own log files, which\n"
    "rotate every 1001 records; raises and catches an exception, which the library logs;\n"
    "reads the engine configuration and the registry user configuration; then lists the\n"
    "log files made, their record counts and the first lines of the newest.\n"
    "\n"
    "The installation is $ORQ_BIN_DIR and the directory above it when ORQ_BIN_DIR is set,\n"
    "else the build tree's demo directory for the program in the build tree, and\n"
    "${XDG_DATA_HOME:-$HOME/.local/share}/orq/demo for an installed one. Its OrqConfig.xml (file "
    "mode, 1000 records per\n"
    "file, 100 files kept) and Rendition.cfg are installed where they are missing; files\n"
    "already there are kept. The registry databases are <root>/registry/user.db and\n"
    "machine.db. Runs again as often as wanted: each run adds files after the last one, and\n"
    "the library deletes the oldest beyond the 100 it keeps.\n"
    "\n"
    "Exit status 1 when a thread's logging fails (a write or a rotation) or the records\n"
    "counted in the files differ from the records written.\n";

namespace {

struct Installation {
    std::string root;
    std::string bin;
};

struct Component {
    const char* name;
    const char* work; // what its records say it does
};

const Component kComponents[] = {
    {"QueryEngine", "planned query {0}: {1} joins, estimated {2} rows"},
    {"Optimizer", "rewrote query {0}: pushed {1} filters below {2} rows"},
    {"Storage", "scanned page {0} of segment {1}: {2} rows"},
};
constexpr int kComponentCount = 3;
// Every tenth record is a detail above the components' configured level 2, which the
// library drops without a lock or a copy.
constexpr int kDetailEvery = 10;
constexpr int kBatch = 250;

void makeDirectories(const std::string& path) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string level = path.substr(0, slash);
        if (mkdir(level.c_str(), 0755) != 0 && errno != EEXIST) {
            throw Failure("cannot create the directory '" + level + "': " + std::strerror(errno));
        }
        if (slash == std::string::npos) {
            return;
        }
    }
}

bool exists(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0;
}

// The build tree's demo directory for the program in the build tree; an installed program
// sets up a directory of the user's, never the tree it was built in.
std::string defaultRoot() {
    char* const self = realpath("/proc/self/exe", nullptr);
    char* const built = realpath(AUT_TOOL_BUILD_DIR, nullptr);
    const bool inBuildTree = self != nullptr && built != nullptr &&
                             std::string(self).rfind(std::string(built) + "/", 0) == 0;
    std::free(self);
    std::free(built);
    if (inBuildTree) {
        return AUT_DEMO_ROOT;
    }
    const char* const data = std::getenv("XDG_DATA_HOME");
    if (data != nullptr && data[0] == '/') {
        return std::string(data) + "/orq/demo";
    }
    const char* const home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') {
        throw Failure("neither ORQ_BIN_DIR nor HOME is set: no directory for the installation");
    }
    return std::string(home) + "/.local/share/orq/demo";
}

// The installation's root and binary directory, with the shipped files where they are
// missing, and the environment pointed at it.
Installation prepareInstallation() {
    Installation installation;
    const char* configured = std::getenv("ORQ_BIN_DIR");
    if (configured != nullptr && *configured != '\0') {
        installation.bin = configured;
        while (installation.bin.size() > 1 && installation.bin.back() == '/') {
            installation.bin.pop_back();
        }
        installation.root = installation.bin + "/..";
    } else {
        installation.root = defaultRoot();
        installation.bin = installation.root + "/bin";
    }
    makeDirectories(installation.bin);
    makeDirectories(installation.root + "/configuration");
    // "<bin>/.." reads badly in a report; the directories exist now, so resolve it.
    if (char* resolved = realpath(installation.root.c_str(), nullptr)) {
        installation.root = resolved;
        std::free(resolved);
    }
    std::printf("installation: %s\n", installation.root.c_str());
    // Either place of an engine configuration counts: the first one found is the one read.
    const bool haveConfiguration = exists(installation.root + "/configuration/OrqConfig.xml") ||
                                   exists(installation.bin + "/OrqConfig.xml");
    for (int i = 0; i < kDemoFileCount; ++i) {
        const std::string path = installation.root + "/" + kDemoFiles[i].path;
        const bool isConfiguration = std::strstr(kDemoFiles[i].path, "OrqConfig.xml") != nullptr;
        if ((isConfiguration && haveConfiguration) || exists(path)) {
            std::printf("  %s: kept as found\n", kDemoFiles[i].path);
            continue;
        }
        std::ofstream out(path, std::ios::binary);
        out << kDemoFiles[i].content;
        out.close();
        if (!out) {
            throw Failure("cannot write '" + path + "'");
        }
        std::printf("  %s: installed\n", kDemoFiles[i].path);
    }
    setenv("ORQ_BIN_DIR", installation.bin.c_str(), 1);
    // The demonstration's settings stay in its own directory, never in the user's.
    setenv("ORQ_REGISTRY_USER", (installation.root + "/registry/user.db").c_str(), 1);
    setenv("ORQ_REGISTRY_MACHINE", (installation.root + "/registry/machine.db").c_str(), 1);
    return installation;
}

bool reportEngineConfiguration() {
    AUT_I_Configuration* store = AUT_I_Configuration::GetConfiguration();
    const AUT_RefPtr<AUT_I_UserConfiguration> user =
        AUT_I_UserConfiguration::Create(AUT_I_UserConfiguration::kRootKeyCurrentUser);
    const unsigned long useFramework = user->GetInt("Logging", "UseIPFLogging", 1);
    std::printf("\nengine configuration:\n");
    std::printf("  company %s, rendition %s, component %s\n", store->GetCompanyName().c_str(),
                store->GetRenditionName().c_str(), store->GetDefaultComponentName().c_str());
    std::printf("  Logging/UseIPFLogging: %lu (%s)\n", useFramework,
                useFramework == 0 ? "the library's own log files" : "the logging framework");
    std::printf("  records per log file: %lu (each file takes one more)\n",
                AUT_I_LogFile::GetLogFileLineCountLimit());
    std::printf("  log files kept: %lu\n", AUT_I_LogFile::GetLogFileFileCountLimit());
    std::printf("  log file name: %s\n", AUT_I_LogFile::GetLogFileName().c_str());
    for (const char* entry : {"MaxSessions", "QueryTimeoutSeconds"}) {
        std::printf("  Engine/%s: %lu\n", entry, user->GetInt("Engine", entry, 0));
    }
    std::printf("  Engine/DefaultLocale: %s\n",
                user->GetString("Engine", "DefaultLocale", "(not set)").c_str());
    return useFramework == 0;
}

void reportRegistry(const Installation& installation) {
    AUT_UserConfigurationWin32::SetPath(nullptr);
    AUT_UserConfigurationWin32 registry(AUT_I_UserConfiguration::kRootKeyCurrentUser);
    // The count survives the process: each run reads the last run's and stores its own.
    const unsigned long runs = registry.GetInt("Demo", "RunCount", 0) + 1;
    const I18NString lastRun = registry.GetString("Demo", "LastRun", "never");
    char now[64];
    const std::time_t clock = std::time(nullptr);
    std::tm local{};
    std::strftime(now, sizeof(now), "%Y-%m-%d %H:%M:%S", localtime_r(&clock, &local));
    registry.SetInt("Demo", "RunCount", runs);
    registry.SetString("Demo", "LastRun", now);
    std::printf("\nregistry user configuration (%s/registry/user.db):\n",
                installation.root.c_str());
    std::printf("  key: HKEY_CURRENT_USER\\Software\\%s\\%s\\%s\\Demo\n",
                AUT_UserConfigurationCommon::GetBaseRenditionCompanyName().c_str(),
                AUT_UserConfigurationCommon::GetBaseRenditionName().c_str(),
                AUT_UserConfigurationCommon::GetProductName().c_str());
    std::printf("  RunCount: %lu (this run; stored for the next)\n",
                registry.GetInt("Demo", "RunCount", 0));
    std::printf("  LastRun: %s before this run, now %s\n", lastRun.c_str(),
                registry.GetString("Demo", "LastRun", "").c_str());
}

// The records one component writes on its own thread; returns how many the library took.
long writeRecords(const Component& component, int index, int count, std::atomic<int>& progress) {
    using L = AUT_I_LogFile;
    long written = 0;
    const AUT_RefPtr<AUT_I_LogFile> log = L::Create(component.name);
    const auto takes = [&log](L::ELogLevel level) { return level <= log->GetLogLevel(); };
    {
        const AUT_RefPtr<AUT_I_LogFile> worker =
            L::Create(component.name, L::kLogLevelTrace1, "enter {0} worker {1}",
                      "leave {0} worker {1}", component.name, AUT_ToString(index));
        written += takes(L::kLogLevelTrace1) ? 2 : 0; // its entry record now, its exit later
        for (int first = 0; first < count; first += kBatch) {
            const AUT_RefPtr<AUT_I_LogFile> batch =
                L::Create(component.name, L::kLogLevelTrace2, "batch {0}", "batch {0} done",
                          AUT_ToString(first / kBatch + 1));
            written += takes(L::kLogLevelTrace2) ? 2 : 0;
            for (int i = first; i < count && i < first + kBatch; ++i) {
                log->Log(L::kLogLevelTrace2, component.work, AUT_ToString(i + 1),
                         AUT_ToString(i % 7 + 1), AUT_ToString(i * 37 % 10000));
                written += takes(L::kLogLevelTrace2) ? 1 : 0;
                if (i % kDetailEvery == 0) {
                    log->Log(L::kLogLevelTrace4, "detail {0}", AUT_ToString(i));
                    written += takes(L::kLogLevelTrace4) ? 1 : 0;
                }
                progress.fetch_add(1, std::memory_order_relaxed);
            }
        }
    }
    return written;
}

// An audit pair around one query, and an exception raised, caught and logged by the library.
long writeAuditAndException() {
    using L = AUT_I_LogFile;
    long written = 0;
    const AUT_RefPtr<AUT_I_LogFile> audit = L::Create("QueryEngine", L::kLogTypeAudit);
    for (bool isStart : {true, false}) {
        audit->AuditLog(L::kLogLevelAudit0, isStart, "session-1", "request-7",
                        "query 7 for user demo");
        written += L::kLogLevelAudit0 <= audit->GetLogLevel() ? 1 : 0;
    }
    // The library logs every exception it throws through a "QueryEngine" object at level 1.
    const AUT_RefPtr<AUT_I_LogFile> engine = L::Create("QueryEngine");
    try {
        AUT_I_LogFile::SetLogFileLineCountLimit(999);
        std::printf("  no exception for a limit of 999 records\n");
    } catch (const AUT_Exception& error) {
        written += L::kLogLevelTrace1 <= engine->GetLogLevel() ? 1 : 0;
        std::printf("  raised and caught error %ld: %s\n", error.getErrorCode(),
                    oneLine(error.what()).c_str());
    }
    return written;
}

long writeAll(int records) {
    std::printf("\nwriting %d records from %d components on %d threads\n", records, kComponentCount,
                kComponentCount);
    std::atomic<int> progress{0};
    std::atomic<int> running{kComponentCount};
    long written[kComponentCount] = {};
    // A thread's failure (a write or a rotation the library could not make) is reported by
    // the main thread, as every failure of a command is: it must not end the process.
    std::exception_ptr failures[kComponentCount];
    std::vector<std::thread> threads;
    for (int i = 0; i < kComponentCount; ++i) {
        const int share = records / kComponentCount + (i < records % kComponentCount ? 1 : 0);
        threads.emplace_back([i, share, &progress, &running, &written, &failures] {
            try {
                written[i] = writeRecords(kComponents[i], i + 1, share, progress);
            } catch (...) {
                failures[i] = std::current_exception();
            }
            running.fetch_sub(1);
        });
    }
    {
        TerminalProgressBox box;
        box.SetTitle("aut demo: writing records");
        box.SetDialogType(AUT_I_ProgressBox::kProgressBoxTypesDoubleBar);
        box.SetTopLimit(records);
        box.SetTopInfoText(AUT_ToString(records) + " records from " +
                           AUT_ToString(kComponentCount) + " threads");
        box.SetBottomBarDisplay(AUT_I_ProgressBox::kProgressBoxDisplayAnimated);
        std::vector<I18NString> files;
        for (int done = 0; done < records && running.load() > 0;) {
            done = progress.load(std::memory_order_relaxed);
            AUT_I_LogFile::GetLogFileNames(files, true);
            box.SetBottomStatusText(files.empty() ? I18NString("to the logging framework")
                                                  : "log file " + files.back());
            // The value last: a drawing it sets off shows the file it went to as well.
            box.SetTopValue(done);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (const std::exception_ptr& failure : failures) {
        if (failure) {
            std::rethrow_exception(failure);
        }
    }
    long total = 0;
    for (int i = 0; i < kComponentCount; ++i) {
        total += written[i];
    }
    return total + writeAuditAndException();
}

// Lists this run's files with their record counts; false when they disagree with `written`.
// A run long enough to make more files than the library keeps loses its first ones to the
// rotation's pruning: their records can no longer be counted.
bool reportLogFiles(long written) {
    std::vector<I18NString> names;
    AUT_I_LogFile::GetLogFileNames(names, true);
    std::printf("\nlog files made by this run, oldest first:\n");
    long counted = 0;
    std::size_t deleted = 0;
    LogFileSummary newest;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string name = narrow(names[i]);
        struct stat status {};
        if (stat(name.c_str(), &status) != 0) {
            ++deleted;
            continue;
        }
        newest = readLogFile(name);
        counted += static_cast<long>(newest.records);
        // A long run lists its first and last files only.
        if (names.size() - deleted <= 12 || i + 3 >= names.size() || i < deleted + 3) {
            std::printf("  %s  %zu records\n", name.c_str(), newest.records);
        } else if (i == deleted + 3) {
            std::printf("  ...\n");
        }
    }
    if (deleted > 0) {
        std::printf("  %zu older files of this run were deleted by the rotation\n", deleted);
        std::printf("  total: %ld records in the %zu files left; the demo wrote %ld\n", counted,
                    names.size() - deleted, written);
    } else {
        std::printf("  total: %ld records in %zu file%s; the demo wrote %ld\n", counted,
                    names.size(), names.size() == 1 ? "" : "s", written);
    }
    const std::vector<std::string> family = existingLogFiles();
    std::printf("log files of the family on disk: %zu (the oldest beyond %lu are deleted)\n",
                family.size(), AUT_I_LogFile::GetLogFileFileCountLimit());
    if (!names.empty()) {
        const std::vector<std::string>& lines = newest.lines;
        std::printf("\nfirst lines of the newest file, %s:\n", names.back().c_str());
        for (std::size_t i = 0; i < lines.size() && i < 4; ++i) {
            std::printf("  %s\n", lines[i].c_str());
        }
        // The audit pair and the exception's record come last.
        std::printf("and its last lines:\n");
        for (std::size_t i = lines.size() - std::min<std::size_t>(lines.size(), 6);
             i < lines.size(); ++i) {
            std::printf("  %s\n", lines[i].c_str());
        }
    }
    return deleted > 0 || counted == written;
}

} // namespace

int runDemo(Args& args) {
    std::string recordsText;
    takeOption(args, "--records", recordsText);
    rejectUnknownOptions(args);
    if (!args.empty()) {
        throw Misuse("unexpected argument '" + args[0] + "'");
    }
    const int records = recordsText.empty()
                            ? 5000
                            : static_cast<int>(parseNumber(recordsText, 10000000, "--records"));
    const Installation installation = prepareInstallation();

    LibrarySession session;
    std::printf("started the library as consumer 'aut' (registrations: %ld)\n",
                AUT_GetInitializeCount());
    const bool fileMode = reportEngineConfiguration();
    reportRegistry(installation);
    const long written = writeAll(records);
    std::printf("  the library took %ld records (details above the level were dropped)\n", written);
    bool consistent = true;
    if (fileMode) {
        consistent = reportLogFiles(written);
    } else {
        std::printf("\nthe records went to the logging framework: no log files were made\n");
    }
    if (!consistent) {
        throw Failure("the log files hold a different number of records than were written");
    }
    return 0;
}

} // namespace auttool
