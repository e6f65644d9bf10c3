// AUT_RefPtr: counts shared by copies, the last holder deleting, assignment in every pairing,
// and counters from the one pool that threads share.
#include "UTRefPtr.h"

#include <atomic>
#include <gtest/gtest.h>
#include <random>
#include <set>
#include <thread>
#include <vector>

// Counts its deletions in a counter that the test owns; may own the next node, as lists do.
struct Node {
    explicit Node(int* deletions, AUT_RefPtr<Node> next = AUT_RefPtr<Node>())
        : f_deletions(deletions)
        , f_next(next) {}
    ~Node() { ++*f_deletions; }

    int* f_deletions;
    AUT_RefPtr<Node> f_next;
};

TEST(RefPtr, NullPointersHoldCountersOfTheirOwnAndGiveThemBack) {
    // The pool is last in, first out: two counters taken and given back are the next two made.
    const std::set<unsigned long*> primed = {AUT_RefPtrGetMemory(), AUT_RefPtrGetMemory()};
    for (unsigned long* counter : primed) {
        AUT_RefPtrReleaseMemory(counter);
    }
    {
        AUT_RefPtr<Node> byDefault, fromNull(static_cast<Node*>(nullptr));
        EXPECT_FALSE(fromNull);
        byDefault = fromNull; // both null: each keeps its own counter
        EXPECT_EQ(1u, byDefault.useCount());
        EXPECT_EQ(1u, fromNull.useCount());
    }
    const std::set<unsigned long*> again = {AUT_RefPtrGetMemory(), AUT_RefPtrGetMemory()};
    EXPECT_EQ(primed, again);
    for (unsigned long* counter : again) {
        AUT_RefPtrReleaseMemory(counter);
    }
}

TEST(RefPtr, TheLastHolderDeletesWhateverWasAssigned) {
    int deletions = 0;
    {
        AUT_RefPtr<Node> a(new Node(&deletions)), b(a), c;
        c = b;
        EXPECT_EQ(3u, a.useCount());
        EXPECT_TRUE(a == c);
        EXPECT_EQ(&a, &(a = c));                    // the same object: nothing changes
        b = AUT_RefPtr<Node>(new Node(&deletions)); // a shared holder moves on
        EXPECT_EQ(2u, a.useCount());
        EXPECT_EQ(1u, b.useCount());
        c = b;
        EXPECT_EQ(0, deletions);
        a = b; // the sole holder moves on: its object goes
        EXPECT_EQ(1, deletions);
        EXPECT_EQ(3u, c.useCount());
        AUT_RefPtr<Node> null;
        null = a; // a null takes the object
        EXPECT_EQ(4u, a.useCount());
        a = AUT_RefPtr<Node>(); // an object holder takes a null
        EXPECT_FALSE(a);
        EXPECT_EQ(3u, null.useCount());
        EXPECT_EQ(1, deletions);
    }
    EXPECT_EQ(2, deletions);
}

TEST(RefPtr, AssigningFromAnObjectThatTheOldOneOwns) {
    // head = head->f_next: deleting the old head destroys the very pointer assigned from.
    int deletions = 0;
    AUT_RefPtr<Node> head(new Node(&deletions, AUT_RefPtr<Node>(new Node(&deletions))));
    Node* const second = head->f_next.get();
    head = head->f_next;
    EXPECT_EQ(1, deletions);
    EXPECT_EQ(second, head.get());
    EXPECT_EQ(1u, head.useCount());
    head = AUT_RefPtr<Node>();
    EXPECT_EQ(2, deletions);
}

TEST(RefPtr, ThreadsShareTheCounterPool) {
    // Each thread its own objects; counters come from the one pool. A counter handed to two
    // threads at once would show as a wrong count or a wrong number of deletions.
    std::atomic<long> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            std::mt19937 random(t);
            int deletions = 0;
            for (int round = 1; round <= 300; ++round) {
                std::vector<AUT_RefPtr<Node>> holders;
                for (int i = 0; i < 40; ++i) {
                    AUT_RefPtr<Node> object(new Node(&deletions));
                    holders.insert(holders.end(), 1 + i % 3, object);
                    wrong += object.useCount() != 2u + i % 3;
                    holders.emplace_back(); // a null with a counter of its own
                }
                std::shuffle(holders.begin(), holders.end(), random);
                for (std::size_t i = 0; i + 1 < holders.size(); i += 5) {
                    holders[i] = holders[i + 1];
                }
                holders.clear();
                wrong += deletions != round * 40;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(0, wrong.load());
}
