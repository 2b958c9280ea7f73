// Arbitrary bytes after the version 3 signature, read as an older data file (fuzz_old_read.h).
#include "fuzz_old_read.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_old_read::check_old_read(trazel::model::kVersion3Signature, data, size);
    return 0;
}
