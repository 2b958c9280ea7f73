#pragma once
// Everything the system expects of the platform: message boxes, dialogs, sound cues, progress, the
// clock, and peeking at waiting input.  The desktop front end and the headless implementation (tests,
// batch tool, fuzzers) both provide it.  Nothing here knows the Document model.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace trazel::platform {

enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel, AbortRetryIgnore, RetryCancel };
enum class Answer { Ok, Cancel, Yes, No, Abort, Retry, Ignore };
enum class Sound { Tick, Peep, Beep, Error };

// A dialog as data: the core fills the fields, the platform shows them and writes the answers back.
struct Field {
    enum class Kind { Label, Text, Number, Check, Choice, List, Picture, File };
    Kind kind = Kind::Text;
    std::string id;                   // stable name the core and scripts use
    std::string label;                // text shown beside the field
    std::string value;                // current value as text ("1"/"0" for checks, index for choices)
    std::vector<std::string> options; // choices and list entries; a file's filters ("Libraries|*.lib")
    double min = 0, max = 0;          // number limits when max > min
    // A picture the user looks at (a Component drawn small): `width` x `height` pixels, 3 bytes each
    // (red, green, blue), rows top down.
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
};

struct Form {
    std::string name;  // the dialog's role name, "GerberOutBox"
    std::string title; // window title
    std::vector<Field> fields;

    Field* field(std::string_view id);
    const Field* field(std::string_view id) const;
    std::string get(std::string_view id) const;
    void set(std::string_view id, std::string value);
};

// A small picture of a file for the open dialog: `width` x `height` RGB pixels, rows top down; empty
// when the file has none to show.
using FilePreview = std::function<std::vector<uint8_t>(const std::string& path, int width, int height)>;
// The size the open dialogs ask for.
constexpr int kFilePreviewWidth = 200, kFilePreviewHeight = 150;

// What a redraw may peek at without taking it from the queue.
struct WaitingInput {
    bool left_release = false;
    bool right_release = false;
    int key_scan = 0; // scan code of a waiting key press, 0 when none
};

class Platform {
  public:
    virtual ~Platform() = default;
    virtual Answer message_box(std::string_view text, std::string_view title, Buttons buttons,
                               int default_button = 0) = 0;
    // Shows the form; returns true when it was closed with OK (fields then hold the answers).
    virtual bool dialog(Form& form) = 0;
    // The same dialog shown again after its values were refused (or to show a new list): a script that
    // has no new answer for it cancels, so a refused answer cannot bring the dialog back for ever.
    virtual bool dialog_again(Form& form) {
        return dialog(form);
    }
    virtual void play(Sound s) = 0;
    // Progress of a long operation; percent -1 ends it.
    virtual void progress(std::string_view what, int percent) = 0;
    virtual WaitingInput peek_input() = 0;
    virtual uint64_t now_ms() = 0;
    // A line for the user that is not a dialog (the batch tool prints it on stderr).
    virtual void report(std::string_view line) = 0;
    // Throws away the key presses waiting to be handled (around a question that a waiting key must not
    // answer by accident).
    virtual void discard_keys() {
    }
    // A sound from memory (a RIFF WAVE image), and a plain tone (hz 0 switches it off); used by the cues.
    virtual void play_wave(const std::vector<uint8_t>& wav) {
        (void)wav;
    }
    virtual void tone(int hz) {
        (void)hz;
    }
    // File dialogs: the chosen full names, none when cancelled.  `filters` are "Description|*.ext;*.ext"
    // entries; `filter_index` is the one shown first and receives the one chosen.  With a `preview`, the
    // open dialog shows the picture it makes of the selected file.
    virtual std::vector<std::string> open_file_dialog(std::string_view title, const std::vector<std::string>& filters,
                                                      int& filter_index, bool multiple,
                                                      const FilePreview& preview = {}) {
        (void)title, (void)filters, (void)filter_index, (void)multiple, (void)preview;
        return {};
    }
    virtual std::string save_file_dialog(std::string_view title, const std::vector<std::string>& filters,
                                         int& filter_index, std::string_view initial) {
        (void)title, (void)filters, (void)filter_index, (void)initial;
        return {};
    }

    // Modeless tool windows: boxes that stay open beside the main window and show what the core puts in
    // their fields; the user reads them, nothing is answered.  A window is named by its form's `name`.
    // Opening an open window replaces its fields; an update shows new values in an open window and
    // leaves a closed one closed.  The user may close a window at any time: ask before relying on it.
    virtual void open_tool_window(const Form& form) {
        (void)form;
    }
    virtual void update_tool_window(const Form& form) {
        (void)form;
    }
    virtual void close_tool_window(std::string_view name) {
        (void)name;
    }
    virtual bool tool_window_open(std::string_view name) {
        (void)name;
        return false;
    }
    // Rafting on: the open tool windows are lined up side by side and move together; off: each on its own.
    virtual void raft_tool_windows(bool on) {
        (void)on;
    }
};

// A form on one line, for reports and the batch tool: `NAME: id=value id=value ...`.  A value with a
// blank, a quote, a backslash or nothing in it is quoted ("..." with \" and \\); a picture is WIDTHxHEIGHT.
std::string form_line(const Form& form);

// The platform in use.  Until one is installed, a quiet headless platform answers with defaults.
Platform& P();
void install(Platform* p);

} // namespace trazel::platform
