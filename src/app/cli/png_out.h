#pragma once
// PNG files for the batch tool's pictures.
#include <cstdint>
#include <string>
#include <vector>

namespace trazel::cli {

// The PNG file of a picture given as packed R, G, B bytes, rows from the top (8 bits a channel).  Empty
// when the sizes do not match the data.
std::string encode_png(int width, int height, const std::vector<uint8_t>& rgb);

// Writes it to `path` through a temporary file beside it; 0 with the reason in `error` on failure.
int write_png(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb, std::string* error);

// The same with an alpha channel: packed R, G, B, A bytes (the installed program icons).
std::string encode_png_rgba(int width, int height, const std::vector<uint8_t>& rgba);
int write_png_rgba(const std::string& path, int width, int height, const std::vector<uint8_t>& rgba,
                   std::string* error);

} // namespace trazel::cli
