#pragma once
// The values the editor's dialogs take and give back: layers by number or name, lengths as the Data
// file writes them, angles in degrees, list indexes, scale factors, and the Reference ID field with its
// step buttons.  Shared by the Place, Grab, Edit and Block dialogs so each reads its fields the same way.
#include <cstdint>
#include <string>
#include <string_view>

#include "model/model.h"

namespace trazel {
struct App;
}

namespace trazel::edit {

std::string trimmed(std::string_view v);
std::string layer_text(int layer);
// A layer by number or by name (letter case ignored); unreadable text keeps `was`.
int layer_field(const model::Setup& s, std::string_view text, int was);
std::string length_text(model::Coord v);
// Lengths as the Data file writes them: with a point inches, without thousandths, or with a unit.
model::Coord length_field(std::string_view text);
model::Angle angle_field(std::string_view text);
// An index below `count`; anything else keeps `was`.
int index_field(std::string_view text, int count, int was);
// A number of degrees ("90", "-45.5"); false for anything else.
bool degrees_field(std::string_view text, model::Angle& out);
// A scaling factor above 0 as 16.16 ("1.5"); false for anything else.
bool factor_field(std::string_view text, int32_t& out);

// The Reference ID of a Component dialog: `step` "1" or "2" moves it to the next or previous free one
// among the Components of `ring` (a beep when it cannot move), then the ID is checked; an ID that may not
// be stored gets the "Invalid Reference ID" box and false, so the dialog is shown again.
bool take_reference_id(App& app, std::string& ref, std::string_view step, model::Ref ring);

} // namespace trazel::edit
