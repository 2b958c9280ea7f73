// Reading the Data file: Setup directives, Item records into nested rings, and the pixel image blocks.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "model/datafile.h"
#include "model/image_block.h"
#include "model/numbers.h"
#include "model/setup_directives.h"
#include "platform/platform.h"

namespace trazel::model {

bool is_library_name(std::string_view name) {
    if (name.size() < 4) {
        return false;
    }
    std::string_view ext = name.substr(name.size() - 4);
    auto up = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    return ext[0] == '.' && up(ext[1]) == 'L' && up(ext[2]) == 'I' && up(ext[3]) == 'B';
}

int64_t PixelDataBytes(const unsigned char* h) {
    if (std::memcmp(h, "PIX98a", 6) != 0) {
        return -1;
    }
    auto le32 = [&](int at) {
        return static_cast<uint64_t>(h[at]) | static_cast<uint64_t>(h[at + 1]) << 8 |
               static_cast<uint64_t>(h[at + 2]) << 16 | static_cast<uint64_t>(h[at + 3]) << 24;
    };
    uint64_t row = le32(8), height = le32(16), bpp = le32(24);
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) {
        return -1;
    }
    if (row != 0 && height > (static_cast<uint64_t>(INT64_MAX) / 32) / row) {
        return -1;
    }
    // Bits rounded up to whole bytes, so 1- and 4-bit pictures have data too.
    return static_cast<int64_t>((row * height * bpp + 7) / 8);
}

bool record_more_follows(const Cursor& c) {
    for (const char* p = c.p; p < c.end; ++p) {
        if (static_cast<unsigned char>(*p) > ' ') {
            return true;
        }
    }
    return false;
}

// A token up to a blank (or ","), and the one character after it.  Like a number it does not skip
// blanks: a blank where it should start makes it empty.
std::string_view record_token(Cursor& c) {
    const char* s = c.p;
    while (c.p<c.end&& static_cast<unsigned char>(*c.p)> ' ' && *c.p != ',') {
        ++c.p;
    }
    std::string_view t(s, static_cast<size_t>(c.p - s));
    c.skip(1);
    return t;
}

// A pin name may hold any character above a blank, "," included, as the writer writes it.
std::string_view record_pin_field(Cursor& c) {
    const char* s = c.p;
    while (c.p < c.end && static_cast<unsigned char>(*c.p) > ' ') {
        ++c.p;
    }
    std::string_view t(s, static_cast<size_t>(c.p - s));
    c.skip(1);
    return t;
}

namespace {

struct OpenRing {
    Ref owner;
    Ref last_component = kNone; // the Component that sorts last in this ring so far
    // Made at the first Component out of key order, so a sorted file never pays for it and an unsorted
    // one does not walk the ring once per Component.
    std::unique_ptr<ComponentOrder> order;
};

// The Signal records attached so far, by name, so the sorted list is searched once per distinct name
// rather than once per Item: a file names the same Signals over and over.  Open addressing, grown at
// half full, so every name after its first is found here.
class SignalCache {
  public:
    // Attaches `raw` (a name as the file has it) to a new Item; false when the name is empty or no record
    // could be made.
    bool attach(Ref item, std::string_view raw) {
        char name[kSignalNameMax];
        size_t n = 0;
        uint32_t h = 2166136261u;
        for (unsigned char c : raw) {
            if (c <= ' ' || c == 0xFF || n == sizeof name) {
                break;
            }
            if (c >= 'a' && c <= 'z') {
                c = static_cast<unsigned char>(c - 32);
            }
            name[n++] = static_cast<char>(c);
            h = (h ^ c) * 16777619u;
        }
        if (n == 0) {
            return false;
        }
        if (slots_.empty()) {
            slots_.assign(kFirstSize, Slot{}); // made at the first name: a library entry never needs it
        }
        size_t mask = slots_.size() - 1;
        size_t k = h & mask;
        for (; slots_[k].rec != kNone; k = (k + 1) & mask) {
            if (slots_[k].hash != h) {
                continue;
            }
            // Only records that AttachSignal returned are kept here, and records are never released.
            Ref rec = slots_[k].rec;
            const unsigned char* b = node(rec).bytes();
            if (b[n] == 0 && std::memcmp(b, name, n) == 0) {
                node(rec).tag() += kOneUse;
                node(item).link = rec;
                return true;
            }
        }
        if (!AttachSignal(item, std::string_view(name, n))) {
            return false;
        }
        slots_[k] = Slot{h, node(item).link};
        if (++used_ * 2 > slots_.size()) {
            grow();
        }
        return true;
    }

