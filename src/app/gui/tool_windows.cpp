// The tool windows: one small floating frame per form, its values refreshed in place.
#include "app/gui/tool_windows.h"

#include <algorithm>
#include <vector>

#include "app/gui/context.h"

namespace trazel::gui {

namespace {

constexpr int kValueWidth = 150; // values change under the eye: a fixed column keeps the box still
constexpr int kGap = 4;

wxBitmap bitmap_of(const platform::Field& f) {
    if (f.width <= 0 || f.height <= 0 ||
        f.rgb.size() != static_cast<size_t>(f.width) * static_cast<size_t>(f.height) * 3) {
        return wxBitmap(1, 1);
    }
    wxImage img(f.width, f.height);
    std::copy(f.rgb.begin(), f.rgb.end(), img.GetData());
    return wxBitmap(img);
}

// The same fields in the same order: only the values need to change.
bool same_layout(const platform::Form& a, const platform::Form& b) {
    return a.fields.size() == b.fields.size() &&
           std::equal(a.fields.begin(), a.fields.end(), b.fields.begin(), [](const auto& x, const auto& y) {
               return x.id == y.id && x.kind == y.kind && x.width == y.width && x.height == y.height;
           });
}

} // namespace

class ToolBox : public wxFrame {
  public:
    ToolBox(ToolWindows& owner, wxWindow* parent, const platform::Form& form)
        : wxFrame(parent, wxID_ANY, wx(form.title.empty() ? form.name : form.title), wxDefaultPosition, wxDefaultSize,
                  wxCAPTION | wxCLOSE_BOX | wxSYSTEM_MENU | wxFRAME_TOOL_WINDOW | wxFRAME_FLOAT_ON_PARENT |
                      wxFRAME_NO_TASKBAR),
          owner_(&owner), name_(form.name) {
        panel_ = new wxPanel(this);
        build(form);
        Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) {
            if (ToolWindows* o = owner_) {
                o->gone(this);
                o->pointer_check();
            }
            Destroy();
        });
        Bind(wxEVT_MOVE, [this](wxMoveEvent& e) {
            wxPoint now = GetPosition();
            wxPoint delta = now - last_;
            last_ = now;
            if (placed_ && owner_ && delta != wxPoint(0, 0)) {
                owner_->moved(this, delta);
            }
            e.Skip();
        });
    }

    // Destroyed with the main window (or later than closed): forgotten.
    ~ToolBox() override {
        if (owner_) {
            owner_->gone(this);
        }
    }
    void forget_owner() {
        owner_ = nullptr;
    }

    const std::string& name() const {
        return name_;
    }

    void show_values(const platform::Form& form) {
        if (!same_layout(form_, form)) {
            build(form);
            return;
        }
        for (size_t i = 0; i < form.fields.size(); ++i) {
            const platform::Field& f = form.fields[i];
            wxWindow* w = values_[i];
            if (w == nullptr) {
                continue;
            }
            if (f.kind == platform::Field::Kind::Picture) {
                if (f.rgb != form_.fields[i].rgb) {
                    static_cast<wxStaticBitmap*>(w)->SetBitmap(bitmap_of(f));
                }
            } else if (f.value != form_.fields[i].value) {
                static_cast<wxStaticText*>(w)->SetLabel(wx(f.value));
            }
        }
        form_ = form;
    }

    // Moves the box without telling the raft (the raft itself moves it).
    void place(const wxPoint& p) {
        placed_ = false;
        Move(p);
        last_ = GetPosition();
        placed_ = true;
    }

    void placed() {
        last_ = GetPosition();
        placed_ = true;
    }

  private:
    void build(const platform::Form& form) {
        panel_->DestroyChildren();
        values_.assign(form.fields.size(), nullptr);
        auto* grid = new wxFlexGridSizer(2, kGap, 8);
        for (size_t i = 0; i < form.fields.size(); ++i) {
            const platform::Field& f = form.fields[i];
            using K = platform::Field::Kind;
            if (f.kind == K::Label) {
                grid->Add(new wxStaticText(panel_, wxID_ANY, wx(f.label.empty() ? f.value : f.label)));
                grid->AddSpacer(1);
                continue;
            }
            grid->Add(new wxStaticText(panel_, wxID_ANY, wx(f.label)), 0, wxALIGN_CENTER_VERTICAL);
            if (f.kind == K::Picture) {
                auto* b = new wxStaticBitmap(panel_, wxID_ANY, bitmap_of(f));
                values_[i] = b;
                grid->Add(b);
            } else {
                auto* t = new wxStaticText(panel_, wxID_ANY, wx(f.value), wxDefaultPosition, wxSize(kValueWidth, -1),
                                           wxST_NO_AUTORESIZE | wxST_ELLIPSIZE_END);
                values_[i] = t;
                grid->Add(t, 1, wxEXPAND);
            }
        }
        auto* top = new wxBoxSizer(wxVERTICAL);
        top->Add(grid, 1, wxALL | wxEXPAND, 8);
        panel_->SetSizer(top);
        // The pointer over a box (or any of its parts) tells the shell; leaving is checked the same way.
        auto watch = [this](wxWindow* w) {
            w->Bind(wxEVT_ENTER_WINDOW, [this](wxMouseEvent& e) {
                if (owner_) {
                    owner_->pointer_check();
                }
                e.Skip();
            });
            w->Bind(wxEVT_LEAVE_WINDOW, [this](wxMouseEvent& e) {
                CallAfter([this] {
                    if (owner_) {
                        owner_->pointer_check();
                    }
                });
                e.Skip();
            });
        };
        watch(panel_);
        for (wxWindow* c : panel_->GetChildren()) {
            watch(c);
        }
        auto* outer = new wxBoxSizer(wxVERTICAL);
        outer->Add(panel_, 1, wxEXPAND);
        SetSizerAndFit(outer);
        form_ = form;
    }

    ToolWindows* owner_; // nullptr once the owner has gone
    std::string name_;
    wxPanel* panel_ = nullptr;
    std::vector<wxWindow*> values_; // one per field; nullptr for labels
    platform::Form form_;
    wxPoint last_;
    bool placed_ = false;
};

