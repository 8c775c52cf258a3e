// PacketNode and the process-wide PacketPool: encoded packets on their way from an encoding thread
// to the session's writer. Nodes are never freed while the process runs, so steady recording does
// not allocate per packet. Take/Give are thread-safe (the pool's SpinLock).
#pragma once

#include "engine/intrusive_list.h"
#include "platform/sync/spin_lock.h"

extern "C" {
#include <libavcodec/packet.h>
}

namespace vexa::engine {

struct PacketNode : ListLink {
    AVPacket* packet = nullptr;  // owned by the node for the life of the process
};

using PacketList = IntrusiveList<PacketNode>;

class PacketPool {
  public:
    // The one pool of the process.
    static PacketPool& Instance();

    // A node with an empty packet; a new node when the pool is empty; null only when out of memory.
    [[nodiscard]] PacketNode* Take();
    // Unreferences the node's packet and keeps the node for reuse.
    void Give(PacketNode* node);
    // Gives back every node of the list.
    void GiveAll(PacketList& nodes);

    [[nodiscard]] size_t FreeCount();
    [[nodiscard]] size_t AllocatedCount();

  private:
    PacketPool() = default;
    platform::SpinLock lock_;
    PacketList free_ GUARDED_BY(lock_);
    size_t allocated_ GUARDED_BY(lock_) = 0;
};

}  // namespace vexa::engine
