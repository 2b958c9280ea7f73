#pragma once
// The output buffer shared by every writer: 64 KiB gathered in memory and written to a temporary file
// beside the target, which replaces the target only when everything was written.  A failed save
// leaves the old file as it was.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace trazel::model {

class OutBuffer {
  public:
    static constexpr size_t kSize = 65536;

    OutBuffer();
    ~OutBuffer(); // an output that was not committed is thrown away
    OutBuffer(const OutBuffer&) = delete;
    OutBuffer& operator=(const OutBuffer&) = delete;

    // Creates the temporary file for `path`.  Returns 0 (reason in error()) when it cannot be created.
    bool open(const std::string& path);
    // Collects the output in `sink` instead of a file (tests, fuzzing, in-memory conversions).
    void open_memory(std::string* sink);

    void put(std::string_view s);
    void put(char c) {
        if (used_ == kSize) {
            flush();
        }
        buf_[used_++] = c;
    }

    // Writes what is left, closes the file and renames it over the target.  Returns 0 (reason in
    // error(); the target untouched, the temporary file removed) on any failure.
    bool commit();
    // Throws the output away; the target stays as it was.
    void abandon();

    bool failed() const {
        return failed_;
    }
    const std::string& error() const {
        return error_;
    }
    const std::string& path() const {
        return path_;
    }

  private:
    void flush();
    void fail(std::string why);

    std::vector<char> buf_;
    size_t used_ = 0;
    std::FILE* file_ = nullptr;
    std::string* sink_ = nullptr;
    std::string path_; // the target
    std::string temp_; // the temporary file beside it
    bool failed_ = false;
    std::string error_;
};

// Writes `bytes` as the whole file at `path`, safely as above.  Returns 0 with the reason in `*error`
// (when given) on failure.
int write_whole_file(const std::string& path, std::string_view bytes, std::string* error);

} // namespace trazel::model
