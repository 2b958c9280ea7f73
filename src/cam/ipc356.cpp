#include "cam/ipc356.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

#include "cam/excellon.h"
#include "cam/fab_pads.h"
#include "cam/plot_items.h"
#include "cam/plot_types.h"
#include "nets/parts.h"

namespace trazel::cam {

namespace {

using model::Ref;

constexpr size_t kNetWidth = 14;  // columns 4-17
constexpr size_t kLineWidth = 80; // no record is longer

// Columns (0-based) of a test record.
constexpr size_t kNetCol = 3, kRefCol = 20, kDashCol = 26, kPinCol = 27, kHoleCol = 32, kAccessCol = 38, kXCol = 41,
                 kYCol = 49, kSizeCol = 57, kMaskCol = 72;

// A field of `width` digits written into the line at `col`, the value held to what they can show.
void put_digits(std::string& line, size_t col, long long v, int width) {
    long long top = 1;
    for (int i = 0; i < width; ++i) {
        top *= 10;
    }
    v = std::clamp(v, 0LL, top - 1);
    for (size_t i = col + static_cast<size_t>(width); i-- > col; v /= 10) {
        line[i] = static_cast<char>('0' + v % 10);
    }
}

// Printable ASCII only: a blank would end the field for column readers that split at blanks.
std::string field_text(const std::string& s, size_t width) {
    std::string t = s.substr(0, std::min(s.size(), width));
    for (char& c : t) {
        if (static_cast<unsigned char>(c) <= ' ' || static_cast<unsigned char>(c) >= 0x7F) {
            c = '_';
        }
    }
    return t;
}

struct Scale {
    double per_unit; // file units (0.0001 inch or 0.001 mm) per coordinate unit
    long long operator()(double units) const {
        return std::llround(units * per_unit);
    }
};

struct Record {
    std::string net; // the Signal's name, "" without one
    std::string line;
};

// The mask rows of one side.
std::vector<const model::GerberEntry*> mask_rows(const model::Setup& s, bool bottom) {
    std::vector<const model::GerberEntry*> rows;
    for (const model::GerberEntry& row : s.gerber) {
        if (row.in_use() && (row.kind & kFileTypeMask) == kMask && ((row.kind & kFileBottom) != 0) == bottom) {
            rows.push_back(&row);
        }
    }
    return rows;
}

// Whether the solder mask of one side covers a pad: that side has mask rows and none opens the pad, by
// the rule the mask plot follows.
bool mask_covers(const model::Setup& s, const std::vector<const model::GerberEntry*>& rows, const model::Node& pad,
                 bool bottom) {
    int code = pad.size & 7;
    for (const model::GerberEntry* row : rows) {
        const model::LayerEntry& l = s.layers[pad.layer];
        bool same_side_surface =
            code >= 5 && l.kind() == model::kLayerCopper && ((l.type & model::kLayerBottom) != 0) == bottom;
        if (code == 1 || code == 2 || (code == 3 && row->layers.test(0)) ||
            (code >= 4 && row->layers.test(pad.layer)) || same_side_surface) {
            return false;
        }
    }
    return !rows.empty();
}

// Copper layers (planes too) in use: the bottom is the last of them in the access numbering.
int copper_layers(const model::Setup& s) {
    int n = 0;
    for (size_t i = 1; i < s.layers.size(); ++i) {
        const model::LayerEntry& l = s.layers[i];
        n += l.in_use() && (l.kind() == model::kLayerCopper || l.kind() == model::kLayerPlane);
    }
    return std::max(n, 2);
}

} // namespace

std::string ipc356_text(const model::Document& doc, const Ipc356Options& o) {
    const model::Setup& s = doc.setup;
    const Scale scale{o.mm ? 25400.0 / 65536.0 : 10000.0 / 65536.0};
    const int bottom_access = copper_layers(s);
    const std::vector<const model::GerberEntry*> masks[2] = {mask_rows(s, false), mask_rows(s, true)};
    Ref last_owner = model::kNone;
    std::string owner_ref;

    std::vector<Record> records;
    fab::for_each_board_pad(doc.ring(), [&](Ref r, Ref owner) {
        const model::Node& n = model::node(r);
        int code = n.size & 7;
        bool surface = fab::surface_pad(s, n);
        if (code >= 4 && !surface) {
            return; // a surface pad off copper is nothing a probe can touch
        }
        bool drilled = !surface && (code & 3) != 0 && n.pad.hole >= kMinHole;
        Record rec;
        Ref sig = model::item_signal(r);
        rec.net = sig == model::kNone ? "" : model::signal_name(sig);
        std::string l(kLineWidth, ' ');
        nets::put_at(l, 0, drilled ? "317" : "327");
        if (owner != last_owner) {
            last_owner = owner;
            owner_ref = owner == model::kNone ? "" : field_text(nets::part_field(owner, nets::kReferenceField), 6);
        }
        nets::put_at(l, kRefCol, owner == model::kNone && code == 3 ? "VIA" : owner_ref);
        l[kDashCol] = '-';
        nets::put_at(l, kPinCol, field_text(model::pin_text(r), 4));
        int access = 0; // both sides
        if (drilled) {
            l[kHoleCol] = 'D';
            put_digits(l, kHoleCol + 1, scale(n.pad.hole), 4);
            l[kHoleCol + 5] = hole_non_plated(n) ? 'U' : 'P';
        } else if (surface) {
            access = fab::bottom_layer(s, n.layer) ? bottom_access : 1;
        }
        l[kAccessCol] = 'A';
        put_digits(l, kAccessCol + 1, access, 2);
        auto coord = [&](size_t col, char axis, double v) {
            long long u = scale(v);
            l[col] = axis;
            l[col + 1] = u < 0 ? '-' : '+';
            put_digits(l, col + 2, u < 0 ? -u : u, 6);
        };
        coord(kXCol, 'X', static_cast<double>(n.pad.x0) - s.origin_x);
        coord(kYCol, 'Y', static_cast<double>(n.pad.y0) - s.origin_y);
        // A round land gives its diameter alone (Y zero, no rotation); any other shape its width,
        // height and angle.
        bool round = (code & 3) != 2 && n.pad.width == n.pad.height;
        int rotation = round ? 0 : static_cast<int>(std::lround(n.pad.angle * 360.0 / 65536.0)) % 360;
        l[kSizeCol] = 'X';
        put_digits(l, kSizeCol + 1, scale(n.pad.width), 4);
        l[kSizeCol + 5] = 'Y';
        put_digits(l, kSizeCol + 6, round ? 0 : scale(n.pad.height), 4);
        l[kSizeCol + 10] = 'R';
        put_digits(l, kSizeCol + 11, rotation, 3);
        // Soldermask: 1 covered on the primary side, 2 on the secondary, 3 on both.
        int mask = 0;
        if (surface) {
            bool bottom = fab::bottom_layer(s, n.layer);
            mask = mask_covers(s, masks[bottom], n, bottom) ? (bottom ? 2 : 1) : 0;
        } else {
            mask = (mask_covers(s, masks[0], n, false) ? 1 : 0) | (mask_covers(s, masks[1], n, true) ? 2 : 0);
        }
        l[kMaskCol] = 'S';
        l[kMaskCol + 1] = static_cast<char>('0' + mask);
        rec.line = std::move(l);
        records.push_back(std::move(rec));
    });
    // Grouped by net, the pads of no net last; within a net in board order.
    std::stable_sort(records.begin(), records.end(), [](const Record& a, const Record& b) {
        if (a.net.empty() != b.net.empty()) {
            return b.net.empty();
        }
        return a.net < b.net;
    });

    // Names a record cannot hold (too long, or with characters the column readers split at) get an
    // alias, numbered in net order; so do names a reader would take for an alias or for no net.
    std::map<std::string, std::string> alias;
    for (const Record& r : records) {
        bool plain = r.net.size() <= kNetWidth && field_text(r.net, kNetWidth) == r.net &&
                     r.net.rfind("NNAME", 0) != 0 && r.net != "N/C";
        if (!r.net.empty() && !plain && alias.count(r.net) == 0) {
            alias.emplace(r.net, "NNAME" + std::to_string(alias.size() + 1));
        }
    }

    nets::ListText out;
    std::string title = base_name(doc.name());
    out.line("C  IPC-D-356A bare board test netlist");
    out.line("C  " + field_text(title, kLineWidth - 3));
    out.line("P  JOB " + o.job.substr(0, std::min(o.job.size(), kLineWidth - 7)));
    out.line(o.mm ? "P  UNITS CUST 1" : "P  UNITS CUST 0");
    out.line("P  TITLE " + field_text(title, kLineWidth - 9));
    out.line("P  VER IPC-D-356A");
    out.line("P  IMAGE PRIMARY");
    // The records are in net order, so the aliases were numbered in the order the map keeps.
    for (const auto& [name, short_name] : alias) {
        // The alias number in columns 9-13, the real name from column 15.
        std::string l = "P  " + short_name;
        nets::put_at(l, 14, name.substr(0, std::min(name.size(), kLineWidth - 14)));
        out.line(l);
    }
    for (Record& r : records) {
        std::string name = r.net.empty() ? "N/C" : alias.count(r.net) ? alias[r.net] : r.net;
        nets::put_at(r.line, kNetCol, name);
        out.line(r.line);
    }
    out.line("999");
    return out.text();
}

} // namespace trazel::cam
