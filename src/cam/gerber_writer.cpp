// Gerber primitives: the aperture and tool tables, number forms, and the writer that turns lines, arcs,
// pads and filled areas into RS-274-X with every redundant code, coordinate and pen change left out.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "cam/photoplot.h"
#include "display/trig.h"
#include "model/numbers.h"
#include "platform/version.h"

namespace trazel::cam {

using model::Node;
using model::Point;

const char* const kFileTypeNames[8] = {"Copper", "Plane", "Mask", "Paste", "Drill", "Symbols", "Silk", "Aperture"};
const char* const kFileTypeChoices[8] = {"Copper (normal)",  "Plane (pwr/gnd)",  "Mask (solder resist)",
                                         "Paste (stencil)",  "Drill (Excellon)", "Symbols (drill)",
                                         "Silk (screening)", "Aperture (ASCII)"};
const char* const kFileSideChoices[2] = {"Normal (not bottom)", "Bottom Side"};
const char* const kSuggestedExtensions[] = {"TSP: Top Solder Paste",
                                            "BSP: Bottom Solder Paste",
                                            "TSS: Top Silk Screen",
                                            "BSS: Bottom Silk Screen",
                                            "TSM: Top Solder Mask",
                                            "BSM: Bottom Solder Mask",
                                            "TOP: Top Copper",
                                            "BOT: Bottom Copper",
                                            "PWR: Power Plane",
                                            "GND: Ground Plane",
                                            "ML1: Mid Layer 1",
                                            "ML2: Mid Layer 2",
                                            "ML3: Mid Layer 3",
                                            "ML4: Mid Layer 4",
                                            "ML5: Mid Layer 5",
                                            "ML6: Mid Layer 6",
                                            "SGP: Selective Gold Plate",
                                            "DRL: Excellon Drill Holes",
                                            "RTE: Excellon Routing Path",
                                            "DWG: Drill Symbols Drawing",
                                            "SYM: Drill Symbols Drawing",
                                            "LST: ASCII Log File",
                                            nullptr};

// --- Aperture table ------------------------------------------------------------------------------

namespace {

bool sorts_before(const Aperture& a, ApertureShape shape, Length w, Length h) {
    if (a.width != w) {
        return a.width < w;
    }
    if (a.height != h) {
        return a.height < h;
    }
    return a.shape < shape;
}

bool same(const Aperture& a, ApertureShape shape, Length w, Length h) {
    return a.shape == shape && a.width == w && a.height == h;
}

void normalise(ApertureShape& shape, Length& w, Length& h) {
    if (shape != kRectShape) {
        shape = kRoundShape;
        if (h == 0) {
            h = w;
        }
    }
}

} // namespace

void ApertureTable::clear() {
    entries.fill(Aperture{kRoundShape, 0, 0});
    end = kFirstCode;
    entries[static_cast<size_t>(end)] = Aperture{};
    refused = 0;
}

int ApertureTable::find(ApertureShape shape, Length w, Length h) const {
    normalise(shape, w, h);
    if (w == 0 || h == 0) {
        return 0;
    }
    int lo = kFirstCode;
    int hi = end;
    while (lo < hi) {
        int mid = (lo + hi) / 2;
        if (sorts_before(entries[static_cast<size_t>(mid)], shape, w, h)) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    return lo < end && same(entries[static_cast<size_t>(lo)], shape, w, h) ? lo : 0;
}

int ApertureTable::add(ApertureShape shape, Length w, Length h) {
    normalise(shape, w, h);
    if (w == 0 || h == 0) {
        return 0;
    }
    int lo = kFirstCode;
    int hi = end;
    while (lo < hi) {
        int mid = (lo + hi) / 2;
        if (sorts_before(entries[static_cast<size_t>(mid)], shape, w, h)) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    if (lo < end && same(entries[static_cast<size_t>(lo)], shape, w, h)) {
        return lo;
    }
    // The list may fill D10..D1022; its marker then rests in slot 1023, which the overflow form uses.
    if (end >= kOverflowCode) {
        ++refused;
        return 0;
    }
    for (int i = end; i >= lo; --i) {
        entries[static_cast<size_t>(i + 1)] = entries[static_cast<size_t>(i)];
    }
    entries[static_cast<size_t>(lo)] = Aperture{shape, w, h};
    ++end;
    return lo;
}

// --- Tool table ----------------------------------------------------------------------------------

int ToolTable::find(Length diameter, bool non_plated) const {
    for (int i = 1; i <= count; ++i) {
        const Tool& t = tools[static_cast<size_t>(i)];
        if (t.diameter == diameter && t.non_plated == non_plated) {
            return i;
        }
    }
    return 0;
}

int ToolTable::add_hit(Length diameter, bool non_plated) {
    int i = 1;
    for (; i <= count; ++i) {
        const Tool& t = tools[static_cast<size_t>(i)];
        if (t.diameter == diameter && t.non_plated == non_plated) {
            ++tools[static_cast<size_t>(i)].hits;
            return i;
        }
        if (t.diameter > diameter || (t.diameter == diameter && t.non_plated && !non_plated)) {
            break;
        }
    }
    if (count >= kMaxTools) {
        ++refused;
        return 0;
    }
    for (int j = count; j >= i; --j) {
        tools[static_cast<size_t>(j + 1)] = tools[static_cast<size_t>(j)];
    }
    tools[static_cast<size_t>(i)] = Tool{diameter, non_plated, 1};
    ++count;
    return i;
}

std::string_view drill_symbol(int i) {
    static constexpr const char* kSymbols[kSymbolSlots] = {
        "",         "\xD0",     "\xD1",     "\xD2",         "\xD3",         "\xD4",     "\xD5",         "\xD6",
        "\xD7",     "\xD1\xD2", "\xD1\xD4", "\xD1\xDA\xDB", "\xD2\xDA",     "\xD2\xDB", "\xD2\xDA\xDB", "\xD8\xD0",
        "\xD8\xD1", "\xD8\xD2", "\xD8\xD3", "\xD8\xD1\xD2", "\xD8\xD1\xD4", "\xD9\x41", "\xD9\x42",     "\xD9\x43",
        "\xD9\x44", "\xD9\x45", "\xD9\x46", "\xD9\x47",     "\xD9\x48",     "\xD9\x4A", "\xD9\x4B",     "\xD9\x4C"};
    if (i < 0 || i >= kSymbolSlots) {
        return {};
    }
    return kSymbols[i];
}

bool pad_has_hole(const Node& pad) {
    return (pad.size & 7) < 4 && pad.pad.hole >= kMinHole;
}

bool hole_non_plated(const Node& pad) {
    return pad.pad.hole > std::min(pad.pad.width, pad.pad.height);
}

// --- Text output ---------------------------------------------------------------------------------

void TextOut::line(std::string_view s) {
    while (!s.empty() && s.back() == ' ') {
        s.remove_suffix(1);
    }
    data.append(s);
    data.append("\r\n");
    maybe_drain();
}

void TextOut::raw(std::string_view s) {
    data.append(s);
    maybe_drain();
}

bool TextOut::flush() {
    if (!drain) {
        return !failed;
    }
    if (!data.empty() && !failed) {
        if (!drain(data)) {
            failed = true;
        }
        total += data.size();
    }
    data.clear();
    return !failed;
}

// --- Number forms ------------------------------------------------------------------------------

int64_t gerber_units(int64_t v) {
    int64_t u = model::round16(model::abs64(v) * 10000);
    return v < 0 ? -u : u;
}

// 25 400 000 nm / 65536 = 396875 / 1024 exactly.
int64_t gerber_nanometres(int64_t v) {
    int64_t u = (model::abs64(v) * 396875 + 512) / 1024;
    return v < 0 ? -u : u;
}

std::string decimal_string(int64_t v, int decimals) {
    static constexpr int64_t kScale[7] = {1, 10, 100, 1000, 10000, 100000, 1000000};
    decimals = std::clamp(decimals, 1, 6);
    int64_t a = model::abs64(v);
    std::string s = v < 0 ? "-" : "";
    s += std::to_string(a / kScale[decimals]);
    s += '.';
    int64_t fp = a % kScale[decimals];
    int digits = decimals;
    while (digits > 1 && fp % 10 == 0) {
        fp /= 10;
        --digits;
    }
    std::string f = std::to_string(fp);
    s.append(static_cast<size_t>(digits) - f.size(), '0');
    return s + f;
}

char* write_size(char* out, uint32_t size, int decimals) {
    static constexpr uint32_t kRound[5] = {32768, 3277, 328, 33, 3};
    static constexpr uint64_t kScale[5] = {1, 10, 100, 1000, 10000};
    decimals = std::clamp(decimals, 0, 4);
    uint64_t v = (static_cast<uint64_t>(size) + kRound[decimals]) * kScale[decimals] / 65536;
    uint64_t ip = v / kScale[decimals];
    uint64_t fp = v % kScale[decimals];
    if (ip > 0) {
        out = model::write_int(out, static_cast<int64_t>(ip));
    }
    *out++ = '.';
    for (int d = decimals - 1; d >= 0; --d) {
        out[d] = static_cast<char>('0' + fp % 10);
        fp /= 10;
    }
    return out + decimals;
}

std::string size_string(uint32_t size, int decimals) {
    char buf[32];
    return std::string(buf, write_size(buf, size, decimals));
}

std::string excellon_coord(char axis, int64_t v) {
    int64_t q = (model::abs64(v) + 3) * 10000 / 65536;
    std::string s(1, axis);
    if (v < 0 && q != 0) {
        s += '-';
    }
    char ip[24];
    std::snprintf(ip, sizeof ip, "%02lld", static_cast<long long>(q / 10000));
    s += ip;
    int fp = static_cast<int>(q % 10000);
    for (int div = 1000; fp != 0; div /= 10) {
        s += static_cast<char>('0' + fp / div);
        fp %= div;
    }
    return s;
}

// --- Pad forms ---------------------------------------------------------------------------------

namespace {

Length clamp_pad(int v) {
    return static_cast<Length>(std::clamp(v, static_cast<int>(kMinPadSize), 65535));
}

bool right_angle(Angle a) {
    return a % 16384 == 0;
}

bool swapped(Angle a) {
    return a == 16384 || a == 49152;
}

} // namespace

PadForm pad_form(const Node& pad, int increase) {
    PadForm f;
    const model::PadFields& p = pad.pad;
    if (p.width == 0 || p.height == 0) {
        return f;
    }
    Length w = clamp_pad(p.width + increase);
    Length h = clamp_pad(p.height + increase);
    bool rect = (pad.size & 7) % 4 == 2;
    if (rect && !right_angle(p.angle)) {
        f.kind = PadForm::Kind::Painted;
        f.width = w;
        f.height = h;
        return f;
    }
    if (!rect && w != h && !right_angle(p.angle)) {
        f.kind = PadForm::Kind::Segment;
        f.width = f.height = std::min(w, h);
        int ox = w > h ? (w - h) / 2 : 0;
        int oy = w > h ? 0 : (h - w) / 2;
        display::Rotation rot = display::Rotation::of(p.angle);
        f.dx = static_cast<Coord>(rot.x(ox, oy));
        f.dy = static_cast<Coord>(rot.y(ox, oy));
        return f;
    }
    f.kind = PadForm::Kind::Flash;
    f.shape = rect ? kRectShape : kRoundShape;
    f.width = swapped(p.angle) ? h : w;
    f.height = swapped(p.angle) ? w : h;
    return f;
}

// --- Gerber writer -----------------------------------------------------------------------------

const char* aper_function_text(AperFunction f) {
    switch (f) {
    case AperFunction::Drawing:
        return "Other,Drawing";
    case AperFunction::ComponentPad:
        return "ComponentPad";
    case AperFunction::SmdPad:
        return "SMDPad,CuDef";
    case AperFunction::ViaPad:
        return "ViaPad";
    case AperFunction::WasherPad:
        return "WasherPad";
    case AperFunction::Conductor:
        return "Conductor";
    case AperFunction::NonConductor:
        return "NonConductor";
    case AperFunction::AntiPad:
        return "AntiPad";
    case AperFunction::ThermalRelief:
        return "Other,ThermalRelief";
    case AperFunction::Profile:
        return "Profile";
    case AperFunction::Legend:
        return "Other,Legend";
    case AperFunction::Drillmap:
        return "Other,Drillmap";
    case AperFunction::NonMaterial:
        return "NonMaterial";
    }
    return "Other,Drawing";
}

namespace {

// An attribute value: the field separator, the Gerber delimiters, the escape character and bytes outside
// printable ASCII are written as backslash-u escapes (four hex digits), so a Signal named "A,B" or "50%"
// stays one field.
std::string attribute_value(std::string_view v) {
    std::string s;
    for (char ch : v) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c >= 0x7F || c == ',' || c == '*' || c == '%' || c == '\\') {
            char b[8];
            std::snprintf(b, sizeof b, "\\u%04X", c);
            s += b;
        } else {
            s += ch;
        }
    }
    return s;
}

} // namespace

void GerberWriter::reset() {
    code_ = 0;
    pen_ = Pen::Unknown;
    have_x_ = have_y_ = false;
    last_x_ = last_y_ = 0;
    overflow_ = Aperture{};
    x2_codes_.clear();
    next_code_ = kFirstCode;
    ta_function_ = -1;
    current_key_ = X2Key{};
    object_ = ObjectAttributes{};
    interpolation_ = '1';
    g75_ = false;
    function_ = style_.default_function;
}

void GerberWriter::set_object(const ObjectAttributes& a) {
    if (!style_.x2 || a == object_) {
        return;
    }
    if (a.empty()) {
        out_.line("%TD*%");
        object_ = a;
        return;
    }
    // Only what changed: a new value replaces the old one, a value no longer there is deleted by name.
    auto put = [this](const char* name, const std::string& was, const std::string& now, const std::string& value) {
        if (now == was) {
            return;
        }
        out_.line(now.empty() ? std::string("%TD.") + name + "*%" : std::string("%TO.") + name + "," + value + "*%");
    };
    std::string pin = a.pin.empty() ? std::string() : attribute_value(a.component) + "," + attribute_value(a.pin);
    std::string was_pin = object_.pin.empty() ? std::string() : object_.component + "," + object_.pin;
    put("N", object_.net, a.net, attribute_value(a.net));
    put("C", object_.component, a.component, attribute_value(a.component));
    put("P", was_pin, a.pin.empty() ? std::string() : a.component + "," + a.pin, pin);
    object_ = a;
}

char* GerberWriter::write_aperture_size(char* p, Length size) const {
    if (!style_.metric) {
        return write_size(p, size, 4);
    }
    std::string mm = decimal_string(gerber_nanometres(size), 6);
    std::memcpy(p, mm.data(), mm.size());
    return p + mm.size();
}

// A macro coordinate given in half units: micro-inches, or nanometres in a metric file, as a decimal.
std::string GerberWriter::fine(int64_t twice_units) const {
    int64_t a = model::abs64(twice_units);
    int64_t v = style_.metric ? (a * 396875 + 1024) / 2048 : (a * 15625 + 1024) / 2048;
    return decimal_string(twice_units < 0 ? -v : v, 6);
}

void GerberWriter::put_line(const char* begin, const char* end) {
    out_.line(std::string_view(begin, static_cast<size_t>(end - begin)));
}

void GerberWriter::header() {
    if (style_.metric) {
        out_.line("%FSLAX46Y46*%");
        out_.line("%MOMM*%");
    } else {
        out_.line("%FSLAX24Y24*%");
        if (style_.x2) {
            out_.line("%MOIN*%");
        }
    }
    if (style_.x2) {
        out_.line(std::string("%TF.GenerationSoftware,TRAZEL,trazel,") + attribute_value(platform::program_version()) +
                  "*%");
        if (!style_.creation_date.empty()) {
            out_.line("%TF.CreationDate," + style_.creation_date + "*%");
        }
        if (!style_.file_function.empty()) {
            out_.line("%TF.FileFunction," + style_.file_function + "*%");
        }
        out_.line("%TF.FilePolarity," +
                  (style_.file_polarity.empty() ? std::string("Positive") : style_.file_polarity) + "*%");
        return; // each aperture is defined with its function where it is first used
    }
    char buf[64];
    for (int code = kFirstCode; code < apertures_.end; ++code) {
        const Aperture& a = apertures_.at(code);
        if (a.width == 0) {
            continue;
        }
        char* p = buf;
        std::memcpy(p, "%ADD", 4);
        p = model::write_int(p + 4, code);
        if (a.shape == kRectShape || a.width != a.height) {
            *p++ = a.shape == kRectShape ? 'R' : 'O';
            *p++ = ',';
            p = write_aperture_size(p, a.width);
            *p++ = 'X';
            p = write_aperture_size(p, a.height);
        } else {
            *p++ = 'C';
            *p++ = ',';
            p = write_aperture_size(p, a.width);
        }
        std::memcpy(p, "*%", 2);
        put_line(buf, p + 2);
    }
}

void GerberWriter::trailer() {
    set_object(ObjectAttributes{});
    out_.line("M02*");
}

void GerberWriter::define_x2(const X2Key& key, int code) {
    auto [fn, form, w, h, a, b] = key;
    if (fn != ta_function_) {
        ta_function_ = fn;
        out_.line(std::string("%TA.AperFunction,") + aper_function_text(static_cast<AperFunction>(fn)) + "*%");
    }
    std::string c = std::to_string(code);
    char buf[64];
    char* p = buf;
    switch (form) {
    case 0:
    case 1:
        *p++ = form == 1 ? 'R' : (w == h ? 'C' : 'O');
        *p++ = ',';
        p = write_aperture_size(p, w);
        if (form == 1 || w != h) {
            *p++ = 'X';
            p = write_aperture_size(p, h);
        }
        out_.line("%ADD" + c + std::string(buf, p) + "*%");
        return;
    case 2: {
        // A turned rectangle: its outline as an aperture macro, corners computed here so the flash covers
        // what the chord-painted form covers.
        display::Rotation rot = display::Rotation::of(static_cast<Angle>(a));
        static constexpr int kSigns[5][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}, {-1, -1}};
        std::string m = "%AMTR" + c + "*4,1,4";
        for (const auto& sg : kSigns) {
            int64_t px = sg[0] * static_cast<int64_t>(w), py = sg[1] * static_cast<int64_t>(h);
            m += "," + fine(rot.x(px, py)) + "," + fine(rot.y(px, py));
        }
        out_.line(m + ",0*%");
        out_.line("%ADD" + c + "TR" + c + "*%");
        return;
    }
    default: {
        // A turned oblong: the stroke between its end centres (a, b) and (-a, -b) and a disc at each end.
        std::string d = fine(2 * static_cast<int64_t>(w));
        std::string ax = fine(2 * static_cast<int64_t>(a)), ay = fine(2 * static_cast<int64_t>(b));
        std::string bx = fine(-2 * static_cast<int64_t>(a)), by = fine(-2 * static_cast<int64_t>(b));
        out_.line("%AMTO" + c + "*20,1," + d + "," + bx + "," + by + "," + ax + "," + ay + ",0*1,1," + d + "," + bx +
                  "," + by + "*1,1," + d + "," + ax + "," + ay + "*%");
        out_.line("%ADD" + c + "TO" + c + "*%");
        return;
    }
    }
}

