#include "shell/keys.h"

#include <algorithm>
#include <charconv>

#include "display/view.h"
#include "model/model.h"
#include "model/numbers.h"
#include "resources/resources.h"
#include "shell/app.h"
#include "shell/commands.h"
#include "shell/macros.h"
#include "shell/menus.h"
#include "shell/modes.h"
#include "shell/mouse.h"
#include "shell/settings.h"
#include "shell/status.h"
#include "shell/window_events.h"

namespace trazel::shell {

namespace {

constexpr std::string_view kCoordinatePrompt = "Enter new X,Y cursor position:";
constexpr size_t kCoordinateTextMax = 40;

uint8_t char_of(uint16_t key) {
    return static_cast<uint8_t>(key & 0xFF);
}

uint8_t scan_of(uint16_t key) {
    return static_cast<uint8_t>(key >> 8);
}

char upper(uint8_t c) {
    return static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
}

bool is_letter(uint8_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool is_keypad_row(int row) {
    return row >= kScanKeypadFirst && row <= kScanKeypadLast;
}

// The digit of a keypad key (non-extended rows 71..82), -1 for keypad "-", "+", "5"'s neighbours etc.
int keypad_digit(int row) {
    static constexpr int kDigits[] = {7, 8, 9, -1, 4, 5, 6, -1, 1, 2, 3, 0, -1};
    return is_keypad_row(row) ? kDigits[row - kScanKeypadFirst] : -1;
}

KeyTable& table(App& app) {
    KeyTable& t = app.shell.services.keys;
    if (!t.loaded) {
        load_key_table(t);
    }
    return t;
}

bool equal_name(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    if (a.size() == 1) {
        return a == b;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (upper(static_cast<uint8_t>(a[i])) != upper(static_cast<uint8_t>(b[i]))) {
            return false;
        }
    }
    return true;
}

void call(const std::function<void()>& f) {
    if (f) {
        f();
    }
}

// The editor redraws what hangs on the cursor after it moved (the hook joins EditHooks with the editor).
template <class Hooks> void notify_editor(App& app, Hooks& hooks) {
    if constexpr (requires { hooks.cursor_moved; }) {
        if (hooks.cursor_moved) {
            hooks.cursor_moved(app);
        }
    }
}

void cursor_moved(App& app) {
    call(app.display.view.hooks.readout_refresh);
    notify_editor(app, app.shell.edit);
}

// --- Typed coordinates --------------------------------------------------------------------------

model::Coord add_clamped(model::Coord a, model::Coord b) {
    return static_cast<model::Coord>(std::clamp<int64_t>(int64_t{a} + b, INT32_MIN + 1, INT32_MAX));
}

void show_entry(App& app) {
    show_text(app, std::string(kCoordinatePrompt) + "  " + app.shell.services.coord_text, false, true);
}

// Puts the cursor on a Document point: snapped, and the view moved to it when it is off the margins.
void move_cursor_to(App& app, model::Coord x, model::Coord y) {
    display::View& v = app.display.view;
    v.cursor_x = x;
    v.cursor_y = y;
    v.residue_x = v.residue_y = 0;
    display::snap_cursor(v);
    if (!display::inside_margins(v, v.cursor_col, v.cursor_row)) {
        display::place_cursor_at(v, display::middle_col(v), display::middle_row(v));
        redraw(app);
    } else {
        call(v.hooks.crosshair_refresh);
    }
    cursor_moved(app);
}

// The entry ends; the function it interrupted (a polyline being drawn) goes on with its prompt.
void end_coordinate_entry(App& app) {
    Shell& s = app.shell;
    s.modal_key = nullptr;
    s.services.coord_text.clear();
    show_text(app, "");
    s.prompt = s.services.coord_under_prompt;
    s.services.coord_under_prompt.clear();
    refresh_status_bar(app);
}

int coordinate_key(App& app, uint16_t key) {
    std::string& text = app.shell.services.coord_text;
    if (key == kKeyEnter) {
        model::Coord x = 0, y = 0;
        const display::View& v = app.display.view;
        if (!parse_typed_point(text, v.rel_x, v.rel_y, x, y)) {
            error_sound(app);
            return 0;
        }
        end_coordinate_entry(app);
        move_cursor_to(app, x, y);
        return 1;
    }
    if (key == kKeyEscape) {
        end_coordinate_entry(app);
        return 1;
    }
    if (key == kKeyBackspace) {
        if (!text.empty()) {
            text.pop_back();
        }
        show_entry(app);
        return 1;
    }
    uint8_t c = char_of(key);
    if (c >= ' ' && c < 0x7F && text.size() < kCoordinateTextMax) {
        text += static_cast<char>(c);
        show_entry(app);
        return 1;
    }
    beep(app);
    return 0;
}

bool starts_coordinates(uint16_t key) {
    uint8_t c = char_of(key), s = scan_of(key);
    return (c >= '0' && c <= '9' && s >= 2 && s <= 11) || (c == '-' && s == 0x0C) || (c == '+' && s == 0x0D);
}

int start_coordinate_entry(App& app, uint16_t key) {
    if (!app.shell.trazel_mode) {
        enter_trazel_mode(app);
    }
    // Only the keys are taken: the current function keeps its handlers, so coordinates can be typed
    // between the clicks of a line or a polygon.
    app.shell.services.coord_under_prompt = app.shell.prompt;
    app.shell.prompt = std::string(kCoordinatePrompt);
    app.shell.modal_key = coordinate_key;
    app.shell.services.coord_text.assign(1, static_cast<char>(char_of(key)));
    show_entry(app);
    return 1;
}

// --- Cursor steps ---------------------------------------------------------------------------------

struct Step {
    uint16_t key;
    int dx, dy;
};

// Keypad keys without Num Lock, the grey keys (0xE0), keypad digits with Num Lock, and Ctrl forms.
constexpr Step kSteps[] = {
    {0x4800, 0, 1},     {0x48E0, 0, 1},       {0x5000, 0, -1},      {0x50E0, 0, -1},     {0x4B00, -1, 0},
    {0x4BE0, -1, 0},    {0x4D00, 1, 0},       {0x4DE0, 1, 0},       {0x4700, -1, 1},     {0x47E0, -1, 1},
    {0x4900, 1, 1},     {0x49E0, 1, 1},       {0x4F00, -1, -1},     {0x4FE0, -1, -1},    {0x5100, 1, -1},
    {0x51E0, 1, -1},    {0x4838, 0, 10},      {0x5032, 0, -10},     {0x4B34, -10, 0},    {0x4D36, 10, 0},
    {0x4737, -10, 10},  {0x4939, 10, 10},     {0x4F31, -10, -10},   {0x5133, 10, -10},   {0x8D00, 0, 100},
    {0x8DE0, 0, 100},   {0x9100, 0, -100},    {0x91E0, 0, -100},    {0x7300, -100, 0},   {0x73E0, -100, 0},
    {0x7400, 100, 0},   {0x74E0, 100, 0},     {0x7700, -100, 100},  {0x77E0, -100, 100}, {0x8400, 100, 100},
    {0x84E0, 100, 100}, {0x7500, -100, -100}, {0x75E0, -100, -100}, {0x7600, 100, -100}, {0x76E0, 100, -100},
};

const Step* find_step(uint16_t key) {
    for (const Step& s : kSteps) {
        if (s.key == key) {
            return &s;
        }
    }
    return nullptr;
}

int step_cursor(App& app, int dx, int dy) {
    display::View& v = app.display.view;
    if (app.shell.trazel_mode) {
        // By whole snap spacings (one pixel's worth when snapping is off), from the snapped point.
        int64_t unit = v.snap >= display::kSnapOff
                           ? int64_t{v.snap}
                           : int64_t{std::max<display::Coord>(1, display::pixels_to_length(v, 1))} << 16;
        v.residue_x = v.residue_y = 0;
        // The keys move the cursor across the screen, whichever way mirror view shows x.
        int64_t sx = v.mirror ? -int64_t{dx} : dx;
        int moved = display::move_cursor_by(v, sx * unit / 65536, dy * unit / 65536, app.doc() != nullptr);
        if (moved) {
            cursor_moved(app);
        }
        return 1;
    }
    // Windows mode: the pointer moves by pixels inside the drawing area; the view takes the excess.
    const display::Rect& a = v.area;
    int nx = app.shell.mouse_x + dx, ny = app.shell.mouse_y - dy;
    int ex = nx < a.left ? nx - a.left : nx > a.right ? nx - a.right : 0;
    int ey = ny < a.top ? ny - a.top : ny > a.bottom ? ny - a.bottom : 0;
    nx -= ex;
    ny -= ey;
    if ((ex != 0 || ey != 0) && app.doc()) {
        // The contents move against the pointer's excess (see move_cursor_by for the origin signs).
        int sdx = -ex, sdy = -ey;
        v.origin_x -= sdx;
        v.origin_y += sdy;
        if (v.hooks.scroll) {
            v.hooks.scroll(sdx, sdy);
        }
    }
    app.window().warp_mouse(nx, ny);
    app.shell.mouse_x = nx;
    app.shell.mouse_y = ny;
    display::set_cursor_from_pixel(v, nx, ny);
    cursor_moved(app);
    return 1;
}

// --- Fixed keys -----------------------------------------------------------------------------------

int run(App& app, char group, char letter) {
    return execute_command(app, code(group, letter), kSourceKey);
}

void lend_for_menu(App& app) {
    if (app.shell.trazel_mode || !app.shell.menu_bar_shown) {
        lend_menu_bar(app, 1);
    }
}

void open_group_menu(App& app, char group) {
    size_t index = kMenuLetters.find(group);
    if (index == std::string_view::npos) {
        return;
    }
    lend_for_menu(app);
    app.window().open_menu(static_cast<int>(index));
}

// Enter in TRAZEL mode: a left click, but with a beep where the mouse would open a menu.
int enter_as_click(App& app) {
    for (const HandlerPair& p : app.shell.slots) {
        if (p.left) {
            ClickHandler h = p.left;
            return h(app);
        }
    }
    if (app.shell.repeat_command) {
        return execute_command(app, app.shell.repeat_command, kSourceRepeat);
    }
    if (items_on_cursor(app)) {
        return drop_items(app);
    }
    beep(app);
    return 0;
}

int step_layer(App& app, int dir) {
    model::Document* d = app.doc();
    if (!d) {
        beep(app);
        return 0;
    }
    model::Setup& s = d->setup;
    for (int l = s.current_layer + dir; l >= 0 && l < model::kRatnestLayer; l += dir) {
        const model::LayerEntry& e = s.layers[static_cast<size_t>(l)];
        if (e.in_use() && !(e.colour & model::kNoColour)) {
            s.current_layer = l;
            redraw(app, false, true);
            refresh_status_bar(app);
            return 1;
        }
    }
    beep(app);
    return 0;
}

int use_hook(App& app, const std::function<int(App&)>& h) {
    // A key that changes the Document without a command code is refused like one during a background run.
    if (const BackgroundRun& bg = app.shell.services.background; h && bg.refuse && bg.refuse(app, 0)) {
        return 0;
    }
    if (h) {
        return h(app);
    }
    beep(app);
    return 0;
}

struct AltCommand {
    uint16_t key;
    char group, letter;
};

constexpr AltCommand kAltCommands[] = {
    {0x2D00, 'F', 'X'}, {0x1100, 'F', 'S'}, {0x1200, 'F', 'O'}, {0x1900, 'F', 'P'}, {0x2000, 'F', 'D'},
    {0x3100, 'F', 'N'}, {0x8200, 'F', 'V'}, {0x1600, 'U', 'U'}, {0x3000, 'B', 'G'}, {0x2200, 'S', 'G'},
    {0x1300, 'S', 'P'}, {0x2F00, 'S', 'W'}, {0x2300, 'N', 'S'},
};

constexpr uint16_t kKeyAltF = 0x2100;
constexpr uint16_t kKeyAltM = 0x3200;
constexpr uint16_t kKeyAltQ = 0x1000;
constexpr uint16_t kKeyCtrlQ = 0x1011;
constexpr uint16_t kKeyPeriod = 0x342E;
constexpr uint16_t kKeyComma = 0x332C;

// -1 when the key is not a fixed key.
int fixed_key(App& app, uint16_t key) {
    Shell& sh = app.shell;
    switch (key) {
    case kKeyEnter:
        if (!sh.trazel_mode) {
            return enter_trazel_mode(app);
        }
        return enter_as_click(app);
    case kKeyEscape:
        return click_right_action(app);
    case kKeySpace:
        if (sh.trazel_mode) {
            leave_trazel_mode(app, true);
            return 1;
        }
        return enter_trazel_mode(app);
    case kKeyPadPlus:
        return step_layer(app, 1);
    case kKeyPadMinus:
        return step_layer(app, -1);
    case kKeyAltPadPlus:
        return run(app, 'N', '+');
    case kKeyAltPadMinus:
        return run(app, 'N', '-');
    case kKeyPeriod:
    case kKeyComma: {
        model::Document* d = app.doc();
        if (d && d->setup.format_code == 'S' && sh.services.hooks.point_group_step) {
            if (sh.services.background.refuse && sh.services.background.refuse(app, 0)) {
                return 0;
            }
            return sh.services.hooks.point_group_step(app, key == kKeyPeriod ? 1 : -1);
        }
        beep(app);
        return 0;
    }
    case kKeyAltF:
        sh.pending_group = 'F';
        sh.pending_group_tick = sh.tick;
        return 1;
    case kKeyAltM:
        return use_hook(app, sh.services.hooks.next_image);
    case kKeyAltQ:
        return execute_command(app, code('Q', 0), kSourceKey);
    case kKeyCtrlQ:
        show_text(app, sh.command_line);
        return 1;
    default:
        break;
    }
    for (const AltCommand& a : kAltCommands) {
        if (a.key == key) {
            return run(app, a.group, a.letter);
        }
    }
    uint8_t c = char_of(key);
    if (!is_letter(c) && c != '?') {
        return -1;
    }
    char u = upper(c);
    if (kMenuLetters.find(u) != std::string_view::npos) {
        sh.pending_group = u;
        sh.pending_group_tick = sh.tick;
        return 1;
    }
    bool block = block_active(app);
    switch (u) {
    case 'I':
        return run(app, 'Z', 'I');
    case 'O':
        return run(app, 'Z', 'O');
    case 'C':
        return run(app, 'Z', 'C');
    case 'W':
        return run(app, 'Z', 'W');
    case 'L':
        return run(app, 'Z', 'L');
    case 'X':
        return block ? run(app, 'B', 'X') : run(app, 'G', 'X');
    case 'Y':
        return block ? run(app, 'B', 'Y') : run(app, 'G', 'Y');
    case 'M':
        return run(app, 'G', 'M');
    case 'R':
        return block ? use_hook(app, sh.services.hooks.rotate_block) : run(app, 'G', 'R');
    case 'A':
        return block ? run(app, 'B', 'R') : run(app, 'G', 'N');
    case 'K':
        return block ? run(app, 'B', 'R') : run(app, 'G', 'S');
    case 'T':
        return run(app, 'S', 'T');
    case 'H':
        return run(app, 'N', 'H');
    case 'J':
        app.display.view.angle_mode = (app.display.view.angle_mode + 1) & 3;
        call(app.display.view.hooks.crosshair_refresh);
        refresh_status_bar(app);
        app.platform().play(platform::Sound::Peep);
        return 1;
    default:
        return -1;
    }
}

int complete_two_key(App& app, uint16_t key) {
    char group = app.shell.pending_group;
    app.shell.pending_group = 0;
    if (key == kKeyEscape) {
        return 1; // the pending letter is dropped
    }
    uint8_t c = char_of(key);
    if (c <= ' ' || c >= 0x7F) {
        beep(app);
        return 0;
    }
    uint16_t cmd = code(group, upper(c));
    if (cmd == code('F', 'R') || cmd == code('S', 'I')) {
        lend_for_menu(app);
        app.window().open_submenu(cmd == code('F', 'R') ? kReopenMenuId : kPixelImageMenuId);
        return 1;
    }
    return execute_command(app, cmd, kSourceTwoKey);
}

bool parse_hex16(std::string_view s, uint16_t& v) {
    auto r = std::from_chars(s.data(), s.data() + s.size(), v, 16);
    return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

std::vector<std::string_view> split_blanks(std::string_view line) {
    std::vector<std::string_view> out;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) {
            ++i;
        }
        size_t j = i;
        while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != '\r') {
            ++j;
        }
        if (j > i) {
            out.push_back(line.substr(i, j - i));
        }
        i = j;
    }
    return out;
}

} // namespace

