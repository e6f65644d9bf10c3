#include "UTMemoryPoolInternal.h"
#include "UTRefPtr.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <gtest/gtest.h>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

class Base {
public:
    virtual ~Base() = default;
};

// Counts its own deletions in a counter that the test owns.
class Tracked : public Base {
public:
    explicit Tracked(int* deletions)
        : f_deletions(deletions) {}
    ~Tracked() override { ++*f_deletions; }

private:
    int* f_deletions;
};

// An object that owns the next one, as list nodes do.
class Node : public Base {
public:
    Node(int* deletions, AUT_RefPtr<Node> next)
        : f_next(next)
        , f_deletions(deletions) {}
    ~Node() override { ++*f_deletions; }
    AUT_RefPtr<Node> f_next;

private:
    int* f_deletions;
};

// Takes two counter blocks and gives them back, so that (the pool being last in, first out)
// the next two counters to be made are exactly these two.
std::set<unsigned long*> primeTwoCounters() {
    unsigned long* first = AUT_RefPtrGetMemory();
    unsigned long* second = AUT_RefPtrGetMemory();
    AUT_RefPtrReleaseMemory(second);
    AUT_RefPtrReleaseMemory(first);
    return {first, second};
}

TEST(RefPtr, NullPointersHoldCountersOfTheirOwnAndGiveThemBack) {
    const std::set<unsigned long*> primed = primeTwoCounters();
    {
        AUT_RefPtr<Base> byDefault;
        AUT_RefPtr<Base> fromNull(static_cast<Base*>(nullptr));
        EXPECT_EQ(1u, byDefault.useCount());
        EXPECT_EQ(1u, fromNull.useCount());
        EXPECT_EQ(nullptr, byDefault.get());
        EXPECT_FALSE(fromNull);
        // Both nulls, so assigning changes nothing: each keeps its own counter.
        byDefault = fromNull;
        EXPECT_EQ(1u, byDefault.useCount());
        EXPECT_EQ(1u, fromNull.useCount());
    }
    // Both counters came back: the next two blocks are the primed ones again.
    std::set<unsigned long*> again;
    again.insert(AUT_RefPtrGetMemory());
    again.insert(AUT_RefPtrGetMemory());
    EXPECT_EQ(primed, again);
    for (unsigned long* counter : again) {
        AUT_RefPtrReleaseMemory(counter);
    }
}

TEST(RefPtr, LastCopyDeletesTheObject) {
    int deletions = 0;
    {
        AUT_RefPtr<Base> first(new Tracked(&deletions));
        {
            AUT_RefPtr<Base> second(first);
            AUT_RefPtr<Base> third = second;
            EXPECT_EQ(3u, first.useCount());
            EXPECT_EQ(3u, third.useCount());
            EXPECT_EQ(first.get(), third.get());
            EXPECT_TRUE(first == third);
        }
        EXPECT_EQ(0, deletions);
        EXPECT_EQ(1u, first.useCount());
    }
    EXPECT_EQ(1, deletions);
}

