#include "AutTestSupport.h"
#include "UTException.h"
#include "UTInitializeTerminateComponent.h"

#include <AUTInitialize.h>
#include <BrxMessage.h>
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <elf.h>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <win32_errors.h>

namespace {

const std::string kComponentDir = AUT_COMPONENT_DIR;

// The name the guard is given: the path without ".so".
std::string component(const char* variant) {
    return kComponentDir + "/libautcomponent_" + variant;
}

// Whether the dynamic loader holds the library now. RTLD_NOLOAD never loads it, but a handle
// it gives counts as a load, so give it back.
bool isLoaded(const std::string& name) {
    void* const handle = dlopen((name + ".so").c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) {
        return false;
    }
    dlclose(handle);
    return true;
}

class ComponentGuardTest : public auttest::InstallationTest {
protected:
    void SetUp() override {
        InstallationTest::SetUp();
        ASSERT_EQ(AUT_Initialize("test"), 0);
        f_log = root().file("component.log");
        setenv("AUT_COMPONENT_LOG", f_log.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("AUT_COMPONENT_LOG");
        EXPECT_EQ(AUT_Terminate("test"), 0);
        InstallationTest::TearDown();
    }
    // What the component's entries recorded, one "<entry> <consumer>" per line.
    std::string calls() const { return auttest::readFile(f_log); }

    std::string f_log;
};

TEST_F(ComponentGuardTest, InitializesAndTerminatesOnceForTheConsumerThenUnloads) {
    const std::string name = component("ok");
    ASSERT_FALSE(isLoaded(name));
    {
        AUT_InitializeTerminateComponent guard("QueryEngine", "Component", "ComponentInitialize",
                                               "ComponentTerminate", "ignored", name.c_str(),
                                               "details");
        EXPECT_EQ(calls(), "initialize QueryEngine\n");
        EXPECT_TRUE(isLoaded(name));
    }
    EXPECT_EQ(calls(), "initialize QueryEngine\nterminate QueryEngine\n");
    EXPECT_FALSE(isLoaded(name));
}

TEST_F(ComponentGuardTest, FailureThrows1000WithStatusAndUnloads) {
    struct Case {
        const char* what;
        std::string library;
        const char* initializeEntry;
        const char* terminateEntry;
        const char* status;
        const char* expectedCalls; // initialize ran, terminate never does
    };
    const Case cases[] = {
        {"missing library", component("absent"), "ComponentInitialize", "ComponentTerminate", "7",
         ""},
        {"no terminate entry", component("noterminate"), "ComponentInitialize",
         "ComponentTerminate", "7", ""},
        {"misspelt initialize entry", component("ok"), "componentInitialize", "ComponentTerminate",
         "7", ""},
        {"initialize fails", component("fails"), "ComponentInitialize", "ComponentTerminate", "3",
         "initialize Consumer\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::remove(f_log.c_str());
        try {
            AUT_InitializeTerminateComponent guard("Consumer", "Comp", c.initializeEntry,
                                                   c.terminateEntry, nullptr, c.library.c_str(),
                                                   "the details");
            ADD_FAILURE() << "no exception";
        } catch (const AUT_Exception& caught) {
            EXPECT_EQ(caught.getErrorCode(), 1000);
            EXPECT_EQ(caught.getSeverity(), BrxSeverity(1));
            ASSERT_EQ(caught.messageCount(), 1u);
            const auto* message = dynamic_cast<const BrxMessageComponents*>(&caught.messageAt(0));
            ASSERT_NE(message, nullptr);
            EXPECT_EQ(message->getMessageNumber(), 0x7214322Du);
            ASSERT_EQ(message->getParameters().size(), 3u);
            EXPECT_EQ(message->getParameters()[0], c.status);
            EXPECT_EQ(message->getParameters()[1], "Comp");
            EXPECT_EQ(message->getParameters()[2], "the details");
            ASSERT_FALSE(caught.getBackTrace().empty());
            EXPECT_EQ(caught.getBackTrace()[0].file, "Source/UTInitializeTerminateComponent");
            EXPECT_EQ(caught.getBackTrace()[0].line, 61);
            EXPECT_EQ(caught.getBackTrace()[0].component, "UT");
        }
        EXPECT_EQ(calls(), c.expectedCalls);
        EXPECT_FALSE(isLoaded(c.library));
    }
}

// The dynamic loader maps what the headers promise and faults on what the file lacks, so such
// files must be refused before they reach it: the process lives to report the failure.
TEST_F(ComponentGuardTest, CutShortOrJunkLibraryThrows1000) {
    const std::string image = auttest::readFile(component("ok") + ".so");
    ASSERT_GT(image.size(), 8192u);
    const struct Case {
        const char* what;
        std::string content;
    } cases[] = {
        {"cut to half its size", image.substr(0, image.size() / 2)},
        {"junk", std::string(image.size(), '\x5a')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string name = root().file("components/libbroken");
        root().writeFile("components/libbroken.so", c.content);
        try {
            AUT_InitializeTerminateComponent guard("Consumer", "Comp", "ComponentInitialize",
                                                   "ComponentTerminate", nullptr, name.c_str(), "");
            ADD_FAILURE() << "no exception";
        } catch (const AUT_Exception& caught) {
            EXPECT_EQ(caught.getErrorCode(), 1000);
            ASSERT_EQ(caught.messageCount(), 1u);
            const auto* message = dynamic_cast<const BrxMessageComponents*>(&caught.messageAt(0));
            ASSERT_NE(message, nullptr);
            ASSERT_FALSE(message->getParameters().empty());
            EXPECT_EQ(message->getParameters()[0], "7");
        }
        EXPECT_EQ(calls(), "");
        EXPECT_FALSE(isLoaded(name));
    }
}

TEST_F(ComponentGuardTest, TwoGuardsKeepTheLibraryUntilTheLastGoes) {
    const std::string name = component("ok");
    auto* first = new AUT_InitializeTerminateComponent(
        "A", "C", "ComponentInitialize", "ComponentTerminate", nullptr, name.c_str(), "");
    {
        AUT_InitializeTerminateComponent second("B", "C", "ComponentInitialize",
                                                "ComponentTerminate", nullptr, name.c_str(), "");
    }
    EXPECT_TRUE(isLoaded(name));
    delete first;
    EXPECT_FALSE(isLoaded(name));
    EXPECT_EQ(calls(), "initialize A\ninitialize B\nterminate B\nterminate A\n");
}

TEST(AUTDLL, CopyNeverFreesTheLibrary) {
    const std::string name = component("ok");
    auto* original = new AUT_DLL("", name.c_str());
    ASSERT_TRUE(original->IsLoaded());
    {
        AUT_DLL copy(*original);
        EXPECT_TRUE(copy.IsLoaded());
    }
    EXPECT_TRUE(isLoaded(name));
    delete original;
    EXPECT_FALSE(isLoaded(name));

    AUT_DLL missing("", component("absent").c_str());
    EXPECT_FALSE(missing.IsLoaded());
    AUT_DLL copyOfMissing(missing);
    EXPECT_FALSE(copyOfMissing.IsLoaded());
}

TEST(AUTDLLFunction, AMissingEntryIsNotLoadedThoughTheLibraryIs) {
    using Entry = long (*)(const char*);
    const std::string name = component("ok");
    {
        const AUT_DLLFunction<Entry> misspelt("", name.c_str(), "componentinitialize");
        EXPECT_FALSE(misspelt.IsLoaded());
        EXPECT_EQ(misspelt.GetFunction(), nullptr);
        EXPECT_TRUE(misspelt.AUT_DLL::IsLoaded());
        EXPECT_TRUE(isLoaded(name));

        const AUT_DLLFunction<Entry> found("", name.c_str(), "ComponentInitialize");
        EXPECT_TRUE(found.IsLoaded());
        EXPECT_NE(found.GetFunction(), nullptr);
    }
    EXPECT_FALSE(isLoaded(name));
}

// The image of the test component with `patch` applied to its ELF and first program header.
std::string patchedComponent(const std::function<void(Elf64_Ehdr&, Elf64_Phdr&)>& patch) {
    std::string image = auttest::readFile(component("ok") + ".so");
    Elf64_Ehdr header;
    std::memcpy(&header, image.data(), sizeof header);
    Elf64_Phdr first;
    std::memcpy(&first, image.data() + header.e_phoff, sizeof first);
    patch(header, first);
    std::memcpy(&image[0], &header, sizeof header);
    std::memcpy(&image[header.e_phoff], &first, sizeof first);
    return image;
}

// Where the test component's last loadable segment ends in its file.
std::size_t loadedEnd(const std::string& image) {
    Elf64_Ehdr header;
    std::memcpy(&header, image.data(), sizeof header);
    std::size_t end = 0;
    for (unsigned i = 0; i < header.e_phnum; ++i) {
        Elf64_Phdr segment;
        std::memcpy(&segment, image.data() + header.e_phoff + i * sizeof segment, sizeof segment);
        if (segment.p_type == PT_LOAD) {
            end = std::max<std::size_t>(end, segment.p_offset + segment.p_filesz);
        }
    }
    return end;
}

// Each way a file can fail the check before dlopen, with the code GetLastError gives.
TEST(LoadLibraryA, RefusesWhatItCannotLoadWithTheReason) {
    const auttest::TempDir dir;
    const std::string image = auttest::readFile(component("ok") + ".so");
    const std::size_t end = loadedEnd(image);
    ASSERT_LT(end, image.size()); // the section headers follow the segments
    const struct Case {
        const char* what;
        std::string path; // "" for a null name
        DWORD error;
    } cases[] = {
        {"null name", "", ERROR_INVALID_PARAMETER},
        {"missing", dir.file("absent.so"), ERROR_FILE_NOT_FOUND},
        {"a directory", dir.makeDirectory("dir.so"), static_cast<DWORD>(EISDIR)},
        {"empty", dir.writeFile("empty.so", ""), static_cast<DWORD>(ENOEXEC)},
        {"only an ELF header", dir.writeFile("header.so", image.substr(0, sizeof(Elf64_Ehdr))),
         static_cast<DWORD>(ENOEXEC)},
        {"cut inside the last segment", dir.writeFile("cut.so", image.substr(0, end - 1)),
         static_cast<DWORD>(ENOEXEC)},
        {"another machine",
         dir.writeFile("arm.so", patchedComponent([](Elf64_Ehdr& header, Elf64_Phdr&) {
                           header.e_machine =
                               header.e_machine == EM_AARCH64 ? EM_X86_64 : EM_AARCH64;
                       })),
         static_cast<DWORD>(ENOEXEC)},
        {"an executable",
         dir.writeFile("exec.so", patchedComponent([](Elf64_Ehdr& header, Elf64_Phdr&) {
                           header.e_type = ET_EXEC;
                       })),
         static_cast<DWORD>(ENOEXEC)},
        {"program headers past the end",
         dir.writeFile("phoff.so", patchedComponent([&](Elf64_Ehdr& header, Elf64_Phdr&) {
                           header.e_phoff = image.size() - sizeof(Elf64_Phdr);
                       })),
         static_cast<DWORD>(ENOEXEC)},
        {"a segment whose size wraps around",
         dir.writeFile("wrap.so", patchedComponent([](Elf64_Ehdr&, Elf64_Phdr& first) {
                           first.p_offset = UINT64_MAX - 10;
                       })),
         static_cast<DWORD>(ENOEXEC)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(LoadLibraryA(c.path.empty() ? nullptr : c.path.c_str()), nullptr);
        EXPECT_EQ(GetLastError(), c.error);
    }

    // The image cut right after its last segment (without its section headers, which the
    // loader never reads) passes the check and loads.
    const HMODULE loaded = LoadLibraryA(dir.writeFile("segments.so", image.substr(0, end)).c_str());
    ASSERT_NE(loaded, nullptr);
    EXPECT_NE(GetProcAddress(loaded, "ComponentInitialize"), nullptr);
    EXPECT_EQ(FreeLibrary(loaded), 1);
}

// A bare name is checked where the search finds it. The search directories are fixed when a
// process starts, so the loads run in a process started afresh (a threadsafe death test runs
// this test again in a new process) with the directory in LD_LIBRARY_PATH.
TEST(LoadLibraryA, BareNameIsCheckedWhereTheSearchFindsIt) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const char* const kChildMark = "AUT_TEST_SEARCH_CHILD";
    std::unique_ptr<auttest::TempDir> dir; // the parent's only: the child must leave nothing
    std::string savedPath;
    const char* const inheritedPath = std::getenv("LD_LIBRARY_PATH");
    const bool hadPath = inheritedPath != nullptr;
    if (std::getenv(kChildMark) == nullptr) {
        dir = std::make_unique<auttest::TempDir>();
        const std::string image = auttest::readFile(component("ok") + ".so");
        dir->writeFile("libautsearchgood.so", image);
        dir->writeFile("libautsearchcut.so", image.substr(0, image.size() / 2));
        if (hadPath) {
            savedPath = inheritedPath;
        }
        setenv("LD_LIBRARY_PATH", (dir->path() + (hadPath ? ":" + savedPath : "")).c_str(), 1);
        setenv(kChildMark, "1", 1);
    }
    // Exits with 0 when `name` loads, else with the error.
    const auto exitWithLoad = [](const char* name) {
        const HMODULE module = LoadLibraryA(name);
        std::_Exit(module != nullptr ? 0 : static_cast<int>(GetLastError()));
    };
    EXPECT_EXIT(exitWithLoad("libautsearchgood.so"), testing::ExitedWithCode(0), "");
    EXPECT_EXIT(exitWithLoad("libautsearchcut.so"), testing::ExitedWithCode(ENOEXEC), "");
    EXPECT_EXIT(exitWithLoad("libautsearchabsent.so"), testing::ExitedWithCode(ENOENT), "");

    if (dir != nullptr) {
        unsetenv(kChildMark);
        if (hadPath) {
            setenv("LD_LIBRARY_PATH", savedPath.c_str(), 1);
        } else {
            unsetenv("LD_LIBRARY_PATH");
        }
    }
}

} // namespace
