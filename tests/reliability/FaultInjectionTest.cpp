// Faults from outside the process while the library works: the disk filling up, the log
// directory vanishing, an unreadable configuration file, missing message catalogs, a settings
// database that is full, cut short or not a file, and component libraries that are missing or
// broken. Each must give the documented error or default, never a crash, and lose nothing that
// was already written.
//
// The tests run as root, so permission bits stop nothing: read-only places are made with a file
// size limit (RLIMIT_FSIZE, with SIGXFSZ ignored, in a forked child) or by putting a regular
// file where a directory must be.
#include "AUTConfiguration.h"
#include "AUTInitialize.h"
#include "AutTestSupport.h"
#include "ReliabilitySupport.h"
#include "UTException.h"
#include "UTI_LogFile.h"
#include "UTInitializeTerminateComponent.h"
#include "UTUserConfigurationWin32.h"

#include <BrxMessage.h>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using L = AUT_I_LogFile;
using reliability::ReadLogFile;

// "rec <n> <padding>|": a record of these tests, whole only with its closing bar.
std::string RecordText(int n) {
    return "rec " + std::to_string(n) + " " + std::string(80, '.') + "|";
}

bool HasMessage(const AUT_Exception& error, std::uint32_t number) {
    for (std::size_t i = 0; i < error.messageCount(); ++i) {
        const auto* message = dynamic_cast<const BrxMessageComponents*>(&error.messageAt(i));
        if (message != nullptr && message->getMessageNumber() == number) {
            return true;
        }
    }
    return false;
}

