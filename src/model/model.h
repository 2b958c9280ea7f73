#pragma once
// The Document model: rings of Items made from Nodes, Signals, Components, Documents and the Layer table.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "model/fixed.h"
#include "model/node.h"
#include "model/setup.h"

namespace trazel::model {

constexpr int kImageSlots = 128;
constexpr int kSignalNameMax = 19;
constexpr int kPinNumberLimit = 1024;
constexpr const char* kUnnamedDocument = "TRAZEL'98 for Windows";

// Document state that does not fit in Nodes: the setup record and the file flags.
struct Document {
    Ref item = kNone; // the Document Item (kind 7) in the list of open Documents
    Setup setup;
    // Four modified bits: every change sets all of them, a save clears them, autosave clears its own.
    uint8_t modified_bits = 0;
    bool backup_made = false;
    Ref undo_anchor = kNone; // created on first use

    Ref ring() const; // the Document's ring head
    std::string name() const;

    static constexpr uint8_t kModifiedAll = 0x0F;
    static constexpr uint8_t kModifiedAutosave = 0x01;
    bool modified() const {
        return modified_bits != 0;
    }
    void mark_modified() {
        modified_bits = kModifiedAll;
    }
};

// Program-wide model state: the Node pool, the Signal list, the open Documents and the image slots.
struct Model {
    NodePool pool;
    Ref signals = kNone;      // head record of the sorted Signal list (tag 3, empty name)
    Ref signals_end = kNone;  // end record, name bytes all 0xFF
    std::map<std::string, Ref, std::less<>> signal_index; // name -> record, to find places in the list fast
    Ref open_docs = kNone;    // ring head of the list of open Documents
    std::vector<std::unique_ptr<Document>> docs;
    Document* current = nullptr;
    Ref library_scratch = kNone; // ring head outside every Document that a library lookup copies into
    std::array<std::vector<uint8_t>, kImageSlots> images; // pixel image blocks, header and data
    int current_image = 0; // the current image slot, where the slot search of a new picture starts
    // Converts a 0x00RRGGBB colour to the screen's pixel value; the display installs its own.
    std::function<uint32_t(uint32_t)> to_pixel = [](uint32_t c) { return c; };

    Model();
    ~Model();
    Model(const Model&) = delete;
    Model& operator=(const Model&) = delete;

    Setup& setup() {
        return current->setup;
    }
};

// The process-wide model; a Model installs itself here while it exists.
extern Model* g_model;
inline Model& M() {
    return *g_model;
}

// --- Nodes and rings ------------------------------------------------------------------------------
Ref AllocNode();
void ReleaseNode(Ref n);
Ref new_ring();                      // a ring head (kind 0) pointing at itself
void InsertBefore(Ref n, Ref ref);  // before the head = append
Ref NewItemBefore(Ref ref);         // allocate into; kNone when the pool is exhausted
Ref Unlink(Ref n);                  // returns the Node after
Ref DeleteNode(Ref n);              // unlink and release; returns the Node that followed
void MoveBefore(Ref n, Ref ref);
bool ring_empty(Ref head);
Ref first_item(Ref head); // kNone when empty
Ref last_item(Ref head);

// The Items of one ring in ring order, for a range-for: `for (Ref r : items_in(head))`.  The walk ends
// at the head, or at any other ring head it meets.  The Node after an Item is read before the loop body
// sees the Item, so the body may delete or unlink the Item it is given.
class RingItems {
  public:
    class iterator {
      public:
        using value_type = Ref;
        using difference_type = std::ptrdiff_t;

        iterator() = default;
        iterator(Ref r, Ref head) : r_(r), head_(head) {
            settle();
        }
        Ref operator*() const {
            return r_;
        }
        iterator& operator++() {
            r_ = next_;
            settle();
            return *this;
        }
        iterator operator++(int) {
            iterator was = *this;
            ++*this;
            return was;
        }
        bool operator==(const iterator& o) const {
            return r_ == o.r_;
        }

      private:
        void settle() {
            if (r_ == head_ || node(r_).item_kind() == kHead) {
                r_ = kNone; // the end
            } else {
                next_ = node(r_).next;
            }
        }
        Ref r_ = kNone, head_ = kNone, next_ = kNone;
    };

    explicit RingItems(Ref head) : head_(head) {}
    iterator begin() const {
        return iterator(node(head_).next, head_);
    }
    iterator end() const {
        return iterator();
    }

