#pragma once
// A pen plotter's path: pen-up and pen-down moves in plotter units with the short-jump rule (a move no
// longer than the jump limit keeps the pen down and is drawn), segments started from the nearer end, and
// "AA" arcs.  The HPGL plot and the milling files both write through it.
#include <cstdint>
#include <string>
#include <string_view>

namespace trazel::cam {

class PenPath {
  public:
    // `jump`: the longest move (Manhattan distance in plotter units) made with the pen down.
    explicit PenPath(int64_t jump) : jump_(jump) {
    }
    void set_jump(int64_t jump) {
        jump_ = jump;
    }

    // A move to (x, y): drawn when the pen is down and the move is no longer than the jump limit, else
    // made with the pen up; nothing for the current point.
    void move(int64_t x, int64_t y);
    // A draw to (x, y): pen down; nothing when the pen is already down there.
    void draw(int64_t x, int64_t y);
    // A segment from whichever end is nearer to the current point.
    void segment(int64_t x1, int64_t y1, int64_t x2, int64_t y2);
    // Whether that segment would start at (x2, y2): strictly nearer, so ties keep the first end.
    bool second_end_nearer(int64_t x1, int64_t y1, int64_t x2, int64_t y2) const;
    // An arc about (cx, cy) through `degrees` from the current point; the pen goes down first, since an
    // arc after a pen-up move is not cut.
    void arc(int64_t cx, int64_t cy, int64_t degrees);
    // The same with the sweep in thousandths of a degree (written with up to three decimals) and the end
    // point known to the caller, so the next move measures from where the arc really ends.
    void arc_to(int64_t cx, int64_t cy, int64_t millidegrees, int64_t end_x, int64_t end_y);
    // Lifts the pen ("PU;") when it is down.
    void pen_up();
    // "PU;" whether or not the pen is down (before a tool change).
    void lift();
    // "PU0,0;": the plotter parked at the origin, last in every file.
    void home();
    // A command written as it is, ";" and the line end added ("TC15", "PP", "SP1").
    void command(std::string_view c);

    const std::string& text() const {
        return out_;
    }
    std::string take();
    bool pen_down() const {
        return down_;
    }

  private:
    void position(bool down, int64_t x, int64_t y);
    void arc_prelude();
    int64_t nearness(int64_t x, int64_t y) const;

    int64_t jump_;
    int64_t x_ = 0, y_ = 0;
    bool down_ = false;
    bool known_ = false; // a position was written
    std::string out_;
};

} // namespace trazel::cam
