// AUT_RefPtr: counts shared by copies, the last holder deleting, assignment in every pairing,
// and counters from the one pool that threads share.
#include "UTMemoryPoolInternal.h"
#include "UTRefPtr.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

// Counts its deletions in a counter that the test owns; may own the next node, as lists do.
struct Node {
    ~Node() { ++*deletions; }

    int* deletions;
    AUT_RefPtr<Node> next = AUT_RefPtr<Node>();
};

TEST(RefPtr, NullPointersHoldCountersOfTheirOwnAndGiveThemBack) {
    AUT_RefPtr<Node>(), AUT_RefPtr<Node>(); // leaves two counters free at least
    const std::size_t chunks = AUTg_CounterPool.GetChunkCount();
    // A counter kept back each time would take a new chunk before long.
    for (int i = 0; i < 3000; ++i) {
        AUT_RefPtr<Node> byDefault, fromNull(static_cast<Node*>(nullptr));
        byDefault = fromNull; // both null: each keeps its own counter
        ASSERT_EQ(1u, byDefault.useCount());
    }
    EXPECT_EQ(chunks, AUTg_CounterPool.GetChunkCount());
}

TEST(RefPtr, TheLastHolderDeletesWhateverWasAssigned) {
    int deletions = 0;
    {
        AUT_RefPtr<Node> a(new Node{&deletions}), b(a), c;
        // The counts that a, b and c see, then the deletions so far.
        auto state = [&] {
            return std::to_string(a.useCount() * 100 + b.useCount() * 10 + c.useCount()) + " " +
                   std::to_string(deletions);
        };
        c = b;
        EXPECT_EQ(state(), "333 0");
        EXPECT_EQ(&a, &(a = c)); // the same object: nothing changes
        EXPECT_EQ(state(), "333 0");
        b = AUT_RefPtr<Node>(new Node{&deletions}); // a shared holder moves on
        EXPECT_EQ(state(), "212 0");
        c = b;
        EXPECT_EQ(state(), "122 0");
        a = b; // the sole holder moves on: its object goes
        EXPECT_EQ(state(), "333 1");
        c = AUT_RefPtr<Node>(); // a holder takes a null, which then gets the object back
        EXPECT_EQ(state(), "221 1");
        c = a;
        EXPECT_EQ(state(), "333 1");
    }
    EXPECT_EQ(2, deletions);

    // head = head->next: deleting the old head destroys the very pointer assigned from.
    AUT_RefPtr<Node> head(new Node{&deletions, AUT_RefPtr<Node>(new Node{&deletions})});
    Node* const second = head->next.get();
    head = head->next;
    EXPECT_EQ(3, deletions);
    EXPECT_EQ(second, head.get());
    EXPECT_EQ(1u, head.useCount());
}

TEST(RefPtr, ThreadsShareTheCounterPool) {
    // Copies made and dropped on four threads at once. A counter handed to two threads at once
    // would show as a wrong count or a wrong number of deletions.
    std::atomic<long> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            int deletions = 0;
            for (int round = 1; round <= 300; ++round) {
                std::vector<AUT_RefPtr<Node>> holders(40); // nulls, each with a counter
                for (int i = 0; i < 40; ++i) {
                    const AUT_RefPtr<Node> object(new Node{&deletions});
                    holders.insert(holders.end(), 1 + i % 3, object);
                    wrong += object.useCount() != 2u + i % 3;
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
