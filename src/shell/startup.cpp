// Start-up: the command line, the window placement, the order of start-up, the phases of the first
// ticks, the pending files and the hand-over from a second start.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "display/display.h"
#include "model/datafile.h"
#include "shell/app.h"
#include "shell/commands.h"
#include "shell/events.h"
#include "shell/menus.h"
#include "shell/modes.h"
#include "shell/settings.h"
#include "shell/startup.h"
#include "shell/status.h"
#include "shell/surfaces.h"
#include "shell/window_events.h"

namespace trazel::shell {

namespace {

constexpr const char* kProgramTitle = "TRAZEL'98 for Windows";
constexpr const char* kShortTitle = "TRAZEL'98";
constexpr uint32_t kTextScaleNarrow = 0x24924925; // plain text Documents on screens up to 1280 wide
constexpr uint32_t kTextScaleWide = 0x49249249;
constexpr int kTextLeftMargin = 8;
constexpr int kTextBottomMargin = 14;

bool is_sep(char c) {
    return c == '/' || c == '\\';
}

// An unquoted name runs up to a blank followed by a drive letter and a colon, so that names with blanks
// work without quotes.  A blank before another absolute name, an option or a quoted name ends it too.
size_t unquoted_end(std::string_view s, size_t i) {
    for (size_t j = i; j < s.size(); ++j) {
        if (s[j] != ' ') {
            continue;
        }
        if (j + 1 >= s.size()) {
            return j;
        }
        char n = s[j + 1];
        bool drive = j + 2 < s.size() && std::isalpha(static_cast<unsigned char>(n)) && s[j + 2] == ':';
        if (drive || is_sep(n) || n == '-' || n == '"' || n == ' ') {
            return j;
        }
    }
    return s.size();
}

std::vector<int> numbers_in(std::string_view s) {
    std::vector<int> out;
    size_t i = 0;
    while (i < s.size()) {
        bool neg = false;
        if (s[i] == '-' && i + 1 < s.size() && std::isdigit(static_cast<unsigned char>(s[i + 1]))) {
            neg = true;
            ++i;
        }
        if (std::isdigit(static_cast<unsigned char>(s[i]))) {
            long v = 0;
            while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
                v = std::min(v * 10 + (s[i] - '0'), 1L << 30);
                ++i;
            }
            out.push_back(static_cast<int>(neg ? -v : v));
        } else {
            ++i;
        }
    }
    return out;
}

platform::PixelRect centred(const platform::PixelRect& screen, int w, int h) {
    int sw = screen.right - screen.left + 1, sh = screen.bottom - screen.top + 1;
    platform::PixelRect r;
    r.left = screen.left + (sw - w) / 2;
    r.top = screen.top + (sh - h) / 2;
    r.right = r.left + w - 1;
    r.bottom = r.top + h - 1;
    return r;
}

platform::PixelRect current_screen(const App& app) {
    const Shell& s = app.shell;
    return {s.monitor_y, s.monitor_x, s.monitor_y + s.monitor_h1, s.monitor_x + s.monitor_w1};
}

std::string absolute(const std::string& name) {
    std::error_code ec;
    std::filesystem::path p(name);
    std::filesystem::path a = std::filesystem::absolute(p, ec);
    if (ec) {
        return name;
    }
    std::filesystem::path c = std::filesystem::weakly_canonical(a, ec);
    return ec ? a.string() : c.string();
}

} // namespace

// The view takes the grid, the read-out and the relative origin of the Document that became current.
void take_document_view(App& app) {
    model::Document* d = app.doc();
    if (!d) {
        return;
    }
    display::View& v = app.display.view;
    const model::Setup& s = d->setup;
    v.snap = s.snap;
    v.decimals = s.decimals;
    v.display_grid = s.grid_dots;
    v.rel_x = s.origin_x;
    v.rel_y = s.origin_y;
    v.rel_set = s.origin_x != 0 || s.origin_y != 0;
    v.grid_names = s.snap_table;
    v.grid_index = s.snap_index;
    // The Document's screen colours.
    app.display.slots.colour[display::kSlotBackground] = s.background;
    app.display.slots.colour[display::kSlotGridDots] = s.grid_colour;
    app.display.slots.colour[display::kSlotHighlight] = s.highlight;
    app.display.slots.colour[display::kSlotMarker] = s.attention;
    display::convert_slots(app.display.slots, app.display.format);
}