int load_key_table(KeyTable& t) {
    t = KeyTable{};
    t.loaded = true;
    std::string_view text = resources::text("key_table");
    int rows = 0;
    while (!text.empty()) {
        size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::vector<std::string_view> f = split_blanks(line);
        int row = -1;
        if (f.size() != 9 || std::from_chars(f[0].data(), f[0].data() + f[0].size(), row).ec != std::errc() ||
            row < 0 || row > 127) {
            return 0;
        }
        for (size_t c = 0; c < 4; ++c) {
            uint16_t v = 0;
            if (!parse_hex16(f[1 + c], v) || f[5 + c].size() > 6) {
                return 0;
            }
            t.codes[static_cast<size_t>(row)][c] = v;
            t.names[static_cast<size_t>(row)][c] = f[5 + c] == "--" ? std::string() : std::string(f[5 + c]);
        }
        ++rows;
    }
    return rows > 0 ? 1 : 0;
}

uint16_t translate_key(App& app, int scan, bool extended, bool down, bool repeat) {
    Shell& sh = app.shell;
    if (scan <= 0 || scan > 127) {
        return 0;
    }
    int row = extended && is_keypad_row(scan) ? scan + kGreyRowOffset : scan;
    auto modifier = [&](uint8_t bit) -> uint16_t {
        sh.shift_state = static_cast<uint8_t>(down ? sh.shift_state | bit : sh.shift_state & ~bit);
        return 0;
    };
    switch (row) {
    case kScanAlt:
        modifier(kShiftAlt);
        if (!down && sh.alt_keypad_sum != 0) {
            uint16_t sum = sh.alt_keypad_sum;
            sh.alt_keypad_sum = 0;
            return sum;
        }
        return 0;
    case kScanCtrl:
        return modifier(kShiftCtrl);
    case kScanShiftLeft:
        return modifier(kShiftLeft);
    case kScanShiftRight:
        return modifier(kShiftRight);
    default:
        break;
    }

    bool shift = (sh.shift_state & (kShiftLeft | kShiftRight)) != 0;
    bool num = (sh.shift_state & kLockNum) != 0;
    bool keypad = is_keypad_row(row);
    int col = shift                           ? (keypad && num ? 0 : 1)
              : (sh.shift_state & kShiftAlt)  ? 3
              : (sh.shift_state & kShiftCtrl) ? 2
              : keypad && num                 ? 1
                                              : 0;

    uint8_t lock = row == kScanCapsLock                               ? kLockCaps
                   : row == kScanNumLock                              ? kLockNum
                   : row == kScanScrollLock                           ? kLockScroll
                   : row == kRowGreyInsert || (row == 82 && col == 0) ? kLockInsert
                                                                      : 0;
    if (lock) {
        if (down) {
            if (!repeat && !(sh.locks_held & lock)) {
                sh.shift_state ^= lock;
            }
            sh.locks_held |= lock;
        } else {
            sh.locks_held = static_cast<uint8_t>(sh.locks_held & ~lock);
        }
        return 0;
    }
    if (!down) {
        return 0;
    }
    if ((sh.shift_state & kShiftAlt) && keypad_digit(row) >= 0) {
        sh.alt_keypad_sum = static_cast<uint8_t>((sh.alt_keypad_sum * 10 + keypad_digit(row)) % 256);
        return 0;
    }
    uint16_t k = table(app).codes[static_cast<size_t>(row)][static_cast<size_t>(col)];
    if ((sh.shift_state & kLockCaps) && col <= 1 && is_letter(char_of(k))) {
        k ^= 0x20;
    }
    return k;
}