void GerberWriter::select_x2(const X2Key& key) {
    if (code_ != 0 && key == current_key_) {
        return;
    }
    if (pen_ == Pen::Down) {
        out_.line("D2*");
        pen_ = Pen::Up;
    }
    auto it = x2_codes_.find(key);
    int code;
    if (it == x2_codes_.end()) {
        code = next_code_++;
        x2_codes_.emplace(key, code);
        define_x2(key, code);
    } else {
        code = it->second;
    }
    current_key_ = key;
    if (code != code_) {
        out_.line("D" + std::to_string(code) + "*");
        code_ = code;
    }
}

void GerberWriter::select(ApertureShape shape, Length w, Length h) {
    normalise(shape, w, h);
    if (w == 0 || h == 0) {
        return;
    }
    if (style_.x2) {
        select_x2(X2Key{static_cast<uint8_t>(function_), shape == kRectShape ? 1 : 0, w, h, 0, 0});
        return;
    }
    if (code_ >= kFirstCode && code_ < kOverflowCode && same(apertures_.at(code_), shape, w, h)) {
        return;
    }
    int code = apertures_.find(shape, w, h);
    if (code == 0) {
        code = kOverflowCode;
    }
    // Every overflow aperture shares D1023, so a change between two of them must still be written.
    if (code == code_ && (code != kOverflowCode || same(overflow_, shape, w, h))) {
        return;
    }
    if (pen_ == Pen::Down) {
        out_.line("D2*");
        pen_ = Pen::Up;
    }
    char buf[64];
    char* p = buf;
    *p++ = 'D';
    p = model::write_int(p, code);
    if (code == kOverflowCode) {
        overflow_ = Aperture{shape, w, h};
        *p++ = '[';
        *p++ = shape == kRectShape ? 'R' : (w == h ? 'C' : 'O');
        p = write_size(p, w, 3);
        if (shape == kRectShape || w != h) {
            *p++ = ',';
            p = write_size(p, h, 3);
        }
        *p++ = ']';
    }
    *p++ = '*';
    put_line(buf, p);
    code_ = code;
}