// Sets the soft file size limit of this process; the hard limit stays, so it can be raised again.
bool LimitFileSize(rlim_t bytes) {
    rlimit limit{};
    if (getrlimit(RLIMIT_FSIZE, &limit) != 0) {
        return false;
    }
    limit.rlim_cur = bytes;
    return setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

class FaultInjection : public auttest::InstallationTest {
protected:
    void TearDown() override {
        if (f_started) {
            AUT_Terminate("FaultInjection");
        }
        unsetenv("ORQ_MESSAGES_DIR");
        unsetenv("ORQ_REGISTRY_USER");
        InstallationTest::TearDown();
    }

    void Configure(const reliability::Entries& extra = {}) {
        root().writeFile("configuration/OrqConfig.xml",
                         reliability::FileModeConfiguration(logsDir() + "/app.log", extra));
    }
    void Start() {
        ASSERT_EQ(AUT_Initialize("FaultInjection"), 0);
        f_started = true;
    }

    // Every record of `path`, which must hold exactly `first`..`last` - 1 in order, whole. With
    // `tornTail`, a last line cut short by a failed write is passed over (another test's concern).
    void ExpectRecords(const std::string& path, int first, int last, bool tornTail = false) {
        SCOPED_TRACE(path);
        const reliability::LogFileContent content = ReadLogFile(path);
        EXPECT_TRUE(content.startsWithProcessId);
        std::vector<std::string> actual;
        for (const std::string& record : content.records) {
            if (record.compare(0, 4, "rec ") == 0) {
                actual.push_back(record);
            }
        }
        if (tornTail && !content.endsWithNewline && !actual.empty()) {
            actual.pop_back();
        }
        EXPECT_EQ(actual.size(), static_cast<std::size_t>(last - first));
        for (std::size_t i = 0; i < actual.size(); ++i) {
            if (actual[i] != RecordText(first + static_cast<int>(i))) {
                ADD_FAILURE() << "record " << i << " is \"" << actual[i] << "\"";
                break;
            }
        }
    }

    bool f_started = false;
};

TEST_F(FaultInjection, DiskFullWhileLoggingKeepsWhatWasWrittenAndRecovers) {
    Configure();
    // Child: fill the disk (a 64 KiB file size limit), note how many records returned and what
    // was thrown, check that later records are dropped quietly, then free the disk and reset.
    const std::string result = reliability::RunInChild(
        [] {
            std::signal(SIGXFSZ, SIG_IGN);
            if (AUT_Initialize("FaultInjection") != 0) {
                return std::string("no start");
            }
            AUT_RefPtr<L> log = L::Create("Filler");
            if (!LimitFileSize(64 * 1024)) {
                return std::string("no limit");
            }
            int returned = 0;
            long code = -1;
            for (; returned < 5000; ++returned) {
                try {
                    log->Log(L::kLogLevelTrace1, RecordText(returned).c_str());
                } catch (const AUT_Exception& error) {
                    code = error.getErrorCode();
                    if (!HasMessage(error, 0x7214BCB6)) {
                        return std::string("701 without its message");
                    }
                    break;
                }
            }
            for (int n = 0; n < 10; ++n) {
                try {
                    log->Log(L::kLogLevelTrace1, "dropped");
                } catch (...) {
                    return std::string("a record after the failure threw");
                }
            }
            if (!LimitFileSize(RLIM_INFINITY)) {
                return std::string("no unlimit");
            }
            L::Reset();
            AUT_RefPtr<L> again = L::Create("Filler");
            for (int n = 10000; n < 10010; ++n) {
                again->Log(L::kLogLevelTrace1, RecordText(n).c_str());
            }
            AUT_Terminate("FaultInjection");
            return std::to_string(returned) + " " + std::to_string(code);
        },
        60);
    int returned = -1;
    long code = -1;
    ASSERT_EQ(std::sscanf(result.c_str(), "%d %ld", &returned, &code), 2) << result;
    EXPECT_EQ(code, 701);
    // About 600 records fit; the limit must have been reached well before the loop's end.
    EXPECT_GT(returned, 100);
    EXPECT_LT(returned, 5000);

    const std::vector<std::string> files = reliability::FilesWithPrefix(logsDir(), "app_");
    ASSERT_EQ(files.size(), 2u);
    ExpectRecords(files[0], 0, returned, true);
    ExpectRecords(files[1], 10000, 10010);
}

// A failed write must not leave half a record behind: the next reader would take the torn
// line for a record.
TEST_F(FaultInjection, DiskFullLeavesNoTornRecord) {
    Configure();
    const std::string result = reliability::RunInChild(
        [] {
            std::signal(SIGXFSZ, SIG_IGN);
            if (AUT_Initialize("FaultInjection") != 0) {
                return std::string("no start");
            }
            AUT_RefPtr<L> log = L::Create("Filler");
            LimitFileSize(64 * 1024 + 17); // never on a record boundary
            try {
                for (int n = 0; n < 5000; ++n) {
                    log->Log(L::kLogLevelTrace1, RecordText(n).c_str());
                }
            } catch (const AUT_Exception&) {
            }
            return std::string();
        },
        60);
    ASSERT_EQ(result, "");
    const std::vector<std::string> files = reliability::FilesWithPrefix(logsDir(), "app_");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(ReadLogFile(files[0]).endsWithNewline);
}

TEST_F(FaultInjection, LogDirectoryGoneWhileLoggingFailsTheRotationOnly) {
    struct Case {
        const char* name;
        bool leaveAFile; // a regular file takes the directory's place
    };
    for (const Case& fault : {Case{"removed", false}, Case{"replaced by a file", true}}) {
        SCOPED_TRACE(fault.name);
        const std::string result = reliability::RunInChild(
            [&] {
                Configure({{"LineCountPerLogFile", "1000"}});
                if (AUT_Initialize("FaultInjection") != 0) {
                    return std::string("no start");
                }
                AUT_RefPtr<L> log = L::Create("Mover");
                for (int n = 0; n < 500; ++n) {
                    log->Log(L::kLogLevelTrace1, RecordText(n).c_str());
                }
                // The open file moves away with its directory, so what it holds can be checked.
                if (rename(logsDir().c_str(), (logsDir() + ".moved").c_str()) != 0) {
                    return std::string("no rename");
                }
                if (fault.leaveAFile) {
                    root().writeFile("logs", "in the way");
                }
                int returned = 500;
                std::string thrown = "nothing";
                for (; returned < 3000; ++returned) {
                    try {
                        log->Log(L::kLogLevelTrace1, RecordText(returned).c_str());
                    } catch (const AUT_Exception& error) {
                        thrown = std::to_string(error.getErrorCode()) +
                                 (HasMessage(error, 0x721C44D1) ? " named" : " unnamed");
                        break;
                    }
                }
                // Later records: dropped or refused, never a crash or another kind of error.
                for (int n = 0; n < 20; ++n) {
                    try {
                        log->Log(L::kLogLevelTrace1, "later");
                    } catch (const AUT_Exception&) {
                    }
                }
                // The administrator repairs the place; a reset starts a new file there.
                if (fault.leaveAFile) {
                    unlink(logsDir().c_str());
                }
                L::Reset();
                AUT_RefPtr<L> again = L::Create("Mover");
                for (int n = 10000; n < 10005; ++n) {
                    again->Log(L::kLogLevelTrace1, RecordText(n).c_str());
                }
                AUT_Terminate("FaultInjection");
                return std::to_string(returned) + " " + thrown;
            },
            60);
        int returned = -1;
        char code[32] = {};
        char named[32] = {};
        ASSERT_EQ(std::sscanf(result.c_str(), "%d %31s %31s", &returned, code, named), 3) << result;
        // The rotation after the full file fails with the file support's error, naming the file.
        EXPECT_EQ(std::string(code), "800");
        EXPECT_EQ(std::string(named), "named");
        EXPECT_EQ(returned, 1001);

        const std::vector<std::string> moved =
            reliability::FilesWithPrefix(logsDir() + ".moved", "app_");
        ASSERT_EQ(moved.size(), 1u);
        ExpectRecords(moved[0], 0, returned);
        const std::vector<std::string> recovered = reliability::FilesWithPrefix(logsDir(), "app_");
        ASSERT_EQ(recovered.size(), 1u);
        ExpectRecords(recovered[0], 10000, 10005);
        std::system(("rm -rf '" + logsDir() + "' '" + logsDir() + ".moved'").c_str());
        mkdir(logsDir().c_str(), 0700);
    }
}

TEST_F(FaultInjection, UnreadableConfigurationGivesTheDefaults) {
    const std::string file = configurationDir() + "/OrqConfig.xml";
    const struct Case {
        const char* name;
        std::function<void()> make;
    } cases[] = {
        {"a directory", [&] { mkdir(file.c_str(), 0700); }},
        {"binary junk",
         [&] { root().writeFile("configuration/OrqConfig.xml", std::string("\x00\xff\xfe<", 4)); }},
        {"cut short",
         [&] {
             root().writeFile("configuration/OrqConfig.xml",
                              "<OrqConfig company=\"Cut\"><g><section name=\"Logging\">"
                              "<entry name=\"UseIPFLogging\" value=\"0\"/>");
         }},
        {"a link to itself", [&] { symlink(file.c_str(), file.c_str()); }},
        {"a dangling link", [&] { symlink((file + ".gone").c_str(), file.c_str()); }},
    };
    for (const Case& fault : cases) {
        SCOPED_TRACE(fault.name);
        const std::string result = reliability::RunInChild(
            [&] {
                fault.make();
                if (AUT_Initialize("FaultInjection") != 0) {
                    return std::string("no start");
                }
                AUT_I_Configuration* store = AUT_I_Configuration::GetConfiguration();
                std::string answer = store->GetCompanyName().c_str();
                answer += " " + std::to_string(store->GetInt("Orq", "Logging", "UseIPFLogging", 7));
                // Framework mode, the default: a record goes there and no log file appears.
                AUT_RefPtr<L> log = L::Create("Defaults");
                log->Log(L::kLogLevelTrace1, "to the framework");
                return answer + " " + std::to_string(AUT_Terminate("FaultInjection"));
            },
            30);
        EXPECT_EQ(result, "Morvex 7 0");
        EXPECT_EQ(reliability::FilesWithPrefix(logsDir(), ""), std::vector<std::string>());
        std::system(("rm -rf '" + file + "'").c_str());
    }
}

// A catalog on disk replaces the library's built-in one whole, so a broken one takes away every
// library text; with them go the directory separator and the log extension that log file names
// are built from. The children return where their record went.
std::string LogWithBrokenCatalog(auttest::TempDir& root, const std::string& catalog) {
    return reliability::RunInChild(
        [&] {
            const std::string messages = root.makeDirectory("broken-messages");
            root.writeFile("broken-messages/UTmsgs.msg", catalog);
            setenv("ORQ_MESSAGES_DIR", messages.c_str(), 1);
            // File mode under the default name.
            root.writeFile("configuration/OrqConfig.xml",
                           "<OrqConfig><g><section name=\"Logging\">"
                           "<entry name=\"UseIPFLogging\" value=\"0\"/>"
                           "</section></g></OrqConfig>");
            if (AUT_Initialize("FaultInjection") != 0) {
                return std::string("no start");
            }
            AUT_RefPtr<L> log = L::Create("NoTexts");
            log->Log(L::kLogLevelTrace1, "still written");
            std::string outcome = "no exception";
            try {
                L::SetLogFileLineCountLimit(5);
            } catch (const AUT_Exception& error) {
                // The code and the number survive, and the text the broken file lacks comes
                // from the built-in copy.
                outcome = std::to_string(error.getErrorCode()) +
                          (HasMessage(error, 0x7217A829) ? " numbered" : " unnumbered") +
                          (std::string(error.what()).find("line count limit 5 is out of range") !=
                                   std::string::npos
                               ? " worded"
                               : " unworded");
            }
            std::vector<I18NString> files;
            L::GetLogFileNames(files, true);
            AUT_Terminate("FaultInjection");
            for (const I18NString& file : files) {
                outcome += "\n" + std::string(file.c_str());
            }
            return outcome;
        },
        30);
}

const std::pair<const char*, std::string> kBrokenCatalogs[] = {
    {"empty", ""},
    {"binary junk", std::string("\x7f"
                                "ELF\x00\x01\xff\n0x = \"\n",
                                15)},
    {"other numbers only", "0x1 = \"one\"\n"},
};

TEST_F(FaultInjection, BrokenMessageCatalogsLeaveErrorsAndLogsWorking) {
    for (const auto& fault : kBrokenCatalogs) {
        SCOPED_TRACE(fault.first);
        const std::vector<std::string> lines =
            reliability::SplitLines(LogWithBrokenCatalog(root(), fault.second));
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0], "702 numbered worded");
        // The record is written, whatever name its file got.
        EXPECT_NE(auttest::readFile(lines[1]).find("\tstill written\n"), std::string::npos)
            << lines[1];
    }
}

