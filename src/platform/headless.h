#pragma once
// The headless platform: answers message boxes and dialogs from a script, records what was shown.
#include <deque>
#include <functional>
#include <map>

#include "platform/platform.h"

namespace trazel::platform {

class Headless : public Platform {
  public:
    struct Shown {
        std::string title, text;
        Buttons buttons;
        Answer answer;
    };
    struct DialogAnswer {
        bool ok = true;
        std::map<std::string, std::string> values; // field id -> value
    };

    Answer message_box(std::string_view text, std::string_view title, Buttons buttons,
                       int default_button = 0) override;
    bool dialog(Form& form) override;
    bool dialog_again(Form& form) override;
    void play(Sound s) override;
    void progress(std::string_view what, int percent) override;
    WaitingInput peek_input() override;
    uint64_t now_ms() override;
    void report(std::string_view line) override;
    void discard_keys() override {
        ++key_discards;
    }
    void open_tool_window(const Form& form) override;
    void update_tool_window(const Form& form) override;
    void close_tool_window(std::string_view name) override;
    bool tool_window_open(std::string_view name) override;
    void raft_tool_windows(bool on) override {
        tool_raft = on;
    }
    // Answers with the next names of `open_answers` (none queued: cancelled).  With a preview, the first
    // name answered is drawn at the dialogs' size and kept in `previews`.
    std::vector<std::string> open_file_dialog(std::string_view title, const std::vector<std::string>& filters,
                                              int& filter_index, bool multiple, const FilePreview& preview) override;
    // The open tool window of that name with its current values, nullptr when none is open.
    const Form* tool_window(std::string_view name) const;

    // Script: answers are taken in order; when none is queued the default button answers.
    std::deque<Answer> answers;
    std::map<std::string, std::deque<DialogAnswer>> dialog_answers; // by form name
    std::function<WaitingInput()> input_script;
    std::function<void(std::string_view)> report_sink;
    std::function<void(std::string_view, int)> progress_sink;
    uint64_t clock_ms = 0;
    std::deque<std::vector<std::string>> open_answers;

    // Record
    int key_discards = 0;
    std::vector<Form> tool_windows; // open, in the order they were first opened
    bool tool_raft = false;
    int tool_updates = 0; // updates that reached an open window
    std::vector<Shown> boxes;
    std::vector<Form> dialogs;
    std::vector<Sound> sounds;
    std::vector<std::string> reports;
    struct Preview {
        std::string path;
        std::vector<uint8_t> rgb; // kFilePreviewWidth x kFilePreviewHeight, or empty
    };
    std::vector<Preview> previews;
};

} // namespace trazel::platform
