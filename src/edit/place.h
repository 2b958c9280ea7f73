#pragma once
// The Place functions' shared state: the settings the place dialogs set and keep between uses, and the
// calls one Place function makes on another's work.  The Document's new-item defaults ("-il", "-iv",
// "-ip", "-it", "-ix": line width, via, pad, text height, dimension text) stay in its setup and are
// read and written there; what follows is program-wide.
#include <array>
#include <cstdint>
#include <string>

#include "model/model.h"

namespace trazel {
struct App;
}

namespace trazel::edit {

struct PlaceSettings {
    // "PlaceLineBox": the line layer (-1: the current layer); the width is the Document's line width.
    int line_layer = -1;
    // "PlaceArcBox"
    int arc_layer = -1;
    model::Coord arc_width = 655;
    model::Coord arc_radius = 6554;
    model::Angle arc_start = 0;
    model::Angle arc_sweep = 0; // 0: a full circle
    uint16_t ellipse_ratio = 0;
    model::Angle ellipse_angle = 0;
    // "PlacePadBox" (type, layer, sizes and hole are the Document's pad defaults)
    std::string pin_name;
    model::Angle pad_angle = 0;
    // "PlaceTextBox" (height is the Document's text height)
    int text_layer = -1;
    model::Angle text_angle = 0;
    int text_anchor = 0;
    bool text_mirrored = false;
    int text_font = 0;
    // "PlaceSignalNameBox": PS, PB, P+, PM and PN
    std::string signal_name;
    // "ComponentLibraryBox": the five Parameters fields (the second is the Reference ID) and the angle
    std::array<std::string, 5> component{};
    model::Angle component_angle = 0;
};

// The App's place settings (made on first use).
PlaceSettings& place_settings(App& app);

// The place functions' install calls (install_edit calls them): drawing functions (PL PO PE PA PY PP PV
// PT PF PN PD PW PI) and the library and symbol functions (PC PS PB P+ PG PH PM PR PX).
void install_place_drawing(App& app);
void install_place_symbols(App& app);

} // namespace trazel::edit
