// Stroke text on photoplots: the glyph strokes of the stroke font, each one segment drawn with the round
// aperture of its stroke width.
#include <algorithm>

#include "cam/photoplot.h"
#include "display/stroke_font.h"
#include "model/model.h"

namespace trazel::cam {

namespace {

class GerberStrokes final : public display::StrokeSink {
  public:
    GerberStrokes(GerberWriter& w, Length aperture) : w_(w), aperture_(aperture) {
    }
    void stroke(const display::Stroke& s) override {
        Length width = aperture_ != 0 ? aperture_ : static_cast<Length>(std::clamp<int32_t>(s.width, 0, 65535));
        if (width == 0) {
            return; // a text too small for any aperture
        }
        w_.select_round(width);
        w_.segment(s.x1, s.y1, s.x2, s.y2);
    }

  private:
    GerberWriter& w_;
    Length aperture_;
};

} // namespace

void stroke_text(GerberWriter& w, Ref text) {
    model::Node& n = model::node(text);
    // Laying a text out writes its measured length back; a plot must leave the Document as it was.
    Coord length = n.text.length;
    uint8_t lines = n.text.lines;
    GerberStrokes sink(w, 0);
    display::draw_text_item(text, 3, sink);
    n.text.length = length;
    n.text.lines = lines;
}

void stroke_string(GerberWriter& w, std::string_view s, Coord x, Coord y, Coord unit, Length aperture, Coord across) {
    GerberStrokes sink(w, 0);
    display::draw_string(s, static_cast<int16_t>(std::clamp<Coord>(unit, -32768, 32767)), aperture, x, y, 0, 0, across,
                         3, sink);
}

void text_stroke_widths(Ref text, const std::function<void(Length)>& f) {
    const model::Node& n = model::node(text);
    if (n.item_kind() != model::kText || n.size == 0) {
        return;
    }
    std::string s = model::resolved_text(text);
    if (s.empty()) {
        return;
    }
    // The same integer steps the font's layout takes, so each width the plot selects is registered.
    bool fixed = (n.text.anchor_font >> 4) == display::kFixedPitch;
    int32_t width = n.size / 6;
    width -= fixed ? width / 4 : width / 8;
    auto put = [&](int32_t v) {
        if (v > 0) {
            f(static_cast<Length>(std::min<int32_t>(v, 65535)));
        }
    };
    put(width);
    if (fixed) {
        return;
    }
    for (unsigned char c : s) {
        if (c == display::kCodeEnd || c == display::kCodeFieldSeparator) {
            break;
        }
        if (c == display::kCodeThinner) {
            width = width * 4 / 5;
            put(width);
        } else if (c == display::kCodeBolder) {
            width = std::min<int32_t>(width * 5 / 4, 65535);
            put(width);
        }
    }
}

} // namespace trazel::cam
