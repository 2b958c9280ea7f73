#pragma once
// The Setup dialogs over the Layer table (SL), the draw modes (SM) and the component library list (SF).
// Like the other Setup dialogs: OK applies what changed, Cancel leaves the Document as it was, and a
// value a field cannot take is named in a message box before the dialog comes back.
#include <cstdint>

namespace trazel {
struct App;
}

namespace trazel::shell {

// Whether `cmd` is SL, SM or SF.
bool is_layers_dialog(uint16_t cmd);
// Runs the dialog of `cmd` on the current Document, which the caller has checked is there: 1 when OK
// closed it, 0 when it was cancelled.
int layers_dialog(App& app, uint16_t cmd);

} // namespace trazel::shell
