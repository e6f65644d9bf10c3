#include "AutTestSupport.h"
#include "UTInitializeTerminateComponent.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <elf.h>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <tuple>
#include <vector>
#include <win32_errors.h>

namespace {

// The name the guard is given: the path without ".so".
std::string component(const char* variant) {
    return std::string(AUT_COMPONENT_DIR "/libautcomponent_") + variant;
}

// Whether the dynamic loader holds the library now. RTLD_NOLOAD never loads it, but a handle
// it gives counts as a load, so give it back.
bool isLoaded(const std::string& name) {
    void* const handle = dlopen((name + ".so").c_str(), RTLD_NOW | RTLD_NOLOAD);
    return handle != nullptr && dlclose(handle) == 0;
}

// The library's first page: its headers, without the code and data they promise (how much of
// a file its segments take depends on the build, its debug information does not).
std::string cutShort(const std::string& image) {
    return image.substr(0, 4096);
}

// Each test's component entries record their calls in a file of its own.
class ComponentGuardTest : public auttest::InitializedTest {
protected:
    void SetUp() override {
        InitializedTest::SetUp();
        setenv("AUT_COMPONENT_LOG", root().file("component.log").c_str(), 1);
    }
    // What the component's entries recorded, one "<entry> <consumer>" per line.
    std::string calls() { return auttest::readFile(root().file("component.log")); }
};

TEST_F(ComponentGuardTest, EachGuardInitializesAndTerminatesOnceAndTheLastUnloads) {
    const std::string name = component("ok");
    auto first = std::make_unique<AUT_InitializeTerminateComponent>(
        "A", "C", "ComponentInitialize", "ComponentTerminate", "ignored", name.c_str(), "");
    EXPECT_EQ(calls(), "initialize A\n");
    {
        AUT_InitializeTerminateComponent second("B", "C", "ComponentInitialize",
                                                "ComponentTerminate", nullptr, name.c_str(), "");
    }
    EXPECT_TRUE(isLoaded(name));
    first.reset();
    EXPECT_FALSE(isLoaded(name));
    EXPECT_EQ(calls(), "initialize A\ninitialize B\nterminate B\nterminate A\n");
    // A copy of a library handle never frees the library.
    auto original = std::make_unique<AUT_DLL>("", name.c_str());
    EXPECT_TRUE(AUT_DLL(*original).IsLoaded());
    EXPECT_TRUE(isLoaded(name));
    original.reset();
    EXPECT_FALSE(isLoaded(name));
}

// A cut-short library must be refused before the dynamic loader maps it: the loader trusts
// the headers and would fault on what the file lacks.
TEST_F(ComponentGuardTest, FailureThrows1000WithStatusAndUnloads) {
    const std::string image = auttest::readFile(component("ok") + ".so");
    root().writeFile("components/libcut.so", cutShort(image));
    // Library, initialize entry, status, calls made (terminate never is).
    const std::tuple<std::string, const char*, const char*, const char*> cases[] = {
        {component("absent"), "ComponentInitialize", "7", ""},
        {component("noterminate"), "ComponentInitialize", "7", ""},
        {component("ok"), "componentInitialize", "7", ""},
        {component("fails"), "ComponentInitialize", "3", "initialize Consumer\n"},
        {root().file("components/libcut"), "ComponentInitialize", "7", ""},
        // The exception's class and text live in the library: both are read before it goes.
        {component("throws"), "ComponentInitialize", "exception: no licence",
         "initialize Consumer\n"},
    };
    for (const auto& [library, entry, status, expectedCalls] : cases) {
        SCOPED_TRACE(library + " " + entry);
        std::remove(root().file("component.log").c_str());
        const auttest::Thrown t = auttest::Catch([&, &library = library, &entry = entry] {
            AUT_InitializeTerminateComponent guard("Consumer", "Comp", entry, "ComponentTerminate",
                                                   nullptr, library.c_str(), "the details");
        });
        EXPECT_EQ(t.code, 1000);
        EXPECT_EQ(t.severity, 1);
        EXPECT_EQ(t.number, 0x7214322Du);
        EXPECT_EQ(t.parameters, (std::vector<std::string>{status, "Comp", "the details"}));
        EXPECT_EQ(t.file, "Source/UTInitializeTerminateComponent");
        EXPECT_EQ(calls(), expectedCalls);
        EXPECT_FALSE(isLoaded(library));
    }
}

template <class T> std::string bytesOf(T value) {
    return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

// `image` with `bytes` written over it at `offset`.
std::string with(std::string image, std::size_t offset, const std::string& bytes) {
    return image.replace(offset, bytes.size(), bytes);
}

// Each way a file can fail the check before dlopen, with the code GetLastError gives.
TEST(LoadLibraryA, RefusesWhatItCannotLoadWithTheReason) {
    const auttest::TempDir dir;
    const std::string image = auttest::readFile(component("ok") + ".so");
    Elf64_Ehdr header;
    std::memcpy(&header, image.data(), sizeof header);
    std::size_t end = 0; // where the last loadable segment ends in the file
    for (unsigned i = 0; i < header.e_phnum; ++i) {
        Elf64_Phdr segment;
        std::memcpy(&segment, &image[header.e_phoff + i * sizeof segment], sizeof segment);
        end = segment.p_type == PT_LOAD ? std::max(end, segment.p_offset + segment.p_filesz) : end;
    }
    ASSERT_LT(end, image.size()); // the section headers follow the segments
    // The real program headers moved to the end, followed by empty ones up to the escape
    // count PN_XNUM: all lie within the file, only the count is refused.
    const std::size_t moved = (image.size() + 7) / 8 * 8;
    std::string escaped = image;
    escaped.resize(moved);
    escaped += image.substr(header.e_phoff, header.e_phnum * sizeof(Elf64_Phdr));
    escaped.resize(moved + PN_XNUM * sizeof(Elf64_Phdr));
    escaped = with(escaped, offsetof(Elf64_Ehdr, e_phoff), bytesOf<Elf64_Off>(moved));
    const Elf64_Half otherMachine = header.e_machine == EM_AARCH64 ? EM_X86_64 : EM_AARCH64;
    int files = 0;
    const auto file = [&](const std::string& content) {
        return dir.writeFile(std::to_string(++files) + ".so", content);
    };
    const std::pair<std::string, int> cases[] = {
        {dir.file("absent.so"), ERROR_FILE_NOT_FOUND},
        {dir.makeDirectory("dir.so"), EISDIR},
        {file(""), ENOEXEC},
        {file(image.substr(0, end - 1)), ENOEXEC}, // cut inside the last segment
        {file(with(image, offsetof(Elf64_Ehdr, e_machine), bytesOf(otherMachine))), ENOEXEC},
        {file(with(image, EI_CLASS, bytesOf<char>(ELFCLASS32))), ENOEXEC},
        {file(with(image, offsetof(Elf64_Ehdr, e_type), bytesOf<Elf64_Half>(ET_EXEC))), ENOEXEC},
        // Program headers past the end, a segment whose size wraps around, PN_XNUM of them.
        {file(with(image, offsetof(Elf64_Ehdr, e_phoff), bytesOf(image.size() - 56))), ENOEXEC},
        {file(with(image, header.e_phoff + offsetof(Elf64_Phdr, p_offset), bytesOf(~0ul - 10))),
         ENOEXEC},
        {file(with(escaped, offsetof(Elf64_Ehdr, e_phnum), bytesOf<Elf64_Half>(PN_XNUM))), ENOEXEC},
    };
    EXPECT_EQ(LoadLibraryA(nullptr), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    for (const auto& [path, error] : cases) {
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(LoadLibraryA(path.c_str()), nullptr) << path;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(error)) << path;
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
// this test again) with the directory first in LD_LIBRARY_PATH; only the parent makes it.
TEST(LoadLibraryA, BareNameIsCheckedWhereTheSearchFindsIt) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string saved = std::getenv("LD_LIBRARY_PATH") ? std::getenv("LD_LIBRARY_PATH") : "";
    std::unique_ptr<auttest::TempDir> dir;
    if (std::getenv("AUT_TEST_SEARCH_CHILD") == nullptr) {
        dir = std::make_unique<auttest::TempDir>();
        const std::string image = auttest::readFile(component("ok") + ".so");
        dir->writeFile("libautsearchgood.so", image);
        dir->writeFile("libautsearchcut.so", cutShort(image));
        setenv("LD_LIBRARY_PATH", (dir->path() + ":" + saved).c_str(), 1);
        setenv("AUT_TEST_SEARCH_CHILD", "1", 1);
    }
    const auto exitWithLoad = [](const char* name) {
        std::_Exit(LoadLibraryA(name) != nullptr ? 0 : static_cast<int>(GetLastError()));
    };
    EXPECT_EXIT(exitWithLoad("libautsearchgood.so"), testing::ExitedWithCode(0), "");
    EXPECT_EXIT(exitWithLoad("libautsearchcut.so"), testing::ExitedWithCode(ENOEXEC), "");
    EXPECT_EXIT(exitWithLoad("libautsearchabsent.so"), testing::ExitedWithCode(ENOENT), "");
    unsetenv("AUT_TEST_SEARCH_CHILD");
    setenv("LD_LIBRARY_PATH", saved.c_str(), 1);
}

} // namespace
