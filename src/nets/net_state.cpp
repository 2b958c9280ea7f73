// The Net scan's marks, current Signal and message texts.
#include "nets/net_state.h"

#include <algorithm>
#include <cstdlib>

#include "display/display.h"
#include "nets/trace.h"

namespace trazel::nets {

using model::Node;
using model::node;

namespace {

// A Signal record counts its users in the upper 24 bits of its tag word, 256 per reference.
constexpr uint32_t kSignalUse = 256;

void draw(NetState& s, Ref item) {
    if (s.display != nullptr) {
        display::draw_item(*s.display, *s.doc, item);
    }
}

// Clears the mark of an Item this state marked; an entry whose Item has meanwhile lost its mark (it was
// deleted into an undo record, or unmarked by someone else) is left alone.
void clear_one(NetState& s, Ref item) {
    Node& n = node(item);
    if (n.marked()) {
        n.kind &= static_cast<uint8_t>(~model::kMarkFlag);
        draw(s, item);
    }
}

} // namespace

Clearances clearances_of(const model::Setup& s) {
    return Clearances{s.clear_line_line, s.clear_line_pad, s.clear_pad_pad};
}

bool conductive_layer(const model::Setup& s, int layer) {
    if (layer < 0 || layer > 255) {
        return false;
    }
    return (s.layers[static_cast<size_t>(layer)].type & 3) == 2;
}

bool smt_pad(const model::Node& pad) {
    return (pad.size & 4) != 0;
}

int shape_code(const model::Node& pad) {
    return pad.size & 3;
}

void mark_item(NetState& s, Ref item) {
    Node& n = node(item);
    if (n.marked()) {
        return;
    }
    n.kind |= model::kMarkFlag;
    s.marked.push_back(item);
    draw(s, item);
}

void unmark_item(NetState& s, Ref item) {
    clear_one(s, item);
    auto it = std::find(s.marked.rbegin(), s.marked.rend(), item);
    if (it != s.marked.rend()) {
        s.marked.erase(std::next(it).base());
        ++s.marks_epoch;
    }
}

void clear_marks(NetState& s) {
    for (Ref r : s.marked) {
        clear_one(s, r);
    }
    s.marked.clear();
    ++s.marks_epoch;
    set_current_signal(s, model::kNone);
}

void clear_all_marks(NetState& s) {
    model::walk_tree(s.doc->ring(), [&](Ref r, int) { clear_one(s, r); });
    s.marked.clear();
    ++s.marks_epoch;
    set_current_signal(s, model::kNone);
}

void set_current_signal(NetState& s, Ref signal) {
    if (s.current_signal == signal) {
        return;
    }
    s.current_signal = signal;
    if (s.signal_changed) {
        s.signal_changed(signal);
    }
}

void highlight_signal(NetState& s, Ref signal) {
    s.marked.clear();
    ++s.marks_epoch;
    model::walk_tree(s.doc->ring(), [&](Ref r, int) {
        Node& n = node(r);
        bool was = n.marked();
        if (signal != model::kNone && model::item_signal(r) == signal) {
            n.kind |= model::kMarkFlag;
            s.marked.push_back(r);
            if (!was) {
                draw(s, r);
            }
        } else if (was) {
            clear_one(s, r);
        }
    });
    set_current_signal(s, signal);
}

int propagate_signal(NetState& s, Ref signal) {
    if (!model::is_signal_record(signal)) {
        return 0;
    }
    int changed = 0;
    size_t from = 0;
    if (s.propagated_signal == signal && s.propagated_epoch == s.marks_epoch && s.propagated <= s.marked.size()) {
        from = s.propagated;
    }
    for (size_t i = from; i < s.marked.size(); ++i) {
        Ref r = s.marked[i];
        Node& n = node(r);
        if (!n.marked()) {
            continue;
        }
        uint8_t k = n.item_kind();
        bool takes =
            (k == model::kLine && n.size != 0) || (k == model::kArc && std::abs(n.arc.radius) >= 1) || k == model::kPad;
        Ref old = model::item_signal(r);
        if (!takes || old == signal) {
            continue;
        }
        model::DetachSignal(r);
        node(signal).tag() += kSignalUse;
        n.link = signal;
        ++changed;
        if (k == model::kPad && s.index) {
            s.index->signal_changed(r, old);
        }
    }
    s.propagated = s.marked.size();
    s.propagated_signal = signal;
    s.propagated_epoch = s.marks_epoch;
    return changed;
}

std::string inches3(Coord v) {
    int64_t mag = model::abs64(v);
    int64_t thousandths = (mag * 1000 + 32768) / 65536;
    std::string out = v < 0 && thousandths != 0 ? "-" : "";
    out += std::to_string(thousandths / 1000);
    out += '.';
    std::string frac = std::to_string(thousandths % 1000);
    out += std::string(3 - frac.size(), '0') + frac;
    return out;
}

std::string point_text(const model::Document& doc, Point p) {
    return "(" + inches3(static_cast<Coord>(int64_t{p.x} - doc.setup.origin_x)) + "," +
           inches3(static_cast<Coord>(int64_t{p.y} - doc.setup.origin_y)) + ")";
}

std::string pad_name(const model::Document& doc, Ref pad) {
    const Node& n = node(pad);
    int shape = shape_code(n);
    if (shape <= 2 && n.pad.pin != 0) {
        // The ring head ends the walk round the Item's own ring; its owner is the Component, if any.
        Ref head = n.next;
        while (head != pad && node(head).item_kind() != model::kHead) {
            head = node(head).next;
        }
        Ref owner = head == pad ? model::kNone : model::ring_owner(head);
        if (owner != model::kNone && node(owner).item_kind() == model::kComponent) {
            return model::ComponentField(owner, 1) + "-" + model::pin_text(pad);
        }
    }
    const char* word = shape == 3 ? (smt_pad(n) ? "dot" : "via") : ((n.size & 7) == 0 ? "pin" : "pad");
    return std::string(word) + " " + point_text(doc, Point{n.pad.x0, n.pad.y0});
}

} // namespace trazel::nets