  private:
    struct Slot {
        uint32_t hash = 0;
        Ref rec = kNone;
    };
    void grow() {
        std::vector<Slot> old(slots_.size() * 2);
        old.swap(slots_);
        size_t mask = slots_.size() - 1;
        for (const Slot& e : old) {
            if (e.rec != kNone) {
                size_t k = e.hash & mask;
                while (slots_[k].rec != kNone) {
                    k = (k + 1) & mask;
                }
                slots_[k] = e;
            }
        }
    }
    static constexpr uint32_t kOneUse = 256; // a reference in the record's tag word
    static constexpr size_t kFirstSize = 1024;
    std::vector<Slot> slots_;
    size_t used_ = 0;
};

struct ReadState {
    SignalCache signals;
    Ref doc_ring = kNone;
    Ref doc_last_component = kNone;
    std::unique_ptr<ComponentOrder> doc_order;
    std::vector<OpenRing> open;
    int skipped = 0;           // Component records past the nesting limit whose "0" is still to come
    bool out_of_nodes = false; // the pool is exhausted: stop building

    Ref ring() const {
        return open.empty() ? doc_ring : member_ring(open.back().owner);
    }
    Ref& last_component() {
        return open.empty() ? doc_last_component : open.back().last_component;
    }
    std::unique_ptr<ComponentOrder>& order() {
        return open.empty() ? doc_order : open.back().order;
    }
};


// Version 3 angles are 1/256 turns.
Angle short_angle(Cursor& c) {
    return static_cast<Angle>(static_cast<uint32_t>(read_int(c)) << 8);
}

uint8_t layer_field(Cursor& c) {
    return static_cast<uint8_t>(ResolveLayer(record_token(c)));
}

Coord coord(Cursor& c) {
    return clamp_coord(read_length(c));
}

Length length16(Cursor& c) {
    return static_cast<Length>(std::clamp<Coord>(read_length(c), 0, 65535));
}

// Trailing blanks and field separators carry nothing that survives a save.
std::string_view trim_parameters(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\x7F')) {
        s.remove_suffix(1);
    }
    return s;
}

std::string_view trim_blanks(std::string_view s) {
    while (!s.empty() && s.back() == ' ') {
        s.remove_suffix(1);
    }
    return s;
}

bool keys_greater(Ref a, Ref b) {
    auto ka = ComponentKey(a);
    auto kb = ComponentKey(b);
    return std::memcmp(ka.data(), kb.data(), ka.size()) > 0;
}

// A closed member ring: drop an empty owner, size the box, and keep Components sorted in their ring.
void finish_ring(ReadState& st, Ref owner) {
    if (!close_component(owner)) {
        return;
    }
    if (node(owner).item_kind() != kComponent) {
        return;
    }
    // Compared with the last Component of the ring rather than the Item just before it, so that a
    // Component after a Line still finds its place and the ring stays sorted for the next save.
    Ref& last = st.last_component();
    if (last != kNone && keys_greater(last, owner)) {
        auto& order = st.order();
        if (!order) {
            Unlink(owner);
            order = std::make_unique<ComponentOrder>(st.ring());
        }
        order->insert(owner);
    } else {
        last = owner;
        if (st.order()) {
            st.order()->insert(owner); // already in place at the end; the order learns it
        }
    }
}

void close_ring(ReadState& st, uint8_t owner_kind, uint16_t size, Coord hx, Coord hy) {
    Ref owner = st.open.back().owner;
    st.open.pop_back();
    Ref head = member_ring(owner);
    node(head).layer = owner_kind;
    node(head).size = size;
    node(head).box.x1 = hx;
    node(head).box.y1 = hy;
    finish_ring(st, owner);
}

