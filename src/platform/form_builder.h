#pragma once
// Builds a dialog form in a few declarative lines:
//   platform::Form f = platform::FormBuilder("GerberOutBox", "Gerber Photoplot Output")
//                          .text("out_dir", "Output folder")
//                          .check("header", "Drill header", false)
//                          .build();
// Each call appends one field in the order written; the values are held as the platforms read them
// ("1"/"0" for checks, the entry's index for choices and lists).
#include <algorithm>
#include <charconv>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace trazel::platform {

class FormBuilder {
  public:
    FormBuilder(std::string name, std::string title) {
        form_.name = std::move(name);
        form_.title = std::move(title);
    }

    // A line of text the user cannot change.
    FormBuilder& label(std::string id, std::string text) {
        return add(Field::Kind::Label, std::move(id), std::move(text), {});
    }
    FormBuilder& text(std::string id, std::string label, std::string value = {}) {
        return add(Field::Kind::Text, std::move(id), std::move(label), std::move(value));
    }
    // Entries offered for the text just added (the desktop shows them as a drop-down); the user may
    // still type anything.
    FormBuilder& suggest(std::vector<std::string> entries) {
        if (!form_.fields.empty() && form_.fields.back().kind == Field::Kind::Text) {
            form_.fields.back().options = std::move(entries);
        }
        return *this;
    }
    // A file name the user may type or pick (the desktop adds a Browse button); `filters` are
    // "Description|*.ext;*.ext" entries.
    FormBuilder& file(std::string id, std::string label, std::string value, std::vector<std::string> filters) {
        add(Field::Kind::File, std::move(id), std::move(label), std::move(value));
        form_.fields.back().options = std::move(filters);
        return *this;
    }
    // A number without limits, and one kept between `min` and `max` (the limits hold only when max > min).
    FormBuilder& number(std::string id, std::string label, double value) {
        return add(Field::Kind::Number, std::move(id), std::move(label), number_text(value));
    }
    FormBuilder& number(std::string id, std::string label, double value, double min, double max) {
        number(std::move(id), std::move(label), value);
        form_.fields.back().min = min;
        form_.fields.back().max = max;
        return *this;
    }
    FormBuilder& check(std::string id, std::string label, bool on) {
        return add(Field::Kind::Check, std::move(id), std::move(label), on ? "1" : "0");
    }
    // A drop-down choice and a list box; `index` is the entry shown chosen, brought inside the entries.
    FormBuilder& choice(std::string id, std::string label, std::vector<std::string> options, int index = 0) {
        return entries(Field::Kind::Choice, std::move(id), std::move(label), std::move(options), index);
    }
    FormBuilder& list(std::string id, std::string label, std::vector<std::string> entries, int index = 0) {
        return this->entries(Field::Kind::List, std::move(id), std::move(label), std::move(entries), index);
    }

    // A picture shown beside its label; `rgb` holds width x height pixels of 3 bytes, rows top down.
    FormBuilder& picture(std::string id, std::string label, int width, int height, std::vector<uint8_t> rgb) {
        add(Field::Kind::Picture, std::move(id), std::move(label), {});
        Field& f = form_.fields.back();
        bool whole = width > 0 && height > 0 && rgb.size() == static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
        f.width = whole ? width : 0;
        f.height = whole ? height : 0;
        if (whole) {
            f.rgb = std::move(rgb);
        }
        return *this;
    }

    Form build() const& {
        return form_;
    }
    Form build() && {
        return std::move(form_);
    }

  private:
    FormBuilder& add(Field::Kind kind, std::string id, std::string label, std::string value) {
        Field f;
        f.kind = kind;
        f.id = std::move(id);
        f.label = std::move(label);
        f.value = std::move(value);
        form_.fields.push_back(std::move(f));
        return *this;
    }

    FormBuilder& entries(Field::Kind kind, std::string id, std::string label, std::vector<std::string> options,
                         int index) {
        // An index outside the entries would show nothing chosen on the desktop but come back unchanged
        // from the headless platform; the first or last entry keeps both alike.
        int last = std::max(0, static_cast<int>(options.size()) - 1);
        add(kind, std::move(id), std::move(label), std::to_string(std::clamp(index, 0, last)));
        form_.fields.back().options = std::move(options);
        return *this;
    }

    // The shortest text that reads back as the same value: 300 gives "300", not "300.000000".
    static std::string number_text(double v) {
        char buf[32];
        auto res = std::to_chars(buf, buf + sizeof buf, v);
        return std::string(buf, res.ptr);
    }

    Form form_;
};

} // namespace trazel::platform