CommandLine parse_command_line(std::string_view line, bool handover) {
    CommandLine out;
    size_t i = 0;
    auto skip_blanks = [&] {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) {
            ++i;
        }
    };
    skip_blanks();
    // The program's own name: quoted, or up to the first blank.
    std::string program;
    if (i < line.size() && line[i] == '"') {
        size_t end = line.find('"', i + 1);
        program = std::string(line.substr(i + 1, end == std::string_view::npos ? std::string_view::npos : end - i - 1));
        i = end == std::string_view::npos ? line.size() : end + 1;
    } else {
        size_t end = line.find(' ', i);
        program = std::string(line.substr(i, end == std::string_view::npos ? std::string_view::npos : end - i));
        i = end == std::string_view::npos ? line.size() : end;
    }
    size_t slash = program.find_last_of("/\\");
    out.program_dir = slash == std::string::npos ? std::string() : program.substr(0, slash + 1);

    while (true) {
        skip_blanks();
        if (i >= line.size()) {
            break;
        }
        std::string word;
        if (line[i] == '"') {
            size_t end = line.find('"', i + 1);
            if (end == std::string_view::npos) {
                end = line.size();
            }
            word = std::string(line.substr(i + 1, end - i - 1));
            i = std::min(line.size(), end + 1);
            if (!word.empty()) {
                out.files.push_back(word);
            }
            continue;
        }
        if (line[i] == '-') {
            size_t end = line.find(' ', i);
            word = std::string(line.substr(i, end == std::string_view::npos ? std::string_view::npos : end - i));
            i = end == std::string_view::npos ? line.size() : end;
            if (!handover && word.size() >= 3 && (word[1] == 's' || word[1] == 'S') &&
                std::isdigit(static_cast<unsigned char>(word[2]))) {
                out.monitor = (word[2] - '0') & 7;
            }
            continue; // other options (and every option handed over) are skipped
        }
        size_t end = unquoted_end(line, i);
        word = std::string(line.substr(i, end - i));
        i = end;
        if (!word.empty()) {
            out.files.push_back(word);
        }
    }
    return out;
}

Placement window_placement(std::string_view setting, const platform::PixelRect& screen) {
    int sw = screen.right - screen.left + 1, sh = screen.bottom - screen.top + 1;
    Placement p;
    p.rect = centred(screen, sw / 2, sh / 2);
    if (equals_nocase(setting, "Full")) {
        p.rect = screen;
    } else if (equals_nocase(setting, "Left")) {
        p.rect = {screen.top, screen.left, screen.bottom, screen.left + sw / 2 - 1};
    } else if (equals_nocase(setting, "Right")) {
        p.rect = {screen.top, screen.left + sw / 2, screen.bottom, screen.right};
    } else if (equals_nocase(setting, "Top")) {
        p.rect = {screen.top, screen.left, screen.top + sh / 2 - 1, screen.right};
    } else if (equals_nocase(setting, "Bottom")) {
        p.rect = {screen.top + sh / 2, screen.left, screen.bottom, screen.right};
    } else if (equals_nocase(setting, "Center") || equals_nocase(setting, "Centre")) {
        // centred half size, as set above
    } else {
        std::vector<int> n = numbers_in(setting);
        if (n.size() == 4 && n[2] >= kMinWindowWidth && n[3] >= kMinWindowHeight && n[0] >= 0 && n[1] >= 0 &&
            n[0] + n[2] <= sw && n[1] + n[3] <= sh) {
            p.rect = {screen.top + n[1], screen.left + n[0], screen.top + n[1] + n[3] - 1,
                      screen.left + n[0] + n[2] - 1};
        } else {
            // "Maximized", nothing, or numbers that do not fit: maximized over a centred half-size window.
            p.maximized = true;
        }
    }
    return p;
}

