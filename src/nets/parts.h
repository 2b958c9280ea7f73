#pragma once
// What the listings (netlist, bill of materials, pin and wire lists) and netlist input share: the
// Parameters fields of a Component, the sort keys made from them, and listing text (fixed columns,
// trailing blanks removed, CR LF, written whole or not at all).
#include <ctime>
#include <string>
#include <string_view>

#include "model/model.h"

namespace trazel::nets {

using model::Ref;

// The Parameters fields a Component carries, separated by 0x7F; each read up to 28 bytes.
enum PartField : int {
    kPatternField = 0,
    kReferenceField = 1,
    kValueField = 2,
    kModifierField = 3,
    kBoardPatternField = 4, // the board pattern a schematic symbol stands for
};
constexpr char kFieldSeparator = 0x7F;
std::string part_field(Ref component, PartField f);
// How many fields the Parameters hold (an empty string holds none).
int part_field_count(Ref component);

// The 64-byte reference key: the text before the first digit run from column 0, the run right-aligned to
// end at column 43, the rest from column 44; blank-filled.  Byte order of keys puts U2 before U10.
std::string reference_key(std::string_view reference);
// The 21-byte value key, "0"-filled: the integer digits end just before the position the multiplier
// letter chooses (M 3, K/k 6, none 9, m 12, u or micro 15, n 18, p 21), the fraction digits follow it.
// "4K7" and "4.7K" give one key; 100n sorts below 1u.
std::string value_key(std::string_view value);
// The 128-byte BOM key of a Component (first Reference ID characters, the value key for C, L and R
// followed by a digit, then fields 2, 3, 0 and the reference key at columns 22, 36, 50 and 64).
std::string bom_key(Ref component);

// Writes `text` into `line` from column `col`, blank-filling up to it and overwriting what is there.
void put_at(std::string& line, size_t col, std::string_view text);
// `text` right-aligned so that its last character is at column `last`.
void put_right(std::string& line, size_t last, std::string_view text);

// A listing being made: lines lose their trailing blanks and end with CR LF.
class ListText {
  public:
    void line(std::string_view text = {});
    void raw(std::string_view text) { text_ += text; }
    const std::string& text() const { return text_; }

  private:
    std::string text_;
};

// The title line of a listing: `title` at column 0, the Document's name centred between the title's end
// and the date, the date MM/DD/YY at column `date_column`.
std::string list_title(std::string_view title, std::string_view doc_name, int date_column, const std::tm& date);

// Writes `text` to `path` through a temporary file: an old file stays unless the whole text is written.
// False with the reason in `error`.
bool write_list_file(const std::string& path, const std::string& text, std::string& error);

} // namespace trazel::nets
