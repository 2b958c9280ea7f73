// The File group: new from a template, open, close, erase, save, save as, information, the open-file
// selection, exit with its save warnings, the recent files, and the output commands.
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "display/display.h"
#include "model/chooser.h"
#include "model/datafile.h"
#include "model/old_losses.h"
#include "platform/data_dirs.h"
#include "platform/form_builder.h"
#include "shell/app.h"
#include "shell/commands.h"
#include "shell/file_group.h"
#include "shell/file_preview.h"
#include "shell/modes.h"
#include "shell/settings.h"
#include "shell/startup.h"
#include "shell/status.h"
#include "shell/window_events.h"

namespace trazel::shell {

namespace fs = std::filesystem;

namespace {

using platform::Answer;
using platform::Buttons;

constexpr uint16_t kFileFirst = 0x4630;
constexpr uint16_t kFileLast = 0x4669;
constexpr std::string_view kUnnamed = "unnamed";

constexpr const char* kCurrentlyOpen =
    "The specified data file is currently open.\n\nIt must be closed before it can be re-opened.";

struct Kind {
    const char* label;
    const char* ext;
};
constexpr Kind kKinds[] = {
    {"Printed circuit board", ".pcb"},
    {"Schematic sheet", ".sch"},
    {"Drawing sheet", ".dwg"},
};

std::string lower(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return s;
}

bool exists_dir(const std::string& p) {
    std::error_code ec;
    return !p.empty() && fs::is_directory(p, ec);
}

std::string with_slash(std::string p) {
    if (!p.empty() && p.back() != '/' && p.back() != '\\') {
        p.push_back('/');
    }
    return p;
}


std::string extension_of(const std::string& name) {
    std::string e = fs::path(name).extension().string();
    return lower(e);
}

void redraw_current(App& app) {
    take_document_view(app);
    update_title(app);
    app.shell.surface.stale = true;
    redraw(app);
}

// The open Documents in the ring order of their Document Items, starting with `first`.
std::vector<model::Document*> ring_order(App& app, model::Document* first) {
    std::vector<model::Document*> out;
    model::Ref head = app.model.open_docs;
    model::Ref r = first->item;
    do {
        if (r != head) {
            if (model::Document* d = model::document_of(r)) {
                out.push_back(d);
            }
        }
        r = model::node(r).next;
    } while (r != first->item);
    return out;
}

model::Document* neighbour(App& app, int step) {
    if (app.model.docs.size() < 2 || !app.doc()) {
        return nullptr;
    }
    std::vector<model::Document*> order = ring_order(app, app.doc());
    return step > 0 ? order[1] : order.back();
}

// The file name filters of the open dialog and the reader each forces (0: the chooser decides by content).
struct OpenFilter {
    const char* text;
    char forced;
};
constexpr OpenFilter kOpenFilters[] = {
    {"TRAZEL Data Files|*.pcb;*.sch;*.sh?;*.s??;*.dwg;*.lib", 0},
    {"Printed Circuit Boards|*.pcb", 0},
    {"Schematic Sheets|*.sch;*.sh?;*.s??", 0},
    {"Gerber Photo Plot Files|*.gbr;*.ger;*.pho;*.art;*.g?", 0},
    {"Drill Files|*.drl;*.txt", 0},
    {"All Files|*", 0},
    {"Gerber (Photo Plot)|*", 'G'},
    {"Excellon (Drill holes)|*", 'I'},
    {"AutoCad (DXF)|*.dxf", 'X'},
    {"Binary Data File (Hexdump)|*", model::kForcedHexDump},
};

std::vector<std::string> open_filters() {
    std::vector<std::string> out;
    for (const OpenFilter& f : kOpenFilters) {
        out.emplace_back(f.text);
    }
    return out;
}

char filter_forced(int index) {
    return index >= 0 && index < static_cast<int>(std::size(kOpenFilters)) ? kOpenFilters[index].forced : 0;
}

int open_one(App& app, const std::string& name, char forced) {
    if (model::FindDocument(name)) {
        error_sound(app);
        ask(app, kCurrentlyOpen, "File Open Error", Buttons::Ok);
        return 0;
    }
    return open_document(app, name, forced);
}

int file_new(App& app) {
    std::vector<std::string> kinds;
    for (const Kind& e : kKinds) {
        kinds.push_back(e.label);
    }
    platform::Form kind =
        platform::FormBuilder("FileNewBox", "New File").choice("kind", "Kind of data file", kinds).build();
    if (!run_dialog(app, kind)) {
        return 0;
    }
    int which = std::clamp(std::atoi(kind.get("kind").c_str()), 0, 2);
    const char* ext = kKinds[which].ext;

    std::string dir = template_dir(app);
    std::vector<std::string> names = template_names(dir, ext);
    if (names.empty()) {
        error_sound(app);
        ask(app, "No templates for this kind of data file were found in\n" + dir, "New File Error", Buttons::Ok);
        return 0;
    }
    platform::Form tf =
        platform::FormBuilder("FileTemplateBox", "Select Template").list("template", "Template", names).build();
    if (!run_dialog(app, tf)) {
        return 0;
    }
    std::string choice = tf.get("template");
    std::string tname;
    // The answer is the entry's index, or its name.
    if (!choice.empty() && std::all_of(choice.begin(), choice.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        size_t i = static_cast<size_t>(std::atoi(choice.c_str()));
        if (i < names.size()) {
            tname = names[i];
        }
    } else if (std::find(names.begin(), names.end(), choice) != names.end()) {
        tname = choice;
    }
    if (tname.empty()) {
        error_sound(app);
        return 0;
    }
    return new_from_template(app, dir + "Size_" + tname + ext, ext);
}

int file_open(App& app) {
    Options& o = app.shell.options;
    std::vector<std::string> chosen;
    char forced = 0;
    std::vector<std::string> filters = open_filters();
    if (o.explorer_open) {
        int index = std::clamp(o.open_mask_index, 0, static_cast<int>(filters.size()) - 1);
        platform::FilePreview preview;
        if (o.open_preview) {
            preview = file_thumbnail;
        }
        run_suspended(app, [&] {
            chosen = app.platform().open_file_dialog("Select File to be Opened", filters, index, true, preview);
        });
        if (index != o.open_mask_index && index >= 0 && index < 10) {
            o.open_mask_index = index;
            write_setting(app, "Open File Name Mask Index", std::to_string(index));
        }
        forced = filter_forced(index);
    } else {
        std::vector<std::string> types;
        for (const std::string& s : filters) {
            types.push_back(s.substr(0, s.find('|')));
        }
        platform::Form f = platform::FormBuilder("FileOpenBox", "Select File to be Opened")
                               .file("name", "File name", "", filters)
                               .choice("type", "Files of type", types, o.open_mask_index)
                               .build();
        if (!run_dialog(app, f)) {
            return 0;
        }
        if (!f.get("name").empty()) {
            chosen.push_back(f.get("name"));
        }
        forced = filter_forced(std::atoi(f.get("type").c_str()));
    }
    int opened = 0;
    for (const std::string& name : chosen) {
        std::error_code ec;
        std::string full = fs::absolute(name, ec).string();
        opened += open_one(app, ec ? name : full, forced);
    }
    return opened;
}

int file_close(App& app) {
    model::Document* d = app.doc();
    if (!d) {
        beep(app);
        return 0;
    }
    if (d->modified()) {
        error_sound(app);
        Answer a = ask(app,
                       "File has been updated but has not yet been saved.\n\nShall I save the file before closing it?",
                       "Close Save Warning", Buttons::YesNoCancel);
        if (a == Answer::Cancel) {
            return 0;
        }
        if (a == Answer::Yes && (!file_save(app) || app.doc() != d || d->modified())) {
            return 0; // not saved: nothing is closed
        }
    }
    close_document(app, d);
    show_message(app, 0x50C);
    redraw_current(app);
    return 1;
}

int file_erase(App& app) {
    model::Document* d = app.doc();
    if (!d) {
        beep(app);
        return 0;
    }
    if (d->modified()) {
        Answer a = ask(app, "File has been updated since the last load or save.\n\nShall I erase the file anyhow?",
                       "Erase File Warning", Buttons::YesNoCancel);
        if (a != Answer::Yes) {
            return 0;
        }
    }
    Answer a = ask(app,
                   "File Erasure.\n\nIf you do not want to delete this file from disk, you must\nescape from the "
                   "erasure function.\n\nSelecting [YES] will result in the removal of the current\ndata file both "
                   "on disk and in system memory.\n\nARE YOU SURE?",
                   "Erase File Warning", Buttons::YesNoCancel, 1);
    if (a != Answer::Yes) {
        return 0;
    }
    std::string name = d->name();
    bool file = !has_no_file(*d);
    close_document(app, d);
    std::error_code ec;
    if (file && !fs::remove(name, ec)) {
        show_message(app, 0x50E);
    } else {
        show_message(app, 0x50D);
    }
    redraw_current(app);
    return 1;
}

int file_information(App& app) {
    model::Document* d = app.doc();
    if (!d) {
        beep(app);
        return 0;
    }
    const model::Setup& s = d->setup;
    long items = 0;
    model::for_each_item(d->ring(), [&](model::Ref) { ++items; });
    int layers = 0;
    for (const auto& e : s.layers) {
        layers += e.in_use() ? 1 : 0;
    }
    std::string name = d->name();
    std::error_code ec;
    std::string size = "not on disk";
    if (!has_no_file(*d) && fs::is_regular_file(name, ec)) {
        size = std::to_string(fs::file_size(name, ec)) + " bytes";
    }
    auto inch = [](model::Coord v) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.4f", v / 65536.0);
        return std::string(buf);
    };
    platform::Form f =
        platform::FormBuilder("FileInformationBox", "File Information")
            .label("name", "File: " + name)
            .label("format", "Format: " + std::string(model::format_name(s.format_code ? s.format_code : 'C')))
            .label("kind", std::string("Kind: ") + (model::IsSchematic(s) ? "schematic sheet" : "board or drawing"))
            .label("size", "Size on disk: " + size)
            .label("items", "Top-level items: " + std::to_string(items))
            .label("layers", "Layers in use: " + std::to_string(layers))
            .label("extents", "Extents: " + inch(s.ext_xmin) + ", " + inch(s.ext_ymin) + " to " + inch(s.ext_xmax) +
                                  ", " + inch(s.ext_ymax) + " inch")
            .label("modified", std::string("Modified since the last save: ") + (d->modified() ? "yes" : "no"))
            .label("backup", std::string("Backup made: ") + (d->backup_made ? "yes" : "no"))
            .build();
    run_dialog(app, f);
    return 1;
}

int file_select(App& app) {
    auto& docs = app.model.docs;
    if (docs.empty()) {
        beep(app);
        return 0;
    }
    std::vector<std::string> names;
    size_t current = 0;
    for (size_t i = 0; i < docs.size(); ++i) {
        names.push_back(docs[i]->name());
        if (docs[i].get() == app.doc()) {
            current = i;
        }
    }
    platform::Form f = platform::FormBuilder("SelectFileBox", "Select File")
                           .list("file", "Open data files", names, static_cast<int>(current))
                           .build();
    if (!run_dialog(app, f)) {
        return 0;
    }
    std::string v = f.get("file");
    size_t i = current;
    if (!v.empty() && std::all_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; }) && v.size() < 6) {
        i = static_cast<size_t>(std::atoi(v.c_str()));
    } else {
        for (size_t k = 0; k < docs.size(); ++k) {
            if (docs[k]->name() == v) {
                i = k;
            }
        }
    }
    if (i >= docs.size()) {
        error_sound(app);
        return 0;
    }
    if (docs[i].get() == app.doc()) {
        return 0;
    }
    app.model.current = docs[i].get();
    redraw_current(app);
    return 1;
}