void set_lock_bits(App& app, bool caps, bool num, bool scroll) {
    uint8_t& s = app.shell.shift_state;
    s = static_cast<uint8_t>(s & ~(kLockCaps | kLockNum | kLockScroll));
    s = static_cast<uint8_t>(s | (caps ? kLockCaps : 0) | (num ? kLockNum : 0) | (scroll ? kLockScroll : 0));
}

int handle_key(App& app, uint16_t key) {
    if (key == kKeyContinueMacro) {
        return continue_macro(app);
    }
    if (key == 0) {
        return 0;
    }
    Shell& sh = app.shell;
    // 1. Function keys and Alt-digits run their macros.
    if (!macro_setting_name(key).empty()) {
        if (start_key_macro(app, key)) {
            return 1;
        }
        beep(app);
        return 0;
    }
    // 2. Recording.
    if (key == kKeyAltPadStar) {
        return toggle_recording(app);
    }
    if (key == kKeyPadStar) {
        return play_last_recording(app);
    }
    // 3.
    if (sh.is_recording) {
        record_key(app, key);
    }
    // Escape stops a background run first.
    if (key == kKeyEscape && sh.services.background.escape && sh.services.background.escape(app)) {
        return 1;
    }
    // 4. A modal key handler takes everything.
    if (sh.modal_key) {
        KeyHandler h = sh.modal_key;
        return h(app, key);
    }
    // 5. The second key of a two-key command.
    if (sh.pending_group) {
        return complete_two_key(app, key);
    }
    // 6.
    if (int r = fixed_key(app, key); r >= 0) {
        return r;
    }
    // 7.
    if (starts_coordinates(key)) {
        return start_coordinate_entry(app, key);
    }
    // 8.
    if (const Step* s = find_step(key)) {
        return step_cursor(app, s->dx, s->dy);
    }
    // 9.
    beep(app);
    return 0;
}

