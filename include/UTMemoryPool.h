#pragma once
// Pools of fixed-size memory blocks, cut from large chunks that live as long as the pool.
#include "AUTExport.h"

#include <cstring>
#include <vector>

// Hands out blocks of one size. Chunks are allocated on demand and kept until the pool is
// destroyed; a released block goes onto a free list and is handed out again (last released,
// first out) before any new chunk is made. A fresh chunk hands out its blocks from the highest
// address down. Hand-out and release take constant time; the pool keeps no record of blocks
// handed out, and the destructor frees every chunk, blocks still in use included.
//
// Sizes: the block size is raised to the size of a pointer (8), since a free block holds the
// link to the next one; the chunk size is the largest whole multiple of the block size that
// does not exceed the argument. (1, 100) -> block 8, chunk 96; (12, 100) -> block 12, chunk 96;
// (16, 7) and (8, 0) throw BrxAssertError "BRX_ASSERT(f_chunkSize != 0);".
// Alignment: chunks are aligned for any type (16); block n sits at chunk + n * block size, so
// blocks are 8-aligned when the block size is a multiple of 8, 16-aligned for multiples of 16.
//
// Not safe for concurrent use: see AUT_ThreadSafeMemoryPool.
class AUT_EXPORT AUT_MemoryPool {
public:
    AUT_MemoryPool(unsigned long blockSize, unsigned long chunkSize);
    AUT_MemoryPool(const AUT_MemoryPool&) = delete;
    AUT_MemoryPool& operator=(const AUT_MemoryPool&) = delete;
    // Frees every chunk; blocks still handed out become invalid.
    virtual ~AUT_MemoryPool();

    // A block of GetBlockSize() bytes with undefined content. Allocates a new chunk when the
    // free list is empty; throws std::bad_alloc when that fails (the pool is unchanged).
    void* GetMemory() {
        if (f_freeList == nullptr) {
            GetChunk();
        }
        void* const block = f_freeList;
        f_freeList = nextOf(block);
        return block;
    }
    // Puts `block` at the head of the free list. No check that it came from this pool or is
    // not already free: a stray or twice-released block corrupts the pool.
    void ReleaseMemory(void* block) {
        std::memcpy(block, &f_freeList, sizeof f_freeList);
        f_freeList = block;
    }

    unsigned long GetBlockSize() const { return f_blockSize; }
    unsigned long GetChunkSize() const { return f_chunkSize; }
    // How many chunks the pool has allocated so far.
    std::size_t GetChunkCount() const { return f_chunks.size(); }

private:
    // A block size that is not a multiple of 8 leaves links unaligned: copy them bytewise
    // (one plain load or store on this machine).
    static void* nextOf(const void* block) {
        void* next;
        std::memcpy(&next, block, sizeof next);
        return next;
    }
    // Allocates one chunk and threads its blocks onto the free list.
    void GetChunk();

    unsigned long f_blockSize;
    unsigned long f_chunkSize;
    std::vector<void*> f_chunks; // owned, in the order of allocation; grows one entry at a time
    void* f_freeList;            // first free block, or null
};

// The same pool with every hand-out and release serialized by one lock that all thread-safe
// pools share. GetMemory and ReleaseMemory hide the base operations (they are not virtual):
// used through an AUT_MemoryPool reference, this pool takes no lock. Constructing and
// destroying are not locked and must not overlap with use.
class AUT_EXPORT AUT_ThreadSafeMemoryPool : public AUT_MemoryPool {
public:
    AUT_ThreadSafeMemoryPool(unsigned long blockSize, unsigned long chunkSize);
    ~AUT_ThreadSafeMemoryPool() override;

    // As the base operations, under the shared pool lock.
    void* GetMemory();
    void ReleaseMemory(void* block);
};
