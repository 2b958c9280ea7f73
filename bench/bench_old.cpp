// bench_old [FILE]: the version 3.8 writer and the version 3 reader against our own Data file on the same
// board in the same run (no outside program reads these formats).  Each is given in MB/s of the file it
// writes or reads and as a ratio of the Data file's MB/s; the target is 0.8 for both.  FILE defaults to
// the board bench/run.sh makes beside this program.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "model/chooser.h"
#include "model/model.h"

using namespace trazel::model;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRuns = 5;
constexpr double kTarget = 0.8;

double seconds_since(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

// The best run: the machine is shared, and the fastest run is the one least disturbed.
double best(const std::vector<double>& v) {
    return *std::min_element(v.begin(), v.end());
}

std::string default_board() {
    char exe[4096];
    ssize_t len = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (len <= 0) {
        return "bench_board.pcb";
    }
    exe[len] = 0;
    return (std::filesystem::path(exe).parent_path() / "bench_board.pcb").string();
}

bool read_file(const FormatTable& formats, const std::string& file, char expect, double& seconds) {
    NewDocument(file);
    auto t = Clock::now();
    std::string why;
    char code = OpenDocumentFile(formats, file, 0, &why);
    seconds = seconds_since(t);
    if (code != expect) {
        std::fprintf(stderr, "bench_old: \"%s\" read as '%c': %s\n", file.c_str(), code ? code : '0', why.c_str());
        return false;
    }
    return true;
}

bool write_file(const FormatTable& formats, const std::string& file, char code, double& seconds) {
    auto t = Clock::now();
    std::string why;
    bool ok = SaveDocumentFile(formats, file, code, &why);
    seconds = seconds_since(t);
    if (!ok) {
        std::fprintf(stderr, "bench_old: %s\n", why.c_str());
    }
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 2) {
        std::fprintf(stderr, "usage: bench_old [FILE]\n");
        return 2;
    }
    std::string file = argc == 2 ? argv[1] : default_board();
    if (!std::filesystem::exists(file)) {
        std::printf("bench_old: no board \"%s\" (bench/run.sh makes it with gen_board); skipped\n", file.c_str());
        return 0;
    }
    std::string data_out = file + ".bench-old.pcb", old_out = file + ".bench-old.v38";
    FormatTable formats;
    register_model_formats(formats);
    std::vector<double> read_c, write_c, read_3, write_3;
    for (int k = 0; k < kRuns; ++k) {
        double s = 0;
        {
            Model m;
            if (!read_file(formats, file, 'C', s)) {
                return 1;
            }
            read_c.push_back(s);
            if (!write_file(formats, data_out, 'C', s)) {
                return 1;
            }
            write_c.push_back(s);
            if (!write_file(formats, old_out, '3', s)) {
                return 1;
            }
            write_3.push_back(s);
        }
        Model m;
        if (!read_file(formats, old_out, '3', s)) {
            return 1;
        }
        read_3.push_back(s);
    }
    std::error_code ec;
    double mb_c = static_cast<double>(std::filesystem::file_size(data_out, ec)) / 1e6;
    double mb_3 = static_cast<double>(std::filesystem::file_size(old_out, ec)) / 1e6;
    std::filesystem::remove(data_out, ec);
    std::filesystem::remove(old_out, ec);

    double rc = mb_c / best(read_c), wc = mb_c / best(write_c);
    double r3 = mb_3 / best(read_3), w3 = mb_3 / best(write_3);
    std::printf("Older format benchmark: %s, Data file %.1f MB, version 3.8 %.1f MB (best of %d runs)\n",
                file.c_str(), mb_c, mb_3, kRuns);
    std::printf("  Data file read     %8.1f MB/s\n", rc);
    std::printf("  Data file write    %8.1f MB/s\n", wc);
    std::printf("  version 3 read     %8.1f MB/s  %5.2f x the Data file   target >= %.1f: %s\n", r3, r3 / rc, kTarget,
                r3 / rc >= kTarget ? "met" : "MISSED");
    std::printf("  version 3.8 write  %8.1f MB/s  %5.2f x the Data file   target >= %.1f: %s\n", w3, w3 / wc, kTarget,
                w3 / wc >= kTarget ? "met" : "MISSED");
    return 0;
}
