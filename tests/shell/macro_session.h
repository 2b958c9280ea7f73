#pragma once
// A headless shell started on boards built in the test and saved as Data files, driven by keystroke
// macros through the real key handler, with the accessors the command tests read it by.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/core/headless_run.h"
#include "edit/board_build.h"
#include "edit/commands.h"
#include "edit/undo.h"
#include "platform/run_context.h"
#include "shell/macros.h"
#include "shell/status.h"

namespace shell_test {

using namespace trazel;
using model::Coord;
using model::node;
using model::Point;
using model::Ref;

constexpr Coord kInch = 65536;

constexpr Coord in(double v) {
    return static_cast<Coord>(v * kInch);
}

inline bool at_inch(Point p, double x, double y) {
    return p.x == in(x) && p.y == in(y);
}

// A snap step of 1/16 inch: "16Right" moves the cursor one inch.
constexpr uint32_t kSixteenth = 4096u << 16;

// One board file of a session: its name and what builds its Items.
struct Board {
    std::string name;
    std::function<void(Ref ring)> build;
};

class MacroSession : public ::testing::Test {
  protected:
    std::unique_ptr<shell::HeadlessRun> run;
    // Ticks run after a macro ends, so that what it set off has happened.
    int settle_ticks = 2;

    // Writes the boards, starts the shell on them, sets the snap step when one is given (0 puts typed
    // coordinates exactly where they say) and plays `keys`.
    void start(const std::vector<Board>& boards, std::optional<uint32_t> snap = std::nullopt,
               const std::string& keys = {}) {
        std::vector<std::string> paths;
        for (const Board& b : boards) {
            paths.push_back(edit_test::temp_path(b.name));
            edit_test::write_board(paths.back(), b.build);
        }
        run = std::make_unique<shell::HeadlessRun>();
        before_start();
        ASSERT_TRUE(run->start(paths));
        ASSERT_TRUE(run->until_ready(1000));
        ASSERT_NE(run->app.doc(), nullptr);
        if (snap) {
            run->app.display.view.snap = *snap;
        }
        if (!keys.empty()) {
            play(keys);
        }
    }
    // The window and platform of the fresh run, before it starts.
    virtual void before_start() {
    }

    void play(const std::string& keys) {
        ASSERT_TRUE(shell::play_macro(run->app, keys));
        ASSERT_TRUE(run->until_macro_done(20000));
        run->tick(settle_ticks);
    }
    // Ends what is going on and undoes everything: the Data file must be the one from before.  Settings
    // a dialog changed are not undone; `items_only` compares the Item records alone.
    void undo_all_gives(const std::string& before, bool items_only = false) {
        play("Esc Esc");
        if (edit::has_undo(doc())) {
            play("<UA>");
        }
        EXPECT_FALSE(edit::has_undo(doc()));
        if (items_only) {
            EXPECT_EQ(edit_test::item_lines(file()), edit_test::item_lines(before));
        } else {
            EXPECT_EQ(file(), before);
        }
    }

    App& app() {
        return run->app;
    }
    platform::Headless& ui() {
        return run->ui();
    }
    model::Document& doc() {
        return *run->app.doc();
    }
    std::string file() {
        return edit_test::data_file_text();
    }
    void at(double x, double y) {
        edit::jump_cursor(app(), Point{in(x), in(y)});
    }
    Point cursor() {
        return Point{run->app.display.view.cursor_x, run->app.display.view.cursor_y};
    }
    std::string status() {
        return run->app.shell.status.text;
    }
    std::string message(int n) {
        return shell::message_text(run->app, n);
    }
    size_t sounds() {
        return run->ui().sounds.size();
    }
    size_t sounds(platform::Sound s) {
        size_t n = 0;
        for (platform::Sound x : run->ui().sounds) {
            n += x == s ? 1 : 0;
        }
        return n;
    }
};

// A session whose background run (routing, plotting) the test holds at the run's seam before the engine
// starts: install `hold()` in the seam, wait for it, then let it go or cancel it.
class HeldRunSession : public MacroSession {
  protected:
    std::atomic<bool> released{false};
    std::atomic<bool> held{false};

    // A run still held when a check failed must not outlive the flags it reads.
    ~HeldRunSession() override {
        released = true;
        run.reset();
    }
    std::function<void(platform::RunContext&)> hold() {
        return [this](platform::RunContext& r) {
            held = true;
            while (!released && !r.cancelled()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        };
    }
    void wait_until_held() {
        for (int i = 0; i < 5000 && !held; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ASSERT_TRUE(held);
    }
    // Ticks while `busy` says the run goes on (the heartbeat ends it on this thread); whether it ended.
    bool tick_while(const std::function<bool()>& busy) {
        for (int i = 0; i < 5000 && busy(); ++i) {
            run->tick();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return !busy();
    }
};

} // namespace shell_test
