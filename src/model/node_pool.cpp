#include "model/node.h"

#include <cstdio>
#include <cstdlib>

namespace trazel::model {

NodePool* g_pool = nullptr;

NodePool::~NodePool() {
    for (Node* b : blocks_) {
        delete[] b;
    }
}

bool NodePool::grow() {
    if (block_count_ >= block_limit_) {
        return false;
    }
    uint32_t slot = ++block_count_;
    blocks_[slot] = new Node[kNodesPerBlock];
    // Push the block's Nodes so that the lowest index is popped first.
    for (uint32_t i = kNodesPerBlock; i-- > 0;) {
        Ref r = (slot << kIndexBits) | i;
        if constexpr (kChecksReleases) {
            blocks_[slot][i].next = blocks_[slot][i].prev = kFreedMark;
        }
        blocks_[slot][i].link = free_;
        free_ = r;
    }
    free_count_ += kNodesPerBlock;
    return true;
}

Ref NodePool::alloc() {
    if (free_ == kNone && !grow()) {
        return kNone;
    }
    Ref r = free_;
    Node& n = at(r);
    free_ = n.link;
    --free_count_;
    std::memset(&n, 0, sizeof n);
    return r;
}

void NodePool::release(Ref r) {
    if (r == kNone) {
        return;
    }
    if constexpr (kChecksReleases) {
        Node& n = at(r);
        if (n.next == kFreedMark && n.prev == kFreedMark) {
            std::fprintf(stderr, "Node %u was given back twice\n", r);
            std::abort();
        }
        n.next = n.prev = kFreedMark;
    }
    at(r).link = free_;
    free_ = r;
    ++free_count_;
}

} // namespace trazel::model
