#pragma once
// The library's process-wide statics and the internal entry points between its units.
// Nothing here is interface: AUT_TESTABLE entries are visible only for the library's tests.
#include "AUTExport.h"
#include "AUTInitialize.h"

#include <BrxThread.h>
#include <I18NConverter.h>
#include <I18NString.h>

// ---- Statics from load to unload, defined in load order in UTLibraryStatics.cpp ----------
// Lock order: a thread that holds one of these locks takes only locks further down the list.
//   AUTg_InitializeLock          start and stop (logs, so the logging locks follow)
//   AUTg_LogLock                 log objects, settings cache, both sinks (UTLogFileInternal.h)
//   AUTg_ExceptionLogLock        logging an exception; dropped and retaken after AUTg_LogLock
//                                by a thread that arrives holding it (WriteExceptionRecord)
//   the configuration store's own locks, the framework's, AUTg_TimeLock, AUTg_PoolLock and
//   the literal locks: held only inside a call, never while taking any lock above.
// The file sink's commit queue (AUTg_FileCommitQueue) takes no lock; its writer takes
// AUTg_LogLock.
// Between processes, a rotation takes the log family's directory lock (flock) under
// AUTg_LogLock and nothing under it; it waits at most 5 s for another process.
extern AUT_TESTABLE BrxThreadCriticalSection AUTg_ExceptionLogLock; // guards AUTg_ExceptionLogBusy
extern AUT_TESTABLE bool AUTg_ExceptionLogBusy;                     // an exception is being logged
extern AUT_TESTABLE BrxThreadRecursiveMutex
    AUTg_InitializeLock; // guards start, stop and the counts
extern AUT_TESTABLE AUT_ConsumerCountMap AUTg_ConsumerCountMap;
extern AUT_TESTABLE long AUTg_InitializeCount;
extern AUT_TESTABLE BrxThreadCriticalSection AUTg_PoolLock; // guards every thread-safe pool
extern AUT_TESTABLE BrxThreadCriticalSection
    AUTg_Latin1LiteralLock; // serializes the Latin-1 converter
extern AUT_TESTABLE BrxThreadCriticalSection AUTg_UTF8LiteralLock; // serializes the UTF-8 converter
extern AUT_TESTABLE BrxThreadCriticalSection AUTg_TimeLock; // guards the C runtime's time buffers

// Made by the first initialization, deleted by the last termination (null outside).
extern AUT_TESTABLE I18NConverter* AUTg_Latin1Converter;
extern AUT_TESTABLE I18NConverter* AUTg_UTF8Converter;

// ---- Entry points between units ----------------------------------------------------------
// The message resource map (UTResourceAccess): false when it cannot be allocated.
AUT_TESTABLE bool CreateResourceMap();
AUT_TESTABLE void DestroyResourceMap();

// How often the start-up sequence has run in this process: for tests of the frame.
AUT_TESTABLE long StartupSequenceRuns();

// Writes one exception record (the entry text with the formatted messages in its "{0}") to
// the "QueryEngine" log at the most important trace level. Defined by the log file writer.
void WriteExceptionRecord(const I18NString& entryText, const I18NString& formattedMessages);