template <bool kLibrary, int kVersion>
void open_ring(ReadState& st, uint8_t kind, Cursor& c) {
    if (static_cast<int>(st.open.size()) >= kMaxComponentDepth) {
        ++st.skipped;
        return;
    }
    uint8_t layer = static_cast<uint8_t>(read_int(c));
    uint16_t size;
    if (kind != kComponent) {
        size = static_cast<uint16_t>(read_int(c));
    } else {
        size = kVersion == 3 ? short_angle(c) : read_angle(c);
    }
    if (kLibrary) {
        layer = 0;
    }
    Coord x1 = coord(c), y1 = coord(c), x2 = coord(c), y2 = coord(c);
    std::string_view rest = c.rest();
    std::string_view params =
        rest.empty() || static_cast<unsigned char>(rest[0]) <= ' ' ? std::string_view("*") : trim_parameters(rest);
    if (params.empty()) {
        params = "*";
    }
    Ref item = make_component(st.ring(), layer, size, params);
    if (item == kNone) {
        st.out_of_nodes = true;
        return;
    }
    Node& n = node(item);
    n.box.x1 = x1;
    n.box.y1 = y1;
    n.box.x2 = x2;
    n.box.y2 = y2;
    if (kind == kDocument) {
        n.kind = kDocument;
        node(n.link).layer = kDocument;
    }
    st.open.push_back(OpenRing{item, kNone, nullptr});
}

template <bool kLibrary, int kVersion>
void read_line_record(ReadState& st, Cursor& c) {
    uint8_t layer = layer_field(c);
    Length width = length16(c);
    Coord x1 = coord(c), y1 = coord(c);
    Ref ring = st.ring();
    if (!record_more_follows(c)) {
        if (width != 0) {
            return;
        }
        // A vertex of the Solid just before it.
        Ref last = last_item(ring);
        if (last != kNone && (node(last).kind & (kKindMask | kHiddenFlag)) == kLine && node(last).size == 0 &&
            node(last).layer == layer) {
            if (!add_vertex(last, x1, y1)) {
                st.out_of_nodes = true;
            }
        }
        return;
    }
    Coord x2 = coord(c), y2 = coord(c);
    Ref item = MakeItem(ring, kLine, layer, width, x1, y1, x2, y2);
    if (item == kNone) {
        st.out_of_nodes = true;
        return;
    }
    if (width != 0 && !kLibrary) {
        st.signals.attach(item, c.rest());
    }
}

template <bool kLibrary, int kVersion>
void read_arc(ReadState& st, Cursor& c) {
    uint8_t layer = layer_field(c);
    Length width = length16(c);
    Coord x0 = coord(c), y0 = coord(c), radius = coord(c);
    Angle start, sweep, angle;
    uint16_t ellipse;
    if (kVersion == 3) {
        radius = radius < 0 ? -radius : radius;
        int32_t s = read_int(c), w = read_int(c);
        if (w < 0) {
            s += w;
            w = -w;
        }
        start = static_cast<Angle>(static_cast<uint32_t>(s) << 8);
        sweep = static_cast<Angle>(static_cast<uint32_t>(w) << 8);
        ellipse = static_cast<uint16_t>(static_cast<uint32_t>(read_int(c)) << 8);
        angle = short_angle(c);
    } else {
        start = read_angle(c);
        sweep = read_angle(c);
        ellipse = static_cast<uint16_t>(read_decimal(c) & 0xFFFF);
        angle = read_angle(c);
    }
    Ref item = MakeItem(st.ring(), kArc, layer, width, x0, y0, radius, 0);
    if (item == kNone) {
        st.out_of_nodes = true;
        return;
    }
    Node& n = node(item);
    n.arc.start = start;
    n.arc.sweep = sweep;
    n.arc.ellipse = ellipse;
    n.arc.angle = angle;
    if (!kLibrary) {
        st.signals.attach(item, c.rest());
    }
}

