// Node allocation, ring operations and Item construction and deletion.
#include <algorithm>

#include "model/model.h"

namespace trazel::model {

Ref AllocNode() {
    return g_pool->alloc();
}

void ReleaseNode(Ref n) {
    g_pool->release(n);
}

Ref new_ring() {
    Ref h = AllocNode();
    if (h != kNone) {
        node(h).next = h;
        node(h).prev = h;
    }
    return h;
}

void InsertBefore(Ref n, Ref ref) {
    Node& r = node(ref);
    Ref p = r.prev;
    node(n).next = ref;
    node(n).prev = p;
    node(p).next = n;
    r.prev = n;
}

Ref NewItemBefore(Ref ref) {
    Ref n = AllocNode();
    if (n != kNone) {
        InsertBefore(n, ref);
    }
    return n;
}

Ref Unlink(Ref n) {
    Node& x = node(n);
    Ref nx = x.next;
    node(x.prev).next = nx;
    node(nx).prev = x.prev;
    x.next = x.prev = n;
    return nx;
}

Ref DeleteNode(Ref n) {
    Ref nx = Unlink(n);
    ReleaseNode(n);
    return nx;
}

void MoveBefore(Ref n, Ref ref) {
    if (n == ref) {
        return;
    }
    Unlink(n);
    InsertBefore(n, ref);
}

bool ring_empty(Ref head) {
    return node(head).next == head;
}

Ref first_item(Ref head) {
    Ref r = node(head).next;
    return r == head ? kNone : r;
}

Ref last_item(Ref head) {
    Ref r = node(head).prev;
    return r == head ? kNone : r;
}

Ref MakeItem(Ref ring, uint8_t kind, uint8_t layer, uint16_t size, Coord x1, Coord y1, Coord x2, Coord y2,
             Ref link) {
    if (ring == kNone) {
        return kNone;
    }
    Ref r = NewItemBefore(ring);
    if (r == kNone) {
        return kNone;
    }
    Node& n = node(r);
    n.kind = kind;
    n.layer = layer;
    n.size = size;
    n.line.x1 = x1;
    n.line.y1 = y1;
    n.line.x2 = x2;
    n.line.y2 = y2;
    n.link = link;
    return r;
}

bool is_solid(Ref item) {
    const Node& n = node(item);
    return n.item_kind() == kLine && n.size == 0;
}

bool add_vertex(Ref solid, Coord x, Coord y) {
    Ref v = AllocNode();
    if (v == kNone) {
        return false;
    }
    Node& s = node(solid);
    Node& nv = node(v);
    nv.kind = kLine;
    nv.layer = s.layer;
    nv.line.x1 = x;
    nv.line.y1 = y;
    if (s.link == kNone) {
        s.link = v;
        s.line.spare = v;
        nv.line.x2 = x;
        nv.line.y2 = y;
        s.line.x1 = s.line.x2 = x;
        s.line.y1 = s.line.y2 = y;
        return true;
    }
    // `spare` caches the last vertex so building a large polygon stays linear; it is checked before use
    // in case someone edited the chain by hand.
    Ref last = s.line.spare;
    const Node& first = node(s.link);
    if (last == kNone || node(last).link != kNone || node(last).line.x2 != first.line.x1 ||
        node(last).line.y2 != first.line.y1) {
        last = s.link;
        while (node(last).link != kNone) {
            last = node(last).link;
        }
    }
    Node& nl = node(last);
    nv.line.x2 = nl.line.x2; // the first vertex: the chain closes itself
    nv.line.y2 = nl.line.y2;
    nl.line.x2 = x;
    nl.line.y2 = y;
    nl.link = v;
    s.line.spare = v;
    s.line.x1 = std::min(s.line.x1, x);
    s.line.y1 = std::min(s.line.y1, y);
    s.line.x2 = std::max(s.line.x2, x);
    s.line.y2 = std::max(s.line.y2, y);
    return true;
}

int vertex_count(Ref solid) {
    int n = 0;
    for (Ref v = node(solid).link; v != kNone; v = node(v).link) {
        ++n;
    }
    return n;
}

static void release_pin(Node& pad) {
    if (pad.pad.pin >= static_cast<uint32_t>(kPinNumberLimit)) {
        ReleaseNode(pad.pad.pin);
    }
    pad.pad.pin = 0;
}

Ref DeleteItem(Ref item) {
    Node& n = node(item);
    uint8_t k = n.item_kind();
    if (k == kHead) {
        Ref r = n.next;
        while (r != item && node(r).item_kind() != kHead) {
            r = DeleteItem(r);
        }
        return r;
    }
    switch (k) {
    case kLine:
        if (n.size == 0) {
            release_chain_nodes(n.link);
            n.link = kNone;
        } else {
            DetachSignal(item);
        }
        break;
    case kArc:
        DetachSignal(item);
        break;
    case kPad:
        DetachSignal(item);
        release_pin(n);
        break;
    case kText:
        if (is_signal_record(n.link)) {
            DetachSignal(item);
        } else {
            ReleaseChain(item);
        }
        break;
    case kPointGroup:
        release_chain_nodes(n.link);
        n.link = kNone;
        break;
    case kComponent:
    case kDocument:
        if (n.link != kNone) {
            Ref head = n.link;
            DeleteItem(head);
            release_chain_nodes(node(head).link);
            ReleaseNode(head);
            node(item).link = kNone;
        }
        break;
    default:
        break;
    }
    return DeleteNode(item);
}

} // namespace trazel::model
