#include "edit/text_entry.h"

#include "display/stroke_font.h"

namespace trazel::edit {

namespace {

constexpr uint8_t kCharEnter = 0x0D;
constexpr uint8_t kCharEscape = 0x1B;
constexpr uint16_t kKeyCtrlEnter = 0x1C0A;
constexpr uint16_t kKeyBackspace = 0x0E08;

uint8_t scan_of(uint16_t code) {
    return static_cast<uint8_t>(code >> 8);
}
uint8_t char_of(uint16_t code) {
    return static_cast<uint8_t>(code & 0xFF);
}

// The cursor keys come as the grey keys (character 0xE0) and as the keypad keys without Num Lock
// (character 0): both move the caret.
bool is_key(uint16_t code, uint8_t scan) {
    return scan_of(code) == scan && (char_of(code) == 0 || char_of(code) == 0xE0);
}

} // namespace

TextEntry::TextEntry(std::string typed) : typed_(std::move(typed)), caret_(typed_.size()) {
}

EntryKey TextEntry::key(uint16_t code) {
    ++keys_;
    uint8_t c = char_of(code);
    if (code == kKeyCtrlEnter) {
        if (typed_.size() + 2 > kTextEntryLimit) {
            return EntryKey::Ignored;
        }
        typed_.insert(caret_, "\\n");
        caret_ += 2;
        return EntryKey::Edited;
    }
    if (c == kCharEnter) {
        return EntryKey::Enter; // the main key (scan 0x1C) and the keypad key alike
    }
    if (c == kCharEscape) {
        return EntryKey::Escape;
    }
    if (code == kKeyBackspace) {
        if (caret_ == 0) {
            return EntryKey::Ignored;
        }
        typed_.erase(--caret_, 1);
        return EntryKey::Edited;
    }
    if (is_key(code, 0x48)) {
        return EntryKey::Up;
    }
    if (is_key(code, 0x50)) {
        return EntryKey::Down;
    }
    if (is_key(code, 0x4B) || is_key(code, 0x4D) || is_key(code, 0x47) || is_key(code, 0x4F)) {
        size_t was = caret_;
        switch (scan_of(code)) {
        case 0x4B:
            caret_ = caret_ > 0 ? caret_ - 1 : 0;
            break;
        case 0x4D:
            caret_ = caret_ < typed_.size() ? caret_ + 1 : caret_;
            break;
        case 0x47:
            caret_ = 0;
            break;
        default:
            caret_ = typed_.size();
            break;
        }
        return caret_ != was ? EntryKey::Edited : EntryKey::Ignored;
    }
    if (is_key(code, 0x53)) {
        if (caret_ >= typed_.size()) {
            return EntryKey::Ignored;
        }
        typed_.erase(caret_, 1);
        return EntryKey::Edited;
    }
    // Printable characters, the stroke font's symbols above 0x7F among them; the field separator 0x7F
    // would cut the Text short and the control characters have no glyph.
    if (c >= ' ' && c != 0x7F && c != 0xE0 && typed_.size() < kTextEntryLimit) {
        typed_.insert(caret_, 1, static_cast<char>(c));
        ++caret_;
        return EntryKey::Edited;
    }
    return EntryKey::Ignored;
}

bool store_typed_text(model::Ref text, const model::Setup& s, std::string_view typed) {
    model::Node& n = model::node(text);
    if (n.item_kind() != model::kText) {
        return false;
    }
    bool label = s.layers[n.layer].kind() == model::kLayerSchematic;
    if (model::is_signal_record(n.link)) {
        model::DetachSignal(text);
    } else {
        model::ReleaseChain(text);
    }
    bool kept = label ? model::AttachSignal(text, typed) : model::SetTypedText(text, typed);
    if (!kept || model::node(text).link == model::kNone) {
        return false;
    }
    display::measure_text_item(text);
    return true;
}

} // namespace trazel::edit
