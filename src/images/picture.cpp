#include "images/picture.h"

#include "images/block.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace trazel::images {

bool Picture::allocate() {
    if (width <= 0 || height <= 0 || row_length < width || (bits != 8 && bits != 16 && bits != 24)) {
        return false;
    }
    if (static_cast<int64_t>(row_length) * height > kMaxPixels) {
        return false;
    }
    // Room for the block header in front and a spare row behind, so make_block keeps this allocation.
    size_t n = row_bytes() * static_cast<size_t>(height);
    pixels.clear();
    pixels.reserve(kHeaderBytes + n + row_bytes());
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // A large picture is written once from end to end: in 2 MiB pages that costs a few hundred page
    // faults instead of tens of thousands.  Only whole huge pages inside the allocation are advised.
    constexpr uintptr_t kHuge = uintptr_t{2} << 20;
    uintptr_t from = (reinterpret_cast<uintptr_t>(pixels.data()) + kHuge - 1) & ~(kHuge - 1);
    uintptr_t to = (reinterpret_cast<uintptr_t>(pixels.data()) + pixels.capacity()) & ~(kHuge - 1);
    if (to > from) {
        madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
    }
#endif
    pixels.resize(n);
    return true;
}

} // namespace trazel::images
