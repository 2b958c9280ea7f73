#include "model/out_buffer.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>

namespace trazel::model {

namespace fs = std::filesystem;

OutBuffer::OutBuffer() : buf_(kSize) {
}

OutBuffer::~OutBuffer() {
    abandon();
}

void OutBuffer::fail(std::string why) {
    if (!failed_) {
        failed_ = true;
        error_ = std::move(why);
    }
}

bool OutBuffer::open(const std::string& path) {
    abandon();
    failed_ = false;
    error_.clear();
    used_ = 0;
    sink_ = nullptr;
    std::error_code ec;
    fs::path target(path);
    // Saving through a symbolic link replaces the file it points at, not the link.
    if (fs::is_symlink(target, ec)) {
        fs::path real = fs::weakly_canonical(target, ec);
        if (!ec) {
            target = real;
        }
    }
    if (fs::is_directory(target, ec)) {
        fail("it is a directory");
        return false;
    }
    // The rename would replace a write-protected file as easily as any other; protection is respected.
    auto st = fs::status(target, ec);
    if (!ec && fs::exists(st) && (st.permissions() & fs::perms::owner_write) == fs::perms::none) {
        fail("the file is write-protected");
        return false;
    }
    path_ = target.string();
    fs::path dir = target.parent_path();
    std::string base = target.filename().string();
    uint64_t seed = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                    reinterpret_cast<uintptr_t>(this);
    for (int attempt = 0; attempt < 64; ++attempt) {
        uint64_t tag = (seed + static_cast<uint64_t>(attempt) * 0x9E3779B97F4A7C15ULL) & 0xFFFFFFFFFFULL;
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".%010llx.tmp", static_cast<unsigned long long>(tag));
        fs::path temp = dir / ("." + base + suffix);
        errno = 0;
        // "x": never reuse a file that happens to have this name.
        file_ = std::fopen(temp.string().c_str(), "wbx");
        if (file_) {
            temp_ = temp.string();
            return true;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    fail(errno ? std::strerror(errno) : "cannot create a temporary file");
    return false;
}

void OutBuffer::open_memory(std::string* sink) {
    abandon();
    failed_ = false;
    error_.clear();
    used_ = 0;
    sink_ = sink;
    path_.clear();
}

void OutBuffer::put(std::string_view s) {
    while (!s.empty()) {
        if (used_ == kSize) {
            flush();
        }
        size_t take = kSize - used_;
        if (take > s.size()) {
            take = s.size();
        }
        std::memcpy(buf_.data() + used_, s.data(), take);
        used_ += take;
        s.remove_prefix(take);
    }
}

void OutBuffer::flush() {
    if (used_ == 0) {
        return;
    }
    if (sink_) {
        sink_->append(buf_.data(), used_);
    } else if (file_ && !failed_) {
        if (std::fwrite(buf_.data(), 1, used_, file_) != used_) {
            fail(std::strerror(errno));
        }
    }
    used_ = 0;
}

bool OutBuffer::commit() {
    flush();
    if (sink_) {
        sink_ = nullptr;
        return true;
    }
    if (!file_) {
        fail("nothing was opened for writing");
        return false;
    }
    if (std::fflush(file_) != 0) {
        fail(std::strerror(errno));
    }
    if (std::fclose(file_) != 0) {
        fail(std::strerror(errno));
    }
    file_ = nullptr;
    std::error_code ec;
    if (!failed_) {
        // The new file keeps the permissions the old one had.
        auto st = fs::status(path_, ec);
        if (!ec && fs::exists(st)) {
            fs::permissions(temp_, st.permissions(), ec);
        }
        fs::rename(temp_, path_, ec);
        if (ec) {
            fail(ec.message());
        }
    }
    if (failed_) {
        fs::remove(temp_, ec);
        temp_.clear();
        return false;
    }
    temp_.clear();
    return true;
}

void OutBuffer::abandon() {
    used_ = 0;
    sink_ = nullptr;
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (!temp_.empty()) {
        std::error_code ec;
        fs::remove(temp_, ec);
        temp_.clear();
    }
}

int write_whole_file(const std::string& path, std::string_view bytes, std::string* error) {
    OutBuffer out;
    if (!out.open(path)) {
        if (error) {
            *error = out.error();
        }
        return 0;
    }
    out.put(bytes);
    if (!out.commit()) {
        if (error) {
            *error = out.error();
        }
        return 0;
    }
    return 1;
}

} // namespace trazel::model
