// Keystroke macro playback: tokens, pauses, parameter defaults, stored macros and their defaults, the
// in-progress question and the macro dialog.
#include "keys_fixture.h"

namespace trazel::test {

using shell::code;

class MacroPlay : public ServicesTest {
  protected:
    void SetUp() override {
        ServicesTest::SetUp();
        boot();
    }
    display::View& view() {
        return app->display.view;
    }
};

TEST_F(MacroPlay, KeyNamesWithRepeatCountsAndQuotedText) {
    plain_document();
    ASSERT_TRUE(shell::enter_trazel_mode(*app));
    // 3Up: three grey Up steps of 4096 units; "kup" is the keypad key of the same step.
    EXPECT_EQ(shell::play_macro(*app, "3Up kup"), 1);
    EXPECT_EQ(view().cursor_y, 4 * 4096);
    // A name of more than six characters or one that no key has types nothing.
    shell::play_macro(*app, "2Upward Nokey 0Up");
    EXPECT_EQ(view().cursor_y, 4 * 4096);
    EXPECT_FALSE(shell::macro_playing(*app));

    // The typed-coordinate example: "1.5,2" Enter puts the cursor at 1.5, 2 inch.
    shell::play_macro(*app, "\"1.5,2\" Enter");
    EXPECT_EQ(view().cursor_x, 98304);
    EXPECT_EQ(view().cursor_y, 131072);
}

TEST_F(MacroPlay, QuotedTextTypesEachCharacterWithSymbolsInFontCodes) {
    std::vector<uint16_t> keys;
    app->shell.modal_key = [&keys](App&, uint16_t k) {
        keys.push_back(k);
        return 1;
    };
    // A doubled quote is a quote; degree and one half become the stroke font's 0xF8 and 0xAB.
    shell::play_macro(*app, "\"a\"\"b\" \"\xB0\xBD\"\t\"\xB5\xF6\xBC\"");
    std::vector<uint16_t> want = {0x1E61, 0x2822, 0x3062, 0x00F8, 0x00AB, 0x00E6, 0x00EA, 0x00AC};
    EXPECT_EQ(keys, want);
}

TEST_F(MacroPlay, CommandTokensRunWithSourceZero) {
    // A code no handler takes plays the error sound, as the dispatcher does for any group without one.
    shell::play_macro(*app, "<PZ>");
    EXPECT_EQ(sounds(platform::Sound::Error), 1);
    spy("PZ?");
    shell::play_macro(*app, "<PL> <zi> <?O> <Z> <5x>");
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].code, code('P', 'L'));
    EXPECT_EQ(calls[0].source, shell::kSourceKey);
    EXPECT_EQ(calls[1].code, code('Z', 'I'));
    EXPECT_EQ(calls[2].code, code('?', 'O'));
    EXPECT_EQ(sounds(platform::Sound::Beep), 2); // "<Z>" and "<5x>" are no tokens
}

TEST_F(MacroPlay, PausesCountTicksAndPlaybackResumesFromTheTimer) {
    // Seconds as 16.16 times 0x1234FE, upper 32 bits rounded: 1.5 s = 0x18000 * 1193214 / 2^32 = 27.31.
    EXPECT_EQ(shell::pause_ticks("1.5"), 27);
    EXPECT_EQ(shell::pause_ticks("1"), 18); // 18.21
    EXPECT_EQ(shell::pause_ticks(".5"), 9); // 9.10
    EXPECT_EQ(shell::pause_ticks("0"), 0);
    EXPECT_EQ(shell::pause_ticks("2.75"), 50); // 50.07
    EXPECT_FALSE(shell::pause_ticks("1.5s"));
    EXPECT_FALSE(shell::pause_ticks("."));

    spy("Z");
    shell::play_macro(*app, "<ZI> <1.5> <ZO>");
    EXPECT_EQ(codes(), std::vector<uint16_t>{code('Z', 'I')});
    EXPECT_TRUE(shell::macro_playing(*app));
    tick(26);
    EXPECT_EQ(calls.size(), 1u);
    tick();
    EXPECT_EQ(codes(), (std::vector<uint16_t>{code('Z', 'I'), code('Z', 'O')}));
    EXPECT_FALSE(shell::macro_playing(*app));

    // The key handler's -1 goes on at once.
    calls.clear();
    shell::play_macro(*app, "<9> <ZC>");
    shell::handle_key(*app, shell::kKeyContinueMacro);
    EXPECT_EQ(codes(), std::vector<uint16_t>{code('Z', 'C')});
}

