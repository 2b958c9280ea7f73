// Library lookup, copy and listing.  Each file is indexed once (name -> first entry) and the index kept
// until the file's size or time changes; the plain scan of every file stays as the reference.
#include "library/library.h"

#include <algorithm>
#include <filesystem>
#include <cstdio>
#include <memory>
#include <unordered_map>

#include "display/stroke_font.h"
#include "library/source_library.h"
#include "model/datafile.h"
#include "model/line_reader.h"
#include "model/model.h"
#include "model/numbers.h"
#include "platform/data_dirs.h"
#include "platform/platform.h"

namespace trazel::library {

namespace fs = std::filesystem;
using model::Coord;
using model::kNone;
using model::node;
using model::Ref;

namespace {

bool field_end(char c) {
    return static_cast<unsigned char>(c) <= ' ' || c == '\x7F';
}

// The pattern name of a "6" record: the first field of its Parameters, up to the first character at or
// below a blank or 0x7F.
std::string_view record_name(std::string_view line) {
    size_t b = parameters_start(line), i = b;
    while (i < line.size() && !field_end(line[i])) {
        ++i;
    }
    return line.substr(b, i - b);
}

bool same_name(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (model::upper(a[i]) != model::upper(b[i])) {
            return false;
        }
    }
    return true;
}

// The scratch ring holds one Component: hook to (0,0), Texts measured.  False (and the error sound) when
// what was read is not a Component.
bool finish_copy() {
    Ref c = model::first_item(scratch_ring());
    if (c == kNone || node(c).item_kind() != model::kComponent) {
        empty_scratch();
        platform::P().play(platform::Sound::Error);
        return false;
    }
    Ref head = model::member_ring(c);
    Coord hx = node(head).box.x1, hy = node(head).box.y1;
    model::offset_item(c, -hx, -hy);
    model::walk_tree(scratch_ring(), [](Ref r, int) {
        if (node(r).item_kind() == model::kText) {
            display::measure_text_item(r);
        }
    });
    return true;
}

bool copy_data_entry(model::LineReader& in, std::string_view first, int version) {
    empty_scratch();
    model::read_library_entry(in, first, scratch_ring(), version);
    return finish_copy();
}

bool copy_source_entry(std::string_view body, std::string_view shown, int variant) {
    empty_scratch();
    convert_source_entry(body, shown, variant, scratch_ring());
    return finish_copy();
}

// The name the copied Component of a source entry carries: the request as typed, variant letter kept.
std::string shown_name(const Pattern& p) {
    std::string s = p.name;
    if (p.variant > 0) {
        s += static_cast<char>('a' + p.variant - 1);
    }
    return s;
}

// Walks a source library from its third line: calls `entry(name line, its line number, body)` for every
// entry; a true return stops the walk.
template <class F> void walk_source(model::LineReader& in, long line_no, F&& entry) {
    enum { Between, Comment, Names, Body } state = Between;
    std::string names, body;
    long names_line = 0;
    auto flush = [&]() {
        bool stop = false;
        if (state == Names || state == Body) {
            stop = entry(std::string_view(names), names_line, std::string_view(body));
        }
        names.clear();
        body.clear();
        state = Between;
        return stop;
    };
    for (int n; (n = in.ReadLine()) != 0;) {
        ++line_no;
        std::string_view line = n < 0 ? std::string_view() : in.line();
        if (line.empty()) {
            if (flush()) {
                return;
            }
            continue;
        }
        switch (state) {
        case Between:
            if (line[0] == '$') {
                state = Comment;
            } else {
                names.assign(line);
                names_line = line_no;
                state = Names;
            }
            break;
        case Comment:
            break;
        case Names:
            if (line[0] == '$') {
                state = Body;
            }
            break;
        case Body:
            body.append(line);
            body += '\n';
            break;
        }
    }
    flush();
}

struct Hit {
    int64_t offset = 0;
    long line = 0;
};

struct SourceEntry {
    long line = 0;
    std::string body;
};

struct FileIndex {
    int64_t size = -1;
    fs::file_time_type time{};
    Recognition rec;
    std::string bytes;
    std::unordered_map<std::string, Hit> data;            // Data file: first "6" record of each name
    std::unordered_map<std::string, size_t> source;       // source: name -> entry
    std::unordered_map<std::string, std::string> aliases; // source: alias -> target
    std::vector<SourceEntry> entries;
};

struct Indexes {
    std::unordered_map<std::string, std::unique_ptr<FileIndex>> files;
    long builds = 0;
};

Indexes& indexes() {
    static Indexes x;
    return x;
}

void build_index(FileIndex& ix) {
    model::LineReader in;
    in.open_memory(ix.bytes);
    ix.data.clear();
    ix.source.clear();
    ix.aliases.clear();
    ix.entries.clear();
    int n = in.ReadLine();
    ix.rec = recognize(n > 0 ? in.line() : std::string_view());
    long line_no = n != 0 ? 1 : 0;
    if (ix.rec.kind == LibraryKind::Data) {
        for (;;) {
            int64_t at = in.offset();
            if ((n = in.ReadLine()) == 0) {
                break;
            }
            ++line_no;
            std::string_view line = n < 0 ? std::string_view() : in.line();
            if (line.size() >= 2 && line[0] == '6' && line[1] == ' ') {
                ix.data.try_emplace(model::upper_ascii(record_name(line)), Hit{at, line_no});
            }
        }
    } else if (ix.rec.kind == LibraryKind::Source) {
        if (in.ReadLine() != 0) {
            ++line_no;
        }
        walk_source(in, line_no, [&](std::string_view names, long at, std::string_view body) {
            NameLine nl = parse_name_line(names);
            if (nl.alias) {
                for (auto& a : nl.names) {
                    ix.aliases.try_emplace(a, nl.target);
                }
                return false;
            }
            ix.entries.push_back({at, std::string(body)});
            for (auto& name : nl.names) {
                ix.source.try_emplace(name, ix.entries.size() - 1);
            }
            return false;
        });
    }
    ++indexes().builds;
}

// The index of a file, rebuilt when its size or time changed; null when it cannot be read.
FileIndex* index_of(const std::string& path) {
    std::error_code ec;
    auto size = fs::file_size(path, ec);
    if (ec) {
        return nullptr;
    }
    auto time = fs::last_write_time(path, ec);
    if (ec) {
        return nullptr;
    }
    auto& slot = indexes().files[path];
    if (slot && slot->size == static_cast<int64_t>(size) && slot->time == time) {
        return slot.get();
    }
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        return nullptr;
    }
    auto ix = std::make_unique<FileIndex>();
    // Read in one piece of the size the file had; a file that grew meanwhile is read on to its end.
    ix->bytes.resize(static_cast<size_t>(size));
    size_t got = std::fread(ix->bytes.data(), 1, ix->bytes.size(), f);
    ix->bytes.resize(got);
    char more[65536];
    for (size_t n; (n = std::fread(more, 1, sizeof more, f)) > 0;) {
        ix->bytes.append(more, n);
    }
    std::fclose(f);
    ix->size = static_cast<int64_t>(ix->bytes.size());
    ix->time = time;
    build_index(*ix);
    if (ix->size != static_cast<int64_t>(size)) {
        ix->size = -1; // changed while read: read it again next time
    }
    slot = std::move(ix);
    return slot.get();
}

