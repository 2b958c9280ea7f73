#pragma once
// The line input shared by every text reader: a file (or a memory buffer) read in 64 KiB chunks and cut
// into lines by the system's rules, with a raw byte reader beside it for binary blocks.
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace trazel::model {

class LineReader {
  public:
    static constexpr size_t kChunk = 65536;
    static constexpr int kMaxLine = 32760;

    LineReader();
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // Opens a file and reads its first chunk.  Returns 0 (with the reason in `error`) when it cannot be
    // opened or read.
    bool open_file(const std::string& path, std::string* error = nullptr);
    // Reads from a buffer the caller keeps alive while the reader is used.
    void open_memory(std::string_view bytes);
    void close();

    // The next line: its length, -1 for an empty line, 0 at the end of the input.  LF ends a line; CR is
    // dropped and ends the line too when anything but LF follows; a zero byte reads as 0xFF; a TAB
    // becomes blanks up to the next multiple of 8 columns; a line longer than kMaxLine is cut there and
    // the rest comes as the next line.
    int ReadLine();
    // The line that ReadLine returned; valid until the next call.
    std::string_view line() const {
        return {line_, line_len_};
    }

    // Raw bytes from the current position; returns how many were read (fewer only at the end).  A null
    // destination skips them.
    size_t ReadBytes(void* dst, size_t n);
    // The next byte without taking it, -1 at the end.
    int peek_byte();

    // The first chunk of the input (up to 64 KiB), for the import chooser to look at before anything is
    // read.  Valid until the first line or bytes are read.
    std::string_view head() const {
        return head_;
    }
    // Bytes not yet read, or -1 when the size of the input is not known (a pipe).
    int64_t remaining() const;
    // The input offset of the next byte: before ReadLine, where the next line starts.
    int64_t offset() const {
        return base_offset_ + (pos_ - base_);
    }
    bool failed() const {
        return failed_;
    }
    const std::string& error() const {
        return error_;
    }
    // Shown beside the progress bar.
    void set_label(std::string label) {
        label_ = std::move(label);
    }
    // The file name as the opener gave it: readers name layers and report lines after it.
    const std::string& label() const {
        return label_;
    }

  private:
    bool refill();
    int slow_line();
    void note_chunk();

    std::FILE* file_ = nullptr;
    std::vector<unsigned char> chunk_;    // file source: the current chunk
    const unsigned char* base_ = nullptr; // start of the current chunk (the buffer for memory sources)
    const unsigned char* pos_ = nullptr;
    const unsigned char* end_ = nullptr;
    bool memory_ = false;
    bool eof_ = false;
    bool failed_ = false;
    std::string error_;
    std::string label_;
    int64_t size_ = -1;       // total bytes, -1 when unknown
    int64_t base_offset_ = 0; // input offset of base_
    int64_t chunks_ = 0;      // chunks read, for the progress bar
    int last_percent_ = -2;
    std::string_view head_;
    std::vector<char> buf_; // line buffer for lines that need rewriting or span chunks
    const char* line_ = nullptr;
    size_t line_len_ = 0;
};

} // namespace trazel::model