TEST(RefPtr, Assignment) {
    // a and b start from these; c, when present, is another holder of a's object.
    struct Case {
        const char* name;
        bool aHasObject, bHasObject, bIsCopyOfA, cSharesA;
        int expectedDeletions;
        unsigned long expectedCountA, expectedCountC;
    };
    const Case cases[] = {
        {"self", true, false, false, false, 0, 1, 0},
        {"self, shared", true, false, false, true, 0, 2, 2},
        {"same object", true, false, true, false, 0, 2, 0},
        {"sole holder", true, true, false, false, 1, 2, 0},
        {"shared holder", true, true, false, true, 0, 2, 1},
        {"null from object", false, true, false, false, 0, 2, 0},
        {"object from null", true, false, false, false, 1, 2, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const bool self = std::string(c.name).rfind("self", 0) == 0;
        int deletions = 0;
        {
            AUT_RefPtr<Base> a(c.aHasObject ? new Tracked(&deletions) : nullptr);
            AUT_RefPtr<Base> b =
                c.bIsCopyOfA ? a
                             : AUT_RefPtr<Base>(c.bHasObject ? new Tracked(&deletions) : nullptr);
            AUT_RefPtr<Base> cHolder = c.cSharesA ? a : AUT_RefPtr<Base>();
            Base* const bObject = b.get();
            AUT_RefPtr<Base>& source = self ? a : b;
            AUT_RefPtr<Base>& result = (a = source);
            EXPECT_EQ(&a, &result);
            EXPECT_EQ(c.expectedDeletions, deletions);
            EXPECT_EQ(c.expectedCountA, a.useCount());
            if (!self) {
                EXPECT_EQ(bObject, a.get());
                EXPECT_EQ(c.expectedCountA, b.useCount());
            }
            if (c.cSharesA) {
                EXPECT_EQ(c.expectedCountC, cHolder.useCount());
            }
        }
        EXPECT_EQ(int(c.aHasObject) + int(c.bHasObject && !c.bIsCopyOfA), deletions);
    }
}

TEST(RefPtr, AssigningFromAnObjectThatTheOldOneOwns) {
    // head = head->f_next: deleting the old head destroys the very pointer assigned from.
    int deletions = 0;
    AUT_RefPtr<Node> head(new Node(&deletions, AUT_RefPtr<Node>(new Node(&deletions, nullptr))));
    Node* const second = head->f_next.get();
    head = head->f_next;
    EXPECT_EQ(1, deletions);
    EXPECT_EQ(second, head.get());
    EXPECT_EQ(1u, head.useCount());
    head = AUT_RefPtr<Node>();
    EXPECT_EQ(2, deletions);
}

TEST(RefPtr, AccessGivesTheObject) {
    struct Value : Base {
        int f_number = 42;
    };
    AUT_RefPtr<Value> value(new Value);
    EXPECT_EQ(42, value->f_number);
    (*value).f_number = 7;
    EXPECT_EQ(7, value.get()->f_number);
    EXPECT_TRUE(value);
    EXPECT_TRUE(value != AUT_RefPtr<Value>());
}

TEST(RefPtr, CounterPoolChunkHolds1024Counters) {
    // Take counters until a chunk is made, then a chunk's worth more fits without another.
    std::vector<unsigned long*> taken;
    const std::size_t before = AUTg_CounterPool.GetChunkCount();
    while (AUTg_CounterPool.GetChunkCount() == before) {
        taken.push_back(AUT_RefPtrGetMemory());
    }
    const std::size_t perChunk = 8192 / sizeof(void*);
    for (std::size_t i = 1; i < perChunk; ++i) {
        taken.push_back(AUT_RefPtrGetMemory());
    }
    EXPECT_EQ(before + 1, AUTg_CounterPool.GetChunkCount());
    taken.push_back(AUT_RefPtrGetMemory());
    EXPECT_EQ(before + 2, AUTg_CounterPool.GetChunkCount());
    EXPECT_EQ(taken.size(), std::set<unsigned long*>(taken.begin(), taken.end()).size());
    for (unsigned long* counter : taken) {
        EXPECT_EQ(0u, reinterpret_cast<std::uintptr_t>(counter) % alignof(unsigned long));
        AUT_RefPtrReleaseMemory(counter);
    }
}

TEST(RefPtr, ThreadsShareTheCounterPool) {
    // Each thread its own objects; counters come from the one pool. A counter handed to two
    // threads at once would show as a wrong count or a wrong number of deletions.
    constexpr int kThreads = 4;
    constexpr int kRounds = 300;
    constexpr int kObjects = 40;
    std::atomic<long> wrongCounts{0};
    std::atomic<long> wrongDeletions{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            std::mt19937 random(t);
            int deletions = 0;
            for (int round = 0; round < kRounds; ++round) {
                std::vector<AUT_RefPtr<Base>> holders;
                for (int i = 0; i < kObjects; ++i) {
                    AUT_RefPtr<Base> object(new Tracked(&deletions));
                    const int copies = 1 + i % 3;
                    for (int k = 0; k < copies; ++k) {
                        holders.push_back(object);
                    }
                    if (object.useCount() != static_cast<unsigned long>(copies) + 1) {
                        ++wrongCounts;
                    }
                    holders.emplace_back(); // a null with a counter of its own
                }
                std::shuffle(holders.begin(), holders.end(), random);
                // Reassign some holders to their neighbours, then drop them all.
                for (std::size_t i = 0; i + 1 < holders.size(); i += 5) {
                    holders[i] = holders[i + 1];
                }
                for (const AUT_RefPtr<Base>& holder : holders) {
                    if (holder && holder.useCount() == 0) {
                        ++wrongCounts;
                    }
                }
                holders.clear();
                if (deletions != (round + 1) * kObjects) {
                    ++wrongDeletions;
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(0, wrongCounts.load());
    EXPECT_EQ(0, wrongDeletions.load());
}

} // namespace
