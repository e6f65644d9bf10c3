// Threads logging exceptions while other threads' rotations fail and log their own failures:
// the two logging locks must not wait on each other, and no exception record may be lost.
// (Records lost or repeated across rotations: LoadTest.)
#include "AUTInitialize.h"
#include "AutTestSupport.h"
#include "ReliabilitySupport.h"
#include "UTException.h"
#include "UTI_LogFile.h"

#include <cstdio>

namespace {

using L = AUT_I_LogFile;

class LogStressTest : public auttest::InstallationTest {};

TEST_F(LogStressTest, ExceptionLoggersAndFailingRotationsDoNotWaitOnEachOther) {
    root().writeFile(
        "configuration/OrqConfig.xml",
        reliability::FileModeConfiguration(
            logsDir() + "/app.log", {{"LineCountPerLogFile", "1000"}, {"LogFileCount", "100"}}));
    // Old entries of the family that cannot be deleted (non-empty directories): every rotation
    // fails to prune them and logs that failure while it holds the logging lock.
    for (int i = 1; i <= 101; ++i) {
        char name[64];
        std::snprintf(name, sizeof(name), "logs/app_20200101_%04d.log/keep", i);
        root().writeFile(name, "");
    }
    // In a child, so that a deadlock ends as "hung" instead of stopping the suite.
    constexpr int kPerThread = 1500;
    const std::string result = reliability::RunInChild(
        [] {
            if (AUT_Initialize("LogStressTest") != 0) {
                return std::string("no start");
            }
            // Rotating loggers and exception loggers, two of each.
            reliability::OnThreads(4, [](int t) {
                AUT_RefPtr<L> log = L::Create("Rotator");
                for (int n = 0; n < kPerThread; ++n) {
                    if (t % 2 == 0) {
                        for (int i = 0; i < 20; ++i) {
                            log->Log(L::kLogLevelTrace1, "r");
                        }
                    } else {
                        AUT_Exception exception(
                            BrxSeverity(1),
                            ("marker " + std::to_string(t) + " " + std::to_string(n)).c_str());
                        AUT_LogException(exception, __FILE__, __LINE__);
                    }
                }
            });
            return std::to_string(AUT_Terminate("LogStressTest"));
        },
        120);
    ASSERT_EQ(result, "0");
    // Nothing lost: each exception is in the log exactly once.
    std::size_t repeated = 0;
    EXPECT_EQ(reliability::Markers(reliability::FilesWithPrefix(logsDir(), "app_"),
                                   "Exception: marker ", repeated)
                  .size(),
              2u * kPerThread);
    EXPECT_EQ(repeated, 0u);
}

} // namespace
