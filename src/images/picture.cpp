#include "images/picture.h"

namespace trazel::images {

bool Picture::allocate() {
    if (width <= 0 || height <= 0 || row_length < width || (bits != 8 && bits != 16 && bits != 24)) {
        return false;
    }
    if (static_cast<int64_t>(row_length) * height > kMaxPixels) {
        return false;
    }
    pixels.assign(row_bytes() * static_cast<size_t>(height), 0);
    return true;
}

} // namespace trazel::images
