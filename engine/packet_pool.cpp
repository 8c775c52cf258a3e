#include "engine/packet_pool.h"

#include <new>

namespace vexa::engine {

PacketPool& PacketPool::Instance() {
    // Leaked on purpose: nodes may still be in flight while static objects are destroyed.
    static PacketPool* pool = new PacketPool;
    return *pool;
}

PacketNode* PacketPool::Take() {
    {
        platform::SpinGuard guard(lock_);
        if (PacketNode* node = free_.PopFront()) return node;
    }
    auto* node = new (std::nothrow) PacketNode;
    if (!node) return nullptr;
    node->packet = av_packet_alloc();
    if (!node->packet) {
        delete node;
        return nullptr;
    }
    platform::SpinGuard guard(lock_);
    ++allocated_;
    return node;
}

void PacketPool::Give(PacketNode* node) {
    if (!node) return;
    av_packet_unref(node->packet);
    platform::SpinGuard guard(lock_);
    free_.PushBack(node);
}

void PacketPool::GiveAll(PacketList& nodes) {
    while (PacketNode* node = nodes.PopFront()) Give(node);
}

size_t PacketPool::FreeCount() {
    platform::SpinGuard guard(lock_);
    return free_.Size();
}

size_t PacketPool::AllocatedCount() {
    platform::SpinGuard guard(lock_);
    return allocated_;
}

}  // namespace vexa::engine
