#pragma once
// The stroke text font: the 4096-byte glyph table, the glyph walk, the layout of Text Items (anchors,
// mirroring, tabs, new lines, size codes), and the measuring of a Text's length.
//
// Everything here works in Document units and hands finished strokes to a StrokeSink, so the screen
// (wide lines in pixels) and the plotters (Gerber, PostScript, HPGL segments) draw the same strokes
// with their own primitives.
//
// Table layout (little-endian 16-bit words):
//   offset 0            the cell width in steps (6)
//   offset 2 + 2c       for c = 0..256, a self-relative offset: (2 + 2c) + value is where glyph c begins,
//                       and entry c + 1 tells where it ends
//   offset 516          the glyph stroke bytes, glyph after glyph
// A stroke byte 0 lifts the pen for the next move (a leading 0 instead puts the pen down at the
// character origin); any other byte is a move of dx (high nibble) and dy (low nibble), signed 4-bit
// numbers of steps.  The last move of a glyph is its advance and is never drawn.
#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "display/trig.h"
#include "model/node.h"

namespace trazel::display {

using model::Coord;
using model::Ref;

constexpr int kFontTableBytes = 4096;
constexpr int kFontHeaderBytes = 516;
constexpr int kFontCell = 6;        // steps: capital height and the fixed-pitch advance
constexpr int kLinePitch = 9;       // steps from one baseline to the next
constexpr int kTabCells = 8;        // tab stops every 8 cells
constexpr uint8_t kFixedPitch = 15; // font nibble selecting the fixed-pitch form

// Character codes with a meaning of their own in the proportional form.
constexpr uint8_t kCodeEnd = 0;
constexpr uint8_t kCodeTab = 9;
constexpr uint8_t kCodeFieldSeparator = 0x7F;
constexpr uint8_t kCodeNewLine = 0xFF;
constexpr uint8_t kCodeThinner = 192; // stroke width x 4/5
constexpr uint8_t kCodeBolder = 193;  // stroke width x 5/4
constexpr uint8_t kCodeSmaller = 194; // step x 4/5
constexpr uint8_t kCodeLarger = 195;  // step x 5/4

// Glyphs of the drill drawing.  The symbols 0xD0..0xDB advance by nothing and are centred on
// (0, kSymbolCentre) steps, the middle of a capital, so several in a row overlay into one symbol; to
// centre a symbol on a point, draw it with an across offset of -kSymbolCentre steps.  0xD9 is a ring
// that leaves the pen 2 steps left so a following capital sits centred inside it.
constexpr uint8_t kDrillSymbolFirst = 0xD0;
constexpr uint8_t kDrillSymbolLast = 0xDB;
constexpr int kSymbolCentre = 3;
constexpr uint8_t kDrillBackStep = 221; // moves 2 steps back, draws nothing
constexpr uint8_t kDrillLeadIn = 222;   // 5 steps of room before a symbol
constexpr uint8_t kDrillLeadOut = 223;  // 6 steps of room after a symbol

struct FontTable {
    std::array<uint8_t, kFontTableBytes> bytes{};

