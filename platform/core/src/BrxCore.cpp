#include "BrxCore.h"

#include <atomic>
#include <mutex>
#include <unicode/uclean.h>
#include <unicode/utypes.h>

namespace {

std::mutex g_startLock;              // guards g_startCount
long g_startCount = 0;               // successful brxInitialize calls not yet ended
std::atomic<long> g_forcedStatus{0}; // test hook: status to fail start-up with

} // namespace

long brxInitialize(const char* /*componentName*/) {
    const long forced = g_forcedStatus.load();
    if (forced != 0) {
        return forced;
    }
    std::lock_guard<std::mutex> guard(g_startLock);
    if (g_startCount == 0) {
        // Loads ICU's data now, so that a broken installation fails here and not in the
        // middle of the first conversion.
        UErrorCode status = U_ZERO_ERROR;
        u_init(&status);
        if (U_FAILURE(status)) {
            return 2;
        }
    }
    ++g_startCount;
    return 0;
}

long brxTerminate(const char* /*componentName*/) {
    std::lock_guard<std::mutex> guard(g_startLock);
    if (g_startCount > 0) {
        --g_startCount;
    }
    return 0;
}

void brxTestSetInitializeStatus(long status) {
    g_forcedStatus.store(status);
}
