#pragma once
// A file drawn small for the open dialog, read beside the open Documents without disturbing them.
#include <cstdint>
#include <string>
#include <vector>

namespace trazel::shell {

// Files larger than this are not read for a picture: the dialog asks again at every selection.
constexpr uintmax_t kMaxPreviewBytes = uintmax_t{64} << 20;

// `width` x `height` RGB pixels (3 bytes each, rows top down): the Data file at `path` (this version or
// an older one) drawn whole in its layer colours on its background.  Empty for a file that is no
// readable Data file, a file above kMaxPreviewBytes, or a size below 1 or above 4096.  The current
// Document, the open Documents and the image slots are as they were afterwards, and nothing is shown to
// the user (a reader's remarks go nowhere).
std::vector<uint8_t> file_thumbnail(const std::string& path, int width, int height);

} // namespace trazel::shell