void GerberWriter::emit(bool down, int64_t gx, int64_t gy) {
    char buf[64];
    char* p = buf;
    if (!have_x_ || gx != last_x_) {
        *p++ = 'X';
        p = model::write_int(p, gx);
    }
    if (!have_y_ || gy != last_y_) {
        *p++ = 'Y';
        p = model::write_int(p, gy);
    }
    Pen want = down ? Pen::Down : Pen::Up;
    if (pen_ != want) {
        *p++ = 'D';
        *p++ = down ? '1' : '2';
    }
    if (p == buf) {
        return;
    }
    if (down && interpolation_ != '1') {
        interpolation('1');
    }
    *p++ = '*';
    put_line(buf, p);
    have_x_ = have_y_ = true;
    last_x_ = gx;
    last_y_ = gy;
    pen_ = want;
}

void GerberWriter::move_or_draw(bool down, Coord x, Coord y) {
    emit(down, gx(x), gy(y));
}

void GerberWriter::segment(Coord x1, Coord y1, Coord x2, Coord y2) {
    int64_t ax = gx(x1), ay = gy(y1), bx = gx(x2), by = gy(y2);
    bool known = have_x_ && have_y_;
    if (known && last_x_ == bx && last_y_ == by) {
        emit(true, ax, ay);
        return;
    }
    if (!known || last_x_ != ax || last_y_ != ay) {
        emit(false, ax, ay);
    }
    emit(true, bx, by);
}

