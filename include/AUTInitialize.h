#pragma once
// Start and stop of the library, counted per consumer and library-wide.
#include "AUTExport.h"

#include <I18NString.h>
#include <map>

// Outstanding registrations per consumer name. Entries are never removed: a consumer whose
// count has fallen to 0 keeps its entry. Not thread-safe: AUT_Initialize and AUT_Terminate
// serialize its use with the initialization lock.
class AUT_EXPORT AUT_ConsumerCountMap {
public:
    AUT_ConsumerCountMap() = default;
    ~AUT_ConsumerCountMap();

    // 0, or 4 when inserting a new consumer threw (the exception is swallowed).
    long RegisterConsumer(const char* name);
    // 0; 5 when the consumer has no outstanding registration; 6 when it was never registered.
    long DeregisterConsumer(const char* name);

    // The consumer's outstanding registrations, or -1 for a name never registered.
    long GetCount(const char* name) const;

private:
    std::map<I18NString, long> f_counts;
};

// Status codes of the frame functions.
enum EInitializeStatus : long {
    kInitializeStatusOk = 0,
    kInitializeStatusNoResourceMap = 1,  // the message resource map could not be allocated
    kInitializeStatusNotInitialized = 3, // AUT_Terminate on a library that is not initialized
    kInitializeStatusRegisterFailed = 4, // adding a new consumer threw
    kInitializeStatusNothingOutstanding = 5,
    kInitializeStatusUnknownConsumer = 6,
};

// Registers one use by `consumerName`; the first outstanding registration starts the library.
// Returns 0, 1, 4 or a non-zero status of the platform start-up, which rolls the registration
// back. Exceptions of a start-up step pass to the caller without rollback.
AUT_EXPORT long AUT_Initialize(const char* consumerName);
// Releases one registration; the last outstanding one tears the library down.
// Returns 0, 3 (not initialized; takes precedence), 5 or 6.
AUT_EXPORT long AUT_Terminate(const char* consumerName);
// The start-up and tear-down sequences alone: no counting, no lock.
AUT_EXPORT long AUT_InitializeInternal();
AUT_EXPORT long AUT_TerminateInternal();

// Successful AUT_Initialize calls not yet matched by AUT_Terminate, over all consumers.
AUT_EXPORT long AUT_GetInitializeCount();
