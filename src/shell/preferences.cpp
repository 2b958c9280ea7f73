// The preferences dialog "Setup Options" and the Setup group's own commands.
#include "shell/settings.h"

#include <algorithm>
#include <string>

#include "model/fixed.h"
#include "model/numbers.h"
#include "platform/form_builder.h"
#include "shell/app.h"
#include "shell/commands.h"
#include "shell/macros.h"
#include "shell/modes.h"
#include "shell/setup_dialogs.h"
#include "shell/startup.h"
#include "shell/status.h"

namespace trazel::shell {

namespace {

constexpr uint64_t kMinutesToTicks = 0x4446B85;

std::string minutes_text(int32_t m16) {
    // "4.0", "0.5", "2.25": at least one decimal, no trailing zeros beyond it.
    int32_t whole = model::from_units(m16);
    int64_t frac = ((m16 & 0xFFFF) * int64_t{10000} + 0x8000) >> 16;
    if (frac >= 10000) {
        ++whole;
        frac -= 10000;
    }
    std::string f = std::to_string(10000 + frac).substr(1);
    while (f.size() > 1 && f.back() == '0') {
        f.pop_back();
    }
    return std::to_string(whole) + "." + f;
}

std::string minutes_setting(std::string_view typed) {
    std::string_view t = typed;
    while (!t.empty() && t.front() == ' ') {
        t.remove_prefix(1);
    }
    if (t.empty() || starts_with_nocase(t, "off") || starts_with_nocase(t, "n") || !has_digit(t)) {
        return "Off";
    }
    int32_t m = decimal_of(t);
    return m <= 0 ? "Off" : minutes_text(m) + " minutes";
}

std::string minutes_field(uint32_t ticks, std::string_view stored, bool found) {
    if (ticks == 0) {
        return "Off";
    }
    // A stored value below 1/256 minute runs as the default, so it is shown as what runs.
    if (found && has_digit(stored) && decimal_of(stored) >= 256) {
        return minutes_text(decimal_of(stored));
    }
    // Back from ticks (65536 * 2^32 / 0x4446B85 ticks make one minute), to the hundredth of a minute:
    // the tick count is truncated, so 4 minutes come back as 3.9994 otherwise.
    uint64_t m16 = (static_cast<uint64_t>(ticks) << 32) / kMinutesToTicks;
    uint64_t hundredths = (m16 * 100 + 0x8000) >> 16;
    return minutes_text(static_cast<int32_t>((hundredths << 16) / 100));
}

struct YesNoSetting {
    const char* id;
    const char* name;
};

constexpr YesNoSetting kPreferenceChecks[] = {
    {"display_logs", "Display Logs"},
    {"popup_menus", "Popup Menus"},
    {"animated_icon", "Animated Icon"},
    {"undo_beyond_save", "Un-Do Beyond Save to Disk"},
    {"purge_redo_notification", "Purge Re-Do Notification"},
    {"sound_card_tones", "Sound Blaster Tones"},
    {"thick_crosshair", "Thick Cross-hair Cursor"},
    {"zoom_with_mouse", "Zoom with Mouse Buttons"},
    {"auto_open_project", "Auto-open Project Files"},
    {"explorer_open", "Explorer File Open"},
    {"open_expand", "Open File Name Expand"},
};

} // namespace

int setup_options(App& app) {
    Options& o = app.shell.options;
    const bool current[] = {
        o.display_logs,     o.popup_menus,     o.animated_icon,   o.undo_beyond_save,  o.purge_redo_notification,
        o.sound_card_tones, o.thick_crosshair, o.zoom_with_mouse, o.auto_open_project, o.explorer_open,
        o.open_expand};
    platform::FormBuilder box("SetupOptionsBox", "Setup Options");
    for (size_t i = 0; i < std::size(kPreferenceChecks); ++i) {
        box.check(kPreferenceChecks[i].id, kPreferenceChecks[i].name, current[i]);
    }
    bool found = false;
    std::string stored = read_setting(app, "Autosave Timer", &found);
    box.text("autosave", "Autosave Timer (minutes, or Off)", minutes_field(o.autosave_ticks, stored, found));
    stored = read_setting(app, "Sleep Mode Timer", &found);
    box.text("sleep", "Sleep Mode Timer (minutes, or Off)",
             minutes_field(o.sleep_ticks, setting_is_yes(stored) ? "1" : stored, found));
    platform::Form form = std::move(box)
                              .check("accept_handover", "Accetta files da explorer.", !app.shell.refuse_handover)
                              .check("save_window", "Save the window position and screen", false)
                              .check("save_printer", "Save the printer setup", false)
                              .check("save_mask", "Save the file name mask", false)
                              .check("restore_macros", "Restore the default keystroke macros", false)
                              .build();

    if (!run_dialog(app, form)) {
        return 0;
    }
    for (const YesNoSetting& s : kPreferenceChecks) {
        write_setting(app, s.name, form.get(s.id) == "1" ? "Y" : "N");
    }
    write_setting(app, "Autosave Timer", minutes_setting(form.get("autosave")));
    write_setting(app, "Sleep Mode Timer", minutes_setting(form.get("sleep")));
    // The three file dialog options are taken from the form rather than re-read with the start-up
    // settings, which would also put back the stored file name mask over the one in use (saved below).
    o.auto_open_project = form.get("auto_open_project") == "1";
    o.explorer_open = form.get("explorer_open") == "1";
    o.open_expand = form.get("open_expand") == "1";
    read_display_settings(app);

    bool accept = form.get("accept_handover") == "1";
    o.accept_handover = accept;
    if (app.shell.phase >= 2) {
        app.shell.refuse_handover = !accept;
    }
    if (form.get("save_window") == "1") {
        platform::PixelRect r = app.window().window_rect();
        std::string pos = app.shell.window_maximized
                              ? std::string("Maximized")
                              : std::to_string(r.left) + "," + std::to_string(r.top) + " " +
                                    std::to_string(r.right - r.left + 1) + "x" + std::to_string(r.bottom - r.top + 1);
        write_setting(app, "Window Position", pos);
        if (app.shell.monitor == 0) {
            delete_setting(app, "Window Screen");
        } else {
            write_setting(app, "Window Screen", std::to_string(app.shell.monitor & 7));
        }
    }
    if (form.get("save_printer") == "1" && !app.shell.services.printer_setup.empty()) {
        write_raw_setting(app, "Printer Setup", app.shell.services.printer_setup);
    }
    if (form.get("save_mask") == "1") {
        write_setting(app, "Open File Name Mask Index", std::to_string(o.open_mask_index % 10));
    }
    if (form.get("restore_macros") == "1") {
        confirm_restore_macros(app);
    }
    refresh_status_bar(app);
    return 1;
}

namespace {

// Setup menu window placements, 0x5370 to 0x5375.
constexpr const char* kPlacements[] = {"Full", "Left", "Right", "Top", "Bottom", "Center"};

int setup_group(App& app, uint16_t cmd, Source source) {
    (void)source;
    if (cmd == code('S', 'O')) {
        return setup_options(app);
    }
    if (cmd == code('S', 'K')) {
        return setup_keystroke_macros(app);
    }
    if (cmd >= kPlaceFull && cmd <= kPlaceCentre) {
        apply_window_position(app, kPlacements[cmd - kPlaceFull]);
        return 1;
    }
    if (is_setup_dialog(cmd)) {
        return setup_dialog(app, cmd);
    }
    error_sound(app);
    return 0;
}

} // namespace

void install_setup_group(App& app) {
    set_group_handler(app, 'S', setup_group);
}

} // namespace trazel::shell