TEST_F(MacroPlay, ParameterDefaultsReadTheirValueForms) {
    model::Document* d = plain_document();
    model::set_layer_name(d->setup.layers[1], "Top");
    model::set_layer_name(d->setup.layers[7], "Mask");
    shell::play_macro(*app, "<LT=.010> <AT=0.25mm> <AR=250> <AA=90> <AS=-90> <AE=.5> <AX=45> "
                            "<PP=A-very-long-pin-name-indeed> <PL=Mask> <PT=S2> <PX=.06> <PY=1.5mm> <PH=35> "
                            "<PR=180> <TS=.1> <TR=270> <TA=9> <TM=y> <ly=Top>");
    const shell::ParameterDefaults& p = app->shell.services.params;
    EXPECT_EQ(p.line_thickness, 655); // 10/1000 inch: 655.36
    EXPECT_EQ(p.arc_thickness, 645);  // 0.25 mm = 0.009843 inch: 645.04
    EXPECT_EQ(p.arc_radius, 16384);   // 250 thousandths
    EXPECT_EQ(p.arc_start, 16384);    // a quarter turn
    EXPECT_EQ(p.arc_sweep, 49152);    // -90 degrees
    EXPECT_EQ(p.arc_ratio, 32768);
    EXPECT_EQ(p.arc_axis, 8192);
    EXPECT_EQ(p.pad_pin, "A-very-long-pin-name-in"); // 23 characters
    EXPECT_EQ(p.pad_layer, 7);
    EXPECT_EQ(p.pad_type, 6);    // S: 4, digit 2
    EXPECT_EQ(p.pad_x, 3932);    // 0.06 inch: 3932.16
    EXPECT_EQ(p.pad_y, 3870);    // 1.5 mm = 0.059055 inch: 3870.24
    EXPECT_EQ(p.pad_hole, 2294); // 35 thousandths: 2293.76
    EXPECT_EQ(p.pad_rotation, 32768);
    EXPECT_EQ(p.text_size, 6554);
    EXPECT_EQ(p.text_rotation, 49152);
    EXPECT_EQ(p.text_anchor, 9);
    EXPECT_TRUE(p.text_mirror);
    EXPECT_EQ(d->setup.current_layer, 1);
    EXPECT_EQ(p.set, (1u << std::size(shell::kParameterCodes)) - 1);
    EXPECT_EQ(sounds(platform::Sound::Beep), 0);

    // Layers by number; an unknown layer leaves the current one.  Unknown codes and bad values beep.
    shell::play_macro(*app, "<LY=7> <LY=Nowhere> <TA=16> <PT=X1> <QQ=1> <LT=wide> <TM=n>");
    EXPECT_EQ(d->setup.current_layer, 7);
    EXPECT_EQ(p.text_anchor, 9);
    EXPECT_EQ(p.pad_type, 6);
    EXPECT_EQ(p.line_thickness, 655);
    EXPECT_FALSE(p.text_mirror);
    EXPECT_EQ(sounds(platform::Sound::Beep), 4);
}

