#include "AUTInitialize.h"

#include "AUTConfiguration.h"
#include "UTException.h"
#include "UTExceptionInternal.h"
#include "UTLibraryInternal.h"
#include "UTLogFile.h"
#include "UTStringSupport.h"

#include <BRXIDOM.h>
#include <BrxCore.h>
#include <atomic>
#include <new>

namespace {

// The message number of the library's word for "true": building one message makes the
// catalog name that every library message shares.
constexpr std::uint32_t kTrueWordMessage = 0xF7C73265;

std::atomic<long> g_startupRuns{0};

} // namespace

AUT_ConsumerCountMap::~AUT_ConsumerCountMap() {
    f_counts.clear();
}

long AUT_ConsumerCountMap::RegisterConsumer(const char* name) {
    const I18NString key(name);
    auto found = f_counts.find(key);
    if (found != f_counts.end()) {
        ++found->second;
        return kInitializeStatusOk;
    }
    try {
        f_counts.emplace(key, 1L);
    } catch (...) {
        // A consumer that cannot be counted is refused; the caller sees the status.
        return kInitializeStatusRegisterFailed;
    }
    return kInitializeStatusOk;
}

long AUT_ConsumerCountMap::DeregisterConsumer(const char* name) {
    auto found = f_counts.find(I18NString(name));
    if (found == f_counts.end()) {
        return kInitializeStatusUnknownConsumer;
    }
    if (found->second == 0) {
        return kInitializeStatusNothingOutstanding;
    }
    --found->second;
    return kInitializeStatusOk;
}

long AUT_ConsumerCountMap::GetCount(const char* name) const {
    auto found = f_counts.find(I18NString(name));
    return found == f_counts.end() ? -1 : found->second;
}

long AUT_Initialize(const char* consumerName) {
    BrxThreadGuard guard(AUTg_InitializeLock);
    const long registered = AUTg_ConsumerCountMap.RegisterConsumer(consumerName);
    if (registered != kInitializeStatusOk) {
        return registered;
    }
    if (++AUTg_InitializeCount > 1) {
        return kInitializeStatusOk;
    }
    const long started = AUT_InitializeInternal();
    if (started == kInitializeStatusOk) {
        return kInitializeStatusOk;
    }
    // Undo the registration so that the next AUT_Initialize tries the start-up again.
    --AUTg_InitializeCount;
    AUTg_ConsumerCountMap.DeregisterConsumer(consumerName);
    return started;
}

long AUT_Terminate(const char* consumerName) {
    BrxThreadGuard guard(AUTg_InitializeLock);
    if (AUTg_InitializeCount == 0) {
        return kInitializeStatusNotInitialized;
    }
    const long released = AUTg_ConsumerCountMap.DeregisterConsumer(consumerName);
    if (released != kInitializeStatusOk) {
        return released;
    }
    if (--AUTg_InitializeCount == 0) {
        return AUT_TerminateInternal();
    }
    return kInitializeStatusOk;
}

long AUT_InitializeInternal() {
    ++g_startupRuns;
    const long platformStatus = brxInitialize("Orq");
    if (platformStatus != 0) {
        return platformStatus;
    }
    BRXIDOM_DOMImplementation::initialize();
    if (!CreateResourceMap()) {
        return kInitializeStatusNoResourceMap;
    }
    // A converter that cannot be made leaves its pointer null; its users assert on that.
    AUTg_Latin1Converter = new (std::nothrow) I18NConverter("iso-8859-1");
    AUTg_UTF8Converter = new (std::nothrow) I18NConverter("UTF8");
    AUT_Configuration::Initialize();

    // Build the shared objects of other units now, under the initialization lock, rather than
    // at their first use on some consumer thread.
    AUT_DefaultLocale();
    AUT_GetEmptyString();
    AUT_GetErrorComponent(); // first use of the message resources: loads the library's catalog
    AUT_GetSystemErrorComponent();
    AUT_GetEmptyString();
    { UTMessage sharedCatalogName(kTrueWordMessage); }
    return kInitializeStatusOk;
}

long AUT_TerminateInternal() {
    AUT_LogFile::Terminate();
    AUT_Configuration::Terminate();
    delete AUTg_Latin1Converter;
    AUTg_Latin1Converter = nullptr;
    delete AUTg_UTF8Converter;
    AUTg_UTF8Converter = nullptr;
    DestroyResourceMap();
    BRXIDOM_DOMImplementation::terminate();
    brxTerminate("Orq");
    return kInitializeStatusOk;
}

long AUT_GetInitializeCount() {
    BrxThreadGuard guard(AUTg_InitializeLock);
    return AUTg_InitializeCount;
}

long StartupSequenceRuns() {
    return g_startupRuns.load();
}
