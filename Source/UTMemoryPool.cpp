#include "UTMemoryPool.h"

#include "UTLibraryInternal.h"
#include "UTMemoryPoolInternal.h"
#include "UTRefPtr.h"

#include <BrxException.h>
#include <BrxThread.h>
#include <cstdlib>
#include <new>

namespace {

// The free list's link must fit in every block.
constexpr unsigned long kSmallestBlockSize = sizeof(void*);

// The locked operations, once, so that the members and the counter functions all inline them
// (a call to an exported member from inside the library would go through the PLT).
inline void* lockedGet(AUT_MemoryPool& pool) {
    BrxThreadGuard guard(AUTg_PoolLock);
    return pool.GetMemory();
}

inline void lockedRelease(AUT_MemoryPool& pool, void* block) {
    BrxThreadGuard guard(AUTg_PoolLock);
    pool.ReleaseMemory(block);
}

} // namespace

AUT_MemoryPool::AUT_MemoryPool(unsigned long blockSize, unsigned long chunkSize)
    : f_blockSize(blockSize < kSmallestBlockSize ? kSmallestBlockSize : blockSize)
    , f_chunkSize(chunkSize / f_blockSize * f_blockSize)
    , f_freeList(nullptr) {
    BRX_ASSERT(f_chunkSize != 0);
}

AUT_MemoryPool::~AUT_MemoryPool() {
    for (void* chunk : f_chunks) {
        std::free(chunk);
    }
}

void AUT_MemoryPool::GetChunk() {
    // Room first, so that a failure leaves nothing half-done: the array grows by exactly one
    // entry (reserve allocates what it is asked for), and the append below cannot throw.
    if (f_chunks.size() == f_chunks.capacity()) {
        f_chunks.reserve(f_chunks.size() + 1);
    }
    char* const chunk = static_cast<char*>(std::malloc(f_chunkSize));
    if (chunk == nullptr) {
        throw std::bad_alloc();
    }
    f_chunks.push_back(chunk);
    // Threaded from the lowest address up, so the list starts at the chunk's last block.
    void* head = f_freeList;
    for (unsigned long offset = 0; offset < f_chunkSize; offset += f_blockSize) {
        std::memcpy(chunk + offset, &head, sizeof head);
        head = chunk + offset;
    }
    f_freeList = head;
}

AUT_ThreadSafeMemoryPool::AUT_ThreadSafeMemoryPool(unsigned long blockSize, unsigned long chunkSize)
    : AUT_MemoryPool(blockSize, chunkSize) {}

AUT_ThreadSafeMemoryPool::~AUT_ThreadSafeMemoryPool() = default;

void* AUT_ThreadSafeMemoryPool::GetMemory() {
    return lockedGet(*this);
}

void AUT_ThreadSafeMemoryPool::ReleaseMemory(void* block) {
    lockedRelease(*this, block);
}

unsigned long* AUT_RefPtrGetMemory() {
    static_assert(sizeof(unsigned long) <= sizeof(void*), "a counter must fit in a block");
    return static_cast<unsigned long*>(lockedGet(AUTg_CounterPool));
}

void AUT_RefPtrReleaseMemory(unsigned long* counter) {
    lockedRelease(AUTg_CounterPool, counter);
}
