// The packet pool and the intrusive lists that carry records between threads.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "engine/intrusive_list.h"
#include "engine/packet_pool.h"

namespace vexa::engine {
namespace {

struct Item : ListLink {
    int value = 0;
};

TEST(IntrusiveList, FifoUnlinkSpliceAndTakeAll) {
    Item items[5];
    IntrusiveList<Item> list;
    for (int i = 0; i < 5; ++i) {
        items[i].value = i;
        list.PushBack(&items[i]);
    }
    list.Unlink(&items[2]);  // middle
    list.Unlink(&items[4]);  // tail
    IntrusiveList<Item> taken = list.TakeAll();
    EXPECT_TRUE(list.Empty());
    EXPECT_EQ(taken.Size(), 3u);
    IntrusiveList<Item> other;
    other.PushBack(&items[4]);
    taken.Splice(other);
    EXPECT_TRUE(other.Empty());
    std::vector<int> order;
    while (Item* it = taken.PopFront()) order.push_back(it->value);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 3, 4}));
    EXPECT_EQ(taken.PopBack(), nullptr);
}

TEST(PacketPool, NodesAreReusedAndComeBackEmpty) {
    PacketPool& pool = PacketPool::Instance();
    PacketNode* node = pool.Take();
    ASSERT_NE(node, nullptr);
    ASSERT_EQ(av_new_packet(node->packet, 100), 0);
    node->packet->pts = 42;
    pool.Give(node);
    PacketNode* again = pool.Take();
    // The free list is FIFO; drain until the same node returns, proving nothing was freed.
    std::vector<PacketNode*> others;
    while (again != node) {
        others.push_back(again);
        again = pool.Take();
    }
    EXPECT_EQ(again->packet->size, 0);
    EXPECT_EQ(again->packet->data, nullptr);
    pool.Give(again);
    for (PacketNode* n : others) pool.Give(n);
}

TEST(PacketPool, ConcurrentTakeAndGiveLoseNothing) {
    PacketPool& pool = PacketPool::Instance();
    const size_t before = pool.AllocatedCount();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&pool] {
            for (int i = 0; i < 2000; ++i) {
                PacketNode* a = pool.Take();
                PacketNode* b = pool.Take();
                pool.Give(a);
                pool.Give(b);
            }
        });
    }
    for (auto& t : threads) t.join();
    // At most two nodes per thread were ever out at once.
    EXPECT_LE(pool.AllocatedCount(), before + 8);
    EXPECT_EQ(pool.FreeCount(), pool.AllocatedCount());
}

}  // namespace
}  // namespace vexa::engine
