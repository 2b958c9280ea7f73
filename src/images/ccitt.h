#pragma once
// Decoders for the fax codings TIFF carries: modified Huffman (TIFF compression 2, each row starting on
// a byte), T.4 (compression 3, rows after EOL codes, one- or two-dimensional) and T.6 (compression 4,
// two-dimensional against the row above, no EOLs).
#include <cstddef>
#include <cstdint>
#include <string>

namespace trazel::images {

enum class CcittCoding { kModifiedHuffman, kT4, kT6 };

struct CcittOptions {
    CcittCoding coding = CcittCoding::kT6;
    bool two_dimensional = false; // T.4 only: a tag bit after each EOL chooses the row's coding
    bool aligned_eol = false;     // T.4 only: fill bits put each EOL's end on a byte (any fill is skipped)
};

// Decodes up to `rows` rows of `width` pixels into `out`, packed MSB first with 1 for black, (width + 7)
// / 8 bytes per row (the caller's buffer; it bounds the output).  `rows_done` counts the rows made.  Data
// that ends early is not an error (the rows left are not touched); a code that fits no table or a row
// that runs past its width is: false, with the row named in `message`.
bool ccitt_decode(const uint8_t* data, size_t size, const CcittOptions& options, int width, int rows, uint8_t* out,
                  int& rows_done, std::string& message);

} // namespace trazel::images