constexpr int kAliasHops = 8;

bool find_in_index(FileIndex& ix, const Pattern& p, long* line) {
    if (ix.rec.kind == LibraryKind::Data) {
        auto it = ix.data.find(p.name);
        if (it == ix.data.end()) {
            return false;
        }
        model::LineReader in;
        in.open_memory(std::string_view(ix.bytes).substr(static_cast<size_t>(it->second.offset)));
        if (in.ReadLine() <= 0) {
            return false;
        }
        *line = it->second.line;
        return copy_data_entry(in, in.line(), ix.rec.version);
    }
    if (ix.rec.kind == LibraryKind::Source) {
        std::string name = p.name;
        for (int hop = 0; hop <= kAliasHops; ++hop) {
            auto it = ix.source.find(name);
            if (it != ix.source.end()) {
                const SourceEntry& e = ix.entries[it->second];
                *line = e.line;
                return copy_source_entry(e.body, shown_name(p), p.variant);
            }
            auto al = ix.aliases.find(name);
            if (al == ix.aliases.end()) {
                return false;
            }
            name = al->second;
        }
    }
    return false;
}

// The scan of one file: reads it from the start and copies the first entry that matches.
bool scan_file(const std::string& path, const Pattern& p, long* line, int hops = 0, std::string shown = {}) {
    if (shown.empty()) {
        shown = shown_name(p);
    }
    model::LineReader in;
    if (!in.open_file(path)) {
        return false;
    }
    int n = in.ReadLine();
    Recognition rec = recognize(n > 0 ? in.line() : std::string_view());
    long line_no = n != 0 ? 1 : 0;
    if (rec.kind == LibraryKind::Data) {
        while ((n = in.ReadLine()) != 0) {
            ++line_no;
            if (n < 0) {
                continue;
            }
            std::string_view l = in.line();
            if (l.size() >= 2 && l[0] == '6' && l[1] == ' ' && same_name(record_name(l), p.name)) {
                *line = line_no;
                return copy_data_entry(in, l, rec.version);
            }
        }
        return false;
    }
    if (rec.kind != LibraryKind::Source) {
        return false;
    }
    if (in.ReadLine() != 0) {
        ++line_no;
    }
    bool found = false, copied = false;
    std::string target;
    walk_source(in, line_no, [&](std::string_view names, long at, std::string_view body) {
        NameLine nl = parse_name_line(names);
        for (auto& name : nl.names) {
            if (name == p.name) {
                found = true;
                if (nl.alias) {
                    target = nl.target;
                } else {
                    *line = at;
                    copied = copy_source_entry(body, shown, p.variant);
                }
                return true;
            }
        }
        return false;
    });
    if (found && !target.empty() && hops < kAliasHops) {
        Pattern q = p;
        q.name = target;
        return scan_file(path, q, line, hops + 1, shown);
    }
    return copied;
}

