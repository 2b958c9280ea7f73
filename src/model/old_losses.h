#pragma once
// What the version 3.8 format cannot hold.  The report is found by writing the Document, reading the
// bytes back into a scratch Document with the version 3 reader and comparing the two, so anything the
// round trip changes is listed, whatever its cause.
#include <string>
#include <string_view>
#include <vector>

#include "model/model.h"

namespace trazel::model {

// One line per kind of loss, with counts, naming layers and Items by number (the Items numbered in the
// order of their records in the written file, from 1).  Empty when the file reads back as the Document
// stands.  `d` need not be current; the current Document and the image slots are left as they were.
std::vector<std::string> version38_losses(Document& d);

// The lines as the editor's "Version 3.8 Warning" box shows them.
std::string version38_warning_text(const std::vector<std::string>& lines);

// --- What the writer and the report share ------------------------------------------------------------
// The text a Text record carries (the Signal name on a signal layer), as a reader can keep it; false when
// nothing would be written.
bool version38_text(Ref text, const Setup& s, std::string& out);
// Where a Text's bottom-left corner is: the anchor point moved by the anchor's offsets (horizontal: Left
// 0, Center -length/2, Right -length, Offset +height/3; vertical: Bottom 0, Center -height/2, Top
// -height, Base +height/3), the offset turned by the text's angle.  `anchor0` skips the offsets (texts of
// layer 2 in a schematic are written where they stand).
Point version38_text_corner(const Node& text, bool anchor0);
// Whether the writer writes a Text where it stands (layer 2 of a schematic).
bool version38_text_in_place(const Node& text, const Setup& s);
// The Items the writer writes, in the order the version 3 reader leaves them: per ring its Components
// (in key order, as the reader re-sorts them on closing) each followed by its members, then the other
// kinds by kind and layer, through-hole Pads counted as on layer 0.  Point groups are listed although the
// reader skips them.
void version38_items(Ref ring, const Setup& s, std::vector<Ref>& out);

} // namespace trazel::model
