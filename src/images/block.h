#pragma once
// The pixel image block (a 1408-byte "PIX98a" header, then the pixels), its header fields, the 16-bit
// display table, and the image slots the blocks live in (model::Model::images).
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "images/picture.h"
#include "model/image_block.h"
#include "model/model.h"

namespace trazel::images {

using model::kBlockSignature;
using model::kHeaderBytes;
using model::kNameBytes;
using enum model::HeaderOffset;

// Every header field, as numbers.
struct BlockHeader {
    int32_t row_length = 0, width = 0, height = 0, dpi = 0, bits = 8, kind = kPaletteGrey;
    int32_t left = 0, bottom = 0, right = 0, top = 0; // coordinate units
    uint16_t lowest = 0, highest = 0;
    int16_t curve = 0;
    uint8_t channels = 0;
    std::string name; // at most 63 bytes
    std::array<uint8_t, 256> value_map{};
    std::array<uint32_t, 256> palette{}; // 0x00RRGGBB
};

using model::get_u16;
using model::get_u32;
using model::put_u16;
using model::put_u32;

// The header of a block (false when it is shorter than a header or lacks the signature).
bool read_header(const std::vector<uint8_t>& b, BlockHeader& h);
// Writes every field (signature and header length too) into the first 1408 bytes, growing `b` to them.
void write_header(const BlockHeader& h, std::vector<uint8_t>& b);

// The source name a block keeps: what follows the last '\' or '/', cut to 63 bytes.
std::string source_name(std::string_view path);
// Edges of a newly placed image: left 0, bottom 0, right and top (size - 1) x 65536 / resolution.
void place_new(BlockHeader& h);
// Pixel bytes of a block with these sizes (row length x height x bytes per pixel), -1 when the sizes
// are not a block's.
int64_t pixel_bytes(const BlockHeader& h);

// A block of a decoded picture: header filled for a new image (identity value map, the palette its kind
// names, bytes 48-63 zero but the shown range of a 16-bit picture), then the pixels.  The allocation has
// room for one spare row beyond them, which a resampling step may use without reallocating.  Pass the
// picture with std::move: its pixels then stay in their allocation.
std::vector<uint8_t> make_block(Picture p, std::string_view source_path);

// The palette of a kind: 0 and 3 the grey ramp, 1 the 8-bit screen's system palette, 2 `own`.
std::array<uint32_t, 256> kind_palette(int32_t kind, const std::array<uint32_t, 256>& own);

// How a 16-bit picture is shown: grey level per value.  Below `lowest` 0, from `lowest` to below
// `highest` linear onto 0..248, from `highest` on 248; a `highest` not above `lowest` is taken as
// lowest + 1.
std::vector<uint8_t> grey16_table(uint16_t lowest, uint16_t highest);

// Why a block cannot be drawn ("" when it can): see model::image_block_fault.
inline std::string block_fault(const std::vector<uint8_t>& b) {
    return model::image_block_fault(b);
}

// The slot rule: from the current slot, step (modulo 128) while the slot is occupied, at most 128 steps;
// when all are occupied the slot reached loses its picture, and `replaced` says so.  The block goes
// there and that slot becomes current.  Returns the slot.
int take_slot(model::Model& m, std::vector<uint8_t> block, bool* replaced = nullptr);

} // namespace trazel::images
