#include "platform/window.h"

namespace trazel::platform {

namespace {

MenuItem* find_id(std::vector<MenuItem>& items, int id) {
    for (auto& m : items) {
        if (m.id == id && id != 0) {
            return &m;
        }
        if (MenuItem* f = find_id(m.items, id)) {
            return f;
        }
    }
    return nullptr;
}

MenuItem* find_code(std::vector<MenuItem>& items, uint16_t code) {
    for (auto& m : items) {
        // Submenus carry their group's code for the hint line only; the state belongs to the entries.
        if (m.code == code && code != 0 && m.items.empty()) {
            return &m;
        }
        if (MenuItem* f = find_code(m.items, code)) {
            return f;
        }
    }
    return nullptr;
}

} // namespace

void HeadlessWindow::set_submenu(int id, const std::vector<MenuItem>& items) {
    if (MenuItem* m = find_id(menus, id)) {
        m->items = items;
    }
}

void HeadlessWindow::set_menu_state(uint16_t code, bool checked, bool enabled) {
    if (MenuItem* m = find_code(menus, code)) {
        m->checked = checked;
        m->enabled = enabled;
    }
}

} // namespace trazel::platform
