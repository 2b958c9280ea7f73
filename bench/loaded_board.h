#pragma once
// A board read into a model of its own for a benchmark, runs undone between repetitions, and the shell
// command runner the peer timings use.
#include <cstdio>
#include <cstdlib>
#include <string>

#include <csignal>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "bench_support.h"
#include "edit/undo.h"
#include "model/chooser.h"
#include "model/model.h"

namespace bench {

struct Loaded {
    trazel::model::Model m;
    trazel::model::FormatTable formats;
    trazel::model::Document* d = nullptr;
    double read_ms = 0;
    size_t items = 0, components = 0;

    bool open(const std::string& file) {
        namespace model = trazel::model;
        model::register_model_formats(formats);
        d = model::NewDocument(file);
        std::string err;
        double t0 = now_ms();
        if (model::OpenDocumentFile(formats, file, 0, &err) == 0) {
            std::fprintf(stderr, "cannot read %s: %s\n", file.c_str(), err.c_str());
            return false;
        }
        read_ms = now_ms() - t0;
        model::walk_tree(d->ring(), [&](model::Ref r, int) {
            ++items;
            components += model::node(r).item_kind() == model::kComponent ? 1 : 0;
        });
        return true;
    }
};

// Undoes what one run recorded, so every run starts from the board as read.
inline void undo_run(trazel::model::Document& d, int groups_before) {
    while (trazel::edit::undo_groups(d) > groups_before) {
        trazel::edit::undo(d, nullptr);
    }
}

// A shell command's exit status (-1 when it did not exit).
inline int sh(const std::string& cmd) {
    int rc = std::system(cmd.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

// Runs a program directly (no shell, so its start-up is all that is timed besides its work), stdin from
// `in` (or /dev/null), stdout and stderr into `out` (or /dev/null); killed after `timeout_s` seconds.
// Its exit status, 124 on a timeout, -1 when it could not start; its user plus system CPU seconds into
// `cpu_s` when given (on a shared machine CPU time is steadier than the wall clock).
inline int run_process(const std::vector<std::string>& args, const std::string& in, const std::string& out,
                       int timeout_s = 600, double* cpu_s = nullptr) {
    std::vector<char*> argv;
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, in.empty() ? "/dev/null" : in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, out.empty() ? "/dev/null" : out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&fa, 1, 2);
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), ::environ);
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) {
        return -1;
    }
    double deadline = now_ms() + timeout_s * 1000.0;
    int status = 0;
    struct rusage ru {};
    while (true) {
        pid_t w = wait4(pid, &status, WNOHANG, &ru);
        if (w == pid) {
            if (cpu_s != nullptr) {
                *cpu_s = double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
                         double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
            }
            break;
        }
        if (now_ms() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return 124;
        }
        usleep(200);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace bench