void apply_window_position(App& app, std::string_view position) {
    Placement p = window_placement(position, current_screen(app));
    app.shell.window_position = std::string(position);
    app.shell.window_maximized = p.maximized;
    app.window().place_window(p.rect, p.maximized);
}

void update_title(App& app) {
    model::Document* d = app.doc();
    app.shell.title = d ? d->name() : std::string(kShortTitle);
    app.window().set_title(app.shell.title);
}

void add_pending(App& app, const std::vector<std::string>& files) {
    for (const std::string& f : files) {
        if (!f.empty()) {
            app.shell.pending_open.push_back(absolute(f));
        }
    }
}

int start(App& app, std::string_view command_line, int depth) {
    Shell& s = app.shell;
    // 2. The screen depth is the one the drawing buffer is made with.
    if (depth != 8 && depth != 16 && depth != 24 && depth != 32) {
        app.platform().message_box("This Program requires 8, 16, 24, or 32 bpp video mode.", kShortTitle,
                                   platform::Buttons::Ok);
        return 0;
    }
    app.depth = depth;
    s.command_line = std::string(command_line);
    CommandLine cl = parse_command_line(command_line, false);
    // 8. The program directory.
    s.program_dir = cl.program_dir;

    // 4. Monitor and placement from the settings; 10. the monitor table (needed for the placement).
    enumerate_monitors(app);
    std::string screen = read_setting(app, "Window Screen");
    int monitor = 0;
    if (!screen.empty() && std::isdigit(static_cast<unsigned char>(screen[0]))) {
        monitor = std::atoi(screen.c_str()) & 7;
    }
    // 12/13. "-s" with a digit chooses the monitor when it exists.
    if (cl.monitor >= 0) {
        monitor = cl.monitor;
    }
    if (monitor >= s.monitor_count) {
        monitor = 0;
    }
    s.monitor = monitor;
    const platform::PixelRect& mr = s.monitors[static_cast<size_t>(monitor)].rect;
    s.monitor_x = mr.left;
    s.monitor_y = mr.top;
    s.monitor_w1 = mr.right - mr.left;
    s.monitor_h1 = mr.bottom - mr.top;
    std::string position = read_setting(app, "Window Position");

    // 5. The menu bar and the window.
    app.window().set_menu_bar(s.menu_bar);
    enumerate_monitors(app);
    s.title = kProgramTitle;
    app.window().set_title(s.title);
    apply_window_position(app, position.empty() ? "Maximized" : position);
    for (int i = 0; i < s.monitor_count; ++i) {
        set_menu_item_state(app, static_cast<uint16_t>(kMonitorDialog + i), i == s.monitor, true);
    }

    // 6. Cursor, menu bar, display defaults.
    app.window().set_cursor_shape(platform::CursorShape::Arrow);
    s.menu_bar_shown = true;
    display::ColourSlots& slots = app.display.slots;
    slots.colour[display::kSlotGridDots] = 0xFFFFFF;
    slots.colour[display::kSlotBackground] = 0x909090;
    slots.colour[display::kSlotHighlight] = 0xFFFFFF;
    slots.colour[display::kSlotMarker] = 0xFFFF00;
    display::View& v = app.display.view;
    v.scale = display::kStartScale;
    v.min_scale = display::kMinZoomOutScale;
    v.snap = 0;
    v.display_grid = 0;
    v.decimals = 3;

    // 9. The tables the program carries.
    load_messages(app);

    // 11. File dialog settings.
    read_startup_settings(app);

    // 12. The files to open, one per tick.
    add_pending(app, cl.files);

    // 14. The surfaces.
    if (!create_surfaces(app)) {
        destroy_window(app);
        return 0;
    }
    display::set_surface(app.display, app.display.buffer, kStatusBarRows);
    v.cursor_col = display::middle_col(v);
    v.cursor_row = display::middle_row(v);
    display::place_cursor_at(v, v.cursor_col, v.cursor_row);
    return 1;
}

