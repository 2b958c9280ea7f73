#include "shell/settings.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "model/chooser.h"
#include "model/model.h"
#include "model/numbers.h"
#include "platform/form_builder.h"
#include "shell/app.h"
#include "shell/commands.h"
#include "shell/modes.h"

namespace trazel::shell {

namespace fs = std::filesystem;

namespace {

using Store = std::map<std::string, std::string, std::less<>>;

constexpr int32_t kMinuteFraction = 256; // below 1/256 minute the autosave interval falls back
constexpr int32_t kDefaultAutosaveMinutes = 4;
constexpr uint64_t kMinutesToTicks = 0x4446B85;
constexpr const char* kReopenSetting = "File Re-Open List";
constexpr const char* kRecallSetting = "File Re-Call List";
constexpr size_t kStampLength = 18;

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v && *v ? std::string(v) : std::string();
}

std::string settings_file_in(const std::string& dir) {
    return dir.empty() ? std::string() : (fs::path(dir) / kSettingsFileName).string();
}

Store load_store_in(const std::string& dir) {
    Store s;
    std::string file = settings_file_in(dir);
    if (file.empty()) {
        return s;
    }
    std::ifstream in(file, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        size_t eq = line.find('=');
        if (line.empty() || line[0] == '#' || eq == std::string::npos) {
            continue;
        }
        s[line.substr(0, eq)] = unescape_value(std::string_view(line).substr(eq + 1));
    }
    return s;
}

Store load_store(const App& app) {
    return load_store_in(settings_dir(app));
}

// Writes a whole file through a temporary beside it that replaces it only when complete.
bool write_file_safely(const fs::path& target, std::string_view bytes) {
    std::error_code ec;
    fs::path tmp = target;
    tmp += ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) {
            out.close();
            fs::remove(tmp, ec);
            return false;
        }
    }
    fs::rename(tmp, target, ec);
    if (ec) {
        fs::remove(tmp, ec);
        return false;
    }
    return true;
}

int save_store(App& app, const Store& s) {
    std::string dir = settings_dir(app);
    if (dir.empty()) {
        app.platform().report("The settings cannot be saved: no folder for them is known.");
        return 0;
    }
    std::error_code ec;
    fs::create_directories(dir, ec);
    std::string text = "# TRAZEL'98 settings: one \"Name=value\" line each (\\xHH escapes a byte).\n";
    for (const auto& [name, value] : s) {
        text += name;
        text += '=';
        text += escape_value(value);
        text += '\n';
    }
    if (!write_file_safely(fs::path(dir) / kSettingsFileName, text)) {
        app.platform().report("The settings file in " + dir + " could not be written.");
        return 0;
    }
    return 1;
}

std::vector<std::string> split_list(std::string_view v) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < v.size()) {
        size_t j = v.find(';', i);
        if (j == std::string_view::npos) {
            j = v.size();
        }
        if (j > i) {
            out.emplace_back(v.substr(i, j - i));
        }
        i = j + 1;
    }
    return out;
}

// Joins entries, each ended by ";", keeping only the leading entries that fit in `limit` characters.
std::string join_list(const std::vector<std::string>& entries, size_t limit) {
    std::string out;
    for (const std::string& e : entries) {
        if (out.size() + e.size() + 1 > limit) {
            break;
        }
        out += e;
        out += ';';
    }
    return out;
}

bool file_opens(const std::string& name) {
    std::error_code ec;
    if (fs::is_directory(name, ec)) {
        return false; // a folder opens as a stream here, but it is no file to re-open
    }
    std::ifstream in(name, std::ios::binary);
    return in.is_open();
}

// The lists end each name with ";": a name holding one cannot be kept in them.
bool listable(std::string_view name) {
    return !name.empty() && name.find(';') == std::string_view::npos;
}

std::string recall_name(const std::string& entry) {
    return entry.size() > kStampLength ? entry.substr(kStampLength) : std::string();
}

std::string menu_label(std::string_view name) {
    std::string s;
    for (char c : name) {
        s += c;
        if (c == '&') {
            s += '&'; // shown as itself, not as an accelerator mark
        }
    }
    return s;
}

