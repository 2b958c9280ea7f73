#pragma once
// The second-start hand-over.  A running instance listens on a local socket in the user's runtime
// directory; a new start first offers it its command line.  The request carries the 32-bit tag made of
// the window class name's characters, lowest byte first in reverse order ('8', '9', 'Z', 'T'), and the
// command line with its terminating zero.  The instance answers the tag when it takes the files and 0
// when it refuses them, and a refused or unanswered start goes on as an instance of its own.
//
// Wire format, all integers little-endian: request = tag (4 bytes), length n (4 bytes), n bytes of
// command line ending in a zero byte; reply = 4 bytes.
//
// Plain POSIX, no GUI headers, so the tests can drive both ends.
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>

namespace trazel::gui::handover {

constexpr uint32_t kTag = uint32_t{'8'} | uint32_t{'9'} << 8 | uint32_t{'Z'} << 16 | uint32_t{'T'} << 24;
constexpr uint32_t kMaxCommandLine = 1u << 16;

// The directory for the socket: $XDG_RUNTIME_DIR, else /tmp/trazel-<uid>, which is made private to the
// user and refused when someone else could have planted it.  Empty when there is no safe place.
inline std::string socket_dir() {
    if (const char* x = std::getenv("XDG_RUNTIME_DIR"); x != nullptr && x[0] == '/') {
        return x;
    }
    const uid_t uid = ::getuid();
    std::string dir = "/tmp/trazel-" + std::to_string(uid);
    ::mkdir(dir.c_str(), 0700);
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != uid || (st.st_mode & 077) != 0) {
        return {};
    }
    return dir;
}

// One socket per display, so that programs on different screens (and parallel test displays) do not
// hand files to each other.
inline std::string socket_name(std::string_view display) {
    std::string name = "trazel";
    if (!display.empty()) {
        name += '-';
        for (char c : display) {
            const bool plain = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.';
            name += plain ? c : '_';
        }
    }
    return name + ".sock";
}

inline std::string socket_path(std::string_view display) {
    std::string dir = socket_dir();
    return dir.empty() ? std::string() : dir + "/" + socket_name(display);
}

namespace detail {

inline bool make_address(const std::string& path, sockaddr_un& a) {
    std::memset(&a, 0, sizeof a);
    a.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof a.sun_path) {
        return false;
    }
    std::memcpy(a.sun_path, path.data(), path.size());
    return true;
}

inline int64_t now_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Moves exactly `n` bytes, waiting at most until `deadline` (steady milliseconds).
inline bool transfer(int fd, void* buf, size_t n, bool sending, int64_t deadline) {
    auto* p = static_cast<uint8_t*>(buf);
    while (n > 0) {
        const int64_t left = deadline - now_ms();
        if (left <= 0) {
            return false;
        }
        pollfd pfd{fd, static_cast<short>(sending ? POLLOUT : POLLIN), 0};
        const int ready = ::poll(&pfd, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return false;
        }
        const ssize_t got = sending ? ::send(fd, p, n, MSG_NOSIGNAL) : ::recv(fd, p, n, 0);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        p += got;
        n -= static_cast<size_t>(got);
    }
    return true;
}

inline void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

inline uint32_t get32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

} // namespace detail

enum class Result {
    Accepted,   // the running instance took the command line: this start ends with status 0
    Refused,    // it answered, but not with the tag (or not in time): start anew
    NoInstance, // nobody listens (no socket, or a stale one)
};

// Offers `command_line` to the instance listening at `path`.
inline Result send(const std::string& path, std::string_view command_line, int timeout_ms = 5000,
                   uint32_t tag = kTag) {
    sockaddr_un a;
    if (!detail::make_address(path, a) || command_line.size() + 1 > kMaxCommandLine) {
        return Result::NoInstance;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return Result::NoInstance;
    }
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return Result::NoInstance;
    }
    std::string msg(8, '\0');
    detail::put32(reinterpret_cast<uint8_t*>(msg.data()), tag);
    detail::put32(reinterpret_cast<uint8_t*>(msg.data()) + 4, static_cast<uint32_t>(command_line.size() + 1));
    msg.append(command_line);
    msg.push_back('\0');
    const int64_t deadline = detail::now_ms() + timeout_ms;
    uint8_t reply[4] = {};
    const bool ok = detail::transfer(fd, msg.data(), msg.size(), true, deadline) &&
                    detail::transfer(fd, reply, 4, false, deadline);
    ::close(fd);
    return ok && detail::get32(reply) == kTag ? Result::Accepted : Result::Refused;
}

// The listening end.  `poll` is called from the heartbeat and answers every waiting request.
class Server {
  public:
    Server() = default;
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;
    ~Server() {
        stop();
    }

    // Takes over `path` unless a live instance answers there; a socket file nobody listens on is stale
    // and replaced.
    bool listen(const std::string& path) {
        stop();
        sockaddr_un a;
        if (!detail::make_address(path, a)) {
            return false;
        }
        const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (probe < 0) {
            return false;
        }
        const bool alive = ::connect(probe, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
        ::close(probe);
        if (alive) {
            return false;
        }
        ::unlink(path.c_str());
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd_ < 0) {
            return false;
        }
        const mode_t old = ::umask(077);
        const bool bound = ::bind(fd_, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
        ::umask(old);
        if (!bound || ::listen(fd_, 8) != 0) {
            ::close(fd_);
            fd_ = -1;
            return false;
        }
        path_ = path;
        return true;
    }

    void stop() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
            ::unlink(path_.c_str());
        }
        path_.clear();
    }

    bool listening() const {
        return fd_ >= 0;
    }

    // Answers the waiting requests: `take` gets each well-formed command line from the same user and
    // says whether it was taken.  Returns the number of requests answered.
    int poll(const std::function<bool(std::string_view)>& take, int timeout_ms = 1000) {
        int answered = 0;
        while (fd_ >= 0) {
            const int c = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (c < 0) {
                break;
            }
            uint32_t reply = 0;
            std::string line;
            if (read_request(c, line, timeout_ms) && take(line)) {
                reply = kTag;
            }
            uint8_t out[4];
            detail::put32(out, reply);
            detail::transfer(c, out, 4, true, detail::now_ms() + timeout_ms);
            ::close(c);
            ++answered;
        }
        return answered;
    }

  private:
    static bool read_request(int c, std::string& line, int timeout_ms) {
        ucred cred{};
        socklen_t len = sizeof cred;
        if (::getsockopt(c, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 || cred.uid != ::getuid()) {
            return false;
        }
        const int64_t deadline = detail::now_ms() + timeout_ms;
        uint8_t head[8];
        if (!detail::transfer(c, head, 8, false, deadline) || detail::get32(head) != kTag) {
            return false;
        }
        const uint32_t n = detail::get32(head + 4);
        if (n == 0 || n > kMaxCommandLine) {
            return false;
        }
        line.resize(n);
        if (!detail::transfer(c, line.data(), n, false, deadline) || line.back() != '\0') {
            return false;
        }
        line.pop_back();
        return line.find('\0') == std::string::npos;
    }

    int fd_ = -1;
    std::string path_;
};

} // namespace trazel::gui::handover
