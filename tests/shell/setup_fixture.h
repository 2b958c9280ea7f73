#pragma once
// What the Setup command tests share: forms answered ahead, the written Data file's lines, and the checks
// that a refused value, a Cancel and an unchanged OK leave the document as it was.
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "shell/keys.h"
#include "shell/macro_session.h"

namespace shell_test {

struct SetupSession : MacroSession {
    void answer(const std::string& form, std::map<std::string, std::string> values, bool ok = true) {
        ui().dialog_answers[form].push_back({ok, std::move(values)});
    }
    void alt(int scan) {
        run->key_down(shell::kScanAlt);
        run->key(scan);
        run->key_up(shell::kScanAlt);
    }
    // The line of the written Data file that starts with `prefix` ("-gs").
    std::string line(const std::string& prefix) {
        std::istringstream in(file());
        for (std::string l; std::getline(in, l);) {
            if (l.rfind(prefix, 0) == 0) {
                return l.substr(0, l.find('\r'));
            }
        }
        return {};
    }
    // The lines of the written Data file from the one after `caption` to the empty line.
    std::string section(const std::string& caption) {
        std::istringstream in(file());
        std::string out;
        bool inside = false;
        for (std::string l; std::getline(in, l);) {
            l = l.substr(0, l.find('\r'));
            if (inside && l.empty()) {
                break;
            }
            if (inside) {
                out += l + "\n";
            }
            inside = inside || l == caption;
        }
        return out;
    }
    // A refused value of the S`letter` form: its box names the field, and the file and the modified mark
    // stay as they were.
    void refused(char letter, const std::string& form, std::map<std::string, std::string> values,
                 const std::string& starts) {
        std::string before = file();
        ui().boxes.clear();
        answer(form, std::move(values));
        run->menu(shell::code('S', letter));
        ASSERT_EQ(ui().boxes.size(), 1u) << starts;
        EXPECT_EQ(ui().boxes[0].title, "Setup Value Error");
        EXPECT_EQ(ui().boxes[0].text.rfind(starts, 0), 0u) << ui().boxes[0].text;
        EXPECT_EQ(file(), before);
        EXPECT_FALSE(doc().modified());
    }
    // Each form of `forms` (S`letters`) cancelled with `changes` typed, then OKed unchanged: no box, no
    // change to the file or the modified mark.
    void cancel_and_unchanged_ok(const std::vector<std::string>& forms, const std::string& letters,
                                 const std::map<std::string, std::string>& changes) {
        std::string before = file();
        size_t shown = ui().dialogs.size();
        for (size_t i = 0; i < letters.size(); ++i) {
            answer(forms[i], changes, false);
            run->menu(shell::code('S', letters[i]));
            answer(forms[i], {});
            run->menu(shell::code('S', letters[i]));
        }
        EXPECT_EQ(ui().dialogs.size() - shown, 2 * letters.size());
        EXPECT_EQ(file(), before);
        EXPECT_FALSE(doc().modified());
        EXPECT_TRUE(ui().boxes.empty());
    }
};

} // namespace shell_test
