#pragma once
// The Setup dialogs that edit the current Document's settings field by field: grid interval (SG), grid
// dimensioning (SD), snap table (SS), clearances (SC), via parameters (SV) and the new-Item widths (SX).
// OK applies what changed, Cancel leaves the Document as it was; a value a field cannot take is named in
// a message box and the dialog comes back.
#include <cstdint>

namespace trazel {
struct App;
}

namespace trazel::shell {

// Whether `cmd` is one of the codes below.
bool is_setup_dialog(uint16_t cmd);
// Runs the dialog of `cmd` on the current Document: 1 when OK closed it, 0 when it was cancelled or there
// is no Document.
int setup_dialog(App& app, uint16_t cmd);

} // namespace trazel::shell