ToolWindows::~ToolWindows() {
    for (ToolBox* b : order_) {
        b->forget_owner();
    }
}

void ToolWindows::open(const platform::Form& form) {
    auto it = boxes_.find(form.name);
    if (it != boxes_.end()) {
        it->second->show_values(form);
        return;
    }
    auto* box = new ToolBox(*this, parent_, form);
    box->Move(next_place(box->GetSize()));
    boxes_.emplace(form.name, box);
    order_.push_back(box);
    box->ShowWithoutActivating();
    box->placed();
}

void ToolWindows::update(const platform::Form& form) {
    auto it = boxes_.find(form.name);
    if (it != boxes_.end()) {
        it->second->show_values(form);
    }
}

void ToolWindows::close(std::string_view name) {
    auto it = boxes_.find(name);
    if (it == boxes_.end()) {
        return;
    }
    ToolBox* box = it->second;
    gone(box);
    box->Destroy();
    pointer_check();
}

bool ToolWindows::is_open(std::string_view name) const {
    return boxes_.find(name) != boxes_.end();
}

void ToolWindows::raft(bool on) {
    if (on && !raft_) {
        raft_ = true;
        line_up();
    }
    raft_ = on;
}

void ToolWindows::moved(ToolBox* box, const wxPoint& delta) {
    if (!raft_ || arranging_) {
        return;
    }
    arranging_ = true;
    for (ToolBox* b : order_) {
        if (b != box) {
            b->place(b->GetPosition() + delta);
        }
    }
    arranging_ = false;
}

void ToolWindows::gone(ToolBox* box) {
    // A closed box is deleted later; a new box of that name may be open by then.
    for (auto it = boxes_.begin(); it != boxes_.end(); ++it) {
        if (it->second == box) {
            boxes_.erase(it);
            break;
        }
    }
    order_.erase(std::remove(order_.begin(), order_.end(), box), order_.end());
    box->forget_owner();
}

void ToolWindows::pointer_check() {
    wxPoint at = wxGetMousePosition();
    bool over = std::any_of(order_.begin(), order_.end(), [&](ToolBox* b) { return b->GetScreenRect().Contains(at); });
    if (over != pointer_over_) {
        pointer_over_ = over;
        if (pointer_hook_) {
            pointer_hook_(over);
        }
    }
}

// Side by side from the first box, in the order they were opened, wrapping below at the screen's edge.
void ToolWindows::line_up() {
    if (order_.empty()) {
        return;
    }
    arranging_ = true;
    wxRect screen = wxGetClientDisplayRect();
    wxPoint p = order_.front()->GetPosition();
    int row_height = 0, left = p.x;
    for (ToolBox* b : order_) {
        wxSize s = b->GetSize();
        if (p.x != left && p.x + s.x > screen.GetRight()) {
            p = wxPoint(left, p.y + row_height + kGap);
            row_height = 0;
        }
        b->place(p);
        p.x += s.x + kGap;
        row_height = std::max(row_height, s.y);
    }
    arranging_ = false;
}

// A new box: beside the last one in the raft, else staggered from the main window's top right corner.
wxPoint ToolWindows::next_place(const wxSize& size) const {
    wxRect screen = wxGetClientDisplayRect();
    wxPoint p;
    if (raft_ && !order_.empty()) {
        wxRect last = order_.back()->GetRect();
        p = wxPoint(last.GetRight() + 1 + kGap, last.GetTop());
        if (p.x + size.x > screen.GetRight()) {
            p = wxPoint(order_.front()->GetPosition().x, last.GetBottom() + 1 + kGap);
        }
    } else {
        wxRect main = parent_ ? parent_->GetScreenRect() : screen;
        int n = static_cast<int>(order_.size());
        p = wxPoint(main.GetRight() - size.x - 24 - 24 * n, main.GetTop() + 64 + 24 * n);
    }
    p.x = std::clamp(p.x, screen.GetLeft(), std::max(screen.GetLeft(), screen.GetRight() - size.x));
    p.y = std::clamp(p.y, screen.GetTop(), std::max(screen.GetTop(), screen.GetBottom() - size.y));
    return p;
}

} // namespace trazel::gui
