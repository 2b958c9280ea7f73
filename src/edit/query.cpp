// The query boxes' fields and the view and zoom pictures.
#include "edit/query.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "display/colour.h"
#include "display/view.h"
#include "edit/locate.h"
#include "model/numbers.h"
#include "platform/form_builder.h"

namespace trazel::edit {

using model::node;
using model::Node;

namespace {

constexpr const char* kNone = "[NONE]";

// Part of the name, the short pad type names as the query boxes show them.
constexpr const char* kPadTypes[8] = {"Schematic Pin",    "Oval THD", "Rectangular THD", "Round Via",
                                      "Padstack special", "Oval SMT", "Rectangluar SMT", "Schematic Dot"};
constexpr const char* kAnchors[16] = {"0 = Bottom Left", "1 = Bottom Center", "2 = Bottom Right", "3 = Bottom Offset",
                                      "4 = Center Left", "5 = Center",        "6 = Center Right", "7 = Center Offset",
                                      "8 = Top Left",    "9 = Top Center",    "10 = Top Right",   "11 = Top Offset",
                                      "12 = Base Left",  "13 = Base Center",  "14 = Base Right",  "15 = Base Offset"};

// `v` / `den` with `places` decimals, halves rounded away from zero.
std::string decimal(int64_t v, int64_t den, int places) {
    int64_t scale = 1;
    for (int i = 0; i < places; ++i) {
        scale *= 10;
    }
    bool negative = v < 0;
    // |v| is below 2^33 for every value shown here, so the product stays well inside 64 bits.
    int64_t q = (std::llabs(v) * scale * 2 + den) / (den * 2);
    std::string frac = std::to_string(q % scale);
    frac.insert(0, static_cast<size_t>(places) - std::min<size_t>(frac.size(), static_cast<size_t>(places)), '0');
    std::string out = (negative && q != 0 ? "-" : "") + std::to_string(q / scale);
    return places > 0 ? out + "." + frac : out;
}

std::string signal_or_none(Ref item) {
    Ref s = model::item_signal(item);
    std::string name = s == model::kNone ? std::string() : model::signal_name(s);
    return name.empty() ? std::string(kNone) : name;
}

Find finder(QueryBox b) {
    switch (b) {
    case QueryBox::Line:
        return Find::Line;
    case QueryBox::Arc:
        return Find::Arc;
    case QueryBox::Pad:
        return Find::Pad;
    case QueryBox::Text:
        return Find::Text;
    default:
        return Find::Component;
    }
}

// A picture of `doc` drawn through `d` on a view that `place` sets up; `d` keeps its work storage.
template <class Place>
std::vector<uint8_t> picture(display::Display& d, const model::Document& doc, const display::PixelFormat& format,
                             int width, int height, Place&& place) {
    if (width <= 0 || height <= 0) {
        return {};
    }
    display::set_pixel_format(d, format, nullptr);
    d.status_bar = false;
    d.crosshair_showing = false;
    d.hooks = display::DisplayHooks{};
    d.rects.clear();
    int bpp = format.depth / 8;
    int pitch = (width * bpp + 7) & ~7;
    std::vector<uint8_t> pixels(static_cast<size_t>(pitch) * static_cast<size_t>(height));
    display::PixelBuffer buf;
    buf.base = pixels.data();
    buf.pitch = pitch;
    buf.depth = format.depth;
    buf.width = width;
    buf.height = height;
    display::set_surface(d, buf, 0);
    display::View& v = d.view;
    v.snap = 0;
    v.display_grid = 0; // a small picture of grid dots is a grey smear
    v.single_layer = false;
    v.hooks = display::ViewHooks{};
    place(v);
    display::redraw(d, &doc, true, false);
    std::vector<uint8_t> rgb =
        display::buffer_to_rgb(buf, d.format, d.palette, display::Rect{0, 0, height - 1, width - 1});
    d.buffer = display::PixelBuffer{}; // the pixels go with this call
    return rgb;
}

// Inverts one pixel of an RGB picture, so a mark shows on any colour.
void invert(std::vector<uint8_t>& rgb, int width, int height, int x, int y) {
    if (x < 0 || y < 0 || x >= width || y >= height) {
        return;
    }
    size_t at = (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
    for (size_t i = 0; i < 3; ++i) {
        rgb[at + i] = static_cast<uint8_t>(255 - rgb[at + i]);
    }
}

} // namespace

const char* query_box_name(QueryBox b) {
    switch (b) {
    case QueryBox::Line:
        return "QueryLineBox";
    case QueryBox::Arc:
        return "QueryArcBox";
    case QueryBox::Pad:
        return "QueryPadBox";
    case QueryBox::Text:
        return "QueryTextBox";
    case QueryBox::Component:
        return "QueryComponentBox";
    case QueryBox::Image:
        return "QueryImageBox";
    }
    return "";
}

platform::Form query_form(QueryBox b) {
    using platform::FormBuilder;
    switch (b) {
    case QueryBox::Line:
        return FormBuilder(query_box_name(b), "Query Line")
            .text("signal", "Signal")
            .text("layer", "Layer")
            .text("width", "Line width")
            .build();
    case QueryBox::Arc:
        return FormBuilder(query_box_name(b), "Query Arc/Circle")
            .text("signal", "Signal")
            .text("layer", "Layer")
            .text("width", "Line width")
            .text("radius", "Radius")
            .text("start", "Start angle")
            .text("sweep", "Sweep angle")
            .text("ratio", "Ellipse ratio r/R")
            .text("axis", "Ellipse angle")
            .build();
    case QueryBox::Pad:
        return FormBuilder(query_box_name(b), "Query Pad/Via")
            .text("pin", "Pin")
            .text("signal", "Signal")
            .text("layer", "Layer")
            .text("type", "Pad type")
            .text("x", "Centre X")
            .text("y", "Centre Y")
            .text("width", "Width (X)")
            .text("height", "Height (Y)")
            .text("hole", "Drill hole")
            .text("angle", "Angle")
            .build();
    case QueryBox::Text:
        return FormBuilder(query_box_name(b), "Query Text")
            .text("text", "Text")
            .text("layer", "Layer")
            .text("x", "Origin X")
            .text("y", "Origin Y")
            .text("height", "Text height")
            .text("angle", "Angle")
            .text("anchor", "Anchor")
            .text("font", "Font")
            .text("mirror", "Mirror")
            .build();
    case QueryBox::Component:
        return FormBuilder(query_box_name(b), "Query Component")
            .text("field0", "Pattern")
            .text("field1", "Reference ID")
            .text("field2", "Type/Value")
            .text("field3", "Modifier")
            .text("field4", "Field 5")
            .text("x", "Insertion X")
            .text("y", "Insertion Y")
            .text("angle", "Angle")
            .build();
    case QueryBox::Image:
        break;
    }
    // The pixel images are not queried yet: the box opens and shows that.
    return FormBuilder(query_box_name(b), "Query Image").label("note", "No pixel image is shown here.").build();
}

Ref query_item(model::Document& doc, QueryBox b, Point p, Coord tolerance, const SpatialIndex* index) {
    if (b == QueryBox::Image) {
        return model::kNone;
    }
    // The shared locator makes the found Item's layer current; a read-out must not.
    uint16_t layer = doc.setup.current_layer;
    Found f = locate(doc, finder(b), p, tolerance, nullptr, index);
    doc.setup.current_layer = layer;
    return f.item;
}

void fill_query(platform::Form& form, QueryBox b, const model::Document& doc, Ref item) {
    for (platform::Field& f : form.fields) {
        if (f.kind != platform::Field::Kind::Label) {
            f.value.clear();
        }
    }
    if (item == model::kNone || b == QueryBox::Image) {
        return;
    }
    const Node& n = node(item);
    auto set = [&](const char* id, std::string v) { form.set(id, std::move(v)); };
    switch (b) {
    case QueryBox::Line:
        set("signal", signal_or_none(item));
        set("layer", query_layer(doc, n.layer));
        set("width", query_length(n.size));
        break;
    case QueryBox::Arc:
        set("signal", signal_or_none(item));
        set("layer", query_layer(doc, n.layer));
        set("width", query_length(n.size));
        set("radius", query_length(n.arc.radius));
        set("start", query_angle(n.arc.start));
        set("sweep", query_sweep(n.arc.sweep));
        set("ratio", query_ratio(n.arc.ellipse));
        set("axis", query_angle(n.arc.angle));
        break;
    case QueryBox::Pad: {
        std::string pin = model::pin_text(item);
        set("pin", pin.empty() ? std::string(kNone) : pin);
        set("signal", signal_or_none(item));
        set("layer", query_layer(doc, n.layer));
        set("type", kPadTypes[n.size & 7]);
        set("x", query_length(n.pad.x0));
        set("y", query_length(n.pad.y0));
        set("width", query_length(n.pad.width));
        set("height", query_length(n.pad.height));
        set("hole", query_length(n.pad.hole));
        set("angle", query_angle(n.pad.angle));
        break;
    }
    case QueryBox::Text:
        set("text", model::stored_to_typed(model::GetText(item)));
        set("layer", query_layer(doc, n.layer));
        set("x", query_length(n.text.x0));
        set("y", query_length(n.text.y0));
        set("height", query_length(n.size));
        set("angle", query_angle(n.text.angle));
        set("anchor", kAnchors[n.text.anchor_font & 15]);
        set("font", std::to_string(n.text.anchor_font >> 4));
        set("mirror", n.text.length < 0 ? "Mirrored against layer" : "Normal for layer");
        break;
    case QueryBox::Component: {
        for (int i = 0; i < 5; ++i) {
            set(("field" + std::to_string(i)).c_str(), model::stored_to_typed(model::ComponentField(item, i)));
        }
        // The insertion point is kept in the member ring head.
        const Node& head = node(model::member_ring(item));
        set("x", query_length(head.box.x1));
        set("y", query_length(head.box.y1));
        set("angle", query_angle(n.size));
        break;
    }
    case QueryBox::Image:
        break;
    }
}

std::string query_length(int64_t units) {
    return decimal(units, 65536, 4);
}

std::string query_angle(model::Angle a) {
    return decimal(int64_t{a} * 360, 65536, 2);
}

std::string query_sweep(model::Angle a) {
    return a == 0 ? std::string("360.00") : query_angle(a);
}

std::string query_ratio(uint16_t ellipse) {
    return decimal(ellipse, 65536, 4);
}

std::string query_layer(const model::Document& doc, int layer) {
    const model::LayerEntry& e = doc.setup.layers[static_cast<size_t>(layer & 0xFF)];
    return e.in_use() ? std::string(e.name, strnlen(e.name, sizeof e.name)) : std::to_string(layer & 0xFF);
}

std::vector<uint8_t> view_picture(display::Display& scratch, const model::Document& doc,
                                  const display::PixelFormat& format, int width, int height, const model::Box* frame) {
    Point a{}, b{};
    if (!display::items_extents(doc.ring(), a, b)) {
        a = Point{0, 0};
        b = Point{65536, 65536};
    }
    display::View placed;
    std::vector<uint8_t> rgb = picture(scratch, doc, format, width, height, [&](display::View& v) {
        display::zoom_to_rect(v, a, b, v.area, false);
        placed = v;
    });
    if (rgb.empty() || frame == nullptr || frame->empty()) {
        return rgb;
    }
    // The main window's part of the Document as a dotted frame, cut to the picture.
    auto col = [&](int64_t x) { return display::to_screen_x(placed, model::clamp_coord(x)); };
    auto row = [&](int64_t y) { return display::to_screen_y(placed, model::clamp_coord(y)); };
    int left = std::max(0, col(frame->x1)), right = std::min(width - 1, col(frame->x2));
    int top = std::max(0, row(frame->y2)), bottom = std::min(height - 1, row(frame->y1));
    for (int x = left; x <= right; x += 2) {
        if (row(frame->y2) >= 0) {
            invert(rgb, width, height, x, top);
        }
        if (row(frame->y1) < height) {
            invert(rgb, width, height, x, bottom);
        }
    }
    for (int y = top; y <= bottom; y += 2) {
        if (col(frame->x1) >= 0) {
            invert(rgb, width, height, left, y);
        }
        if (col(frame->x2) < width) {
            invert(rgb, width, height, right, y);
        }
    }
    return rgb;
}

std::vector<uint8_t> zoom_picture(display::Display& scratch, const model::Document& doc,
                                  const display::PixelFormat& format, int size, Point centre, uint32_t scale) {
    std::vector<uint8_t> rgb = picture(scratch, doc, format, size, size, [&](display::View& v) {
        v.scale = std::max(scale, display::kMinWindowScale);
        v.cursor_x = centre.x;
        v.cursor_y = centre.y;
        display::place_cursor_at(v, size / 2, size / 2);
    });
    if (rgb.empty()) {
        return rgb;
    }
    for (int i = 2; i <= 6; ++i) {
        invert(rgb, size, size, size / 2 + i, size / 2);
        invert(rgb, size, size, size / 2 - i, size / 2);
        invert(rgb, size, size, size / 2, size / 2 + i);
        invert(rgb, size, size, size / 2, size / 2 - i);
    }
    return rgb;
}

} // namespace trazel::edit