template <class F> bool find_with(const LibrarySet& libs, std::string_view requested, FoundPosition* found, F&& in_file) {
    Pattern p = normalize_pattern(requested);
    empty_scratch();
    if (p.name.empty()) {
        return false;
    }
    for (int slot = 0; slot < kLibrarySlots; ++slot) {
        std::string path = libs.path(slot);
        if (path.empty()) {
            continue;
        }
        long line = 0;
        if (in_file(path, p, &line)) {
            if (found) {
                found->slot = slot;
                found->line = line;
            }
            return true;
        }
        if (!model::ring_empty(scratch_ring())) {
            empty_scratch();
        }
        if (line != 0) {
            return false; // matched, but the entry was no Component: counts as not found
        }
    }
    return false;
}

Listing not_located(const std::string& path) {
    Listing l;
    l.title = "Library file not found";
    l.message = "The file \"" + path + "\" cannot be located.";
    return l;
}

Listing not_processed(const std::string& path) {
    Listing l;
    l.title = "Library file error";
    l.message = "The file \"" + path +
                "\" cannot be processed\nas a component library.\n\nPlease open it and save it as a TRAZEL V4 file type.";
    return l;
}

uint32_t packed(int slot, long line) {
    return FoundPosition{slot, line}.packed();
}

} // namespace

size_t parameters_start(std::string_view record) {
    size_t i = 2;
    for (int k = 0; k < 6 && i < record.size(); ++k) {
        while (i < record.size() && record[i] != ' ') {
            ++i;
        }
        ++i; // the blank after the field
    }
    return std::min(i, record.size());
}

Pattern normalize_pattern(std::string_view requested) {
    Pattern p;
    for (size_t i = 0; i < requested.size() && p.name.size() < kPatternMax; ++i) {
        char c = requested[i];
        if (static_cast<unsigned char>(c) <= ' ') {
            break;
        }
        bool last = i + 1 == requested.size() || static_cast<unsigned char>(requested[i + 1]) <= ' ' ||
                    p.name.size() + 1 == kPatternMax;
        if (c >= 'a' && c <= 't' && last && !p.name.empty() && p.name.back() >= '0' && p.name.back() <= '9') {
            p.variant = c - 'a' + 1;
            break;
        }
        p.name += model::upper(c);
    }
    return p;
}

Recognition recognize(std::string_view first) {
    Recognition r;
    if (model::name_matches("TRAZEL VERSION ?.? -- SOURCE LIBRARY FILE*", first)) {
        r.kind = LibraryKind::Source;
        r.version = first.size() > 15 ? (first[15] & 7) : 0;
    } else if (model::name_matches("TRAZEL Version ?.? -- DATA FILE*", first)) {
        r.kind = LibraryKind::Data;
        r.version = first[15] & 7;
        r.browsable = model::name_matches("TRAZEL Version 4.? -- DATA FILE*", first);
    }
    return r;
}

LibrarySet LibrarySet::from_setup(const model::Setup& setup, std::string directory) {
    LibrarySet s;
    s.directory = std::move(directory);
    if (!s.directory.empty() && s.directory.back() != '/') {
        s.directory += '/';
    }
    for (int i = 0; i < kLibrarySlots; ++i) {
        s.names[static_cast<size_t>(i)] = setup.libraries[static_cast<size_t>(i)].data();
    }
    return s;
}

std::string LibrarySet::path(int slot) const {
    if (slot < 0 || slot >= kLibrarySlots) {
        return {};
    }
    const std::string& n = names[static_cast<size_t>(slot)];
    if (n.empty()) {
        return {};
    }
    if (n.find('/') != std::string::npos || directory.empty()) {
        return n;
    }
    return directory + n;
}