TEST_F(MacroPlay, StoredMacrosFallBackToTheDefaultsAndEndTheMacroThatStartedThem) {
    EXPECT_EQ(shell::macro_setting_name(0x3B00), "Key Stroke F1");
    EXPECT_EQ(shell::macro_setting_name(0x5D00), "Key Stroke Shift-F10");
    EXPECT_EQ(shell::macro_setting_name(0x8A00), "Key Stroke Ctrl-F12");
    EXPECT_EQ(shell::macro_setting_name(0x8B00), "Key Stroke Alt-F11");
    EXPECT_EQ(shell::macro_setting_name(0x7800), "Key Stroke Alt-1");
    EXPECT_EQ(shell::macro_setting_name(0x8100), "Key Stroke Alt-0");
    EXPECT_EQ(shell::macro_setting_name(0x3B01), "");
    EXPECT_EQ(shell::macro_setting_name(0x1E00), "");
    EXPECT_EQ(shell::default_macro("Key Stroke Alt-2"), "\"\xBD\"");
    EXPECT_EQ(shell::default_macro("Key Stroke Alt-4"), "\"\xBC\"");

    spy("Z?F");
    press(0x3B); // F1: nothing stored, so the default
    EXPECT_EQ(codes(), std::vector<uint16_t>{code('?', 'O')});
    shell::write_setting(*app, "Key Stroke F1", "<ZI>");
    shell::write_setting(*app, "Key Stroke F11", "");
    shell::write_setting(*app, "Key Stroke Alt-7", "<ZO> <ZO>");
    calls.clear();
    press(0x3B);
    press(0x57); // F11: stored as empty, so nothing but the beep
    hold(shell::kScanAlt, true);
    press(0x08); // Alt-7
    hold(shell::kScanAlt, false);
    EXPECT_EQ(codes(), (std::vector<uint16_t>{code('Z', 'I'), code('Z', 'O'), code('Z', 'O')}));
    EXPECT_EQ(sounds(platform::Sound::Beep), 1);

    // F1 named inside a macro replaces it: "<ZC>" after it never runs.
    calls.clear();
    shell::play_macro(*app, "<ZL> F1 <ZC>");
    EXPECT_EQ(codes(), (std::vector<uint16_t>{code('Z', 'L'), code('Z', 'I')}));
    EXPECT_FALSE(shell::macro_playing(*app));
}

TEST_F(MacroPlay, EverySixtyFourTokensAWaitingKeyAsksWhetherToGoOn) {
    spy("Z");
    ui.input_script = [] {
        platform::WaitingInput w;
        w.key_scan = 0x01;
        return w;
    };
    std::string text;
    for (int i = 0; i < 70; ++i) {
        text += "<ZI> ";
    }
    ui.answers.push_back(platform::Answer::Cancel);
    shell::play_macro(*app, text);
    EXPECT_EQ(calls.size(), 64u);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].title, "TRAZEL'98");
    EXPECT_EQ(ui.boxes[0].text, "A keystroke macro function\nis in progress.  This operation\ncould take several "
                                "moments\nto complete.\n\nDo you wish to continue?");
    EXPECT_EQ(ui.boxes[0].buttons, platform::Buttons::OkCancel);
    EXPECT_EQ(ui.key_discards, 2); // the waiting keys are thrown away before and after the question
    EXPECT_FALSE(shell::macro_playing(*app));

    calls.clear();
    shell::play_macro(*app, text); // OK is the default answer
    EXPECT_EQ(calls.size(), 70u);
    // Without a waiting key nothing is asked.
    ui.input_script = nullptr;
    shell::play_macro(*app, text);
    EXPECT_EQ(ui.boxes.size(), 2u);
}

TEST_F(MacroPlay, TheMacroDialogStoresChangesAndRestoresTheDefaultsAfterTheWarning) {
    shell::write_setting(*app, "Key Stroke F2", "<ZW>");
    platform::Headless::DialogAnswer edit;
    edit.values["Key Stroke F3"] = "<ZC> 2Up";
    ui.dialog_answers["SetupKeyStrokeMacrosBox"].push_back(edit);
    EXPECT_EQ(shell::execute_command(*app, code('S', 'K'), shell::kSourceMouse), 1);
    ASSERT_FALSE(ui.dialogs.empty());
    const platform::Form& f = ui.dialogs.back();
    EXPECT_EQ(f.name, "SetupKeyStrokeMacrosBox");
    EXPECT_EQ(f.fields.size(), 4u * 12 + 10 + 1);
    EXPECT_EQ(f.get("Key Stroke F2"), "<ZW>");
    EXPECT_EQ(f.get("Key Stroke F1"), "<?O>"); // shown with its default
    EXPECT_EQ(shell::read_setting(*app, "Key Stroke F3"), "<ZC> 2Up");
    bool found = true;
    shell::read_setting(*app, "Key Stroke F4", &found);
    EXPECT_FALSE(found); // unchanged fields are not written

    const char* warning = "You have selected the option to restore all keystroke macros\nto their original factory "
                          "default settings.\n\nSelecting [YES] will result in the loss of all user defined\n"
                          "keystroke macros.\n\n";
    platform::Headless::DialogAnswer restore;
    restore.values["restore"] = "1";
    ui.dialog_answers["SetupKeyStrokeMacrosBox"].push_back(restore);
    ui.dialog_answers["SetupKeyStrokeMacrosBox"].push_back(restore);
    EXPECT_EQ(shell::execute_command(*app, code('S', 'K'), shell::kSourceMouse), 0); // "No" is the default
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, warning);
    EXPECT_EQ(ui.boxes[0].title, "Keystroke Macros Warning");
    EXPECT_EQ(shell::read_setting(*app, "Key Stroke F2"), "<ZW>");
    ui.answers.push_back(platform::Answer::Yes);
    EXPECT_EQ(shell::execute_command(*app, code('S', 'K'), shell::kSourceMouse), 1);
    EXPECT_EQ(shell::read_setting(*app, "Key Stroke F2"), "<FS>");
    EXPECT_EQ(shell::read_setting(*app, "Key Stroke F3"), "<ZX>");
    EXPECT_EQ(shell::read_setting(*app, "Key Stroke Alt-2"), "\"\xBD\"");
    shell::read_setting(*app, "Key Stroke F12", &found);
    EXPECT_FALSE(found);
}

} // namespace trazel::test

