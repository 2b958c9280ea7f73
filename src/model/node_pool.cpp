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
    // The block's Nodes are handed out in index order straight from it (`fresh_`), so a new block costs
    // no pass over its megabyte: a short run touches only the pages it uses.
    uint32_t slot = ++block_count_;
    blocks_[slot] = new Node[kNodesPerBlock];
    fresh_ = slot << kIndexBits;
    fresh_end_ = fresh_ + kNodesPerBlock;
    free_count_ += kNodesPerBlock;
    return true;
}

Ref NodePool::alloc() {
    Ref r = free_;
    if (r != kNone) {
        free_ = at(r).link;
    } else {
        if (fresh_ == fresh_end_ && !grow()) {
            return kNone;
        }
        r = fresh_++;
    }
    --free_count_;
    std::memset(&at(r), 0, sizeof(Node));
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
