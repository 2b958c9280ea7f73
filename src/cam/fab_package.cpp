#include "cam/fab_package.h"

#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <system_error>
#include <thread>
#include <utility>

#include "cam/gerber_x2.h"
#include "cam/ipc356.h"
#include "cam/pick_place.h"
#include "display/view.h"
#include "model/model.h"
#include "nets/bom.h"
#include "nets/netlog.h"

namespace trazel::cam {

namespace fs = std::filesystem;

namespace {

std::string json_string(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char b[8];
            std::snprintf(b, sizeof b, "\\u%04x", u);
            out += b;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string mm_text(double v) {
    char b[32];
    std::snprintf(b, sizeof b, "%.3f", v);
    return b;
}

std::tm as_tm(const DateTime& t) {
    std::tm tm{};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    return tm;
}

// A folder beside `near` that no one else uses, made empty.
bool scratch_folder(const fs::path& near, fs::path& out, std::string& why) {
    std::random_device rd;
    for (int k = 0; k < 16; ++k) {
        char tag[16];
        std::snprintf(tag, sizeof tag, "%08x", static_cast<unsigned>(rd()));
        fs::path p = near / (".trazel-fab-" + std::string(tag));
        std::error_code ec;
        if (fs::create_directory(p, ec)) {
            out = p;
            return true;
        }
        if (ec && ec != std::errc::file_exists) {
            why = ec.message();
            return false;
        }
    }
    why = "no scratch folder could be made";
    return false;
}

bool write_text(const fs::path& p, const std::string& text, std::string& why) {
    std::ofstream f(p, std::ios::binary);
    f.write(text.data(), static_cast<std::streamsize>(text.size()));
    f.close();
    if (!f) {
        why = "cannot write " + p.string();
        return false;
    }
    return true;
}

std::string open_error(int err) {
    zip_error_t ze;
    zip_error_init_with_code(&ze, err);
    std::string text = zip_error_strerror(&ze);
    zip_error_fini(&ze);
    return text;
}

// A new archive at `path` of the files `names` in `folder`, deflated at the fastest level: photoplot
// text still shrinks about fivefold, in a fraction of the default level's time.
bool deflate_into(const fs::path& path, const fs::path& folder, const std::vector<std::string>& names,
                  std::string& why) {
    int err = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_EXCL, &err);
    if (z == nullptr) {
        why = "cannot create " + path.string() + ": " + open_error(err);
        return false;
    }
    for (const std::string& name : names) {
        zip_source_t* src = zip_source_file(z, (folder / name).c_str(), 0, -1);
        zip_int64_t index = src ? zip_file_add(z, name.c_str(), src, ZIP_FL_ENC_UTF_8) : -1;
        if (index >= 0 && zip_set_file_compression(z, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 1) < 0) {
            index = -1;
            src = nullptr; // the archive owns it now
        }
        if (index < 0) {
            why = "cannot add " + name + " to the archive: " + zip_strerror(z);
            if (src) {
                zip_source_free(src);
            }
            zip_discard(z);
            return false;
        }
    }
    if (zip_close(z) < 0) {
        why = "cannot write " + path.string() + ": " + zip_strerror(z);
        zip_discard(z);
        return false;
    }
    return true;
}

// The archive of `files` (in `folder`) at `target`.  Deflating is most of the time, so the files are
// deflated into two part archives on two threads, and the archive takes their deflated data as it is.
// It is written under a scratch name beside the target, then renamed over it, so an older archive stays
// until the new one is whole.
bool write_zip(const fs::path& folder, const std::vector<FabFile>& files, const fs::path& target, std::string& why) {
    // The two parts about equal in bytes: the largest file first, each to the lighter part.
    std::vector<std::pair<uintmax_t, std::string>> sized;
    for (const FabFile& f : files) {
        std::error_code e;
        uintmax_t n = fs::file_size(folder / f.name, e);
        sized.emplace_back(e ? 0 : n, f.name);
    }
    std::sort(sized.begin(), sized.end(), std::greater<>());
    std::vector<std::string> part_names[2];
    uintmax_t load[2] = {0, 0};
    for (const auto& [n, name] : sized) {
        int k = load[1] < load[0] ? 1 : 0;
        load[k] += n;
        part_names[k].push_back(name);
    }
    const fs::path parts[2] = {folder / ".part-0.zip", folder / ".part-1.zip"};
    std::string part_why[2];
    bool part_ok[2] = {true, true};
    std::thread second([&] { part_ok[1] = deflate_into(parts[1], folder, part_names[1], part_why[1]); });
    part_ok[0] = deflate_into(parts[0], folder, part_names[0], part_why[0]);
    second.join();
    for (int k = 0; k < 2; ++k) {
        if (!part_ok[k]) {
            why = part_why[k];
            return false;
        }
    }

    fs::path partial = target;
    partial += ".partial";
    std::error_code ec;
    fs::remove(partial, ec);
    zip_t* from[2] = {nullptr, nullptr};
    zip_t* z = nullptr;
    auto give_up = [&](const std::string& reason) {
        why = reason;
        if (z) {
            zip_discard(z);
        }
        for (zip_t* p : from) {
            if (p) {
                zip_discard(p);
            }
        }
        fs::remove(partial, ec);
        return false;
    };
    for (int k = 0; k < 2; ++k) {
        int err = 0;
        from[k] = zip_open(parts[k].c_str(), ZIP_RDONLY, &err);
        if (from[k] == nullptr) {
            return give_up("cannot read " + parts[k].string() + ": " + open_error(err));
        }
    }
    int err = 0;
    z = zip_open(partial.c_str(), ZIP_CREATE | ZIP_EXCL, &err);
    if (z == nullptr) {
        return give_up("cannot create " + partial.string() + ": " + open_error(err));
    }
    for (const FabFile& f : files) {
        int k = zip_name_locate(from[0], f.name.c_str(), 0) >= 0 ? 0 : 1;
        zip_int64_t at = zip_name_locate(from[k], f.name.c_str(), 0);
        zip_source_t* src = at >= 0 ? zip_source_zip(z, from[k], static_cast<zip_uint64_t>(at), 0, 0, -1) : nullptr;
        if (src == nullptr || zip_file_add(z, f.name.c_str(), src, ZIP_FL_ENC_UTF_8) < 0) {
            std::string reason = "cannot add " + f.name + " to the archive: " + zip_strerror(z);
            if (src) {
                zip_source_free(src);
            }
            return give_up(reason);
        }
    }
    if (zip_close(z) < 0) {
        std::string reason = "cannot write " + partial.string() + ": " + zip_strerror(z);
        return give_up(reason);
    }
    z = nullptr;
    for (zip_t*& p : from) {
        zip_discard(p);
        p = nullptr;
    }
    fs::rename(partial, target, ec);
    if (ec) {
        why = "cannot put the archive in place as " + target.string() + ": " + ec.message();
        fs::remove(partial, ec);
        return false;
    }
    return true;
}

bool ends_with_zip(const std::string& s) {
    if (s.size() < 4) {
        return false;
    }
    std::string tail = s.substr(s.size() - 4);
    for (char& c : tail) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return tail == ".zip";
}

std::string what_of(const model::Setup& setup, const model::GerberEntry& row) {
    std::string fn = x2_file_function(setup, row);
    switch (row.kind & kFileTypeMask) {
    case kDrill:
        return (fn.empty() ? std::string("Drill") : fn) + " (Excellon drill file)";
    case kAperture:
        return "Aperture and tool listing (text)";
    case kSymbols:
        if (row_extension(row) != "SYM") {
            return "Drill symbol drawing (TRAZEL data file)";
        }
        [[fallthrough]];
    default:
        return (fn.empty() ? std::string(kFileTypeNames[row.kind & kFileTypeMask]) : fn) + " (Gerber)";
    }
}

std::string readme_text(const std::string& project, const std::vector<FabFile>& files) {
    std::string out = "Fabrication package of " + project + "\r\n\r\n";
    size_t width = 0;
    for (const FabFile& f : files) {
        width = std::max(width, f.name.size());
    }
    for (const FabFile& f : files) {
        out += f.name + std::string(width + 2 - f.name.size(), ' ') + f.what + "\r\n";
    }
    return out;
}

} // namespace

std::string gerber_job_json(const std::string& project, const std::string& version, const DateTime& when,
                            double width_mm, double height_mm, int layers, const std::vector<JobFile>& files) {
    std::string o = "{\n";
    o += "  \"Header\": {\n";
    o += "    \"GenerationSoftware\": {\"Vendor\": \"TRAZEL\", \"Application\": \"trazel\", \"Version\": " +
         json_string(version) + "},\n";
    o += "    \"CreationDate\": " + json_string(iso_date_time(when)) + "\n";
    o += "  },\n";
    o += "  \"GeneralSpecs\": {\n";
    o += "    \"ProjectId\": {\"Name\": " + json_string(project) + "},\n";
    o += "    \"Size\": {\"X\": " + mm_text(width_mm) + ", \"Y\": " + mm_text(height_mm) + "},\n";
    o += "    \"LayerNumber\": " + std::to_string(layers) + "\n";
    o += "  },\n";
    o += "  \"FilesAttributes\": [";
    for (size_t i = 0; i < files.size(); ++i) {
        o += i ? ",\n" : "\n";
        o += "    {\"Path\": " + json_string(files[i].name) + ", \"FileFunction\": " + json_string(files[i].function) +
             ", \"FilePolarity\": " + json_string(files[i].polarity) + "}";
    }
    o += files.empty() ? "]\n" : "\n  ]\n";
    o += "}\n";
    return o;
}

bool fab_package(const model::Document& doc, const FabOptions& o, platform::RunContext& run,
                 std::vector<FabFile>* listed) {
    const bool zip = ends_with_zip(o.out);
    const fs::path target = fs::absolute(o.out.empty() ? fs::path(".") : fs::path(o.out));
    const fs::path home = zip ? target.parent_path() : target;
    std::error_code ec;
    fs::create_directories(home, ec);
    if (!fs::is_directory(home)) {
        run.report("Cannot make the folder " + home.string() + (ec ? ": " + ec.message() : ""));
        return false;
    }
    fs::path scratch;
    std::string why;
    if (!scratch_folder(home, scratch, why)) {
        run.report("Cannot make a scratch folder in " + home.string() + ": " + why);
        return false;
    }
    struct Cleanup {
        fs::path p;
        ~Cleanup() {
            std::error_code e;
            fs::remove_all(p, e);
        }
    } cleanup{scratch};

    const DateTime when = o.clock ? o.clock() : local_now();
    const std::string project = fs::path(doc.name()).stem().string();
    std::vector<FabFile> files;
    std::vector<JobFile> job;

    PhotoplotOptions po;
    po.out_dir = scratch.string();
    po.excellon_header = o.excellon_header;
    po.x2 = o.x2;
    po.metric = o.metric;
    po.true_arcs = o.true_arcs;
    po.clock = [when] { return when; };
    std::vector<std::string> written;
    if (!photoplot_run(doc, po, run, &written)) {
        return false;
    }
    // The run writes the rows in use in order, one file each.
    size_t at = 0;
    for (const model::GerberEntry& row : doc.setup.gerber) {
        if (!row.in_use() || at >= written.size()) {
            continue;
        }
        std::string name = fs::path(written[at++]).filename().string();
        files.push_back({name, what_of(doc.setup, row)});
        std::string fn = x2_file_function(doc.setup, row);
        bool native = (row.kind & kFileTypeMask) == kSymbols && row_extension(row) != "SYM";
        if (!fn.empty() && !native && (row.kind & kFileTypeMask) != kAperture) {
            job.push_back({name, fn, x2_file_polarity(row)});
        }
    }

    auto add = [&](const std::string& name, const std::string& text, const std::string& what) {
        if (!write_text(scratch / name, text, why)) {
            return false;
        }
        files.push_back({name, what});
        return true;
    };
    PickPlaceOptions pp;
    pp.mm = o.metric;
    pp.all = o.all_components;
    Ipc356Options ipc;
    ipc.mm = o.metric;
    ipc.job = project;
    nets::BomOptions bom;
    bom.csv = true;
    const std::tm date = as_tm(when);

    model::Point a{}, b{};
    double width = 0, height = 0;
    if (display::items_extents(doc.ring(), a, b)) {
        width = static_cast<double>(b.x - a.x) * 25.4 / 65536.0;
        height = static_cast<double>(b.y - a.y) * 25.4 / 65536.0;
    }
    bool ok = add(project + "-pos.csv", pick_place_csv(doc, pp), "Pick and place (CSV)") &&
              add(project + ".ipc", ipc356_text(doc, ipc), "Bare-board test netlist (IPC-D-356A)") &&
              add(project + "-bom.csv", nets::bom_text(doc, bom, date), "Bill of materials (CSV)") &&
              add(project + ".gbrjob",
                  gerber_job_json(project, o.version, when, width, height, copper_layer_count(doc.setup), job),
                  "Gerber job file (JSON)");
    if (ok) {
        std::vector<FabFile> with_readme = files;
        with_readme.push_back({"README.txt", "This list"});
        ok = write_text(scratch / "README.txt", readme_text(project, with_readme), why);
        files = with_readme;
    }
    if (!ok) {
        run.report("The fabrication package was not made: " + why);
        return false;
    }

    if (zip) {
        if (!write_zip(scratch, files, target, why)) {
            run.report("The fabrication package was not made: " + why);
            return false;
        }
    } else {
        // Each file replaces its older copy only once every file of the package is made.
        for (const FabFile& f : files) {
            fs::rename(scratch / f.name, target / f.name, ec);
            if (ec) {
                run.report("Cannot put " + f.name + " in place in " + target.string() + ": " + ec.message());
                return false;
            }
        }
    }
    if (listed) {
        *listed = files;
    }
    return true;
}

} // namespace trazel::cam
