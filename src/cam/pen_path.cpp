// The pen path writer shared by the HPGL plot and the milling files.
#include "cam/pen_path.h"

#include <cmath>
#include <numbers>

namespace trazel::cam {

namespace {

int64_t magnitude(int64_t v) {
    return v < 0 ? -v : v;
}

} // namespace

int64_t PenPath::nearness(int64_t x, int64_t y) const {
    // Halved so that a one-unit rounding difference between two ends does not decide the order.
    return (magnitude(x - x_) + magnitude(y - y_)) / 2;
}

void PenPath::position(bool down, int64_t x, int64_t y) {
    out_ += down ? "PD" : "PU";
    out_ += std::to_string(x);
    out_ += ',';
    out_ += std::to_string(y);
    out_ += ";\r\n";
    down_ = down;
    x_ = x;
    y_ = y;
    known_ = true;
}

void PenPath::move(int64_t x, int64_t y) {
    if (known_ && x == x_ && y == y_) {
        return;
    }
    // A short jump with the pen already down is drawn rather than lifted over: fewer pen cycles, and the
    // jump lies within one tool width of the path anyway.
    bool keep_down = known_ && down_ && magnitude(x - x_) + magnitude(y - y_) <= jump_;
    position(keep_down, x, y);
}

void PenPath::draw(int64_t x, int64_t y) {
    if (known_ && down_ && x == x_ && y == y_) {
        return;
    }
    position(true, x, y);
}

bool PenPath::second_end_nearer(int64_t x1, int64_t y1, int64_t x2, int64_t y2) const {
    return known_ && nearness(x2, y2) < nearness(x1, y1);
}

void PenPath::segment(int64_t x1, int64_t y1, int64_t x2, int64_t y2) {
    if (second_end_nearer(x1, y1, x2, y2)) {
        move(x2, y2);
        draw(x1, y1);
    } else {
        move(x1, y1);
        draw(x2, y2);
    }
}

void PenPath::arc_prelude() {
    if (known_ && !down_) {
        position(true, x_, y_);
    }
}

void PenPath::arc(int64_t cx, int64_t cy, int64_t degrees) {
    arc_prelude();
    out_ += "AA" + std::to_string(cx) + ',' + std::to_string(cy) + ',' + std::to_string(degrees) + ";\r\n";
    // Where the plotter ends up, for the jump rule of the next move.
    double a = static_cast<double>(degrees) * std::numbers::pi / 180.0;
    double dx = static_cast<double>(x_ - cx), dy = static_cast<double>(y_ - cy);
    x_ = cx + std::llround(dx * std::cos(a) - dy * std::sin(a));
    y_ = cy + std::llround(dx * std::sin(a) + dy * std::cos(a));
    down_ = true;
}

void PenPath::arc_to(int64_t cx, int64_t cy, int64_t millidegrees, int64_t end_x, int64_t end_y) {
    arc_prelude();
    std::string deg = millidegrees < 0 ? "-" : "";
    int64_t m = magnitude(millidegrees);
    deg += std::to_string(m / 1000);
    if (int64_t frac = m % 1000; frac != 0) {
        std::string f = std::to_string(frac);
        f.insert(0, 3 - f.size(), '0');
        while (f.back() == '0') {
            f.pop_back();
        }
        deg += '.' + f;
    }
    out_ += "AA" + std::to_string(cx) + ',' + std::to_string(cy) + ',' + deg + ";\r\n";
    x_ = end_x;
    y_ = end_y;
    down_ = true;
}

void PenPath::pen_up() {
    if (down_) {
        out_ += "PU;\r\n";
        down_ = false;
    }
}

void PenPath::lift() {
    out_ += "PU;\r\n";
    down_ = false;
}

void PenPath::home() {
    position(false, 0, 0);
}

void PenPath::command(std::string_view c) {
    out_ += c;
    out_ += ";\r\n";
}

std::string PenPath::take() {
    std::string s = std::move(out_);
    out_.clear();
    return s;
}

} // namespace trazel::cam