  private:
    Ref head_;
};
inline RingItems items_in(Ref head) {
    return RingItems(head);
}

// Calls f(item) for each Item of one ring, in ring order; f may delete the Item it is given.
template <class F> void for_each_item(Ref head, F&& f) {
    for (Ref r : items_in(head)) {
        f(r);
    }
}

// How deep Components (and nested Documents) nest.  The Data file reader makes no Component deeper than
// this (its members join the deepest open ring), and nothing else nests Components, so every tree the
// program holds is at most this deep; the walks stop there all the same, so that a ring that has come to
// contain its own owner cannot send them round for ever.
constexpr int kMaxComponentDepth = 64;

namespace detail {
template <class F> void walk_ring(Ref head, F& f, int depth) {
    for (Ref r : items_in(head)) {
        bool enter = true;
        if constexpr (std::is_void_v<std::invoke_result_t<F&, Ref, int>>) {
            f(r, depth);
        } else {
            enter = f(r, depth);
        }
        const Node& n = node(r);
        uint8_t k = n.item_kind();
        if (enter && (k == kComponent || k == kDocument) && n.link != kNone && depth < kMaxComponentDepth) {
            walk_ring(n.link, f, depth + 1);
        }
    }
}
} // namespace detail

// Depth-first walk of a whole ring tree: f(item, depth) for each Item, the members of a Component or a
// nested Document right after their owner; `depth` is 0 for the Items of `head` itself.  When f returns
// a bool, false keeps the walk out of that Item's members.
template <class F> void walk_tree(Ref head, F&& f) {
    detail::walk_ring(head, f, 0);
}

// --- Items ----------------------------------------------------------------------------------------
// Allocates an Item with the given fields and appends it to `ring`; for a Line the four values are its
// end points, for other kinds the first four 32-bit fields.  kNone when no ring is given or no Node is
// left.
Ref MakeItem(Ref ring, uint8_t kind, uint8_t layer, uint16_t size, Coord x1, Coord y1, Coord x2, Coord y2,
             Ref link = kNone);
// Releases what the Item owns and deletes it; returns the next Item.  On a ring head, deletes every Item
// of the ring (the head stays).
Ref DeleteItem(Ref item);

// Solids: appends vertex P to the Solid's vertex chain and widens its bounding box.
bool add_vertex(Ref solid, Coord x, Coord y);
bool is_solid(Ref item);
int vertex_count(Ref solid);

// --- Text chains ----------------------------------------------------------------------------------
// Stores `s` (stored form) as the Item's text chain, replacing any chain it had.  Returns 0 when the
// pool ran out (the Item is then left without text).
bool SetText(Ref item, std::string_view s);
// Stores a typed string: converts the typed form to the stored symbol codes first.
bool SetTypedText(Ref item, std::string_view typed);
// The stored text of the Item's chain (up to a zero byte).
std::string GetText(Ref item);
void ReleaseChain(Ref item);
// Chain helpers on a first chain Node rather than an Item.
Ref make_chain(std::string_view s);
std::string chain_text(Ref first);
void release_chain_nodes(Ref first);

std::string typed_to_stored(std::string_view typed);
std::string stored_to_typed(std::string_view stored);

// --- Signals ---------------------------------------------------------------------------------------
// Attaches the Signal `name` to a Line, Arc, Pad or Text (a Signal label).  An empty name leaves link
// none.  Returns 0 when nothing was attached.
bool AttachSignal(Ref item, std::string_view name);
void DetachSignal(Ref item);
// The Signal record an Item refers to, or kNone.
Ref item_signal(Ref item);
std::string signal_name(Ref signal);
uint32_t SignalUses(Ref signal);
// Finds (or creates when `create`) the record for a name; kNone when absent.
Ref find_signal(std::string_view name, bool create);
bool is_signal_record(Ref r);

// --- Pins -----------------------------------------------------------------------------------------
bool SetPin(Ref pad, std::string_view text);
std::string pin_text(Ref pad); // "" when no pin
// Append the pin or Signal name to `out`; nothing when absent.
void WritePin(std::string& out, Ref pad);
void WriteSignal(std::string& out, Ref item);

// --- Components -----------------------------------------------------------------------------------
// A Component Item with an empty member ring whose head holds the Parameters (stored "*" when empty).
Ref make_component(Ref ring, uint8_t layer, Angle angle, std::string_view parameters);
Ref member_ring(Ref item);               // head of a Component's or Document's member ring
Ref ring_owner(Ref head);                // the Item that owns a member ring head, kNone for the open list
std::string component_parameters(Ref c); // the whole Parameters string with 0x7F separators
// Field n of the Parameters (up to 28 bytes, ends at 0x7F or zero).
std::string ComponentField(Ref c, int n);
// Recomputes the Component's box from its members; deletes the Component when the ring is empty and
// returns false then.
bool close_component(Ref c);
bool item_box(Ref item, Coord& x1, Coord& y1, Coord& x2, Coord& y2);
// The box of the visible members of a ring, as closing a Component computes it; false (the corners
// untouched) when no member has a box.
bool members_box(Ref head, Coord& x1, Coord& y1, Coord& x2, Coord& y2);
// Calls f(x, y) with references to every point an Item carries: both points of Lines, Point groups and
// Component boxes, the vertices of a Solid (both ends of each edge), the centre or anchor of the others,
// and for a Component (or nested Document) its hook and its members' points.  g(Node&) is called once for
// each Item visited, for what is not a point (angles).
template <class F, class G> void for_each_point(Ref item, F&& f, G&& g, int depth = 0) {
    Node& n = node(item);
    g(n);
    switch (n.item_kind()) {
    case kLine:
        f(n.line.x1, n.line.y1);
        f(n.line.x2, n.line.y2);
        if (n.size == 0) {
            for (Ref v = n.link; v != kNone; v = node(v).link) {
                f(node(v).line.x1, node(v).line.y1);
                f(node(v).line.x2, node(v).line.y2);
            }
        }
        break;
    case kPointGroup:
        f(n.line.x1, n.line.y1);
        f(n.line.x2, n.line.y2);
        break;
    case kArc:
        f(n.arc.x0, n.arc.y0);
        break;
    case kPad:
        f(n.pad.x0, n.pad.y0);
        break;
    case kText:
        f(n.text.x0, n.text.y0);
        break;
    case kComponent:
    case kDocument:
        f(n.box.x1, n.box.y1);
        f(n.box.x2, n.box.y2);
        if (n.link != kNone && depth < kMaxComponentDepth) {
            f(node(n.link).box.x1, node(n.link).box.y1);
            for (Ref m : items_in(n.link)) {
                for_each_point(m, f, g, depth + 1);
            }
        }
        break;
    default:
        break;
    }
}

// Moves an Item by (dx, dy), everything for_each_point reaches; results held by clamp_coord.
void offset_item(Ref item, Coord dx, Coord dy);
// The 128-byte comparison key of a Component's Parameters.
std::array<char, 128> ComponentKey(Ref c);
// Moves a top-level Component to its sorted place in its ring; inserts a new one the same way.  One walk
// of the ring per call: for many insertions into one ring use ComponentOrder.
void sort_component(Ref c);

// The Components of one ring by key, for inserting many Components in sorted place without walking the
// ring each time (a library out of key order, a batch of placements).  The ring must be sorted when the
// order is built, and change only through insert() while the order is in use.
class ComponentOrder {
  public:
    explicit ComponentOrder(Ref ring);
    // Moves `c` (linked in any ring) before the first Component whose key is greater, as sort_component
    // does.
    void insert(Ref c);

