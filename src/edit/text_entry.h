#pragma once
// The line editor of typed Text: Place Text builds a new Text with it at the cursor, and the Edit Text
// Data function changes the characters of an existing one.  Keys arrive as key codes (scan code high,
// character low); the editor keeps the typed form, which a Text stores after the typed-form conversion.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "model/model.h"

namespace trazel::edit {

enum class EntryKey {
    Edited,  // the characters or the caret changed
    Ignored, // a key the editor has no use for
    Enter,   // main or keypad Enter: store
    Escape,  // give up
    Up,      // store and go to the Text before (Edit Text Data)
    Down,    // store and go to the Text after
};

// Up to this many typed characters.
constexpr std::size_t kTextEntryLimit = 255;

class TextEntry {
  public:
    explicit TextEntry(std::string typed = {});

    // One key: printable characters go in at the caret, Backspace and Delete remove, Left, Right, Home and
    // End move the caret, Ctrl-Enter starts a new line (typed "\n").
    EntryKey key(uint16_t code);

    const std::string& typed() const {
        return typed_;
    }
    std::size_t caret() const {
        return caret_;
    }
    // No key has reached the editor yet: Enter now means "no Text".
    bool first_key() const {
        return keys_ == 0;
    }

  private:
    std::string typed_;
    std::size_t caret_ = 0;
    int keys_ = 0;
};

// Stores typed characters in a Text: on a layer of type 6 (schematic signals) as its Signal label, else as
// its text chain with the typed-form conversion; then measures it again, keeping a mirrored Text
// mirrored.  False when nothing could be stored (an empty label, no Nodes left).
bool store_typed_text(model::Ref text, const model::Setup& s, std::string_view typed);

} // namespace trazel::edit