std::string key_name(App& app, uint16_t key) {
    if (key == 0) {
        return {};
    }
    const KeyTable& t = table(app);
    for (size_t r = 0; r < t.codes.size(); ++r) {
        for (size_t c = 0; c < 4; ++c) {
            if (t.codes[r][c] == key && !t.names[r][c].empty()) {
                return t.names[r][c];
            }
        }
    }
    return {};
}

uint16_t key_of_name(App& app, std::string_view name) {
    if (name.empty()) {
        return kKeySpace;
    }
    const KeyTable& t = table(app);
    for (size_t r = 0; r < t.codes.size(); ++r) {
        for (size_t c = 0; c < 4; ++c) {
            if (t.codes[r][c] != 0 && !t.names[r][c].empty() && equal_name(t.names[r][c], name)) {
                return t.codes[r][c];
            }
        }
    }
    return 0;
}

uint16_t key_of_char(App& app, unsigned char ch) {
    if (ch == 0 || ch == 0xE0) {
        return ch;
    }
    const KeyTable& t = table(app);
    // The main keyboard before the keypad, the normal column before Shift.
    for (int pass = 0; pass < 4; ++pass) {
        bool want_keypad = pass >= 2;
        size_t col = static_cast<size_t>(pass & 1);
        for (size_t r = 0; r < t.codes.size(); ++r) {
            bool pad = is_keypad_row(static_cast<int>(r)) || r == 0x37;
            if (pad != want_keypad) {
                continue;
            }
            uint16_t k = t.codes[r][col];
            if (k != 0 && char_of(k) == ch) {
                return k;
            }
        }
    }
    return ch;
}

