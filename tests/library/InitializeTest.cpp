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
    EXPECT_EQ(AUT_Initialize("A"), 0);
    EXPECT_EQ(StartupSequenceRuns(), 1);
    EXPECT_EQ(AUT_Initialize("A"), 0);
    EXPECT_EQ(AUT_Initialize("B"), 0);
    EXPECT_EQ(StartupSequenceRuns(), 1);
    EXPECT_EQ(AUT_GetInitializeCount(), 3);
    EXPECT_EQ(AUTg_ConsumerCountMap.GetCount("A"), 2);

    EXPECT_EQ(AUT_Terminate("A"), 0);
    EXPECT_EQ(AUT_Terminate("A"), 0);
    EXPECT_EQ(AUT_Terminate("A"), kInitializeStatusNothingOutstanding);
    EXPECT_EQ(AUT_Terminate("C"), kInitializeStatusUnknownConsumer);
    EXPECT_EQ(AUT_GetInitializeCount(), 1);
    EXPECT_NE(AUTg_Latin1Converter, nullptr);

    EXPECT_EQ(AUT_Terminate("B"), 0);
    EXPECT_EQ(AUT_GetInitializeCount(), 0);
    EXPECT_EQ(AUTg_Latin1Converter, nullptr);
    EXPECT_EQ(AUTg_UTF8Converter, nullptr);

    // Not initialized takes precedence over the consumer's own state.
    EXPECT_EQ(AUT_Terminate("B"), kInitializeStatusNotInitialized);
    EXPECT_EQ(AUTg_ConsumerCountMap.GetCount("B"), 0);
    EXPECT_EQ(AUT_Terminate("never-seen"), kInitializeStatusNotInitialized);

    EXPECT_EQ(AUT_Initialize("B"), 0);
    EXPECT_EQ(StartupSequenceRuns(), 2);
    EXPECT_NE(AUTg_UTF8Converter, nullptr);
    EXPECT_EQ(AUT_Terminate("B"), 0);
}

TEST_F(Initialize, TerminateOnFreshLibraryIsNotInitialized) {
    for (const char* name : {"A", "", "QueryEngine"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(AUT_Terminate(name), kInitializeStatusNotInitialized);
    }
    EXPECT_EQ(AUTg_ConsumerCountMap.GetCount("A"), -1);
}

TEST_F(Initialize, FailingPlatformStartRollsBack) {
    brxTestSetInitializeStatus(42);
    EXPECT_EQ(AUT_Initialize("A"), 42);
    EXPECT_EQ(AUT_GetInitializeCount(), 0);
    EXPECT_EQ(AUTg_ConsumerCountMap.GetCount("A"), 0);
    EXPECT_EQ(AUT_Terminate("A"), kInitializeStatusNotInitialized);

    // The next registration tries the start-up again.
    brxTestSetInitializeStatus(0);
    EXPECT_EQ(AUT_Initialize("A"), 0);
    EXPECT_EQ(StartupSequenceRuns(), 2);
    EXPECT_EQ(AUT_Terminate("A"), 0);
}

TEST_F(Initialize, TerminateInternalWithoutConvertersSucceeds) {
    ASSERT_EQ(AUTg_Latin1Converter, nullptr);
    EXPECT_EQ(AUT_TerminateInternal(), 0);
    EXPECT_EQ(AUTg_Latin1Converter, nullptr);
}

TEST_F(Initialize, ConsumerNamesCompareByCodePoints) {
    EXPECT_EQ(AUT_Initialize("Consumer"), 0);
    EXPECT_EQ(AUT_Initialize("consumer"), 0);
    EXPECT_EQ(AUT_Initialize("Verbraucher\xC3\xBC"), 0);
    EXPECT_EQ(AUTg_ConsumerCountMap.GetCount("Consumer"), 1);
    EXPECT_EQ(AUTg_ConsumerCountMap.GetCount("consumer"), 1);
    EXPECT_EQ(AUTg_ConsumerCountMap.GetCount("Verbraucher\xC3\xBC"), 1);
    for (const char* name : {"Consumer", "consumer", "Verbraucher\xC3\xBC"}) {
        EXPECT_EQ(AUT_Terminate(name), 0);
    }
    EXPECT_EQ(AUT_GetInitializeCount(), 0);
}

TEST(ConsumerCountMap, StatusCodes) {
    AUT_ConsumerCountMap map;
    EXPECT_EQ(map.DeregisterConsumer("x"), kInitializeStatusUnknownConsumer);
    EXPECT_EQ(map.RegisterConsumer("x"), 0);
    EXPECT_EQ(map.RegisterConsumer("x"), 0);
    EXPECT_EQ(map.GetCount("x"), 2);
    EXPECT_EQ(map.DeregisterConsumer("x"), 0);
    EXPECT_EQ(map.DeregisterConsumer("x"), 0);
    EXPECT_EQ(map.DeregisterConsumer("x"), kInitializeStatusNothingOutstanding);
    // The entry stays at 0 and counts up again.
    EXPECT_EQ(map.GetCount("x"), 0);
    EXPECT_EQ(map.RegisterConsumer("x"), 0);
    EXPECT_EQ(map.GetCount("x"), 1);
}

TEST_F(Initialize, ConcurrentConsumersBalanceOut) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 200;
    ASSERT_EQ(AUT_Initialize("holder"), 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            const std::string name = "worker" + std::to_string(t);
            for (int round = 0; round < kRounds; ++round) {
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
    EXPECT_EQ(AUT_GetInitializeCount(), 0);
}

} // namespace