  private:
    // Keys compare as unsigned bytes, as every other comparison of Component keys does (memcmp): with the
    // signed char of std::less a byte above 0x7F would sort the other way.
    struct KeyLess {
        bool operator()(const std::array<char, 128>& a, const std::array<char, 128>& b) const {
            return std::memcmp(a.data(), b.data(), a.size()) < 0;
        }
    };
    Ref ring_;
    std::multimap<std::array<char, 128>, Ref, KeyLess> by_key_;
};

// --- Field references -----------------------------------------------------------------------------
// The text a Text Item shows: "&n" resolves to field n of the enclosing Component, "&@" to the Signal of
// the first Pad among the next 8 Items; otherwise the stored text.
std::string resolved_text(Ref text);

// --- Documents ------------------------------------------------------------------------------------
// Creates a Document named `name` (kUnnamedDocument when empty), makes it current and empties the image
// slots.  nullptr when a Document of that name is already open.
Document* NewDocument(std::string_view name);
Document* FindDocument(std::string_view name);
Document* document_of(Ref doc_item);
void close_document(Document* d);
void set_document_name(Document* d, std::string_view name);
bool name_matches(std::string_view pattern, std::string_view name); // case-insensitive, * and ?

// --- Layers ---------------------------------------------------------------------------------------
bool IsSchematic();
bool IsSchematic(const Setup& s);
// A layer number or a symbolic form ("CT") to a layer index.
int ResolveLayer(std::string_view text);
// The symbolic form of a layer, or "" when it has none (types 3, 4, 6 and layer 0).
std::string LayerSymbol(int layer);
void set_layer_name(LayerEntry& e, std::string_view name);
void set_layer_colour(LayerEntry& e, uint32_t colour);
void set_screen_colours(Setup& s, uint32_t grid, uint32_t background, uint32_t highlight, uint32_t attention);
// Snaps every coordinate and width of the Document's Items to 0.001 inch (schematic save rule).
void snap_schematic(Ref ring);

// Names used by query boxes and dialogs.
extern const char* const kPadTypeNames[8];
extern const char* const kPadShortNames[8];
extern const char* const kLayerTypeNames[8];
extern const char* const kAnchorNames[16];

} // namespace trazel::model