template <bool kLibrary, int kVersion>
void read_pad(ReadState& st, Cursor& c) {
    uint8_t layer = layer_field(c);
    uint16_t type = static_cast<uint16_t>(read_int(c));
    Coord x0 = coord(c), y0 = coord(c);
    Length w = length16(c), h = length16(c), hole = length16(c);
    Angle angle = 0;
    if (kVersion == 3) {
        // Through-hole pads are written on layer 0 with their layer in the type field's high nibble; a
        // pad written on its own layer is surface mount.  No angle field.
        if (layer != 0) {
            type = static_cast<uint16_t>((type & 7) | 4);
        } else {
            layer = static_cast<uint8_t>((type >> 4) & 15);
            type &= 7;
        }
    } else {
        angle = read_angle(c);
    }
    Ref item = MakeItem(st.ring(), kPad, layer, type, x0, y0, 0, 0);
    if (item == kNone) {
        st.out_of_nodes = true;
        return;
    }
    Node& n = node(item);
    n.pad.width = w;
    n.pad.height = h;
    n.pad.hole = hole;
    n.pad.angle = angle;
    n.pad.pin = 0;
    // Only the bytes a pin-name Node holds count: a long name whose kept part is digits is a number,
    // just as it will be when the written (cut) name is read back.
    std::string_view pin = record_pin_field(c);
    pin = pin.substr(0, std::min<size_t>(pin.size(), kChainBytes));
    if (!SetPin(item, pin)) {
        st.out_of_nodes = true;
    }
    if (!kLibrary) {
        st.signals.attach(item, c.rest());
    }
}

template <bool kLibrary, int kVersion>
void read_text(ReadState& st, Cursor& c) {
    uint8_t layer = layer_field(c);
    Length height;
    Coord x0, y0, length;
    Angle angle;
    int anchor = 0, font = 0;
    if (kVersion == 3) {
        // A negative height is a mirrored text; the position is the bottom-left corner (anchor 0).
        Coord h = read_length(c);
        x0 = coord(c);
        y0 = coord(c);
        length = coord(c);
        length = length < 0 ? -length : length;
        if (h < 0) {
            h = -h;
            length = -length;
        }
        height = static_cast<Length>(std::min<Coord>(h, 65535));
        angle = static_cast<Angle>(read_int(c));
    } else {
        height = length16(c);
        x0 = coord(c);
        y0 = coord(c);
        length = coord(c);
        angle = read_angle(c);
        anchor = read_int(c);
        font = read_int(c);
    }
    if (kLibrary) {
        font = 0;
    }
    // The text starts right after the blank that follows the font field; trailing blanks would not
    // survive the next save, so they are not kept now either.
    std::string_view text = trim_blanks(c.rest());
    if (text.empty()) {
        return;
    }
    Ref item = MakeItem(st.ring(), kText, layer, height, x0, y0, length, 0);
    if (item == kNone) {
        st.out_of_nodes = true;
        return;
    }
    Node& n = node(item);
    n.text.angle = angle;
    n.text.anchor_font = static_cast<uint8_t>((anchor & 15) | (font & 15) << 4);
    bool label = !kLibrary && M().setup().layers[layer].kind() == kLayerSchematic;
    bool kept = label ? st.signals.attach(item, text) : SetText(item, text);
    if (!kept) {
        // A label without a name holds nothing; a chain that did not fit leaves an empty Text.
        if (!label) {
            st.out_of_nodes = true;
        }
        DeleteItem(item);
    }
}

void read_point_group(ReadState& st, Cursor& c) {
    uint8_t layer = static_cast<uint8_t>(read_int(c));
    uint16_t size = static_cast<uint16_t>(read_int(c) << 8);
    Coord x1 = coord(c), y1 = coord(c), x2 = coord(c), y2 = coord(c);
    if (MakeItem(st.ring(), kPointGroup, layer, size, x1, y1, x2, y2) == kNone) {
        st.out_of_nodes = true;
    }
}

void read_closing(ReadState& st, Cursor& c) {
    if (st.skipped > 0) {
        --st.skipped;
        return;
    }
    if (st.open.empty()) {
        return; // at the Document level a closing record means nothing
    }
    uint8_t kind = static_cast<uint8_t>(read_int(c));
    uint16_t size = static_cast<uint16_t>(read_int(c));
    Coord hx = coord(c), hy = coord(c);
    close_ring(st, kind, size, hx, hy);
}

