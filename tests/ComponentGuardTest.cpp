#include "AutTestSupport.h"
#include "UTException.h"
#include "UTInitializeTerminateComponent.h"

#include <AUTInitialize.h>
#include <BrxMessage.h>
#include <cstdlib>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <string>

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

} // namespace