bool replace_submenu(std::vector<platform::MenuItem>& items, int id, const std::vector<platform::MenuItem>& with) {
    for (platform::MenuItem& m : items) {
        if (m.id == id) {
            m.items = with;
            return true;
        }
        if (replace_submenu(m.items, id, with)) {
            return true;
        }
    }
    return false;
}

// A folder that exists (made when missing) and takes a new file.
bool usable_dir(const fs::path& p) {
    std::error_code ec;
    fs::create_directories(p, ec);
    if (!fs::is_directory(p, ec)) {
        return false;
    }
    fs::path probe = p / ".trazel-write-test";
    bool ok = false;
    {
        std::ofstream out(probe, std::ios::binary | std::ios::trunc);
        ok = out.is_open() && static_cast<bool>(out << 'x');
    }
    fs::remove(probe, ec);
    return ok;
}

bool copy_file_safely(const fs::path& from, const fs::path& to) {
    std::ifstream in(from, std::ios::binary);
    if (!in) {
        return false;
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad()) {
        return false;
    }
    return write_file_safely(to, bytes.str());
}

} // namespace

bool equals_nocase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && starts_with_nocase(a, b);
}

bool starts_with_nocase(std::string_view s, std::string_view prefix) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (s.size() < prefix.size()) {
        return false;
    }
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (lower(s[i]) != lower(prefix[i])) {
            return false;
        }
    }
    return true;
}

