// PNG output.  With libpng (TRAZEL_HAVE_LIBPNG) the pictures are compressed; without it a small encoder
// of our own writes the same picture with stored (uncompressed) deflate blocks, which every reader
// accepts.
#include "app/cli/png_out.h"

#include <algorithm>
#include <array>

#include "model/out_buffer.h"

#ifdef TRAZEL_HAVE_LIBPNG
#include <png.h>
#endif

namespace trazel::cli {

namespace {

// `channels` is 3 (RGB) or 4 (RGBA).
bool sizes_fit(int width, int height, const std::vector<uint8_t>& rgb, int channels) {
    return width > 0 && height > 0 && width <= (1 << 24) && height <= (1 << 24) &&
           rgb.size() == static_cast<size_t>(width) * static_cast<size_t>(height) * static_cast<size_t>(channels);
}

#ifdef TRAZEL_HAVE_LIBPNG

void append(png_structp png, png_bytep data, png_size_t n) {
    auto* out = static_cast<std::string*>(png_get_io_ptr(png));
    out->append(reinterpret_cast<const char*>(data), n);
}

void no_flush(png_structp) {
}

bool encode_with_libpng(int width, int height, const std::vector<uint8_t>& rgb, int channels, std::string& out) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (png == nullptr) {
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return false;
    }
    png_set_write_fn(png, &out, append, no_flush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 channels == 4 ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) {
        png_write_row(png, const_cast<png_bytep>(rgb.data() + static_cast<size_t>(y) * static_cast<size_t>(width) *
                                                                 static_cast<size_t>(channels)));
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

#endif

uint32_t crc32_of(const std::string& s, size_t from) {
    static constexpr std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) {
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            }
            t[n] = c;
        }
        return t;
    }();
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = from; i < s.size(); ++i) {
        c = table[(c ^ static_cast<uint8_t>(s[i])) & 0xFF] ^ (c >> 8);
    }
    return c ^ 0xFFFFFFFFu;
}

void put32be(std::string& s, uint32_t v) {
    s.push_back(static_cast<char>(v >> 24));
    s.push_back(static_cast<char>(v >> 16));
    s.push_back(static_cast<char>(v >> 8));
    s.push_back(static_cast<char>(v));
}

void chunk(std::string& out, const char* type, const std::string& data) {
    put32be(out, static_cast<uint32_t>(data.size()));
    size_t start = out.size();
    out.append(type, 4);
    out += data;
    put32be(out, crc32_of(out, start));
}

std::string encode_stored(int width, int height, const std::vector<uint8_t>& rgb, int channels) {
    std::string raw;
    size_t row = static_cast<size_t>(width) * static_cast<size_t>(channels);
    raw.reserve((row + 1) * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) {
        raw.push_back(0); // filter: none
        raw.append(reinterpret_cast<const char*>(rgb.data()) + static_cast<size_t>(y) * row, row);
    }
    std::string z;
    z.push_back(0x78);
    z.push_back(0x01);
    for (size_t at = 0; at < raw.size() || at == 0;) {
        size_t n = std::min<size_t>(65535, raw.size() - at);
        bool last = at + n == raw.size();
        z.push_back(last ? 1 : 0);
        z.push_back(static_cast<char>(n & 0xFF));
        z.push_back(static_cast<char>(n >> 8));
        z.push_back(static_cast<char>(~n & 0xFF));
        z.push_back(static_cast<char>((~n >> 8) & 0xFF));
        z.append(raw, at, n);
        at += n;
        if (last) {
            break;
        }
    }
    uint32_t a = 1, b = 0;
    for (char ch : raw) {
        a = (a + static_cast<uint8_t>(ch)) % 65521;
        b = (b + a) % 65521;
    }
    put32be(z, (b << 16) | a);

    std::string out("\x89PNG\r\n\x1A\n", 8);
    std::string ihdr;
    put32be(ihdr, static_cast<uint32_t>(width));
    put32be(ihdr, static_cast<uint32_t>(height));
    // 8 bits, RGB (2) or RGBA (6), deflate, no filter choice, no interlace
    ihdr += std::string(channels == 4 ? "\x08\x06\x00\x00\x00" : "\x08\x02\x00\x00\x00", 5);
    chunk(out, "IHDR", ihdr);
    chunk(out, "IDAT", z);
    chunk(out, "IEND", "");
    return out;
}

std::string encode_with(int width, int height, const std::vector<uint8_t>& data, int channels) {
    if (!sizes_fit(width, height, data, channels)) {
        return {};
    }
#ifdef TRAZEL_HAVE_LIBPNG
    std::string out;
    if (encode_with_libpng(width, height, data, channels, out)) {
        return out;
    }
#endif
    return encode_stored(width, height, data, channels);
}

int write_file(const std::string& path, const std::string& file, std::string* error) {
    if (file.empty()) {
        if (error) {
            *error = "the picture is empty or too large";
        }
        return 0;
    }
    return model::write_whole_file(path, file, error);
}

} // namespace

std::string encode_png(int width, int height, const std::vector<uint8_t>& rgb) {
    return encode_with(width, height, rgb, 3);
}

std::string encode_png_rgba(int width, int height, const std::vector<uint8_t>& rgba) {
    return encode_with(width, height, rgba, 4);
}

int write_png(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb, std::string* error) {
    return write_file(path, encode_png(width, height, rgb), error);
}

int write_png_rgba(const std::string& path, int width, int height, const std::vector<uint8_t>& rgba,
                   std::string* error) {
    return write_file(path, encode_png_rgba(width, height, rgba), error);
}

} // namespace trazel::cli
