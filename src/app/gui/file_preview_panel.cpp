// The file dialog makes its extra control itself, from a plain function given no data: the picture maker
// waits in `g_preview` for the dialog being shown (one modal file dialog at a time).
#include "app/gui/file_preview_panel.h"

#include <wx/wx.h>

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

#include "app/gui/context.h"

namespace trazel::gui {

namespace {

const platform::FilePreview* g_preview = nullptr;

class PreviewPanel : public wxPanel {
  public:
    PreviewPanel(wxWindow* parent, wxFileDialog* dialog, platform::FilePreview preview)
        : wxPanel(parent), dialog_(dialog), preview_(std::move(preview)) {
        auto* box = new wxBoxSizer(wxVERTICAL);
        picture_ = new wxStaticBitmap(this, wxID_ANY, blank());
        box->Add(picture_, 0, wxALL, 4);
        SetSizerAndFit(box);
        // The dialog sends the update as its selection changes (and at idle times).
        Bind(wxEVT_UPDATE_UI, &PreviewPanel::on_update, this);
    }

  private:
    static wxBitmap blank() {
        wxImage img(platform::kFilePreviewWidth, platform::kFilePreviewHeight);
        img.SetRGB(wxRect(0, 0, platform::kFilePreviewWidth, platform::kFilePreviewHeight), 0x30, 0x30, 0x30);
        return wxBitmap(img);
    }

    void on_update(wxUpdateUIEvent&) {
        wxString name = dialog_ ? dialog_->GetCurrentlySelectedFilename() : wxString();
        if (name == shown_) {
            return; // reading a board again at every idle moment would make the dialog sluggish
        }
        shown_ = name;
        std::vector<uint8_t> rgb;
        if (!name.empty()) {
            wxBusyCursor busy;
            rgb = preview_(utf8(name), platform::kFilePreviewWidth, platform::kFilePreviewHeight);
        }
        const size_t want = size_t{platform::kFilePreviewWidth} * platform::kFilePreviewHeight * 3;
        if (rgb.size() != want) {
            picture_->SetBitmap(blank());
        } else {
            wxImage img(platform::kFilePreviewWidth, platform::kFilePreviewHeight);
            std::copy(rgb.begin(), rgb.end(), img.GetData());
            picture_->SetBitmap(wxBitmap(img));
        }
        if (trace()) {
            std::fprintf(stderr, "trace: preview of \"%s\" %s\n", utf8(name).c_str(),
                         rgb.size() == want ? "drawn" : "empty");
        }
    }

    wxFileDialog* dialog_;
    platform::FilePreview preview_;
    wxStaticBitmap* picture_ = nullptr;
    wxString shown_;
};

wxWindow* make_panel(wxWindow* parent) {
    if (!g_preview) {
        return nullptr;
    }
    return new PreviewPanel(parent, wxDynamicCast(parent, wxFileDialog), *g_preview);
}

} // namespace

void add_file_preview(wxFileDialog& d, const platform::FilePreview& preview) {
    if (!preview || !d.SupportsExtraControl()) {
        return;
    }
    g_preview = &preview;
    d.SetExtraControlCreator(make_panel);
}

} // namespace trazel::gui