// The log path is built from the library's texts (directory separator, extension): a broken
// catalog must not turn it into "not found" texts.
TEST_F(FaultInjection, BrokenMessageCatalogKeepsLogFilesInTheLogsDirectory) {
    for (const auto& fault : kBrokenCatalogs) {
        SCOPED_TRACE(fault.first);
        const std::vector<std::string> lines =
            reliability::SplitLines(LogWithBrokenCatalog(root(), fault.second));
        ASSERT_EQ(lines.size(), 2u);
        const std::string directory = lines[1].substr(0, lines[1].rfind('/'));
        char* resolved = realpath(directory.c_str(), nullptr);
        char* logs = realpath(logsDir().c_str(), nullptr);
        EXPECT_STREQ(resolved, logs) << lines[1];
        std::free(resolved);
        std::free(logs);
    }
}

TEST_F(FaultInjection, SettingsDatabaseFullKeepsEveryReturnedWrite) {
    const std::string database = root().file("registry/user.db");
    setenv("ORQ_REGISTRY_USER", database.c_str(), 1);
    Start();
    {
        // The database exists, with one value, before the disk fills up.
        AUT_UserConfigurationWin32 config(AUT_UserConfigurationWin32::kRootKeyCurrentUser);
        config.SetString("Fault", "before", "kept");
    }
    const std::string result = reliability::RunInChild(
        [] {
            std::signal(SIGXFSZ, SIG_IGN);
            AUT_UserConfigurationWin32 config(AUT_UserConfigurationWin32::kRootKeyCurrentUser);
            // Room for a few dozen more pages in the database or its write-ahead log, which
            // takes the writes until a checkpoint copies them into the database.
            const std::string file = getenv("ORQ_REGISTRY_USER");
            struct stat databaseStatus {};
            struct stat logStatus {};
            stat(file.c_str(), &databaseStatus);
            stat((file + "-wal").c_str(), &logStatus);
            if (!LimitFileSize(
                    static_cast<rlim_t>(std::max(databaseStatus.st_size, logStatus.st_size)) +
                    48 * 1024)) {
                return std::string("no limit");
            }
            const std::string big(900, 'v');
            int returned = 0;
            long code = -1;
            for (; returned < 2000; ++returned) {
                try {
                    config.SetString("Fault", ("e" + std::to_string(returned)).c_str(),
                                     (big + std::to_string(returned)).c_str());
                } catch (const AUT_Exception& error) {
                    code = error.getErrorCode();
                    break;
                }
            }
            return std::to_string(returned) + " " + std::to_string(code);
        },
        60);
    int returned = -1;
    long code = -1;
    ASSERT_EQ(std::sscanf(result.c_str(), "%d %ld", &returned, &code), 2) << result;
    EXPECT_EQ(code, 500) << result;
    EXPECT_GT(returned, 0);
    EXPECT_LT(returned, 2000);

    // A fresh process sees every write that returned, and the database still takes writes.
    const std::string check = reliability::RunInChild(
        [returned] {
            AUT_UserConfigurationWin32 config(AUT_UserConfigurationWin32::kRootKeyCurrentUser);
            const std::string big(900, 'v');
            if (config.GetString("Fault", "before", "") != "kept") {
                return std::string("lost the earlier value");
            }
            for (int n = 0; n < returned; ++n) {
                if (config.GetString("Fault", ("e" + std::to_string(n)).c_str(), "") !=
                    (big + std::to_string(n)).c_str()) {
                    return "lost e" + std::to_string(n);
                }
            }
            config.SetInt("Fault", "after", 42);
            return std::to_string(config.GetInt("Fault", "after", 0));
        },
        60);
    EXPECT_EQ(check, "42");
}

