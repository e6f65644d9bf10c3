// Start and stop of the library: counts per consumer and library-wide, status codes, the
// start-up sequence run once per cycle.
#include "AUTInitialize.h"
#include "AutTestSupport.h"
#include "UTLibraryInternal.h"

#include <BrxCore.h>
#include <thread>
#include <vector>

namespace {

class Initialize : public auttest::InstallationTest {
protected:
    void TearDown() override {
        brxTestSetInitializeStatus(0);
        auttest::InstallationTest::TearDown();
    }
};

TEST_F(Initialize, FullCycleCountsPerConsumer) {
    EXPECT_EQ(AUT_Terminate("A"), kInitializeStatusNotInitialized);
    EXPECT_EQ(AUT_Initialize("A"), 0);
    EXPECT_EQ(AUT_Initialize("A"), 0);
    EXPECT_EQ(AUT_Initialize("a"), 0); // names compare by code points
    EXPECT_EQ(StartupSequenceRuns(), 1);
    EXPECT_EQ(AUT_GetInitializeCount(), 3);

    EXPECT_EQ(AUT_Terminate("A"), 0);
    EXPECT_EQ(AUT_Terminate("A"), 0);
    EXPECT_EQ(AUT_Terminate("A"), kInitializeStatusNothingOutstanding);
    EXPECT_EQ(AUT_Terminate("C"), kInitializeStatusUnknownConsumer);
    EXPECT_NE(AUTg_Latin1Converter, nullptr);

    EXPECT_EQ(AUT_Terminate("a"), 0);
    EXPECT_EQ(AUT_GetInitializeCount(), 0);
    EXPECT_EQ(AUTg_Latin1Converter, nullptr);
    EXPECT_EQ(AUTg_UTF8Converter, nullptr);
    // Not initialized takes precedence over the consumer's own state.
    EXPECT_EQ(AUT_Terminate("a"), kInitializeStatusNotInitialized);
    EXPECT_EQ(AUTg_ConsumerCountMap.GetCount("a"), 0);

    EXPECT_EQ(AUT_Initialize("a"), 0);
    EXPECT_EQ(StartupSequenceRuns(), 2);
    EXPECT_EQ(AUTg_ConsumerCountMap.GetCount("a"), 1);
    EXPECT_NE(AUTg_UTF8Converter, nullptr);
    EXPECT_EQ(AUT_Terminate("a"), 0);
}

TEST_F(Initialize, FailingPlatformStartRollsBack) {
    brxTestSetInitializeStatus(42);
    EXPECT_EQ(AUT_Initialize("A"), 42);
    EXPECT_EQ(AUT_GetInitializeCount(), 0);
    EXPECT_EQ(AUTg_ConsumerCountMap.GetCount("A"), 0);

    // The next registration tries the start-up again.
    brxTestSetInitializeStatus(0);
    EXPECT_EQ(AUT_Initialize("A"), 0);
    EXPECT_EQ(StartupSequenceRuns(), 2);
    EXPECT_EQ(AUT_Terminate("A"), 0);
}

TEST_F(Initialize, ConcurrentConsumersBalanceOut) {
    ASSERT_EQ(AUT_Initialize("holder"), 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            const std::string name = "worker" + std::to_string(t);
            for (int round = 0; round < 200; ++round) {
                EXPECT_EQ(AUT_Initialize(name.c_str()), 0);
                EXPECT_EQ(AUT_Terminate(name.c_str()), 0);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(AUT_GetInitializeCount(), 1);
    EXPECT_EQ(StartupSequenceRuns(), 1);
    EXPECT_EQ(AUT_Terminate("holder"), 0);
}

} // namespace
