// The form builder: the values the platforms read back (indexes of choices and lists, number text and
// limits), and a converted dialog that keeps the field ids, kinds and order macro scripts rely on.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/form_builder.h"
#include "shell/app.h"
#include "shell/settings.h"

namespace trazel {
namespace {

using platform::Field;
using platform::FormBuilder;

TEST(FormBuilderEntries, IndexIsKeptInsideTheEntries) {
    const std::vector<std::string> three = {"a", "b", "c"};
    platform::Form f = FormBuilder("Box", "Title")
                           .choice("inside", "", three, 2)
                           .choice("below", "", three, -1)
                           .choice("beyond", "", three, 3)
                           .list("none", "", {}, 4)
                           .list("default", "", three)
                           .build();
    EXPECT_EQ(f.get("inside"), "2");
    EXPECT_EQ(f.get("below"), "0");
    EXPECT_EQ(f.get("beyond"), "2");
    EXPECT_EQ(f.get("none"), "0");
    EXPECT_EQ(f.get("default"), "0");
    EXPECT_EQ(f.field("inside")->kind, Field::Kind::Choice);
    EXPECT_EQ(f.field("default")->kind, Field::Kind::List);
    EXPECT_EQ(f.field("beyond")->options, three);
}

TEST(FormBuilderNumbers, ValueIsShortestTextAndLimitsAreKept) {
    platform::Form f = FormBuilder("Box", "Title")
                           .number("whole", "", 300, 10, 2400)
                           .number("half", "", 2.5)
                           .number("small", "", -0.125)
                           .build();
    const Field* whole = f.field("whole");
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(whole->kind, Field::Kind::Number);
    EXPECT_EQ(whole->value, "300");
    EXPECT_EQ(whole->min, 10);
    EXPECT_EQ(whole->max, 2400);
    // Without limits min and max stay equal, which the platforms read as "no limits".
    EXPECT_EQ(f.get("half"), "2.5");
    EXPECT_EQ(f.field("half")->min, f.field("half")->max);
    EXPECT_EQ(f.get("small"), "-0.125");
}

TEST(FormBuilderFields, AppearInTheOrderWrittenWithTheirValues) {
    FormBuilder box("GerberOutBox", "Gerber Photoplot Output");
    box.text("dir", "Folder").check("on", "On", true);
    platform::Form copy = box.build(); // building from a kept builder leaves it whole
    platform::Form f = std::move(box).label("note", "Read only").check("off", "Off", false).build();
    EXPECT_EQ(copy.fields.size(), 2u);
    EXPECT_EQ(f.name, "GerberOutBox");
    EXPECT_EQ(f.title, "Gerber Photoplot Output");
    std::vector<std::string> ids;
    for (const Field& x : f.fields) {
        ids.push_back(x.id);
    }
    EXPECT_EQ(ids, (std::vector<std::string>{"dir", "on", "note", "off"}));
    EXPECT_EQ(f.get("dir"), "");
    EXPECT_EQ(f.get("on"), "1");
    EXPECT_EQ(f.get("off"), "0");
    EXPECT_EQ(f.field("note")->kind, Field::Kind::Label);
    EXPECT_EQ(f.field("note")->label, "Read only");
}

TEST(FormBuilderDialogs, SetupOptionsKeepsItsFieldsInOrder) {
    platform::Headless ui;
    App app(&ui);
    // Nothing stored: the form is read, cancelled and nothing is written.
    app.shell.services.config_dir = (std::filesystem::temp_directory_path() / "trazel-forms-none").string();
    ui.dialog_answers["SetupOptionsBox"].push_back({false, {}});
    shell::setup_options(app);
    ASSERT_EQ(ui.dialogs.size(), 1u);
    const platform::Form& f = ui.dialogs.back();
    std::string ids;
    for (const Field& x : f.fields) {
        ids += x.id + (x.kind == Field::Kind::Check ? "[x] " : "[t] ");
    }
    EXPECT_EQ(ids, "display_logs[x] popup_menus[x] animated_icon[x] undo_beyond_save[x] purge_redo_notification[x] "
                   "sound_card_tones[x] thick_crosshair[x] zoom_with_mouse[x] auto_open_project[x] explorer_open[x] "
                   "open_expand[x] autosave[t] sleep[t] accept_handover[x] save_window[x] save_printer[x] "
                   "save_mask[x] restore_macros[x] ");
}

} // namespace
} // namespace trazel
