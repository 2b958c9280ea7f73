#pragma once
// The bytes of one output file and the number forms the photoplot files are written in.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace trazel::cam {

// --- Text output ---------------------------------------------------------------------------------

// The bytes of one output file.  Writers append lines; every 64 KiB (and at the end) the bytes are
// handed to `drain`, which writes them to the file.  Without a drain everything stays in `data`, which
// is how tests read a file back.
struct TextOut {
    static constexpr size_t kChunk = 65536;
    std::string data;
    std::function<bool(std::string_view)> drain;
    bool failed = false;
    uint64_t total = 0; // bytes drained so far

    // One line: trailing blanks removed, CR LF appended.
    void line(std::string_view s);
    void raw(std::string_view s);
    // Hands the pending bytes to the drain; false once any drain failed.
    bool flush();

  private:
    void maybe_drain() {
        if (drain && data.size() >= kChunk) {
            flush();
        }
    }
};

// --- Number forms ------------------------------------------------------------------------------

// A coordinate relative to the origin in 1/10000 inch, rounded to nearest.
int64_t gerber_units(int64_t v);
// "." and `decimals` digits of a size in inches, rounded; a size that rounds to a whole inch or more
// gets its integer part in front ("1.0000").  Returns the end of the text written.
char* write_size(char* out, uint32_t size, int decimals);
std::string size_string(uint32_t size, int decimals);

} // namespace trazel::cam