namespace trazel::test {

// Repeat counts are played exactly, far beyond 16 bits; a count past 2^31 - 1 is refused with a beep
// and presses nothing.  A long repeat reaches the every-64-tokens question, so a held key stops it.
TEST_F(MacroPlay, RepeatCountsAreExactAndALongRepeatCanBeStopped) {
    plain_document();
    ASSERT_TRUE(shell::enter_trazel_mode(*app));
    int start = view().angle_mode;
    shell::play_macro(*app, "65536J");
    EXPECT_EQ(view().angle_mode, start); // 65536 presses: back where it started, four modes round
    shell::play_macro(*app, "65537J");
    EXPECT_EQ(view().angle_mode, (start + 1) % 4);
    int before = sounds(platform::Sound::Beep);
    shell::play_macro(*app, "2147483648J");
    // A long cursor walk goes all the way (each step 4096 units), and quickly: the view and the read-outs
    // are drawn once at the end, not after every step.
    model::Coord y = view().cursor_y;
    shell::play_macro(*app, "99999Up");
    EXPECT_EQ(int64_t{view().cursor_y} - y, int64_t{99999} * 4096);
    EXPECT_EQ(view().angle_mode, (start + 1) % 4);
    EXPECT_EQ(sounds(platform::Sound::Beep), before + 1);

    // A key is held from the start; the question comes after 64 presses of I (zoom in) and Cancel ends
    // the repeat and the macro.
    spy("Z");
    ui.input_script = [] {
        platform::WaitingInput w;
        w.key_scan = 0x01;
        return w;
    };
    ui.answers.push_back(platform::Answer::Cancel);
    shell::play_macro(*app, "40640i <ZO>");
    EXPECT_EQ(ui.boxes.size(), 1u);
    EXPECT_FALSE(shell::macro_playing(*app));
    EXPECT_EQ(codes(), std::vector<uint16_t>(64, code('Z', 'I'))); // <ZO> after the repeat never ran
}

// The batch budget: a macro that restarts itself stops once its tokens are spent, and the run says so.
TEST_F(MacroPlay, ATokenBudgetStopsAMacroThatRestartsItself) {
    shell::write_setting(*app, "Key Stroke F11", "<ZI> F12");
    shell::write_setting(*app, "Key Stroke F12", "<ZO> F11");
    spy("Z");
    shell::Services& sv = app->shell.services;
    sv.macro_token_budget = 640;
    shell::play_macro(*app, "F11");
    EXPECT_TRUE(sv.macro_budget_spent);
    EXPECT_FALSE(shell::macro_playing(*app));
    EXPECT_EQ(sv.macro_tokens_played, 640u);
    EXPECT_EQ(calls.size(), 320u);
    // A macro that ends inside its budget leaves it unspent, even when it uses the last token.
    sv.macro_tokens_played = 0;
    sv.macro_budget_spent = false;
    sv.macro_token_budget = 3;
    shell::play_macro(*app, "<ZI> <ZI> <ZI>");
    EXPECT_FALSE(sv.macro_budget_spent);
}

} // namespace trazel::test