    int cell() const {
        return bytes[0] | bytes[1] << 8;
    }
    // The stroke bytes of glyph c; empty when the code has no glyph or its entry points outside the
    // table.
    std::span<const uint8_t> glyph(uint8_t c) const;
    // The sum of the glyph's dx, in steps.
    int advance(uint8_t c) const;
};

// Builds the table from font source text: lines "CODE NAME: BYTES" in hex, '#' comments, blank lines.
// Returns 0 and describes the first fault in `error` (when given) for a malformed source: a bad code
// or byte, a code given twice, or more stroke bytes than the table holds.
int build_font_table(std::string_view source, FontTable& out, std::string* error = nullptr);

// The font of the program's resources, built on first use.
const FontTable& stroke_font();

// One stroke in Document units.  `width` is the stroke width in units; `mode` is the text draw mode
// the stroke is meant for: 0 or 1 a thin one-pixel line, 2 the outline of a stroke `width` wide, 3 a
// solid stroke `width` wide.  (A caller drawing in the XOR outline colour passes mode 1.)
struct Stroke {
    Coord x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    int32_t width = 0;
    uint8_t mode = 3;
};

class StrokeSink {
  public:
    virtual ~StrokeSink() = default;
    virtual void stroke(const Stroke& s) = 0;
};

// A sink that forwards to any callable taking a `const Stroke&`.
template <class F> class StrokeFunction final : public StrokeSink {
  public:
    explicit StrokeFunction(F f) : f_(std::move(f)) {
    }
    void stroke(const Stroke& s) override {
        f_(s);
    }

  private:
    F f_;
};

// The state of one text being laid out.  Pen, line start and right edge are offsets in units along
// (x) and across (y) the text before rotation; x runs in the direction of `step` (negative when
// mirrored), y always upwards.
struct TextState {
    int16_t step = 0;         // units per glyph step, negative for a mirrored text
    int32_t stroke_width = 0; // units
    Coord x0 = 0, y0 = 0;     // the anchor point the offsets are added to
    Rotation rotation;        // of the text's angle
    int64_t pen_x = 0, pen_y = 0;
    int64_t line_start = 0;
    int64_t right_edge = 0; // furthest pen x reached in the writing direction
    uint8_t font = 0;       // kFixedPitch selects the fixed-pitch form
    uint8_t mode = 3;       // copied into every Stroke
    bool mirrored = false;  // the writing direction, kept even when size codes bring the step to 0
    int strokes = 0;        // strokes handed to the sink so far
};

// Walks glyph c at the pen: draws its strokes into `sink` (none when null, or when the step is 0),
// advances the pen and updates the right edge.  The fixed-pitch form centres the glyph in a 6-step
// cell and always advances one cell.
void draw_glyph(TextState& ts, uint8_t c, StrokeSink* sink, const FontTable& font = stroke_font());

// The text's clip box, corners in Document units (rotated about the anchor), in the order
// bottom-start, bottom-end, top-end, top-start.
struct TextBox {
    std::array<Coord, 4> x{}, y{};
};

// What the layout needs to know of the surface it draws on.  A default TextView is a plotter: every
// box is visible and no text is too small.
struct TextView {
    // Whether the box meets the clip rectangle; empty means always.
    std::function<bool(const TextBox&)> visible;
    // How many pixels a length in units covers; empty means the output has no pixels.
    std::function<int64_t(int64_t)> pixels;
    // Whether drawing writes the measured length and line count back into the Item.  Outputs that must
    // leave the Document untouched (the photoplot run) set it false.
    bool write_back = true;
};

// Lays out and draws a Text Item (its resolved text: "&n" and "&@" substituted) in text mode `mode`
// (1..3; 0 draws nothing).  A text whose box misses the view is skipped; a text whose 6 stroke widths
// make fewer than 3 pixels is drawn as one thin line along the bottom of its box.  Otherwise the
// glyphs are drawn and the measured length and line count are written back into the Item (unless the
// view says otherwise).  Returns non-zero when any stroke was drawn.
int draw_text_item(Ref item, int mode, StrokeSink& sink, const TextView& view = {});

// Computes a Text Item's length and line count without drawing and writes them back: per line the
// sum of the glyph advances in steps (a tab moves on to the next multiple of 8 cells, the fixed-pitch
// form counts one cell per character), the longest line gives length = height x (steps - 2) / 6, or
// height / 6 for fewer than 3 steps, at least 1, negative for a mirrored Item.  Returns 0 (and changes
// nothing) for an Item that is not a Text or has no text.
int measure_text_item(Ref item);

// Draws a plain string (Signal names in tracks, pad labels, drill symbols, plot labels) in the
// proportional form with the same codes as a Text: the pen starts at (off_x, off_y) units along and
// across the baseline from (x, y), turned by `angle`.  Returns the number of strokes drawn.
int draw_string(std::string_view text, int16_t step, int32_t stroke_width, Coord x, Coord y, model::Angle angle,
                int32_t off_x, int32_t off_y, int mode, StrokeSink& sink);

// The advance of a string in units as draw_string lays it out (the longest line when there are
// several), for centring.
int64_t string_length(std::string_view text, int16_t step);

} // namespace trazel::display
