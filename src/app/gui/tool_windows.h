#pragma once
// The modeless tool windows on wx: small frames that float over the main window and show a form's
// fields as read-only values (pictures as bitmaps).  They never take the focus when they open or change,
// so keys stay with the drawing area.
#include <wx/wx.h>

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace trazel::gui {

class ToolBox;

class ToolWindows {
  public:
    ToolWindows() = default;
    ~ToolWindows();
    ToolWindows(const ToolWindows&) = delete;
    ToolWindows& operator=(const ToolWindows&) = delete;

    void set_parent(wxWindow* parent) {
        parent_ = parent;
    }
    // Told true when the pointer comes over a tool window, false when it leaves them all.
    void set_pointer_hook(std::function<void(bool)> hook) {
        pointer_hook_ = std::move(hook);
    }

    void open(const platform::Form& form);
    void update(const platform::Form& form);
    void close(std::string_view name);
    bool is_open(std::string_view name) const;
    void raft(bool on);

    // Called by the boxes themselves.
    void moved(ToolBox* box, const wxPoint& delta);
    void gone(ToolBox* box);
    void pointer_check();

  private:
    void line_up();
    wxPoint next_place(const wxSize& size) const;

    wxWindow* parent_ = nullptr;
    std::function<void(bool)> pointer_hook_;
    std::map<std::string, ToolBox*, std::less<>> boxes_;
    std::vector<ToolBox*> order_; // as they were opened: the raft lines them up in this order
    bool raft_ = false;
    bool arranging_ = false;
    bool pointer_over_ = false;
};

} // namespace trazel::gui