void GerberWriter::flash(Coord x, Coord y) {
    if (pen_ == Pen::Down) {
        out_.line("D2*");
        pen_ = Pen::Up;
    }
    int64_t fx = gx(x), fy = gy(y);
    char buf[64];
    char* p = buf;
    if (!have_x_ || fx != last_x_) {
        *p++ = 'X';
        p = model::write_int(p, fx);
    }
    if (!have_y_ || fy != last_y_) {
        *p++ = 'Y';
        p = model::write_int(p, fy);
    }
    std::memcpy(p, "D3*", 3);
    put_line(buf, p + 3);
    have_x_ = have_y_ = true;
    last_x_ = fx;
    last_y_ = fy;
    pen_ = Pen::Flash;
}

namespace {

uint32_t arc_step(Coord radius) {
    int64_t r = model::abs64(radius);
    if (r < 256) {
        return 8192;
    }
    if (r < 2048) {
        return 4096;
    }
    if (r < 4096) {
        return 2048;
    }
    if (r < 8192) {
        return 1024;
    }
    if (r < 16384) {
        return 512;
    }
    return 256;
}

Coord clamp_coord(int64_t v) {
    return static_cast<Coord>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

} // namespace

void arc_chords(Coord x0, Coord y0, Coord radius, Angle start, Angle sweep, uint16_t ellipse, Angle rotation,
                const StrokeFn& chord) {
    display::Rotation rot = display::Rotation::of(rotation);
    auto point = [&](uint32_t a, Coord& x, Coord& y) {
        Angle an = static_cast<Angle>(a & 0xFFFF);
        int64_t px = model::mul16_round(radius, display::cos16(an));
        int64_t py = model::mul16_round(radius, display::sin16(an));
        if (ellipse != 0) {
            py = model::mul16_round(py, ellipse);
        }
        x = clamp_coord(x0 + rot.x(px, py));
        y = clamp_coord(y0 + rot.y(px, py));
    };
    uint32_t total = sweep == 0 ? 65536u : sweep;
    uint32_t step = arc_step(radius);
    uint32_t a = start;
    Coord px, py;
    point(a, px, py);
    for (uint32_t left = total; left >= step; left -= step) {
        a += step;
        Coord nx, ny;
        point(a, nx, ny);
        // Each chord starts where the last one ended, so the arc stays one pen-down path.
        chord(px, py, nx, ny);
        px = nx;
        py = ny;
    }
    Coord ex, ey;
    point(static_cast<uint32_t>(start) + total, ex, ey);
    chord(px, py, ex, ey);
}

void GerberWriter::interpolation(char mode) {
    if (!g75_ && mode != '1') {
        out_.line("G75*");
        g75_ = true;
    }
    char buf[4] = {'G', '0', mode, '*'};
    put_line(buf, buf + 4);
    interpolation_ = mode;
}

namespace {

struct ArcPoint {
    Coord x, y;
};

// A point of an arc of a circle, exactly as the chords of arc_chords reach it.
ArcPoint circle_point(Coord x0, Coord y0, Coord radius, uint32_t a, const display::Rotation& rot) {
    Angle an = static_cast<Angle>(a & 0xFFFF);
    int64_t px = model::mul16_round(radius, display::cos16(an));
    int64_t py = model::mul16_round(radius, display::sin16(an));
    return ArcPoint{clamp_coord(x0 + rot.x(px, py)), clamp_coord(y0 + rot.y(px, py))};
}

} // namespace

// Counter-clockwise arcs with the centre as I/J offsets from the start; a full circle is two halves, so no
// reader has to guess whether equal ends mean nothing or everything.  False when the arc is too small for
// its ends to be told apart in the file's unit: the chords draw it then.
bool GerberWriter::true_arc(Coord x0, Coord y0, Coord radius, Angle start, Angle sweep, Angle rotation) {
    display::Rotation rot = display::Rotation::of(rotation);
    uint32_t total = sweep == 0 ? 65536u : sweep;
    std::vector<uint32_t> ends;
    if (total > 32768) {
        ends.push_back(static_cast<uint32_t>(start) + total / 2);
    }
    ends.push_back(static_cast<uint32_t>(start) + total);
    ArcPoint s = circle_point(x0, y0, radius, start, rot);
    int64_t cx = gx(x0), cy = gy(y0);
    int64_t px = gx(s.x), py = gy(s.y);
    if (model::abs64(px - cx) + model::abs64(py - cy) < 4) {
        return false;
    }
    for (uint32_t e : ends) {
        ArcPoint p = circle_point(x0, y0, radius, e, rot);
        if (gx(p.x) == px && gy(p.y) == py) {
            return false;
        }
        px = gx(p.x), py = gy(p.y);
    }
    if (!(have_x_ && have_y_ && last_x_ == gx(s.x) && last_y_ == gy(s.y))) {
        emit(false, gx(s.x), gy(s.y));
    }
    for (uint32_t e : ends) {
        ArcPoint p = circle_point(x0, y0, radius, e, rot);
        int64_t ex = gx(p.x), ey = gy(p.y);
        if (interpolation_ != '3') {
            interpolation('3');
        }
        std::string l = "X" + std::to_string(ex) + "Y" + std::to_string(ey) + "I" + std::to_string(cx - last_x_) + "J" +
                        std::to_string(cy - last_y_) + "D01*";
        out_.line(l);
        last_x_ = ex;
        last_y_ = ey;
        pen_ = Pen::Down;
    }
    return true;
}

void GerberWriter::arc(Coord x0, Coord y0, Coord radius, Angle start, Angle sweep, uint16_t ellipse, Angle rotation) {
    if (style_.true_arcs && ellipse == 0 && true_arc(x0, y0, radius, start, sweep, rotation)) {
        return;
    }
    arc_chords(x0, y0, radius, start, sweep, ellipse, rotation,
               [this](Coord x1, Coord y1, Coord x2, Coord y2) { segment(x1, y1, x2, y2); });
}

void GerberWriter::flash_pad(const Node& pad, int increase) {
    PadForm f = pad_form(pad, increase);
    switch (f.kind) {
    case PadForm::Kind::None:
        return;
    case PadForm::Kind::Flash:
        select(f.shape, f.width, f.height);
        flash(pad.pad.x0, pad.pad.y0);
        return;
    case PadForm::Kind::Segment:
        // X2 wants every pad a flash, so a turned oblong gets an aperture of its own there.
        if (style_.x2) {
            select_x2(X2Key{static_cast<uint8_t>(function_), 3, f.width, f.width, f.dx, f.dy});
            flash(pad.pad.x0, pad.pad.y0);
            return;
        }
        select_round(f.width);
        segment(
            clamp_coord(static_cast<int64_t>(pad.pad.x0) + f.dx), clamp_coord(static_cast<int64_t>(pad.pad.y0) + f.dy),
            clamp_coord(static_cast<int64_t>(pad.pad.x0) - f.dx), clamp_coord(static_cast<int64_t>(pad.pad.y0) - f.dy));
        return;
    case PadForm::Kind::Painted:
        if (style_.x2) {
            select_x2(X2Key{static_cast<uint8_t>(function_), 2, f.width, f.height, pad.pad.angle, 0});
            flash(pad.pad.x0, pad.pad.y0);
            return;
        }
        paint_rotated_rect(pad.pad.x0, pad.pad.y0, f.width, f.height, pad.pad.angle);
        return;
    }
}

void GerberWriter::paint_rotated_rect(Coord x0, Coord y0, Length width, Length height, Angle angle) {
    select_round(kAperture002);
    int64_t hx = width / 2 - kFillStep;
    int64_t hy = height / 2 - kFillStep;
    display::Rotation rot = display::Rotation::of(angle);
    static constexpr int kSigns[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    Point c[4];
    for (int i = 0; i < 4; ++i) {
        int64_t px = kSigns[i][0] * hx;
        int64_t py = kSigns[i][1] * hy;
        c[i] = Point{clamp_coord(x0 + rot.x(px, py)), clamp_coord(y0 + rot.y(px, py))};
    }
    for (int i = 0; i < 4; ++i) {
        const Point& a = c[i];
        const Point& b = c[(i + 1) % 4];
        segment(a.x, a.y, b.x, b.y);
    }
    span_fill(c, 4, kFillStep);
}

void span_strokes(const Point* pts, int n, Coord step, const StrokeFn& stroke) {
    if (n < 3 || step <= 0) {
        return;
    }
    Coord ymin = pts[0].y, ymax = pts[0].y, xmin = pts[0].x;
    for (int i = 1; i < n; ++i) {
        ymin = std::min(ymin, pts[i].y);
        ymax = std::max(ymax, pts[i].y);
        xmin = std::min(xmin, pts[i].x);
    }
    for (int64_t y64 = ymax; y64 > ymin; y64 -= step) {
        Coord y = static_cast<Coord>(y64);
        int64_t x = xmin;
        while (x <= INT32_MAX) {
            model::PolygonHit hit = model::point_in_polygon(pts, n, static_cast<Coord>(x), y);
            if (!hit.ahead) {
                break;
            }
            if (hit.where == model::Where::Outside) {
                x = static_cast<int64_t>(hit.nearest) + kFillInset;
            }
            int64_t start = x;
            while (x <= INT32_MAX &&
                   model::point_in_polygon(pts, n, static_cast<Coord>(x), y).where == model::Where::OnEdge) {
                x += kFillStep;
            }
            if (x > INT32_MAX) {
                break;
            }
            hit = model::point_in_polygon(pts, n, static_cast<Coord>(x), y);
            int64_t end =
                hit.where == model::Where::Inside ? static_cast<int64_t>(hit.nearest) - kFillInset : x - kFillStep;
            // A sliver narrower than the inset gives an end before the start: nothing to paint there.
            if (end >= start) {
                stroke(static_cast<Coord>(start), y, static_cast<Coord>(end), y);
            }
            x = std::max(end, start) + kFillStep;
        }
    }
}

void GerberWriter::span_fill(const Point* pts, int n, Coord step) {
    span_strokes(pts, n, step, [this](Coord x1, Coord y1, Coord x2, Coord y2) { segment(x1, y1, x2, y2); });
}

void polygon_strokes(const Point* pts, int n, Length fill_width, const StrokeFn& stroke) {
    if (n < 3) {
        return;
    }
    Length fw = std::max(fill_width, kAperture002);
    // Move each vertex half the aperture inwards along the bisector of its two edges, so the strokes
    // paint up to the outline and not beyond it.
    std::vector<Point> shrunk(pts, pts + n);
    double half = fw / 2.0;
    for (int i = 0; i < n; ++i) {
        const Point& v = pts[i];
        const Point& p = pts[(i + n - 1) % n];
        const Point& q = pts[(i + 1) % n];
        double ax = static_cast<double>(p.x) - v.x, ay = static_cast<double>(p.y) - v.y;
        double bx = static_cast<double>(q.x) - v.x, by = static_cast<double>(q.y) - v.y;
        double la = std::sqrt(ax * ax + ay * ay), lb = std::sqrt(bx * bx + by * by);
        if (la == 0 || lb == 0) {
            continue;
        }
        ax /= la, ay /= la, bx /= lb, by /= lb;
        double cosang = std::clamp(ax * bx + ay * by, -1.0, 1.0);
        double sinhalf = std::sqrt((1 - cosang) / 2);
        if (sinhalf < 1.0 / 64) {
            continue; // a needle point: its offset would run far out of the polygon
        }
        double dx = ax + bx, dy = ay + by;
        double ld = std::sqrt(dx * dx + dy * dy);
        if (ld < 1e-9) { // straight through: the bisector is the edge normal
            dx = -by;
            dy = bx;
            ld = 1;
        }
        double off = half / sinhalf;
        for (int sign = 1; sign >= -1; sign -= 2) {
            Point m{clamp_coord(std::llround(v.x + sign * dx / ld * off)),
                    clamp_coord(std::llround(v.y + sign * dy / ld * off))};
            if (model::point_in_polygon(pts, n, m.x, m.y).where != model::Where::Outside) {
                shrunk[static_cast<size_t>(i)] = m;
                break;
            }
        }
    }
    for (int i = 0; i < n; ++i) {
        const Point& a = shrunk[static_cast<size_t>(i)];
        const Point& b = shrunk[static_cast<size_t>((i + 1) % n)];
        stroke(a.x, a.y, b.x, b.y);
    }
    span_strokes(shrunk.data(), n, fw - kFillStep, stroke);
}

void GerberWriter::paint_polygon(const Point* pts, int n, Length fill_width) {
    if (n < 3) {
        return;
    }
    select_round(std::max(fill_width, kAperture002));
    polygon_strokes(pts, n, fill_width, [this](Coord x1, Coord y1, Coord x2, Coord y2) { segment(x1, y1, x2, y2); });
}

void GerberWriter::paint_solid(Ref solid, Length fill_width) {
    constexpr int kMaxVertices = 511;
    Point pts[kMaxVertices];
    int n = 0;
    for (Ref v = model::node(solid).link; v != model::kNone && n < kMaxVertices; v = model::node(v).link) {
        pts[n++] = Point{model::node(v).line.x1, model::node(v).line.y1};
    }
    paint_polygon(pts, n, fill_width);
}

} // namespace trazel::cam
