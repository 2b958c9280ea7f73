// The model's program-wide state and the list of open Documents.
#include <cstring>

#include "model/model.h"

namespace trazel::model {

Model* g_model = nullptr;

Setup::Setup() {
    for (int i = 0; i < 256; ++i) {
        layers[i].sequence = static_cast<uint8_t>(i);
    }
}

Model::Model() {
    g_pool = &pool;
    g_model = this;
    signals = AllocNode();
    signals_end = AllocNode();
    node(signals).tag() = kTagSignal;
    node(signals_end).tag() = kTagSignal;
    std::memset(node(signals_end).bytes(), 0xFF, kChainBytes);
    node(signals).link = signals_end;
    open_docs = new_ring();
}

Model::~Model() {
    if (g_model == this) {
        g_model = nullptr;
        g_pool = nullptr;
    }
}

Ref Document::ring() const {
    return node(item).link;
}

std::string Document::name() const {
    return chain_text(node(ring()).link);
}

bool name_matches(std::string_view p, std::string_view s) {
    auto up = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    size_t pi = 0, si = 0, star = std::string_view::npos, mark = 0;
    while (si < s.size()) {
        if (pi < p.size() && (p[pi] == '?' || up(p[pi]) == up(s[si]))) {
            ++pi, ++si;
        } else if (pi < p.size() && p[pi] == '*') {
            star = pi++;
            mark = si;
        } else if (star != std::string_view::npos) {
            pi = star + 1;
            si = ++mark;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*') {
        ++pi;
    }
    return pi == p.size();
}

Document* FindDocument(std::string_view name) {
    for (auto& d : M().docs) {
        if (name_matches(name, d->name())) {
            return d.get();
        }
    }
    return nullptr;
}

Document* document_of(Ref doc_item) {
    for (auto& d : M().docs) {
        if (d->item == doc_item) {
            return d.get();
        }
    }
    return nullptr;
}

void set_document_name(Document* d, std::string_view name) {
    Ref head = d->ring();
    release_chain_nodes(node(head).link);
    node(head).link = make_chain(name);
}

Document* NewDocument(std::string_view name) {
    if (name.empty()) {
        name = kUnnamedDocument;
    }
    Model& m = M();
    if (FindDocument(name)) {
        return nullptr;
    }
    Ref item = MakeItem(m.open_docs, kDocument, 0, 0, 0, 0, 0, 0);
    if (item == kNone) {
        return nullptr;
    }
    Ref head = new_ring();
    Ref chain = head == kNone ? kNone : make_chain(name);
    if (chain == kNone) {
        if (head != kNone) {
            ReleaseNode(head);
        }
        DeleteNode(item);
        return nullptr;
    }
    node(head).layer = kDocument;
    node(head).box.owner = item;
    node(head).link = chain;
    node(item).link = head;
    auto d = std::make_unique<Document>();
    d->item = item;
    m.docs.push_back(std::move(d));
    m.current = m.docs.back().get();
    for (auto& img : m.images) {
        img.clear();
        img.shrink_to_fit();
    }
    m.current->setup.format_code = 0;
    return m.current;
}

void close_document(Document* d) {
    Model& m = M();
    if (d->undo_anchor != kNone) {
        // The undo records hang from their anchor; the edit subsystem empties it before closing.
        ReleaseNode(d->undo_anchor);
        d->undo_anchor = kNone;
    }
    Ref next_item = node(d->item).next;
    DeleteItem(d->item);
    for (auto it = m.docs.begin(); it != m.docs.end(); ++it) {
        if (it->get() == d) {
            m.docs.erase(it);
            break;
        }
    }
    if (m.current == d) {
        m.current = nullptr;
        if (next_item == m.open_docs) {
            next_item = node(m.open_docs).next;
        }
        if (next_item != m.open_docs) {
            m.current = document_of(next_item);
        }
    }
}

} // namespace trazel::model
