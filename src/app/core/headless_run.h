#pragma once
// A small driver for the shell without a desktop: an App with a HeadlessWindow and a scripted Headless
// platform, events queued by hand and ticks run one after another.  Tests use it, and the batch tool's
// `macro` verb plays keystroke macros on a file through it.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/headless.h"
#include "platform/window.h"
#include "shell/app.h"
#include "shell/events.h"

namespace trazel::shell {

struct HeadlessRun {
    // The settings live in a fresh folder of their own unless `config_dir` names one; the window's client
    // area is width x height pixels.
    explicit HeadlessRun(int width = 1024, int height = 768, std::string config_dir = {},
                         platform::Headless* platform = nullptr);
    ~HeadlessRun();
    HeadlessRun(const HeadlessRun&) = delete;
    HeadlessRun& operator=(const HeadlessRun&) = delete;

    // start() with a program name of `program_dir` + "trazel" and the files quoted after it.
    int start(const std::vector<std::string>& files = {}, int depth = 32, std::string_view extra = {});
    // Runs n ticks (the front end's 55 ms timer).
    void tick(int n = 1);
    // Ticks until start-up is done and no file is pending; false when `limit` ticks were not enough.
    bool until_ready(int limit = 200);
    // Ticks while a keystroke macro plays; false when it still plays after `limit` ticks.
    bool until_macro_done(int limit);

    // Input.  key() presses and releases a key (scan code with the extended flag).
    void key(int scan, bool extended = false);
    void key_down(int scan, bool extended = false);
    void key_up(int scan, bool extended = false);
    void move(int x, int y);
    void press(Button b);
    void release(Button b);
    // A press, `hold_ticks` timer ticks, and the release.
    void click(Button b, int hold_ticks = 0);
    void menu(uint16_t code);
    void paint(const std::vector<display::Rect>& update = {});

    platform::Headless& ui() {
        return *ui_;
    }
    platform::HeadlessWindow window;

  private:
    std::unique_ptr<platform::Headless> own_ui_;
    platform::Headless* ui_;
    std::string temp_config_;

  public:
    App app;
};

// A batch run of a keystroke macro on a file: load, play through the real key handler, save.
struct MacroJob {
    std::string input, output;
    std::string keys;                                         // the macro text
    std::map<std::string, std::vector<std::string>> answers; // message box title -> buttons, in order
    std::map<std::string, std::map<std::string, std::string>> dialogs; // form name -> field -> value
    std::string config_dir; // empty: a fresh settings folder of its own
    std::string program_dir; // the program's folder ("TEMPLATE", "Backup", "Autosave" beside it), "/" last
    std::string library_path; // the "Library Path" setting for the run; empty: as the settings say
    int max_ticks = 200000;
    int width = 1024, height = 768;
};

// The platform of a macro job: message boxes are answered by title from the job (the last answer of a
// title stays for later boxes of that title), dialogs from its field values, both else with defaults.
class MacroPlatform : public platform::Headless {
  public:
    explicit MacroPlatform(const MacroJob& job);
    platform::Answer message_box(std::string_view text, std::string_view title, platform::Buttons buttons,
                                 int default_button = 0) override;
    bool dialog(platform::Form& form) override;
    // A dialog shown again keeps the job's answer only when the job has none for it (then it cancels).
    bool dialog_again(platform::Form& form) override;
    std::vector<std::string> open_file_dialog(std::string_view title, const std::vector<std::string>& filters,
                                              int& filter_index, bool multiple,
                                              const platform::FilePreview& preview) override;
    std::string save_file_dialog(std::string_view title, const std::vector<std::string>& filters, int& filter_index,
                                 std::string_view initial) override;

  private:
    std::map<std::string, std::vector<std::string>> answers_;
    std::map<std::string, size_t> used_;
    std::map<std::string, std::map<std::string, std::string>> dialogs_;
};

// A button name ("ok", "yes", "no", "cancel", "abort", "retry", "ignore", any case) to an answer.
bool answer_of(std::string_view name, platform::Answer& out);

// Runs the job; returns 0 on success, 1 on failure with the reason in `error`.  `log` receives the
// message boxes and reports of the run, one line each.
// `notices` receives what the run did on its own that the user should know (one line each).
int run_macro_job(const MacroJob& job, std::string* error, std::vector<std::string>* log = nullptr,
                  std::vector<std::string>* notices = nullptr);

} // namespace trazel::shell