template <bool kLibrary, int kVersion>
void read_record(ReadState& st, std::string_view rec) {
    Cursor c(rec.substr(2));
    switch (rec[0]) {
    case '0':
        read_closing(st, c);
        break;
    case '1':
        read_line_record<kLibrary, kVersion>(st, c);
        break;
    case '2':
        read_arc<kLibrary, kVersion>(st, c);
        break;
    case '3':
        read_pad<kLibrary, kVersion>(st, c);
        break;
    case '4':
        read_text<kLibrary, kVersion>(st, c);
        break;
    case '5':
        read_point_group(st, c);
        break;
    case '6':
        open_ring<kLibrary, kVersion>(st, kComponent, c);
        break;
    case '7':
        open_ring<kLibrary, kVersion>(st, kDocument, c);
        break;
    default:
        break;
    }
}

int free_image_slot() {
    auto& images = M().images;
    for (int i = 0; i < kImageSlots; ++i) {
        if (images[i].empty()) {
            return i;
        }
    }
    platform::P().report("All 128 image slots are in use: the picture in slot 127 is replaced");
    return kImageSlots - 1; // all in use: the last one is given up
}

// A block read back keeps its left and top edges; the right and bottom follow from its size and
// resolution.  A block that cannot be drawn (its depth, a resolution of 0, rows shorter than the width)
// is kept unchanged, so that saving writes it back as it came, and is reported.
void settle_image(std::vector<uint8_t>& b, int slot) {
    std::string fault = image_block_fault(b);
    if (!fault.empty()) {
        platform::P().report("Pixel image in slot " + std::to_string(slot) + " is not shown: " + fault);
        return;
    }
    auto i64 = [&](size_t at) { return static_cast<int64_t>(static_cast<int32_t>(get_u32(b, at))); };
    int64_t width = i64(kAtWidth), height = i64(kAtHeight), dpi = i64(kAtDpi);
    put_u32(b, kAtRight, static_cast<uint32_t>(i64(kAtLeft) + (width - 1) * 65536 / dpi));
    put_u32(b, kAtBottom, static_cast<uint32_t>(i64(kAtTop) - (height - 1) * 65536 / dpi));
}

// Blocks after the marker line.  Sizes are checked against what the input still holds before anything
// is allocated, so a header that claims gigabytes costs nothing.
void read_images(LineReader& in) {
    unsigned char mark = 0;
    if (in.ReadBytes(&mark, 1) != 1 || mark != 0x1A) {
        return;
    }
    for (bool first = true;; first = false) {
        if (!first && in.peek_byte() != 'P') {
            return;
        }
        unsigned char header[kPixelHeaderBytes];
        size_t got = in.ReadBytes(header, sizeof header);
        int64_t data = got == sizeof header ? PixelDataBytes(header) : -1;
        int64_t left = in.remaining();
        if (data < 0 || (left >= 0 && data > left)) {
            if (first) {
                platform::P().play(platform::Sound::Error);
            }
            return;
        }
        std::vector<uint8_t> block;
        if (left >= 0) {
            block.reserve(kPixelHeaderBytes + static_cast<size_t>(data));
        }
        block.assign(header, header + kPixelHeaderBytes);
        // Read in pieces, so that an input of unknown size only costs what it really holds.
        int64_t todo = data;
        while (todo > 0) {
            size_t piece = static_cast<size_t>(std::min<int64_t>(todo, static_cast<int64_t>(LineReader::kChunk)));
            size_t at = block.size();
            block.resize(at + piece);
            size_t n = in.ReadBytes(block.data() + at, piece);
            if (n < piece) {
                if (first) {
                    platform::P().play(platform::Sound::Error);
                }
                return; // the block is incomplete
            }
            todo -= static_cast<int64_t>(piece);
        }
        int slot = free_image_slot();
        settle_image(block, slot);
        M().images[slot] = std::move(block);
    }
}

} // namespace

