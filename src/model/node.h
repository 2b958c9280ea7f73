#pragma once
// The Node pool: every Item, ring head, text fragment, vertex, Signal record and undo record is one
// fixed 36-byte Node.  Nodes are named by 32-bit references instead of machine pointers so the record
// keeps its 36 bytes (three link words and 24 bytes of payload) on 64-bit hosts.
#include <array>
#include <cstdint>
#include <cstring>

#include "model/units.h"

namespace trazel::model {

// A Node reference: (block + 1) << 15 | index within the block.  0 is "none"; every valid reference is
// at least 32768, so a Pad's `pin` word can tell a pin number (below 1024) from a pin-name Node.
using Ref = uint32_t;
constexpr Ref kNone = 0;

enum Kind : uint8_t {
    kHead = 0,
    kLine = 1,
    kArc = 2,
    kPad = 3,
    kText = 4,
    kPointGroup = 5,
    kComponent = 6,
    kDocument = 7,
};
constexpr uint8_t kKindMask = 0x07;
constexpr uint8_t kHiddenFlag = 0x08;
constexpr uint8_t kMarkFlag = 0x80;
constexpr uint8_t kRunTimeMarks = 0xF0;

// Tag words of the non-Item Nodes (the word after `link`).
constexpr uint8_t kTagText = 0;
constexpr uint8_t kTagPinName = 2;
constexpr uint8_t kTagSignal = 3;

constexpr int kChainBytes = 28; // text bytes held by one chain Node

struct LineFields {
    Coord x1, y1, x2, y2;
    uint32_t spare;
};
struct ArcFields {
    Coord x0, y0, radius;
    Angle sweep, start;
    uint16_t ellipse;
    Angle angle;
};
struct PadFields {
    Coord x0, y0;
    Length width, height, hole;
    Angle angle;
    uint32_t pin;
};
struct TextFields {
    Coord x0, y0, length;
    Angle angle;
    uint8_t anchor_font; // low nibble anchor, high nibble font
    uint8_t lines;       // line count written back by measuring
    uint32_t spare;
};
// Ring heads, Components and Documents: box (or the closing-record values) and the owner back reference
// in the last word.
struct BoxFields {
    Coord x1, y1, x2, y2;
    Ref owner;
};

struct Node {
    Ref link;
    Ref next; // for text, Signal and pin-name Nodes this word is the tag word instead
    Ref prev;
    uint8_t kind;
    uint8_t layer;
    uint16_t size;
    union {
        LineFields line;
        ArcFields arc;
        PadFields pad;
        TextFields text;
        BoxFields box;
    };

    uint8_t item_kind() const {
        return kind & kKindMask;
    }
    bool hidden() const {
        return (kind & kHiddenFlag) != 0;
    }
    bool marked() const {
        return (kind & kMarkFlag) != 0;
    }
    // Text chain, Signal record and pin-name Nodes: the word after `link` is a tag, then 28 bytes follow.
    uint32_t& tag() {
        return next;
    }
    unsigned char* bytes() {
        return reinterpret_cast<unsigned char*>(this) + 8;
    }
    const unsigned char* bytes() const {
        return reinterpret_cast<const unsigned char*>(this) + 8;
    }
};
static_assert(sizeof(Node) == 36, "a Node is 36 bytes");

// Debug and sanitizer builds check every release against a mark that free Nodes carry, so a Node given
// back twice stops the program where it happens instead of corrupting the free list.
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(undefined_behavior_sanitizer)
#define TRAZEL_POOL_CHECKS 1
#endif
#endif
#if !defined(TRAZEL_POOL_CHECKS) && (defined(__SANITIZE_ADDRESS__) || !defined(NDEBUG))
#define TRAZEL_POOL_CHECKS 1
#endif

class NodePool {
  public:
    static constexpr uint32_t kBlockBytes = 1048576;
    static constexpr uint32_t kNodesPerBlock = 29127;
    static constexpr uint32_t kMaxBlocks = 256;
    static constexpr int kIndexBits = 15;
#ifdef TRAZEL_POOL_CHECKS
    static constexpr bool kChecksReleases = true;
#else
    static constexpr bool kChecksReleases = false;
#endif
    // Held in `next` and `prev` of a free Node: never a reference (those stay below 2^24) and never a
    // tag word (its low byte is no tag), so no Node in use carries it in both words.
    static constexpr uint32_t kFreedMark = 0xF4EEF4EEu;

    NodePool() = default;
    ~NodePool();
    NodePool(const NodePool&) = delete;
    NodePool& operator=(const NodePool&) = delete;

    // A zero-filled Node, or kNone when 256 blocks are in use and none is free.
    Ref alloc();
    void release(Ref r);

    Node& at(Ref r) {
        return blocks_[r >> kIndexBits][r & ((1u << kIndexBits) - 1)];
    }
    const Node& at(Ref r) const {
        return blocks_[r >> kIndexBits][r & ((1u << kIndexBits) - 1)];
    }

    uint32_t free_count() const {
        return free_count_;
    }
    uint32_t block_count() const {
        return block_count_;
    }
    uint32_t used_count() const {
        return block_count_ * kNodesPerBlock - free_count_;
    }
    // Lowers the block limit, so tests can reach exhaustion without 256 MiB.
    void set_block_limit(uint32_t n) {
        block_limit_ = n < kMaxBlocks ? n : kMaxBlocks;
    }

  private:
    bool grow();

    std::array<Node*, kMaxBlocks + 1> blocks_{}; // slot 0 unused so that no reference is below 32768
    Ref free_ = kNone;             // Nodes given back, the next one first
    Ref fresh_ = 0, fresh_end_ = 0; // the newest block's Nodes never handed out yet
    uint32_t free_count_ = 0;
    uint32_t block_count_ = 0;
    uint32_t block_limit_ = kMaxBlocks;
};

// The process-wide pool.  A Model installs its own pool here for its lifetime.
extern NodePool* g_pool;

inline Node& node(Ref r) {
    return g_pool->at(r);
}

} // namespace trazel::model