std::string library_directory(std::string_view configured, const std::string& program_dir) {
    std::string dir(configured);
    if (dir.empty()) {
        dir = platform::find_data_dir(program_dir, "LIBRARY");
    }
    if (!dir.empty() && dir.back() != '/') {
        dir += '/';
    }
    return dir;
}

Ref scratch_ring() {
    Ref& head = model::M().library_scratch;
    if (head == kNone) {
        head = model::new_ring();
    }
    return head;
}

void empty_scratch() {
    Ref head = scratch_ring();
    while (!model::ring_empty(head)) {
        model::DeleteItem(model::first_item(head));
    }
}

bool FindLibraryComponent(const LibrarySet& libs, std::string_view requested, FoundPosition* found) {
    return find_with(libs, requested, found, [](const std::string& path, const Pattern& p, long* line) {
        FileIndex* ix = index_of(path);
        return ix != nullptr && find_in_index(*ix, p, line);
    });
}

bool find_by_scan(const LibrarySet& libs, std::string_view requested, FoundPosition* found) {
    return find_with(libs, requested, found, [](const std::string& path, const Pattern& p, long* line) {
        return scan_file(path, p, line);
    });
}

long index_builds() {
    return indexes().builds;
}

void forget_indexes() {
    indexes().files.clear();
}

std::string parameters_for_display(std::string_view stored) {
    std::string out;
    out.reserve(stored.size());
    for (unsigned char c : stored) {
        switch (c) {
        case 0x7F:
            out += '\t';
            break;
        case 0xF8:
            out += "\xC2\xB0"; // degree
            break;
        case 0xE6:
            out += "\xC2\xB5"; // micro
            break;
        case 0xEA:
            out += "\xCE\xA9"; // omega
            break;
        case 0xAB:
            out += "\xC2\xBD"; // one half
            break;
        case 0xAC:
            out += "\xC2\xBC"; // one quarter
            break;
        default:
            if (c < 0x80) {
                out += static_cast<char>(c);
            } else {
                out += static_cast<char>(0xC0 | c >> 6);
                out += static_cast<char>(0x80 | (c & 0x3F));
            }
        }
    }
    return out;
}

Listing list_library_file(const std::string& path, std::string_view shown, std::string_view filter, int slot) {
    model::LineReader in;
    if (!in.open_file(path)) {
        return not_located(path);
    }
    int n = in.ReadLine();
    Recognition rec = recognize(n > 0 ? in.line() : std::string_view());
    if (!rec.browsable && rec.kind != LibraryKind::Source) {
        return not_processed(path);
    }
    Listing l;
    l.ok = true;
    l.caption = " *** " + std::string(shown);
    long line_no = n != 0 ? 1 : 0;
    auto wanted = [&](std::string_view first_field) {
        return filter.empty() || model::name_matches(filter, first_field);
    };
    if (rec.kind == LibraryKind::Data) {
        int level = 0;
        while ((n = in.ReadLine()) != 0) {
            ++line_no;
            if (n < 0) {
                continue;
            }
            std::string_view line = in.line();
            if (line.substr(0, 4) == "6 0 ") {
                if (level == 0) {
                    std::string_view name = record_name(line);
                    if (wanted(name)) {
                        std::string_view params = line.substr(parameters_start(line));
                        while (!params.empty() && (params.back() == ' ' || params.back() == '\x7F')) {
                            params.remove_suffix(1);
                        }
                        l.lines.push_back({parameters_for_display(params), packed(slot, line_no)});
                    }
                }
                ++level;
            } else if (line.substr(0, 4) == "0 6 " && level > 0) {
                --level;
            }
        }
        return l;
    }
    if (in.ReadLine() != 0) {
        ++line_no;
    }
    walk_source(in, line_no, [&](std::string_view names, long at, std::string_view) {
        std::string shown_line(names);
        for (char& c : shown_line) {
            c = c == ',' ? '\t' : c;
        }
        size_t tab = shown_line.find('\t');
        std::string first = shown_line.substr(0, tab);
        if (!first.empty() && first[0] == '*') {
            first.erase(0, 1);
        }
        if (wanted(first)) {
            l.lines.push_back({parameters_for_display(shown_line), packed(slot, at)});
        }
        return false;
    });
    return l;
}

Listing ListLibrary(const LibrarySet& libs, int slot, std::string_view filter) {
    std::string path = libs.path(slot);
    if (path.empty()) {
        return not_located(path);
    }
    return list_library_file(path, libs.names[static_cast<size_t>(slot)], filter, slot);
}

} // namespace trazel::library
