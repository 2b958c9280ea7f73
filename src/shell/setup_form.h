#pragma once
// What every dialog over the Document's setup shares: reading the answered form field by field, the
// refusal that names the first field it cannot take, and the loop that shows the form until its values
// are taken or it is cancelled.  A field is read only when its text differs from what the dialog showed,
// so a value held more finely than the field shows it stays as it was; a directive line that changed then
// goes through the writer and the reader once, so the Document holds from now on exactly what its Data
// file will give back.
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

#include "model/setup.h"
#include "platform/platform.h"

namespace trazel {
struct App;
}

namespace trazel::shell {

class SetupAnswers {
  public:
    SetupAnswers(const platform::Form& shown, const platform::Form& form) : shown_(shown), form_(form) {
    }

    bool changed(std::string_view id) const;
    // The field's text without blanks around it.
    std::string text(std::string_view id) const;
    const std::string& error() const {
        return error_;
    }
    // Only the first refusal is kept: the user mends one field at a time.
    void refuse(std::string_view id, const std::string& why);

    // A whole number from 0 to `last`; false, and the refusal, when the text is not one.
    bool number(std::string_view id, int last, int& out, const std::string& what);
    // An entry of a choice of `count`, when changed.
    void index(std::string_view id, int count, int32_t& out);
    // A choice of `count` entries held in the low bits `mask` of a byte; the other bits stay.
    void choice(std::string_view id, int count, uint8_t& byte, uint8_t mask);
    // A check box held in `bit` of a byte.
    void check(std::string_view id, uint8_t& byte, uint8_t bit);
    // Six hexadecimal digits.  With `off`, a leading "-" sets the off bit (24) and the bits above it stay;
    // without, the colour is the digits alone.
    void colour(std::string_view id, uint32_t& out, const char* off = nullptr);
    // A layer by number or by the name of a layer in use in `table` (letter case ignored), when changed.
    void layer(std::string_view id, const model::Setup& table, int32_t& out);
    // The same, unconditionally; false and the refusal when the text names no layer.
    bool parse_layer(std::string_view id, std::string_view text, const model::Setup& table, int32_t& out);

  private:
    const platform::Form& shown_;
    const platform::Form& form_;
    std::string error_;
};

std::string quoted(std::string_view v);
// Six hexadecimal digits, after a "-" when the off bit (24) is set and `with_off`.
std::string colour_text(uint32_t c, bool with_off = false);

// Brings `next` to what its changed directive lines read back as; false when no line changed.
using Settle = std::function<bool(const model::Setup& was, model::Setup& next)>;
// The settling of directives written one line each: "gs", "gc", "iv".
bool settle_lines(const model::Setup& was, model::Setup& next, std::initializer_list<std::string_view> which);

// Reads the answered form into `next` (a copy of the Document's setup), refusing what it cannot take.
using SetupRead = std::function<void(const platform::Form& shown, model::Setup& next, std::string& error)>;
// Shows `form` until its values are taken or it is cancelled, then settles and applies what changed: the
// modified mark, the view, a redraw and the status bar.  1 when OK closed it, 0 when it was cancelled.
int run_setup_form(App& app, platform::Form& form, const SetupRead& read, const Settle& settle);

// The same with an answer reader of type `In` (a SetupAnswers with more field kinds).
template <class In, class Read>
int run_setup_form_with(App& app, platform::Form& form, Read read, const Settle& settle) {
    return run_setup_form(
        app, form,
        [&form, &read](const platform::Form& shown, model::Setup& next, std::string& error) {
            In in(shown, form);
            read(in, next);
            error = in.error();
        },
        settle);
}

} // namespace trazel::shell