char ReadDataFile(LineReader& in) {
    Document& d = *M().current;
    char saved = d.setup.format_code;
    d.setup.format_code = 'C';
    if (d.undo_anchor == kNone) {
        d.undo_anchor = new_ring();
    }
    ReadState st;
    st.doc_ring = d.ring();
    st.open.reserve(kMaxComponentDepth);
    long line_no = 0;
    for (int n; (n = in.ReadLine()) != 0;) {
        ++line_no;
        if (n < 0) {
            continue;
        }
        // Lines are told apart by their first character as it stands: a line indented by blanks is none of
        // the forms below and is ignored.
        std::string_view line = in.line();
        if (line.substr(0, kPixelMarker.size()) == kPixelMarker) {
            read_images(in);
            continue;
        }
        if (line.empty()) {
            continue;
        }
        if (line[0] == '-') {
            ApplyDirective(d.setup, line);
            continue;
        }
        if (line[0] == '$' && line.size() > 1 && line[1] >= '1' && line[1] <= '9') {
            // A numbered record: the number and the character after it are skipped.
            size_t k = 1;
            while (k < line.size() && line[k] >= '0' && line[k] <= '9') {
                ++k;
            }
            line.remove_prefix(std::min(k + 1, line.size()));
        }
        if (line.size() >= 2 && line[0] >= '0' && line[0] <= '7' && line[1] == ' ') {
            read_record<false, 4>(st, line);
            if (st.out_of_nodes) {
                platform::P().report("The drawing is too large for memory: reading stopped at line " +
                                     std::to_string(line_no) + ".");
                break;
            }
        }
    }
    // A Component still open at the end closes as if its closing record had come.
    st.skipped = 0;
    while (!st.open.empty()) {
        close_ring(st, node(st.open.back().owner).item_kind(), 0, 0, 0);
    }
    char code = d.setup.format_code ? d.setup.format_code : 'C';
    d.setup.format_code = saved;
    return code;
}

bool read_library_entry(LineReader& in, std::string_view first, Ref ring, int version) {
    return read_component_records(in, first, ring, true, version);
}

bool read_component_records(LineReader& in, std::string_view first, Ref ring, bool library, int version) {
    ReadState st;
    st.doc_ring = ring;
    st.open.reserve(kMaxComponentDepth);
    int depth = 0;
    std::string_view rec = first;
    for (;;) {
        if (rec.size() >= 2 && rec[0] >= '0' && rec[0] <= '6' && rec[1] == ' ') {
            if (!library) {
                read_record<false, 4>(st, rec);
            } else if (version == 3) {
                read_record<true, 3>(st, rec);
            } else {
                read_record<true, 4>(st, rec);
            }
            if (st.out_of_nodes) {
                return false;
            }
            depth += rec[0] == '6' ? 1 : rec[0] == '0' ? -1 : 0;
            if (depth <= 0) {
                break;
            }
        }
        int n;
        do {
            n = in.ReadLine();
        } while (n < 0);
        if (n == 0) {
            break;
        }
        rec = in.line();
    }
    st.skipped = 0;
    while (!st.open.empty()) {
        close_ring(st, kComponent, 0, 0, 0);
    }
    return true;
}

// The Data file reader's own ring code, lent to the readers of other record layouts.
struct RecordRings::State {
    ReadState st;
};

RecordRings::RecordRings(Ref doc_ring) : st_(std::make_unique<State>()) {
    st_->st.doc_ring = doc_ring;
    st_->st.open.reserve(kMaxComponentDepth);
}

RecordRings::~RecordRings() = default;

Ref RecordRings::ring() const {
    return st_->st.ring();
}

Ref RecordRings::open_component(uint8_t layer, Angle angle, std::string_view parameters) {
    ReadState& st = st_->st;
    if (static_cast<int>(st.open.size()) >= kMaxComponentDepth) {
        ++st.skipped;
        return kNone;
    }
    Ref item = make_component(st.ring(), layer, angle, parameters);
    if (item == kNone) {
        st.out_of_nodes = true;
        return kNone;
    }
    st.open.push_back(OpenRing{item, kNone, nullptr});
    return item;
}

void RecordRings::close(uint8_t owner_kind, uint16_t size, Coord hook_x, Coord hook_y) {
    ReadState& st = st_->st;
    if (st.skipped > 0) {
        --st.skipped;
        return;
    }
    if (!st.open.empty()) {
        close_ring(st, owner_kind, size, hook_x, hook_y);
    }
}

void RecordRings::close_all() {
    ReadState& st = st_->st;
    st.skipped = 0;
    while (!st.open.empty()) {
        close_ring(st, node(st.open.back().owner).item_kind(), 0, 0, 0);
    }
}

bool RecordRings::attach_signal(Ref item, std::string_view raw) {
    return st_->st.signals.attach(item, raw);
}

bool RecordRings::out_of_nodes() const {
    return st_->st.out_of_nodes;
}

} // namespace trazel::model