bool has_digit(std::string_view v) {
    return std::any_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int32_t decimal_of(std::string_view v) {
    model::Cursor c(model::skip_leading_blanks(v));
    return model::read_decimal(c);
}

// --- The store ----------------------------------------------------------------------------------

std::string settings_dir(const App& app) {
    if (!app.shell.services.config_dir.empty()) {
        return app.shell.services.config_dir;
    }
    return default_settings_dir();
}

std::string default_settings_dir() {
    if (std::string d = env("TRAZEL_CONFIG_DIR"); !d.empty()) {
        return d;
    }
    if (std::string x = env("XDG_CONFIG_HOME"); !x.empty()) {
        return (fs::path(x) / "trazel").string();
    }
    if (std::string h = env("HOME"); !h.empty()) {
        return (fs::path(h) / ".config" / "trazel").string();
    }
    return {};
}

std::string escape_value(std::string_view raw) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char ch : raw) {
        auto c = static_cast<unsigned char>(ch);
        if (c == '\\') {
            out += "\\\\";
        } else if (c < 0x20 || c >= 0x7F) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

std::string unescape_value(std::string_view text) {
    auto hex = [](char c) {
        return c >= '0' && c <= '9'   ? c - '0'
               : c >= 'A' && c <= 'F' ? c - 'A' + 10
               : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                      : -1;
    };
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\\') {
            out += '\\';
            ++i;
        } else if (text[i] == '\\' && i + 3 < text.size() + 0 && text[i + 1] == 'x' && hex(text[i + 2]) >= 0 &&
                   hex(text[i + 3]) >= 0) {
            out += static_cast<char>(hex(text[i + 2]) * 16 + hex(text[i + 3]));
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string read_setting(const App& app, std::string_view name, bool* found) {
    return read_setting_in(settings_dir(app), name, found);
}

std::string read_setting_in(const std::string& dir, std::string_view name, bool* found) {
    Store s = load_store_in(dir);
    auto it = s.find(name);
    if (found) {
        *found = it != s.end();
    }
    if (it == s.end()) {
        return {};
    }
    std::string v = it->second.substr(0, it->second.find('\0'));
    if (v.size() >= kSettingReadLimit) {
        v.resize(kSettingReadLimit - 1);
    }
    return v;
}

int write_setting(App& app, std::string_view name, std::string_view text) {
    Store s = load_store(app);
    s[std::string(name)] = std::string(text.substr(0, kSettingWriteLimit));
    return save_store(app, s);
}

int write_raw_setting(App& app, std::string_view name, const std::vector<uint8_t>& bytes) {
    Store s = load_store(app);
    s[std::string(name)] = std::string(bytes.begin(), bytes.end());
    return save_store(app, s);
}

std::vector<uint8_t> read_raw_setting(const App& app, std::string_view name) {
    Store s = load_store(app);
    auto it = s.find(name);
    return it == s.end() ? std::vector<uint8_t>() : std::vector<uint8_t>(it->second.begin(), it->second.end());
}

int delete_setting(App& app, std::string_view name) {
    Store s = load_store(app);
    auto it = s.find(name);
    if (it == s.end()) {
        return 0;
    }
    s.erase(it);
    return save_store(app, s);
}

// --- Value forms ----------------------------------------------------------------------------------

bool setting_is_yes(std::string_view v) {
    return !v.empty() && (v[0] == 'Y' || v[0] == 'y');
}

bool setting_is_not_no(std::string_view v) {
    return v.empty() || (v[0] != 'N' && v[0] != 'n');
}

uint32_t minutes_to_ticks(int32_t minutes16) {
    if (minutes16 <= 0) {
        return 0;
    }
    return static_cast<uint32_t>((static_cast<uint64_t>(minutes16) * kMinutesToTicks) >> 32);
}

uint32_t autosave_ticks_of(std::string_view v, bool found) {
    if (found && (starts_with_nocase(v, "N") || starts_with_nocase(v, "Off"))) {
        return 0;
    }
    int32_t m = found ? decimal_of(v) : 0;
    if (m < kMinuteFraction) {
        m = static_cast<int32_t>(model::to_units(kDefaultAutosaveMinutes));
    }
    return minutes_to_ticks(m);
}

uint32_t sleep_ticks_of(std::string_view v) {
    if (setting_is_yes(v)) {
        return minutes_to_ticks(static_cast<int32_t>(model::to_units(1)));
    }
    if (!has_digit(v)) {
        return 0;
    }
    return minutes_to_ticks(decimal_of(v));
}

void read_startup_settings(App& app) {
    Store s = load_store(app);
    auto get = [&](const char* name) -> std::string {
        auto it = s.find(name);
        return it == s.end() ? std::string() : it->second;
    };
    Options& o = app.shell.options;
    std::string mask = get("Open File Name Mask Index");
    o.open_mask_index = !mask.empty() && mask[0] >= '0' && mask[0] <= '9' ? mask[0] - '0' : 5;
    o.open_preview = setting_is_yes(get("Open File Name Preview"));
    o.open_expand = setting_is_not_no(get("Open File Name Expand"));
    o.explorer_open = setting_is_not_no(get("Explorer File Open"));
    o.auto_open_project = setting_is_not_no(get("Auto-open Project Files"));
}

void read_display_settings(App& app) {
    Store s = load_store(app);
    auto get = [&](const char* name, bool* found = nullptr) -> std::string {
        auto it = s.find(name);
        if (found) {
            *found = it != s.end();
        }
        return it == s.end() ? std::string() : it->second;
    };
    Options& o = app.shell.options;
    o.display_logs = setting_is_not_no(get("Display Logs"));
    o.popup_menus = setting_is_yes(get("Popup Menus"));
    o.animated_icon = setting_is_not_no(get("Animated Icon"));
    o.zoom_with_mouse = setting_is_not_no(get("Zoom with Mouse Buttons"));
    o.undo_beyond_save = setting_is_yes(get("Un-Do Beyond Save to Disk"));
    o.purge_redo_notification = setting_is_yes(get("Purge Re-Do Notification"));
    o.query_raft_boxes = setting_is_not_no(get("Query Raft Boxes"));
    o.sound_card_tones = setting_is_not_no(get("Sound Blaster Tones"));
    o.thick_crosshair = setting_is_yes(get("Thick Cross-hair Cursor"));
    app.display.thick_crosshair = o.thick_crosshair;
    bool found = false;
    std::string autosave_value = get("Autosave Timer", &found);
    o.autosave_ticks = autosave_ticks_of(autosave_value, found);
    o.sleep_ticks = sleep_ticks_of(get("Sleep Mode Timer"));
    std::string timing = get("Re-Draw Timing");
    o.redraw_timing = has_digit(timing) ? static_cast<uint32_t>(std::max(0, model::from_units(decimal_of(timing)))) : 0;
    o.animated_block = setting_is_yes(get("Animated Block Perimeter"));
    app.shell.autosave_countdown = o.autosave_ticks;
}

// --- Event sounds -------------------------------------------------------------------------------

std::string event_sound_name(const App& app, std::string_view event) {
    std::string v = read_setting(app, "AppEvents\\Schemes\\Apps\\TRAZEL'98\\" + std::string(event) + "\\.Current");
    if (v.size() > kEventSoundNameMax) {
        v.resize(kEventSoundNameMax);
    }
    return v;
}

std::vector<uint8_t> load_event_sound(const App& app, std::string_view event) {
    std::string name = event_sound_name(app, event);
    std::error_code ec;
    if (name.empty() || !fs::is_regular_file(name, ec)) {
        return {};
    }
    std::ifstream in(name, std::ios::binary);
    std::vector<uint8_t> bytes;
    constexpr size_t kStep = 65536;
    while (in) {
        size_t have = bytes.size();
        bytes.resize(have + kStep);
        in.read(reinterpret_cast<char*>(bytes.data() + have), static_cast<std::streamsize>(kStep));
        bytes.resize(have + static_cast<size_t>(in.gcount()));
    }
    if (in.bad()) {
        return {};
    }
    return bytes;
}

void play_event_sound(App& app, std::string_view event) {
    std::vector<uint8_t> wav = load_event_sound(app, event);
    if (!wav.empty()) {
        app.platform().play_wave(wav);
    }
}

// --- Recent files ---------------------------------------------------------------------------------

std::vector<std::string> reopen_list(const App& app) {
    std::string v = read_setting(app, kReopenSetting);
    if (v.size() > kReopenReadLimit) {
        // Only whole names count: the one cut by the read limit is dropped, not kept as a fragment.
        v.resize(kReopenReadLimit);
        size_t last = v.rfind(';');
        v.resize(last == std::string::npos ? 0 : last + 1);
    }
    return split_list(v);
}

void build_reopen_menu(App& app, std::string_view add_first) {
    std::vector<std::string> list = reopen_list(app);
    if (listable(add_first)) {
        list.erase(std::remove(list.begin(), list.end(), add_first), list.end());
        list.insert(list.begin(), std::string(add_first));
        write_setting(app, kReopenSetting, join_list(list, kReopenReadLimit));
    }
    std::vector<platform::MenuItem> items;
    for (size_t i = 0; i < list.size() && i < static_cast<size_t>(kReopenMenuEntries); ++i) {
        platform::MenuItem m;
        m.code = code('F', static_cast<char>('0' + i));
        m.label = "&" + std::to_string(i) + ":  " + menu_label(list[i]);
        items.push_back(std::move(m));
    }
    items.push_back(platform::MenuItem{});
    platform::MenuItem purge;
    purge.code = kPurgeFiles;
    purge.label = "Purge Non-existent Files";
    items.push_back(purge);
    platform::MenuItem remove;
    remove.code = kRemoveAllFiles;
    remove.label = "Remove All File Names";
    items.push_back(remove);
    replace_submenu(app.shell.menu_bar, kReopenMenuId, items);
    app.window().set_submenu(kReopenMenuId, items);
}

std::string recall_stamp(const std::tm& t) {
    auto two = [](int v) {
        v = ((v % 100) + 100) % 100;
        return std::string{static_cast<char>('0' + v / 10), static_cast<char>('0' + v % 10)};
    };
    int h = t.tm_hour % 12 == 0 ? 12 : t.tm_hour % 12;
    return two(t.tm_mon + 1) + "/" + two(t.tm_mday) + "/" + two(t.tm_year) + " " + two(h) + ":" + two(t.tm_min) +
           (t.tm_hour >= 12 ? " pm " : " am ");
}

std::vector<std::string> recall_list(const App& app) {
    return split_list(read_setting(app, kRecallSetting));
}

int add_recent_file(App& app, std::string_view full_name) {
    if (!listable(full_name)) {
        return 0;
    }
    std::vector<std::string> recall = recall_list(app);
    recall.erase(
        std::remove_if(recall.begin(), recall.end(), [&](const std::string& e) { return recall_name(e) == full_name; }),
        recall.end());
    recall.insert(recall.begin(), recall_stamp(local_time(app)) + std::string(full_name));
    write_setting(app, kRecallSetting, join_list(recall, kRecallLimit));
    build_reopen_menu(app, full_name);
    return 1;
}

int purge_recent_lists(App& app, int which) {
    int removed = 0;
    if (which & 1) {
        std::vector<std::string> list = reopen_list(app);
        size_t before = list.size();
        list.erase(std::remove_if(list.begin(), list.end(), [](const std::string& n) { return !file_opens(n); }),
                   list.end());
        removed += static_cast<int>(before - list.size());
        write_setting(app, kReopenSetting, join_list(list, kReopenReadLimit));
    }
    if (which & 2) {
        std::vector<std::string> list = recall_list(app);
        size_t before = list.size();
        list.erase(
            std::remove_if(list.begin(), list.end(), [](const std::string& e) { return !file_opens(recall_name(e)); }),
            list.end());
        removed += static_cast<int>(before - list.size());
        write_setting(app, kRecallSetting, join_list(list, kRecallLimit));
    }
    build_reopen_menu(app);
    return removed;
}

int clear_reopen_list(App& app) {
    int ok = write_setting(app, kReopenSetting, "");
    build_reopen_menu(app);
    return ok;
}

int reopen_missing_file(App& app, const std::string& name) {
    std::string text = "The file \"" + name +
                       "\" cannot be located.\n\nWould you like to purge all non-existent files from the Re-Open menu?";
    if (app.platform().message_box(text, "File Re-Open List", platform::Buttons::YesNo) != platform::Answer::Yes) {
        return 0;
    }
    purge_recent_lists(app, 3);
    return 1;
}

int file_recall_box(App& app, std::string* chosen) {
    std::vector<std::string> list = recall_list(app);
    if (list.empty()) {
        beep(app);
        return 0;
    }
    platform::Form form =
        platform::FormBuilder("FileRecallBox", "Re-Call File").list("files", "Recently used files", list).build();
    if (!run_dialog(app, form)) {
        return 0;
    }
    std::string v = form.get("files");
    size_t index = has_digit(v) ? static_cast<size_t>(std::max(0, std::atoi(v.c_str()))) : list.size();
    if (index >= list.size()) {
        return 0;
    }
    if (chosen) {
        *chosen = recall_name(list[index]);
    }
    return 1;
}

// --- Backup and autosave -------------------------------------------------------------------------

std::string data_dir(const App& app, std::string_view folder) {
    if (!app.shell.program_dir.empty()) {
        fs::path p = fs::path(app.shell.program_dir) / folder;
        if (usable_dir(p)) {
            return p.string();
        }
    }
    std::string user = app.shell.services.user_data_dir;
    if (user.empty()) {
        if (std::string x = env("XDG_DATA_HOME"); !x.empty()) {
            user = (fs::path(x) / "trazel").string();
        } else if (std::string h = env("HOME"); !h.empty()) {
            user = (fs::path(h) / ".local" / "share" / "trazel").string();
        }
    }
    if (user.empty()) {
        return {};
    }
    fs::path p = fs::path(user) / folder;
    return usable_dir(p) ? p.string() : std::string();
}

int make_backup(App& app, model::Document& d) {
    if (d.backup_made) {
        return 0;
    }
    d.backup_made = true;
    fs::path file = d.name();
    std::error_code ec;
    if (file.empty() || !fs::is_regular_file(file, ec)) {
        return 0; // nothing on disk yet
    }
    // A copy rather than a move: the save that follows replaces the file only once it is complete, so
    // a failed save still leaves the user's file in place.
    std::string dir = data_dir(app, "Backup");
    if (!dir.empty() && copy_file_safely(file, fs::path(dir) / file.filename())) {
        return 1;
    }
    fs::path bak = file;
    bak += ".bak";
    return copy_file_safely(file, bak) ? 1 : 0;
}

int autosave(App& app) {
    model::Document* d = app.doc();
    if (!d || !(d->modified_bits & model::Document::kModifiedAutosave)) {
        return 0;
    }
    std::string dir = data_dir(app, "Autosave");
    fs::path name = fs::path(d->name()).filename();
    if (dir.empty() || name.empty()) {
        return 0;
    }
    if (!model::SaveDocumentFile(app.formats, (fs::path(dir) / name).string(), 'C')) {
        return 0;
    }
    d->modified_bits = static_cast<uint8_t>(d->modified_bits & ~model::Document::kModifiedAutosave);
    return 1;
}

std::tm local_time(const App& app) {
    if (app.shell.services.local_time) {
        return app.shell.services.local_time();
    }
    std::time_t now = std::time(nullptr);
    const std::tm* t = std::localtime(&now);
    return t ? *t : std::tm{};
}

} // namespace trazel::shell
