// Every static of the library that lives from load to unload, in the one order the library
// needs: C++ constructs the objects of one unit top to bottom and destroys them in reverse.
// Add a new one at its place in this order, never in another unit.
#include "UTLibraryInternal.h"
#include "UTLogFileInternal.h"
#include "UTLogFileSinkInternal.h"
#include "UTLogFrameworkInternal.h"
#include "UTLogSettingsInternal.h"
#include "UTMemoryPoolInternal.h"
#include "UTStringSupportInternal.h"
#include "UTUserConfigurationWin32Internal.h"

// 1. Exception logging (AUT_LogException).
BrxThreadCriticalSection AUTg_ExceptionLogLock(1);
bool AUTg_ExceptionLogBusy = false;

// 2. Start and stop.
BrxThreadRecursiveMutex AUTg_InitializeLock;
AUT_ConsumerCountMap AUTg_ConsumerCountMap;
long AUTg_InitializeCount = 0;

// 3. The logging lock, then what it guards: settings cache, log objects' state, file sink;
//    the file sink's commit queue has a lock of its own.
BrxThreadCriticalSection AUTg_LogLock(1);
LogSettingsCache AUTg_LogSettings;
LogState AUTg_LogState;
FileSinkState AUTg_FileSink;
FileCommitQueue AUTg_FileCommitQueue;

// 4. The pool lock, then the counter pool of AUT_RefPtr, which uses it.
BrxThreadCriticalSection AUTg_PoolLock(0);
AUT_ThreadSafeMemoryPool AUTg_CounterPool(sizeof(void*), 8192);

// 5. The placeholder table and the fixed texts.
I18NString AUTg_PlaceholderTable[kPlaceholderCount];
I18NString AUTg_FixedTexts[kFixedTextCount];

// 6. The literal locks.
BrxThreadCriticalSection AUTg_Latin1LiteralLock(0);
BrxThreadCriticalSection AUTg_UTF8LiteralLock(0);

// 7. The registry user configuration's strings.
UserConfigurationWin32Statics AUTg_UserConfigurationWin32;

// 8. The time lock.
BrxThreadCriticalSection AUTg_TimeLock(1);

// Plain pointers: constant-initialized before any constructor runs.
I18NConverter* AUTg_Latin1Converter = nullptr;
I18NConverter* AUTg_UTF8Converter = nullptr;
FrameworkLogState* AUTg_FrameworkLog = nullptr;
