#pragma once
// The counter pool of AUT_RefPtr, defined with the other load-to-unload statics.
#include "AUTExport.h"
#include "UTMemoryPool.h"

// Pointer-size blocks in chunks of 8192 bytes (1024 counters a chunk); lives from load to
// unload, after AUTg_PoolLock. Reached by AUT_RefPtrGetMemory and AUT_RefPtrReleaseMemory.
extern AUT_TESTABLE AUT_ThreadSafeMemoryPool AUTg_CounterPool;
