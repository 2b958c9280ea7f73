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

    // A move to (x, y): pen up first when farther than the jump limit; nothing for the current point.
    void move(int64_t x, int64_t y);
    // A draw to (x, y): pen down, the point unless it is the current one.
    void draw(int64_t x, int64_t y);
    // A segment from whichever end is nearer to the current point.
    void segment(int64_t x1, int64_t y1, int64_t x2, int64_t y2);
    // An arc about (cx, cy) through `degrees` from the current point; the pen goes down first, since an
    // arc after a pen-up move is not cut.
    void arc(int64_t cx, int64_t cy, int64_t degrees);
    // Lifts the pen ("PU;") when it is down.
    void pen_up();
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
    int64_t jump_;
    int64_t x_ = 0, y_ = 0;
    bool down_ = false;
    bool known_ = false; // a position was written
    std::string out_;
};

} // namespace trazel::cam