TEST_F(FaultInjection, SettingsDatabaseCutShortOrNotAFileGivesDefaultsAndErrors) {
    Start();
    const std::string good = root().file("registry/good.db");
    setenv("ORQ_REGISTRY_USER", good.c_str(), 1);
    {
        AUT_UserConfigurationWin32 config(AUT_UserConfigurationWin32::kRootKeyCurrentUser);
        for (int n = 0; n < 200; ++n) {
            config.SetString("Big", ("e" + std::to_string(n)).c_str(),
                             std::string(500, 'x').c_str());
        }
    }
    const std::string whole = auttest::readFile(good);
    ASSERT_GT(whole.size(), 8192u);
    const struct Case {
        const char* name;
        std::function<std::string()> make; // gives the database path
    } cases[] = {
        {"cut to its first page",
         [&] { return root().writeFile("registry/cut1.db", whole.substr(0, 4096)); }},
        {"cut in the middle of a page",
         [&] {
             return root().writeFile("registry/cut2.db", whole.substr(0, whole.size() / 2 + 100));
         }},
        {"a directory", [&] { return root().makeDirectory("registry/dir.db"); }},
        {"an empty file", [&] { return root().writeFile("registry/empty.db", ""); }},
    };
    for (const Case& fault : cases) {
        SCOPED_TRACE(fault.name);
        const std::string path = fault.make();
        setenv("ORQ_REGISTRY_USER", path.c_str(), 1);
        AUT_UserConfigurationWin32 config(AUT_UserConfigurationWin32::kRootKeyCurrentUser);
        // A read gives the stored value where it is still there, else the default.
        const I18NString read = config.GetString("Big", "e199", "default");
        EXPECT_TRUE(read == "default" || read == std::string(500, 'x').c_str());
        // A write either lands (an empty file becomes a new database) or reports 500.
        try {
            config.SetInt("Other", "n", 9);
            EXPECT_EQ(config.GetInt("Other", "n", 0), 9u);
        } catch (const AUT_Exception& error) {
            EXPECT_EQ(error.getErrorCode(), 500);
        }
    }
}

