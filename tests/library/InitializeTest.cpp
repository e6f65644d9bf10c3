// Start and stop of the library: counts per consumer and library-wide, status codes, the
// start-up sequence run once per cycle.
#include "AUTInitialize.h"
#include "AutTestSupport.h"
#include "UTLibraryInternal.h"

#include <BrxCore.h>
#include <thread>

namespace {

using Initialize = auttest::InstallationTest;

TEST_F(Initialize, FullCycleCountsPerConsumer) {
    EXPECT_EQ(AUT_Terminate("A"), kInitializeStatusNotInitialized);
    // A failing platform start is rolled back; the next registration tries again.
    brxTestSetInitializeStatus(42);
    EXPECT_EQ(AUT_Initialize("A"), 42);
    EXPECT_EQ(AUTg_ConsumerCountMap.GetCount("A"), 0);
    brxTestSetInitializeStatus(0);
    for (const char* name : {"A", "A", "a"}) { // names compare by code points
        EXPECT_EQ(AUT_Initialize(name), 0);
    }
    EXPECT_EQ(StartupSequenceRuns(), 2);
    EXPECT_EQ(AUT_Terminate("A"), 0);
    EXPECT_EQ(AUT_Terminate("A"), 0);
    EXPECT_EQ(AUT_Terminate("A"), kInitializeStatusNothingOutstanding);
    EXPECT_EQ(AUT_Terminate("C"), kInitializeStatusUnknownConsumer);
    EXPECT_NE(AUTg_Latin1Converter, nullptr);
    EXPECT_EQ(AUT_Terminate("a"), 0);
    EXPECT_EQ(AUTg_UTF8Converter, nullptr);
    // Not initialized takes precedence over the consumer's own state.
    EXPECT_EQ(AUT_Terminate("a"), kInitializeStatusNotInitialized);
    EXPECT_EQ(AUT_Initialize("a"), 0);
    EXPECT_EQ(StartupSequenceRuns(), 3);
    EXPECT_EQ(AUT_Terminate("a"), 0);
}

TEST_F(Initialize, ConcurrentConsumersBalanceOut) {
    ASSERT_EQ(AUT_Initialize("holder"), 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([name = "worker" + std::to_string(t)] {
            for (int round = 0; round < 200; ++round) {
                EXPECT_EQ(AUT_Initialize(name.c_str()), 0);
                EXPECT_EQ(AUT_Terminate(name.c_str()), 0);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(StartupSequenceRuns(), 1);
    EXPECT_EQ(AUT_Terminate("holder"), 0);
}

} // namespace
