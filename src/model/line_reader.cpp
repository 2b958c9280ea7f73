#include "model/line_reader.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/platform.h"

namespace trazel::model {

namespace {

// Bytes that the fast path cannot copy as they are.
constexpr std::array<bool, 256> special_bytes() {
    std::array<bool, 256> t{};
    t['\n'] = t['\r'] = t['\t'] = t[0] = true;
    return t;
}
constexpr std::array<bool, 256> kSpecial = special_bytes();

} // namespace

LineReader::LineReader() : buf_(kMaxLine + 8) {
}

LineReader::~LineReader() {
    close();
}

void LineReader::close() {
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
        if (size_ >= 0 && chunks_ > 0) {
            platform::P().progress(label_, -1);
        }
    }
    pos_ = end_ = base_ = nullptr;
    head_ = {};
    line_ = nullptr;
    line_len_ = 0;
}

bool LineReader::open_file(const std::string& path, std::string* error) {
    close();
    memory_ = false;
    eof_ = failed_ = false;
    error_.clear();
    base_offset_ = 0;
    chunks_ = 0;
    last_percent_ = -2;
    if (label_.empty()) {
        label_ = path;
    }
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        error_ = "it is a directory";
        failed_ = true;
    } else {
        file_ = std::fopen(path.c_str(), "rb");
        if (!file_) {
            error_ = std::strerror(errno);
            failed_ = true;
        }
    }
    if (failed_) {
        if (error) {
            *error = error_;
        }
        return false;
    }
    auto size = std::filesystem::file_size(path, ec);
    size_ = ec || !std::filesystem::is_regular_file(path, ec) ? -1 : static_cast<int64_t>(size);
    chunk_.resize(kChunk);
    pos_ = end_ = base_ = chunk_.data();
    refill();
    if (failed_) {
        if (error) {
            *error = error_;
        }
        close();
        return false;
    }
    head_ = std::string_view(reinterpret_cast<const char*>(pos_), static_cast<size_t>(end_ - pos_));
    return true;
}

void LineReader::open_memory(std::string_view bytes) {
    close();
    memory_ = true;
    eof_ = failed_ = false;
    error_.clear();
    base_offset_ = 0;
    size_ = static_cast<int64_t>(bytes.size());
    base_ = pos_ = reinterpret_cast<const unsigned char*>(bytes.data());
    end_ = pos_ + bytes.size();
    head_ = bytes.substr(0, kChunk);
}

bool LineReader::refill() {
    if (memory_ || !file_ || eof_) {
        return false;
    }
    base_offset_ += end_ - base_;
    size_t n = std::fread(chunk_.data(), 1, kChunk, file_);
    base_ = pos_ = chunk_.data();
    end_ = pos_ + n;
    if (n == 0) {
        eof_ = true;
        if (std::ferror(file_)) {
            failed_ = true;
            error_ = std::strerror(errno);
        }
        return false;
    }
    ++chunks_;
    note_chunk();
    return true;
}

void LineReader::note_chunk() {
    if (size_ <= 0) {
        return;
    }
    int64_t done = chunks_ * static_cast<int64_t>(kChunk);
    int percent = static_cast<int>(done >= size_ ? 100 : done * 100 / size_);
    if (percent != last_percent_) {
        last_percent_ = percent;
        platform::P().progress(label_, percent);
    }
}

int64_t LineReader::remaining() const {
    if (size_ < 0) {
        return -1;
    }
    int64_t left = size_ - (base_offset_ + (pos_ - base_));
    return left < 0 ? 0 : left;
}

int LineReader::ReadLine() {
    // Most lines lie inside the current chunk and need no rewriting: hand out a view of the chunk.
    const unsigned char* p = pos_;
    while (p < end_ && !kSpecial[*p]) {
        ++p;
    }
    if (p < end_ && p - pos_ <= kMaxLine) {
        size_t ending = *p == '\n' ? 1 : *p == '\r' && p + 1 < end_ && p[1] == '\n' ? 2 : 0;
        if (ending) {
            line_ = reinterpret_cast<const char*>(pos_);
            line_len_ = static_cast<size_t>(p - pos_);
            pos_ = p + ending;
            return line_len_ ? static_cast<int>(line_len_) : -1;
        }
    }
    return slow_line();
}

int LineReader::slow_line() {
    char* b = buf_.data();
    size_t len = 0;
    for (;;) {
        if (pos_ == end_ && !refill()) {
            if (len == 0) {
                line_ = b;
                line_len_ = 0;
                return 0;
            }
            break;
        }
        unsigned char c = *pos_;
        if (c == '\n') {
            ++pos_;
            break;
        }
        if (c == '\r') {
            ++pos_;
            if (pos_ == end_) {
                refill();
            }
            if (pos_ < end_ && *pos_ == '\n') {
                ++pos_;
            }
            break;
        }
        if (len == static_cast<size_t>(kMaxLine)) {
            break; // cut: this character starts the next line
        }
        ++pos_;
        if (c == '\t') {
            // kMaxLine is a multiple of 8, so a TAB never runs past it.
            size_t n = 8 - len % 8;
            std::memset(b + len, ' ', n);
            len += n;
            continue;
        }
        b[len++] = static_cast<char>(c == 0 ? 0xFF : c);
    }
    line_ = b;
    line_len_ = len;
    return len ? static_cast<int>(len) : -1;
}

int LineReader::peek_byte() {
    if (pos_ == end_ && !refill()) {
        return -1;
    }
    return *pos_;
}

size_t LineReader::ReadBytes(void* dst, size_t n) {
    size_t got = 0;
    auto* out = static_cast<unsigned char*>(dst);
    while (got < n) {
        if (pos_ == end_ && !refill()) {
            break;
        }
        size_t take = static_cast<size_t>(end_ - pos_);
        if (take > n - got) {
            take = n - got;
        }
        if (out) {
            std::memcpy(out + got, pos_, take);
        }
        pos_ += take;
        got += take;
    }
    return got;
}

} // namespace trazel::model
