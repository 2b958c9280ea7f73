#pragma once
// The dialog answers a verb is given on its command line: "--answer TITLE=BUTTON[,BUTTON...]" for
// message boxes and "--field FORM.FIELD=VALUE" for dialogs, as `macro` and `convert` take them.
#include <map>
#include <string>
#include <vector>

#include "app/cli/cli.h"

namespace trazel::cli {

using AnswerScript = std::map<std::string, std::vector<std::string>>;          // title -> buttons, in order
using FieldScript = std::map<std::string, std::map<std::string, std::string>>; // form -> field -> value

// Each adds one option's value; they return the usage error ("" when the value was good).
std::string add_answer(AnswerScript& answers, const std::string& value);
std::string add_field(FieldScript& fields, const std::string& value);

// The batch platform answering from a script: message boxes by title (the last answer of a title stays
// for later boxes of it), dialogs from their fields (a field "ok" of 0, no or cancel cancels; an answer
// for the dialog's title does too).  A dialog without fields keeps its initial values and is named on
// stderr.  Reports are counted while `counting` is set.
class ScriptPlatform : public CliPlatform {
  public:
    ScriptPlatform(AnswerScript answers, FieldScript fields);
    platform::Answer message_box(std::string_view text, std::string_view title, platform::Buttons buttons,
                                 int default_button = 0) override;
    bool dialog(platform::Form& form) override;
    bool dialog_again(platform::Form& form) override;
    void report(std::string_view line) override;

    bool counting = false;
    int counted = 0;

  private:
    bool scripted_answer(std::string_view title, platform::Answer& a);

    AnswerScript answers_;
    FieldScript fields_;
    std::map<std::string, size_t> used_;
};

} // namespace trazel::cli
