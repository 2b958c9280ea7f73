#include "edit/undo.h"

#include <cstring>
#include <utility>

#include "display/display.h"

namespace trazel::edit {

using model::Node;
using model::node;

namespace {

// The anchor keeps the two stack tops and the group counts.
Ref& undo_top(Ref anchor) {
    return node(anchor).link;
}
Ref& redo_top(Ref anchor) {
    return node(anchor).next;
}
int32_t& undo_count(Ref anchor) {
    return node(anchor).line.x1;
}
int32_t& redo_count(Ref anchor) {
    return node(anchor).line.y1;
}

// The Data file reader makes the anchor as an empty ring head (its `next` and `prev` pointing to
// itself): that is an empty redo stack too.
void normalise(Ref anchor) {
    Node& a = node(anchor);
    if (a.next == anchor) {
        a.next = model::kNone;
    }
    if (a.prev == anchor) {
        a.prev = model::kNone;
    }
}

Ref redo_top_of(const model::Document& doc) {
    Ref a = doc.undo_anchor;
    if (a == model::kNone) {
        return model::kNone;
    }
    Ref top = node(a).next;
    return top == a ? model::kNone : top;
}

Ref anchor_of(model::Document& doc) {
    if (doc.undo_anchor == model::kNone) {
        doc.undo_anchor = model::AllocNode();
    }
    if (doc.undo_anchor != model::kNone) {
        normalise(doc.undo_anchor);
    }
    return doc.undo_anchor;
}

uint8_t record_kind(const Node& r) {
    return (r.kind >> 4) & 3;
}

uint8_t make_kind(uint8_t rk, bool continued, uint8_t item_kind) {
    return static_cast<uint8_t>(rk << 4 | (continued ? kRecordContinued : 0) | (item_kind & model::kKindMask));
}

void push(Ref& top, Ref rec) {
    node(rec).next = top;
    top = rec;
}

Ref pop(Ref& top) {
    Ref r = top;
    top = node(r).next;
    return r;
}

// Frees one record; a deleted record is an Item out of every ring, which goes with all it owns.
void free_record(Ref rec) {
    Node& r = node(rec);
    if (record_kind(r) == kRecordDeleted) {
        r.kind &= model::kKindMask;
        r.next = r.prev = rec; // out of every ring: unlinking it is harmless
        model::DeleteItem(rec);
    } else {
        model::ReleaseNode(rec);
    }
}

int purge(Ref& top) {
    int n = 0;
    while (top != model::kNone) {
        free_record(pop(top));
        ++n;
    }
    return n;
}

// A new record on the undo stack: the redo stack goes first.
Ref begin_record(model::Document& doc, int number) {
    Ref a = anchor_of(doc);
    if (a == model::kNone) {
        return model::kNone;
    }
    if (redo_top(a) != model::kNone) {
        purge(redo_top(a));
        redo_count(a) = 0;
    }
    if (number == 0) {
        ++undo_count(a);
    }
    ++node(a).line.spare; // the change count the spatial index follows
    return a;
}

// The fields a modified record holds: the kind/layer/size word, the first point, the three words after
// it and `link`.  For a ring head the layer/size word, the first point (a Component's hook) and `link`
// (a Component's Parameters chain) count.
void exchange(Node& rec, Node& item) {
    std::swap(rec.layer, item.layer);
    std::swap(rec.size, item.size);
    uint8_t k = item.item_kind();
    if (k == model::kHead) {
        std::swap(rec.box.x1, item.box.x1);
        std::swap(rec.box.y1, item.box.y1);
        std::swap(rec.prev, item.link);
        return;
    }
    unsigned char tmp[sizeof(model::LineFields)];
    std::memcpy(tmp, &rec.line, sizeof tmp);
    std::memcpy(&rec.line, &item.line, sizeof tmp);
    std::memcpy(&item.line, tmp, sizeof tmp);
    if (k == model::kLine || k == model::kArc || k == model::kPad || k == model::kText) {
        std::swap(rec.prev, item.link);
    }
}

// Takes one group off `from` and pushes its inverse onto `to`.  Returns false when `from` was empty.
bool step(Ref& from, Ref& to, Box& region, bool& changed) {
    if (from == model::kNone) {
        return false;
    }
    int pushed = 0;
    while (from != model::kNone) {
        Ref rec = pop(from);
        Node& r = node(rec);
        bool continued = (r.kind & kRecordContinued) != 0;
        switch (record_kind(r)) {
        case kRecordCreated: {
            Ref item = r.link;
            model::ReleaseNode(rec);
            if (item == model::kNone) {
                break;
            }
            region.add(item_area(item));
            Ref follower = node(item).next;
            model::Unlink(item);
            Node& it = node(item);
            it.kind = make_kind(kRecordDeleted, pushed > 0, it.item_kind());
            it.prev = follower;
            push(to, item);
            ++pushed;
            changed = true;
            break;
        }
        case kRecordModified: {
            Ref item = r.link;
            if (item == model::kNone) {
                model::ReleaseNode(rec);
                break;
            }
            region.add(item_area(item));
            exchange(r, node(item));
            region.add(item_area(item));
            r.kind = make_kind(kRecordModified, pushed > 0, r.kind);
            push(to, rec);
            ++pushed;
            changed = true;
            break;
        }
        case kRecordDeleted: {
            Ref follower = r.prev;
            r.kind &= model::kKindMask;
            model::InsertBefore(rec, follower);
            region.add(item_area(rec));
            changed = true;
            Ref back = model::AllocNode();
            if (back != model::kNone) {
                node(back).kind = make_kind(kRecordCreated, pushed > 0, 0);
                node(back).link = rec;
                push(to, back);
                ++pushed;
            }
            break;
        }
        default:
            model::ReleaseNode(rec);
            break;
        }
        if (!continued) {
            break;
        }
    }
    return true;
}

int run(model::Document& doc, display::Display* d, bool all, bool forward) {
    if (doc.undo_anchor == model::kNone) {
        return 0;
    }
    Ref a = anchor_of(doc);
    Ref& from = forward ? redo_top(a) : undo_top(a);
    Ref& to = forward ? undo_top(a) : redo_top(a);
    int32_t& from_count = forward ? redo_count(a) : undo_count(a);
    int32_t& to_count = forward ? undo_count(a) : redo_count(a);
    Box region;
    bool changed = false;
    int groups = 0;
    while (step(from, to, region, changed)) {
        ++groups;
        from_count = from_count > 0 ? from_count - 1 : 0;
        ++to_count;
        if (!all) {
            break;
        }
    }
    if (from == model::kNone) {
        from_count = 0;
    }
    if (changed) {
        ++node(a).line.spare;
        // Any undo or redo leaves the Document different from what was last saved (as far as we know), so
        // it is always marked: a close then asks before the changes are lost.
        doc.mark_modified();
        if (d != nullptr) {
            redraw_region(*d, doc, region);
        }
    }
    return groups;
}

} // namespace

int RecordCreated(model::Document& doc, Ref item, int number) {
    if (item == model::kNone || begin_record(doc, number) == model::kNone) {
        return 0;
    }
    Ref rec = model::AllocNode();
    if (rec == model::kNone) {
        return 0;
    }
    node(rec).kind = make_kind(kRecordCreated, number != 0, 0);
    node(rec).link = item;
    push(undo_top(doc.undo_anchor), rec);
    return 1;
}

int RecordModified(model::Document& doc, Ref item, int number) {
    if (item == model::kNone || begin_record(doc, number) == model::kNone) {
        return 0;
    }
    Ref rec = model::AllocNode();
    if (rec == model::kNone) {
        return 0;
    }
    Node& r = node(rec);
    const Node& it = node(item);
    r.kind = make_kind(kRecordModified, number != 0, it.item_kind());
    r.layer = it.layer;
    r.size = it.size;
    std::memcpy(&r.line, &it.line, sizeof r.line);
    r.prev = it.link;
    r.link = item;
    push(undo_top(doc.undo_anchor), rec);
    return 1;
}

Ref RecordDeleted(model::Document& doc, Ref item, int number) {
    if (item == model::kNone) {
        return model::kNone;
    }
    Ref follower = node(item).next;
    if (begin_record(doc, number) == model::kNone) {
        // Without a record the deletion cannot be undone, but it still happens.
        return model::DeleteItem(item);
    }
    model::Unlink(item);
    Node& it = node(item);
    it.kind = make_kind(kRecordDeleted, number != 0, it.item_kind());
    it.prev = follower;
    push(undo_top(doc.undo_anchor), item);
    return follower;
}

void ForgetItem(model::Document& doc, Ref item) {
    if (doc.undo_anchor == model::kNone || item == model::kNone) {
        return;
    }
    anchor_of(doc);
    Ref successor = node(item).next;
    for (Ref top : {undo_top(doc.undo_anchor), redo_top(doc.undo_anchor)}) {
        for (Ref r = top; r != model::kNone; r = node(r).next) {
            Node& rec = node(r);
            if (record_kind(rec) == kRecordDeleted) {
                if (rec.prev == item) {
                    rec.prev = successor;
                }
            } else if (rec.link == item) {
                rec.link = model::kNone;
            }
        }
    }
}

bool has_undo(const model::Document& doc) {
    return doc.undo_anchor != model::kNone && node(doc.undo_anchor).link != model::kNone;
}

bool has_redo(const model::Document& doc) {
    return redo_top_of(doc) != model::kNone;
}

int undo_groups(const model::Document& doc) {
    return doc.undo_anchor == model::kNone ? 0 : node(doc.undo_anchor).line.x1;
}

int redo_groups(const model::Document& doc) {
    return redo_top_of(doc) == model::kNone ? 0 : node(doc.undo_anchor).line.y1;
}

int undo(model::Document& doc, display::Display* d, bool all) {
    return run(doc, d, all, false);
}

int redo(model::Document& doc, display::Display* d, bool all) {
    return run(doc, d, all, true);
}

int purge_undo(model::Document& doc) {
    if (doc.undo_anchor == model::kNone) {
        return 0;
    }
    anchor_of(doc);
    undo_count(doc.undo_anchor) = 0;
    return purge(undo_top(doc.undo_anchor));
}

int purge_redo(model::Document& doc) {
    if (doc.undo_anchor == model::kNone) {
        return 0;
    }
    anchor_of(doc);
    redo_count(doc.undo_anchor) = 0;
    return purge(redo_top(doc.undo_anchor));
}

void release_undo(model::Document& doc) {
    if (doc.undo_anchor == model::kNone) {
        return;
    }
    purge_redo(doc);
    purge_undo(doc);
    model::ReleaseNode(doc.undo_anchor);
    doc.undo_anchor = model::kNone;
}

} // namespace trazel::edit