bool on_handover(App& app, std::string_view command_line) {
    Shell& s = app.shell;
    if (s.destroyed || s.refuse_handover) {
        return false;
    }
    app.window().bring_to_front();
    CommandLine cl = parse_command_line(command_line, true);
    add_pending(app, cl.files);
    return true;
}

int open_pending_file(App& app) {
    Shell& s = app.shell;
    if (s.refuse_handover || s.pending_open.empty()) {
        return 0;
    }
    std::string name;
    // The first pending name whose file exists; the missing ones before it are dropped with the error sound.
    while (!s.pending_open.empty()) {
        std::string n = s.pending_open.front();
        s.pending_open.pop_front();
        std::error_code ec;
        if (std::filesystem::is_regular_file(n, ec)) {
            name = n;
            break;
        }
        error_sound(app);
    }
    if (name.empty()) {
        return 1;
    }
    if (model::FindDocument(name)) {
        error_sound(app);
        ask(app, "The specified data file is currently open.\n\nIt must be closed before it can be re-opened.",
            "File Open Error", platform::Buttons::Ok);
        return 1;
    }
    if (!open_document(app, name, 0)) {
        return 1;
    }
    app.window().invalidate(std::nullopt);
    return 1;
}

int open_document(App& app, const std::string& name, char forced) {
    model::Document* d = model::NewDocument(name);
    if (!d) {
        error_sound(app);
        return 0;
    }
    std::string why;
    char code = model::OpenDocumentFile(app.formats, name, forced, &why);
    if (code == 0) {
        model::close_document(d);
        error_sound(app);
        ask(app, "Unable to open \"" + name + "\".\n\n" + why, "File Open Error", platform::Buttons::Ok);
        take_document_view(app);
        update_title(app);
        return 0;
    }
    d->modified_bits = 0;
    d->backup_made = false;
    // The Document's pixels follow the screen's format.
    display::set_pixel_format(app.display, app.display.format, &app.model);
    take_document_view(app);
    update_title(app);
    add_recent_file(app, name);
    show_document(app);
    return 1;
}

void show_document(App& app) {
    model::Document* d = app.doc();
    if (!d) {
        return;
    }
    take_document_view(app);
    if (d->setup.format_code == 'Z') {
        // Plain text: a fixed scale, the text's origin near the bottom left of the drawing area.
        display::View& v = app.display.view;
        v.scale = app.shell.surface.width <= 1280 ? kTextScaleNarrow : kTextScaleWide;
        const display::Rect& clip = app.shell.surface.visible.empty() ? v.area : app.shell.surface.visible.front();
        v.origin_x = -(clip.left + kTextLeftMargin);
        v.origin_y = v.area.bottom - kTextBottomMargin - (v.drawing_height - 1);
        display::update_cursor_pixel(v);
        redraw(app);
        return;
    }
    execute_command(app, code('Z', 'X'), kSourceKey);
}

void phase_tick(App& app) {
    Shell& s = app.shell;
    switch (s.phase) {
    case 0:
        play_event_sound(app, "Open");
        s.phase = 1;
        s.surface.stale = true;
        app.window().invalidate(std::nullopt);
        break;
    case 1:
        if (s.tick >= static_cast<uint32_t>(kPhase1Tick)) {
            phase1_setup(app);
            s.phase = 2;
        }
        break;
    case 2:
        update_title(app);
        s.refuse_handover = !s.options.accept_handover;
        s.phase = 3;
        break;
    default:
        break;
    }
}

void phase1_setup(App& app) {
    read_display_settings(app);
    app.display.thick_crosshair = app.shell.options.thick_crosshair;
    load_messages(app);
    build_reopen_menu(app);
    app.shell.popup_menu = build_popup_menu();
}

} // namespace trazel::shell
