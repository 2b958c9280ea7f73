#pragma once
// A started App on a headless platform that records tones and wave sounds, with the settings, the
// program folder and the user data folder in a fresh temporary directory.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "app/core/install.h"
#include "shell/app.h"
#include "shell/events.h"
#include "shell/heartbeat.h"
#include "shell/keys.h"
#include "shell/macros.h"
#include "shell/settings.h"
#include "shell/shell.h"

namespace trazel::test {

namespace fs = std::filesystem;

class RecordingPlatform : public platform::Headless {
  public:
    void tone(int hz) override {
        tones.push_back({tick, hz});
    }
    void play_wave(const std::vector<uint8_t>& wav) override {
        waves.push_back(wav);
    }
    struct Tone {
        uint32_t tick;
        int hz;
    };
    std::vector<Tone> tones;
    std::vector<std::vector<uint8_t>> waves;
    uint32_t tick = 0; // the shell's tick counter, copied in by the fixture before each tick
};

struct Call {
    uint16_t code;
    shell::Source source;
};

class ServicesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device rd;
        root = fs::temp_directory_path() / ("trazel-keys-" + std::to_string(rd()) + std::to_string(rd()));
        fs::create_directories(root / "bin");
        ::setenv("TRAZEL_CONFIG_DIR", (root / "config").c_str(), 1);
        app = std::make_unique<App>(&ui, &win);
        install_subsystems(*app);
        app->shell.services.config_dir = (root / "config").string();
        app->shell.services.user_data_dir = (root / "data").string();
    }

    void TearDown() override {
        app.reset();
        std::error_code ec;
        fs::remove_all(root, ec);
    }

    // Starts the program (with `files` on its command line) and ticks until it is ready.
    void boot(const std::vector<std::string>& files = {}) {
        std::string cmd = "\"" + (root / "bin" / "trazel").string() + "\"";
        for (const std::string& f : files) {
            cmd += " \"" + f + "\"";
        }
        ASSERT_NE(shell::start(*app, cmd, 32), 0);
        for (int i = 0; i < 200 && (app->shell.phase < 3 || !app->shell.pending_open.empty()); ++i) {
            tick();
        }
        ASSERT_EQ(app->shell.phase, 3);
    }

    void tick(int n = 1) {
        for (int i = 0; i < n; ++i) {
            ui.tick = app->shell.tick;
            shell::on_timer(*app);
        }
    }

    // Records every command of the given groups instead of running it.
    void spy(std::string_view groups) {
        for (char g : groups) {
            shell::set_group_handler(*app, g, [this](App&, uint16_t c, shell::Source source) {
                calls.push_back({c, source});
                return 1;
            });
        }
    }

    std::vector<uint16_t> codes() const {
        std::vector<uint16_t> v;
        for (const Call& c : calls) {
            v.push_back(c.code);
        }
        return v;
    }

    // A plain Document with a snap grid of 1/16 inch (4096 units) and the cursor at the origin.
    model::Document* plain_document(const char* name = "board.pcb") {
        model::Document* d = model::NewDocument((root / name).string());
        display::View& v = app->display.view;
        v.snap = 4096u << 16;
        v.cursor_x = v.cursor_y = 0;
        v.residue_x = v.residue_y = 0;
        display::place_cursor_at(v, display::middle_col(v), display::middle_row(v));
        return d;
    }

    // Presses a key through the translator and the handler, as the window's key messages do.
    void press(int scan, bool extended = false) {
        shell::on_key(*app, scan, extended, true, false);
        shell::on_key(*app, scan, extended, false, false);
    }
    void hold(int scan, bool down) {
        shell::on_key(*app, scan, false, down, false);
    }

    int sounds(platform::Sound s) const {
        int n = 0;
        for (platform::Sound x : ui.sounds) {
            n += x == s;
        }
        return n;
    }

    static std::string slurp(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static void spit(const fs::path& p, std::string_view text) {
        std::ofstream out(p, std::ios::binary);
        out << text;
    }

    fs::path root;
    RecordingPlatform ui;
    platform::HeadlessWindow win;
    std::unique_ptr<App> app;
    std::vector<Call> calls;
};

} // namespace trazel::test
