#pragma once
// The open dialog's picture of the selected file: a panel the file dialog holds as its extra control.
#include <wx/filedlg.h>

#include "platform/platform.h"

namespace trazel::gui {

// Gives `d` the preview panel, which draws the file selected in it with `preview` whenever the selection
// changes.  `preview` must stay alive until the dialog is closed; an empty one adds nothing.
void add_file_preview(wxFileDialog& d, const platform::FilePreview& preview);

} // namespace trazel::gui
