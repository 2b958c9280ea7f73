#pragma once
// The Excellon drill reader: drill and routed-slot files read as through-hole Pads on the pad master
// layer.  Questions and the skip report go through the same ImportJob as the Gerber reader's.
#include <string_view>

#include "formats/gerber_in.h"

namespace trazel::formats {

// 0.028 inch: the drill of a tool whose diameter is unknown or below 65 units.
constexpr model::Length kDefaultDrill = 1835;

struct ExcellonRecognition {
    bool accepted = false;
    bool header = false;    // "%" or M48 seen
    bool tool_defs = false; // a tool with a diameter seen
    int count = 0;
    int stars = 0;
};
// Looks at the first 1024 bytes.
ExcellonRecognition recognise_excellon(std::string_view head);
// The chooser's test: forced "I", or no forced code and drill content.
bool excellon_accepts(std::string_view head, char forced);

// Reads a drill file into `doc`: one Pad of type 3 per hole, oval Pads of type 1 for slots.  Returns 'E',
// or 0 when the file was declined (the drill format question cancelled).
char read_excellon(model::LineReader& in, model::Document& doc, const ImportJob& job, ImportStats* stats = nullptr);
char read_excellon_bytes(std::string_view bytes, model::Document& doc, const ImportJob& job,
                         ImportStats* stats = nullptr);

} // namespace trazel::formats