void ExpectComponentFailure(const std::string& library) {
    try {
        AUT_InitializeTerminateComponent guard("FaultInjection", "Broken", "BrokenInitialize",
                                               "BrokenTerminate", "", library.c_str(), "details");
        ADD_FAILURE() << "no exception";
    } catch (const AUT_Exception& error) {
        EXPECT_EQ(error.getErrorCode(), 1000);
        ASSERT_GE(error.messageCount(), 1u);
        const auto* message = dynamic_cast<const BrxMessageComponents*>(&error.messageAt(0));
        ASSERT_NE(message, nullptr);
        ASSERT_FALSE(message->getParameters().empty());
        EXPECT_EQ(message->getParameters()[0], "7");
    }
}

TEST_F(FaultInjection, MissingOrBrokenComponentLibrariesThrow1000) {
    Start();
    const std::string dir = root().makeDirectory("components");
    root().writeFile("components/libempty.so", "");
    root().writeFile("components/libjunk.so", std::string(4096, '\x5a'));
    root().makeDirectory("components/libdirectory.so");
    const struct Case {
        const char* name;
        std::string library;
    } cases[] = {
        {"missing", dir + "/libmissing"},
        {"empty", dir + "/libempty"},
        {"junk", dir + "/libjunk"},
        {"a directory", dir + "/libdirectory"},
        // A real library without the entries: the library itself.
        {"without the entries", std::string(AUT_BINARY_DIR) + "/lib/libaut"},
    };
    for (const Case& fault : cases) {
        SCOPED_TRACE(fault.name);
        ExpectComponentFailure(fault.library);
    }
}

// The dynamic loader would map the segments that the headers promise and die of SIGBUS
// touching those past the end of the cut file; the loader refuses the file first.
TEST_F(FaultInjection, CutShortComponentLibraryThrows1000) {
    Start();
    const std::string image = auttest::readFile(std::string(AUT_BINARY_DIR) + "/lib/libaut.so");
    ASSERT_GT(image.size(), 4096u);
    root().writeFile("components/libcut.so", image.substr(0, 4096));
    ExpectComponentFailure(root().file("components/libcut"));
}

} // namespace