int file_step(App& app, int step) {
    model::Document* n = neighbour(app, step);
    if (!n) {
        show_message(app, 0x510);
        beep(app);
        return 0;
    }
    app.model.current = n;
    redraw_current(app);
    return 1;
}

int file_exit(App& app) {
    leave_trazel_mode(app, true);
    auto& docs = app.model.docs;
    if (!docs.empty()) {
        // Starting with the current Document, in list order.
        std::vector<model::Document*> order = ring_order(app, app.doc() ? app.doc() : docs.front().get());
        for (model::Document* d : order) {
            if (!d->modified()) {
                continue;
            }
            if (app.model.current != d) {
                app.model.current = d;
                redraw_current(app);
            }
            error_sound(app);
            Answer a = ask(app, "File has been updated but has not yet been saved.\n\nSave file before exit?",
                           "Exit Save Warning", Buttons::YesNoCancel);
            if (a == Answer::Cancel) {
                return 0;
            }
            if (a == Answer::Yes && (!file_save(app) || d->modified())) {
                return 0; // a save that did not happen ends the exit: nothing is lost
            }
        }
    }
    destroy_window(app);
    return 1;
}

int file_reopen(App& app, int index) {
    std::vector<std::string> list = reopen_list(app);
    if (index < 0 || index >= static_cast<int>(list.size())) {
        error_sound(app);
        return 0;
    }
    const std::string& name = list[static_cast<size_t>(index)];
    std::error_code ec;
    if (!fs::is_regular_file(name, ec)) {
        reopen_missing_file(app, name);
        return 0;
    }
    return open_one(app, name, 0);
}

