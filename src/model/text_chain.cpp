// Text chains: strings held 28 bytes a Node, and the typed form of the special symbol codes.
#include <cstring>

#include "model/model.h"

namespace trazel::model {

Ref make_chain(std::string_view s) {
    Ref first = kNone, last = kNone;
    size_t i = 0;
    while (i < s.size()) {
        Ref c = AllocNode();
        if (c == kNone) {
            release_chain_nodes(first);
            return kNone;
        }
        unsigned char* b = node(c).bytes();
        int used = 0;
        while (i < s.size() && used < kChainBytes) {
            unsigned char ch = static_cast<unsigned char>(s[i++]);
            b[used++] = ch;
            if (ch == 0x7F) {
                break; // a field separator ends the Node: the next field starts a Node of its own
            }
        }
        if (last == kNone) {
            first = c;
        } else {
            node(last).link = c;
        }
        last = c;
    }
    return first;
}

std::string chain_text(Ref first) {
    std::string out;
    for (Ref c = first; c != kNone; c = node(c).link) {
        const unsigned char* b = node(c).bytes();
        for (int i = 0; i < kChainBytes; ++i) {
            if (b[i] == 0) {
                return out;
            }
            out.push_back(static_cast<char>(b[i]));
            if (b[i] == 0x7F) {
                break;
            }
        }
    }
    return out;
}

void release_chain_nodes(Ref first) {
    while (first != kNone) {
        Ref nx = node(first).link;
        ReleaseNode(first);
        first = nx;
    }
}

void ReleaseChain(Ref item) {
    Node& n = node(item);
    if (is_signal_record(n.link)) {
        DetachSignal(item);
        return;
    }
    release_chain_nodes(n.link);
    n.link = kNone;
}

bool SetText(Ref item, std::string_view s) {
    ReleaseChain(item);
    if (s.empty()) {
        return true;
    }
    Ref c = make_chain(s);
    node(item).link = c;
    return c != kNone;
}

std::string GetText(Ref item) {
    const Node& n = node(item);
    if (is_signal_record(n.link)) {
        return signal_name(n.link);
    }
    return chain_text(n.link);
}

namespace {

bool starts_with(std::string_view s, size_t i, std::string_view w) {
    return s.size() - i >= w.size() && s.compare(i, w.size(), w) == 0;
}

} // namespace

std::string typed_to_stored(std::string_view t) {
    std::string out;
    out.reserve(t.size());
    for (size_t i = 0; i < t.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(t[i]);
        if (c == '\\' && i + 1 < t.size()) {
            char e = t[i + 1];
            unsigned char code = 0;
            if (e == 'u') {
                code = 0xE6;
            } else if (e == 'o') {
                code = 0xEA;
            } else if (e == 't') {
                code = 0x09;
            } else if (e == 'n') {
                code = 0xFF;
            }
            if (code) {
                out.push_back(static_cast<char>(code));
                ++i;
                continue;
            }
        }
        if (starts_with(t, i, "ohms")) {
            out.push_back(static_cast<char>(0xEA));
            i += 3;
            continue;
        }
        switch (c) {
        case 0xB0:
            c = 0xF8;
            break;
        case 0xB5:
            c = 0xE6;
            break;
        case 0xBD:
            c = 0xAB;
            break;
        case 0xBC:
            c = 0xAC;
            break;
        default:
            break;
        }
        out.push_back(static_cast<char>(c));
    }
    return out;
}

std::string stored_to_typed(std::string_view s) {
    std::string out;
    out.reserve(s.size() + 8);
    for (unsigned char c : s) {
        switch (c) {
        case 0x7F:
            return out;
        case 0xF8:
            out.push_back(static_cast<char>(0xB0));
            break;
        case 0xE6:
            out.push_back(static_cast<char>(0xB5));
            break;
        case 0xAB:
            out.push_back(static_cast<char>(0xBD));
            break;
        case 0xAC:
            out.push_back(static_cast<char>(0xBC));
            break;
        case 0xEA:
            out += "ohms";
            break;
        case 0x09:
            out += "\\t";
            break;
        case 0xFF:
            out += "\\n";
            break;
        default:
            out.push_back(static_cast<char>(c));
        }
    }
    return out;
}

bool SetTypedText(Ref item, std::string_view typed) {
    return SetText(item, typed_to_stored(typed));
}

} // namespace trazel::model
