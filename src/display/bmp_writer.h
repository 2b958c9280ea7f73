#pragma once
// Pictures as BMP files: 24 bits per pixel, rows bottom-up and padded to four bytes, no compression.
#include <cstdint>
#include <string>
#include <vector>

namespace trazel::display {

// The whole file for a picture given as packed R, G, B bytes, rows from the top.  Empty when the sizes
// do not match the data or the file would pass 2 GiB.
std::vector<uint8_t> encode_bmp(int width, int height, const std::vector<uint8_t>& rgb);

// Writes the picture to `path` through a temporary file beside it, so a failure leaves any old file as
// it was.  Returns 0 with the reason in `error` (when given) on failure.
int write_bmp(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb,
              std::string* error = nullptr);

} // namespace trazel::display
