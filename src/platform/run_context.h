#pragma once
// What a long run (photoplot, net scan, route, fill, plot) is handed besides the Document it works on:
// where its progress and its reports go, and the flag that asks it to stop.  A run never looks up "the
// current Document" or the installed platform itself, so it can work on any Document, on a thread, while
// the user switches Documents.
#include <atomic>
#include <string_view>

#include "platform/platform.h"

namespace trazel::platform {

class RunContext {
  public:
    explicit RunContext(Platform& sink) : sink_(sink) {
    }

    // `percent` 0..100 for the named step; -1 takes the display down.
    void progress(std::string_view what, int percent) {
        sink_.progress(what, percent);
    }
    // One line the user must see (an error, a table that overflowed).
    void report(std::string_view line) {
        sink_.report(line);
    }

    // Set from another thread (Escape, a Cancel button); the run checks it between steps.
    void cancel() noexcept {
        cancel_.store(true, std::memory_order_relaxed);
    }
    bool cancelled() const noexcept {
        return cancel_.load(std::memory_order_relaxed);
    }

    Platform& sink() {
        return sink_;
    }

  private:
    Platform& sink_;
    std::atomic<bool> cancel_{false};
};

} // namespace trazel::platform