int file_recall(App& app) {
    std::string chosen;
    if (!file_recall_box(app, &chosen) || chosen.empty()) {
        return 0;
    }
    std::error_code ec;
    if (!fs::is_regular_file(chosen, ec)) {
        error_sound(app);
        ask(app, "The file \"" + chosen + "\" cannot be located.", "File Re-Call List", Buttons::Ok);
        return 0;
    }
    return open_one(app, chosen, 0);
}

} // namespace

std::string template_dir(const App& app) {
    std::string set = read_setting(app, "Template Path");
    if (!set.empty() && exists_dir(with_slash(set))) {
        return with_slash(set);
    }
    std::string found = platform::find_data_dir(app.shell.program_dir, "TEMPLATE");
    if (!found.empty()) {
        return found;
    }
    return set.empty() ? app.shell.program_dir + "TEMPLATE/" : with_slash(set);
}

std::vector<std::string> template_names(const std::string& dir, std::string_view ext) {
    std::vector<std::string> out;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::string f = it->path().filename().string();
        if (f.size() > 5 + ext.size() && f.rfind("Size_", 0) == 0 && lower(f.substr(f.size() - ext.size())) == ext) {
            out.push_back(f.substr(5, f.size() - 5 - ext.size()));
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

int new_from_template(App& app, const std::string& path, std::string_view ext) {
    std::string name = std::string(kUnnamed) + std::string(ext);
    if (model::FindDocument(name)) {
        error_sound(app);
        ask(app, kCurrentlyOpen, "New File Open Error", Buttons::Ok);
        return 0;
    }
    model::Document* d = model::NewDocument(name);
    if (!d) {
        error_sound(app);
        return 0;
    }
    std::string why;
    char c = model::OpenDocumentFile(app.formats, path, 0, &why);
    if (c == 0) {
        model::close_document(d);
        error_sound(app);
        ask(app, "The template \"" + path + "\" could not be loaded.\n\n" + why, "New File Error", Buttons::Ok);
        redraw_current(app);
        return 0;
    }
    d->setup.format_code = 'C';
    d->modified_bits = 0;
    d->backup_made = true; // nothing on disk to keep
    display::set_pixel_format(app.display, app.display.format, &app.model);
    take_document_view(app);
    update_title(app);
    execute_command(app, code('Z', 'X'), kSourceKey);
    return 1;
}

namespace {

// Before version 3.8 is written: what the format cannot hold, asked about when there is anything.  False
// when the user cancelled.
bool confirm_version38(App& app, model::Document& d) {
    std::vector<std::string> losses = model::version38_losses(d);
    return losses.empty() ||
           ask(app, model::version38_warning_text(losses), "Version 3.8 Warning", Buttons::OkCancel) == Answer::Ok;
}

} // namespace

int file_save(App& app) {
    model::Document* d = app.doc();
    if (!d) {
        beep(app);
        return 0;
    }
    char c = d->setup.format_code;
    // Cancel keeps the older format: "3" is written as version 3.8 to the same file, and "2", which has
    // no writer, as the Data file after the dispatcher has said so.
    bool older = c == '2' || c == '3';
    if (older) {
        run_suspended(app, [&] { model::confirm_old_format_save(*d); });
        c = d->setup.format_code;
        older = c == '2' || c == '3';
    }
    if ((c != 'C' && c != 0 && !older) || has_no_file(*d)) {
        return file_save_as(app);
    }
    if (c == '3' && !confirm_version38(app, *d)) {
        return 0;
    }
    if (!d->backup_made) {
        make_backup(app, *d);
        d->backup_made = true;
    }
    std::string name = d->name();
    std::string why;
    bool saved = false;
    auto save = [&] { saved = model::SaveDocumentFile(app.formats, name, older ? c : 'C', &why); };
    if (c == '2') {
        run_suspended(app, save); // the dispatcher tells the user that version 2 is written as the Data file
    } else {
        save();
    }
    if (!saved) {
        error_sound(app);
        ask(app, "The data file \"" + name + "\" could not be saved.\n\n" + why +
                     "\n\nThe file on disk has been left as it was.",
            "File Save Error", Buttons::Ok);
        return 0;
    }
    d->setup.format_code = c == '3' ? '3' : 'C';
    finish_save(app, *d);
    return 1;
}

void finish_save(App& app, model::Document& d) {
    add_recent_file(app, d.name());
    d.modified_bits = 0;
    if (app.shell.edit.after_save) {
        app.shell.edit.after_save(app, d); // the undo purge unless undo survives a save
    } else if (!app.shell.options.undo_beyond_save && app.shell.edit.purge_undo) {
        app.shell.edit.purge_undo(app);
    }
    update_title(app);
    show_message(app, 0x509);
}

namespace {

// The extension the save dialog gives a file written by a foreign writer; empty for our own formats.
std::string export_extension(char code) {
    switch (code) {
    case 'G':
        return "ger";
    case 'P':
    case 'T':
        return "pcb";
    case 'X':
        return "dxf";
    case 'Z':
        return "txt";
    default:
        return {};
    }
}

} // namespace

int file_save_as(App& app) {
    model::Document* d = app.doc();
    if (!d) {
        beep(app);
        return 0;
    }
    char code = d->setup.format_code ? d->setup.format_code : 'C';
    if (code == '2') {
        code = 'C'; // version 2 has no writer
    }
    if (!app.formats.writers[static_cast<uint8_t>(code)]) {
        ask(app,
            "This file was imported from a format that does not\nhave a corresponding output translation filter.\n\n"
            "TRAZEL Version 4.0 file format will be substituted.",
            "Export Filter Error", Buttons::Ok);
        code = 'C';
    }
    // The export filters that exist: the Data file first, then each other writer.
    std::string ext = extension_of(d->name());
    if (ext.empty() || ext == ".txt") {
        ext = model::IsSchematic(d->setup) ? ".sch" : ".pcb";
    }
    std::vector<std::string> filters;
    std::vector<char> codes;
    filters.push_back(std::string(model::format_name('C')) + "|*" + ext);
    codes.push_back('C');
    for (int k = 1; k < 256; ++k) {
        if (k != 'C' && app.formats.writers[static_cast<size_t>(k)]) {
            std::string ext_k = export_extension(static_cast<char>(k));
            std::string pattern = ext_k.empty() ? "*" : "*." + ext_k;
            std::string label(k == 'G'   ? "Gerber Photo Plot (RS-274-D)"
                              : k == '3' ? "TRAZEL V3.8 (Old DOS format)"
                              : k == 'P' ? "Protel AutoTrax (PCB)"
                              : k == 'T' ? "Tango II (PCB)"
                              : k == 'X' ? "AutoCad V2.5 (DXF)"
                                         : model::format_name(static_cast<char>(k)));
            filters.push_back(label + "|" + pattern);
            codes.push_back(static_cast<char>(k));
        }
    }
    int index = static_cast<int>(std::find(codes.begin(), codes.end(), code) - codes.begin());
    if (index >= static_cast<int>(codes.size())) {
        index = 0;
    }
    std::string initial = has_no_file(*d) ? std::string() : d->name();
    std::string name;
    run_suspended(app, [&] { name = app.platform().save_file_dialog("Save File As", filters, index, initial); });
    if (name.empty()) {
        return 0;
    }
    if (index < 0 || index >= static_cast<int>(codes.size())) {
        index = 0;
    }
    // The foreign writers give the name their own extension.
    std::string forced_ext = export_extension(codes[static_cast<size_t>(index)]);
    if (!forced_ext.empty()) {
        fs::path p(name);
        p.replace_extension("." + forced_ext);
        name = p.string();
    }
    std::error_code ec;
    std::string full = fs::absolute(name, ec).string();
    if (ec) {
        full = name;
    }
    model::Document* other = model::FindDocument(full);
    if (other && other != d) {
        error_sound(app);
        ask(app, kCurrentlyOpen, "File Save Error", Buttons::Ok);
        return 0;
    }
    char chosen = codes[static_cast<size_t>(index)];
    if (chosen == '3' && !confirm_version38(app, *d)) {
        return 0;
    }
    std::string why;
    if (!model::SaveDocumentFile(app.formats, full, chosen, &why)) {
        error_sound(app);
        ask(app, "The data file \"" + full + "\" could not be saved.\n\n" + why, "File Save Error", Buttons::Ok);
        return 0;
    }
    model::set_document_name(d, full);
    d->setup.format_code = chosen;
    d->backup_made = true; // the new file has just been written; the old one stays as it was
    finish_save(app, *d);
    return 1;
}

bool has_no_file(const model::Document& d) {
    std::string n = d.name();
    return n.rfind(kUnnamed, 0) == 0 && n.find_first_of("/\\") == std::string::npos;
}

int file_command(App& app, const std::function<int(App&)>& body) {
    // The cross-hair comes down and what hangs on the cursor is cancelled before any File command.
    display::crosshair_off(app.display);
    cancel_items(app);
    int r = body(app);
    if (app.shell.trazel_mode && !app.display.crosshair_showing) {
        display::crosshair_on(app.display);
    }
    return r;
}

namespace {

int file_code(App& app, uint16_t c) {
    int r = 0;
    if (c < kFileFirst || c > kFileLast) {
        error_sound(app);
    } else if (c >= code('F', '0') && c <= code('F', '9')) {
        r = file_reopen(app, (c & 0xFF) - '0');
    } else if (c == kPurgeFiles) {
        r = purge_recent_lists(app, 3);
    } else if (c == kRemoveAllFiles) {
        r = clear_reopen_list(app);
    } else {
        switch (static_cast<char>(c & 0xFF)) {
        case 'W':
            r = file_new(app);
            break;
        case 'O':
            r = file_open(app);
            break;
        case 'T':
            r = file_recall(app);
            break;
        case 'C':
            r = file_close(app);
            break;
        case 'E':
            r = file_erase(app);
            break;
        case 'S':
            r = file_save(app);
            break;
        case 'A':
            r = file_save_as(app);
            break;
        case 'I':
            r = file_information(app);
            break;
        case 'N':
            r = file_step(app, 1);
            break;
        case 'V':
            r = file_step(app, -1);
            break;
        case 'L':
            r = file_select(app);
            break;
        case 'X':
            return file_exit(app);
        default:
            error_sound(app);
            break;
        }
    }
    return r;
}

} // namespace

int file_group(App& app, uint16_t c, Source source) {
    (void)source;
    return file_command(app, [c](App& a) { return file_code(a, c); });
}

} // namespace trazel::shell
