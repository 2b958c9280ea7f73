#pragma once
// Binary pictures for comparing what two renderers drew: which pixels differ from the background, read
// from a PNG through netpbm's pngtopnm, and how well two such pictures agree.
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

struct Mask {
    int w = 0, h = 0;
    std::vector<uint8_t> on;
    bool at(int x, int y) const {
        return x >= 0 && y >= 0 && x < w && y < h && on[static_cast<size_t>(y) * w + x];
    }
    long count() const {
        long n = 0;
        for (uint8_t v : on) {
            n += v;
        }
        return n;
    }
};

// A pixel is "on" when any channel differs from the background's by more than a quarter of the range.
inline bool read_mask(const std::filesystem::path& png, std::array<int, 3> background, Mask& m) {
    std::string cmd = "pngtopnm '" + png.string() + "' 2>/dev/null";
    std::FILE* f = popen(cmd.c_str(), "r");
    if (f == nullptr) {
        return false;
    }
    char magic[3] = {};
    int maxval = 0;
    bool ok = std::fscanf(f, "%2s %d %d %d", magic, &m.w, &m.h, &maxval) == 4 && std::string(magic) == "P6" &&
              maxval == 255 && m.w > 0 && m.h > 0;
    std::fgetc(f);
    std::vector<unsigned char> px;
    if (ok) {
        px.resize(static_cast<size_t>(m.w) * m.h * 3);
        ok = std::fread(px.data(), 1, px.size(), f) == px.size();
    }
    ok = pclose(f) == 0 && ok;
    if (!ok) {
        return false;
    }
    m.on.assign(static_cast<size_t>(m.w) * m.h, 0);
    for (size_t i = 0; i < m.on.size(); ++i) {
        for (int c = 0; c < 3; ++c) {
            if (std::abs(px[i * 3 + c] - background[static_cast<size_t>(c)]) > 64) {
                m.on[i] = 1;
            }
        }
    }
    return true;
}

// The share of `a`'s on pixels that have an on pixel of `b` within one pixel (b shifted by dx, dy).
inline double near_share(const Mask& a, const Mask& b, int dx = 0, int dy = 0) {
    long on = 0, matched = 0;
    for (int y = 0; y < a.h; ++y) {
        for (int x = 0; x < a.w; ++x) {
            if (!a.at(x, y)) {
                continue;
            }
            ++on;
            bool hit = false;
            for (int j = -1; j <= 1 && !hit; ++j) {
                for (int i = -1; i <= 1 && !hit; ++i) {
                    hit = b.at(x + dx + i, y + dy + j);
                }
            }
            matched += hit ? 1 : 0;
        }
    }
    return on ? static_cast<double>(matched) / static_cast<double>(on) : 1.0;
}

// How well two pictures of the same layers agree, at the best registration within a pixel (the two
// renderers may put the pixel grid's half pixel on different sides).  `strict` is the share of the pixels
// that are on in either picture and on in both; `near` counts a pixel on in one picture as matching when
// the other has one within one pixel of it, which forgives the different rounding of edges (a stroke
// of 4.4 pixels is 4 or 5 pixels wide, depending on the renderer) but not a missing or moved shape.
struct Agreement {
    double strict = 0, near = 0;
    int dx = 0, dy = 0;
};

inline Agreement agreement(const Mask& a, const Mask& b) {
    Agreement best;
    auto near_on = [](const Mask& m, int x, int y) {
        for (int j = -1; j <= 1; ++j) {
            for (int i = -1; i <= 1; ++i) {
                if (m.at(x + i, y + j)) {
                    return true;
                }
            }
        }
        return false;
    };
    for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
            long both = 0, either = 0, matched = 0;
            for (int y = 0; y < a.h; ++y) {
                for (int x = 0; x < a.w; ++x) {
                    bool p = a.at(x, y), q = b.at(x + dx, y + dy);
                    both += p && q;
                    either += p || q;
                    if (p || q) {
                        matched += (p ? near_on(b, x + dx, y + dy) : true) && (q ? near_on(a, x, y) : true);
                    }
                }
            }
            double r = either ? static_cast<double>(both) / static_cast<double>(either) : 1.0;
            if (r > best.strict) {
                best.strict = r;
                best.near = either ? static_cast<double>(matched) / static_cast<double>(either) : 1.0;
                best.dx = dx, best.dy = dy;
            }
        }
    }
    return best;
}