void two_key_tick(App& app) {
    Shell& sh = app.shell;
    if (sh.pending_group && sh.tick - sh.pending_group_tick >= kTwoKeyTicks) {
        char group = sh.pending_group;
        sh.pending_group = 0;
        open_group_menu(app, group);
    }
}

std::optional<model::Coord> parse_typed_length(std::string_view s) {
    while (!s.empty() && s.front() == ' ') {
        s.remove_prefix(1);
    }
    while (!s.empty() && s.back() == ' ') {
        s.remove_suffix(1);
    }
    size_t i = 0;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) {
        ++i;
    }
    size_t digits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        ++i, ++digits;
    }
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
            ++i, ++digits;
        }
    }
    if (digits == 0) {
        return std::nullopt;
    }
    std::string_view unit = s.substr(i);
    std::string text(s.substr(0, i));
    if (unit.empty() || unit == "\"") {
        text += '"'; // a bare number is inches here, not thousandths
    } else if (unit == "mm" || unit == "MM" || unit == "m" || unit == "M") {
        text += "mm";
    } else {
        return std::nullopt;
    }
    model::Cursor c(text);
    return model::read_length_unit(c);
}

bool parse_typed_point(std::string_view text, model::Coord rel_x, model::Coord rel_y, model::Coord& x,
                       model::Coord& y) {
    size_t comma = text.find(',');
    if (comma == std::string_view::npos) {
        return false;
    }
    std::optional<model::Coord> vx = parse_typed_length(text.substr(0, comma));
    std::optional<model::Coord> vy = parse_typed_length(text.substr(comma + 1));
    if (!vx || !vy) {
        return false;
    }
    x = add_clamped(rel_x, *vx);
    y = add_clamped(rel_y, *vy);
    return true;
}

} // namespace trazel::shell
