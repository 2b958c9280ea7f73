// The program-wide sorted Signal list and the pin numbers and names of Pads.
#include <cstring>

#include "model/model.h"

namespace trazel::model {

namespace {

constexpr uint32_t kUse = 256; // one reference in the tag word

// The name as stored: upper case, ends at the first character at or below a blank or 0xFF, 19 at most.
std::string normal_signal_name(std::string_view name) {
    std::string out;
    for (unsigned char c : name) {
        if (c <= ' ' || c == 0xFF || out.size() == static_cast<size_t>(kSignalNameMax)) {
            break;
        }
        if (c >= 'a' && c <= 'z') {
            c = static_cast<unsigned char>(c - 'a' + 'A');
        }
        out.push_back(static_cast<char>(c));
    }
    return out;
}

} // namespace

bool is_signal_record(Ref r) {
    return r != kNone && (node(r).tag() & 0xFF) == kTagSignal;
}

std::string signal_name(Ref s) {
    if (!is_signal_record(s)) {
        return {};
    }
    const unsigned char* b = node(s).bytes();
    size_t n = 0;
    while (n < kChainBytes && b[n] != 0 && b[n] != 0xFF) {
        ++n;
    }
    return std::string(reinterpret_cast<const char*>(b), n);
}

uint32_t SignalUses(Ref s) {
    return is_signal_record(s) ? node(s).tag() >> 8 : 0;
}

Ref find_signal(std::string_view raw, bool create) {
    std::string name = normal_signal_name(raw);
    if (name.empty()) {
        return kNone;
    }
    Model& m = M();
    auto it = m.signal_index.lower_bound(name);
    if (it != m.signal_index.end() && it->first == name) {
        return it->second;
    }
    if (!create) {
        return kNone;
    }
    Ref rec = AllocNode();
    if (rec == kNone) {
        return kNone;
    }
    node(rec).tag() = kTagSignal;
    std::memcpy(node(rec).bytes(), name.data(), name.size());
    // The list is sorted by name; the record goes after its predecessor in the index (or the head).
    Ref pred = it == m.signal_index.begin() ? m.signals : std::prev(it)->second;
    node(rec).link = node(pred).link;
    node(pred).link = rec;
    m.signal_index.emplace_hint(it, std::move(name), rec);
    return rec;
}

Ref item_signal(Ref item) {
    Ref l = node(item).link;
    uint8_t k = node(item).item_kind();
    if (k == kLine && node(item).size == 0) {
        return kNone; // a Solid's link is its vertex chain
    }
    return (k == kLine || k == kArc || k == kPad || k == kText) && is_signal_record(l) ? l : kNone;
}

bool AttachSignal(Ref item, std::string_view name) {
    DetachSignal(item);
    Ref rec = find_signal(name, true);
    if (rec == kNone) {
        return false;
    }
    node(rec).tag() += kUse;
    node(item).link = rec;
    return true;
}

void DetachSignal(Ref item) {
    Ref s = item_signal(item);
    if (s != kNone) {
        if (node(s).tag() >= kUse) {
            node(s).tag() -= kUse;
        }
        node(item).link = kNone;
    }
}

void WriteSignal(std::string& out, Ref item) {
    Ref s = item_signal(item);
    if (s != kNone) {
        out += signal_name(s);
    }
}

bool SetPin(Ref pad, std::string_view text) {
    Node& p = node(pad);
    if (p.pad.pin >= static_cast<uint32_t>(kPinNumberLimit)) {
        ReleaseNode(p.pad.pin);
    }
    node(pad).pad.pin = 0;
    size_t n = 0;
    bool digits = true;
    while (n < text.size() && static_cast<unsigned char>(text[n]) >= '!') {
        digits = digits && text[n] >= '0' && text[n] <= '9';
        ++n;
    }
    if (n == 0) {
        return true;
    }
    if (digits) {
        uint32_t v = 0;
        for (size_t i = 0; i < n && v < static_cast<uint32_t>(kPinNumberLimit); ++i) {
            v = v * 10 + static_cast<uint32_t>(text[i] - '0');
        }
        if (v < static_cast<uint32_t>(kPinNumberLimit)) {
            node(pad).pad.pin = v;
            return true;
        }
    }
    Ref r = AllocNode();
    if (r == kNone) {
        return false;
    }
    node(r).tag() = kTagPinName;
    std::memcpy(node(r).bytes(), text.data(), n < kChainBytes ? n : kChainBytes);
    node(pad).pad.pin = r;
    return true;
}

std::string pin_text(Ref pad) {
    uint32_t pin = node(pad).pad.pin;
    if (pin == 0) {
        return {};
    }
    if (pin < static_cast<uint32_t>(kPinNumberLimit)) {
        return std::to_string(pin);
    }
    const unsigned char* b = node(pin).bytes();
    size_t n = 0;
    while (n < kChainBytes && b[n] > ' ') {
        ++n;
    }
    return std::string(reinterpret_cast<const char*>(b), n);
}

void WritePin(std::string& out, Ref pad) {
    out += pin_text(pad);
}

} // namespace trazel::model
