// Scan codes to key codes: the PC keyboard's codes (scan code high, character low), the shift columns,
// the lock keys, the grey keys and the Alt-keypad sums.
#include <set>

#include "keys_fixture.h"

namespace trazel::test {

using shell::translate_key;

class KeyTranslate : public ServicesTest {
  protected:
    uint16_t down(int scan, bool ext = false) {
        return translate_key(*app, scan, ext, true, false);
    }
    uint16_t up(int scan, bool ext = false) {
        return translate_key(*app, scan, ext, false, false);
    }
    // The key code of `scan` with a modifier held.
    uint16_t with(int modifier, int scan) {
        down(modifier);
        uint16_t k = down(scan);
        up(scan);
        up(modifier);
        return k;
    }
};

TEST_F(KeyTranslate, ColumnsFollowShiftCtrlAndAlt) {
    // The classic BIOS codes: 'a' 1E61, 'A' 1E41, Ctrl-A 1E01, Alt-A 1E00; F1 3B00, 5400, 5E00, 6800.
    EXPECT_EQ(down(0x1E), 0x1E61);
    EXPECT_EQ(with(shell::kScanShiftLeft, 0x1E), 0x1E41);
    EXPECT_EQ(with(shell::kScanShiftRight, 0x1E), 0x1E41);
    EXPECT_EQ(with(shell::kScanCtrl, 0x1E), 0x1E01);
    EXPECT_EQ(with(shell::kScanAlt, 0x1E), 0x1E00);
    EXPECT_EQ(down(0x3B), 0x3B00);
    EXPECT_EQ(with(shell::kScanShiftLeft, 0x3B), 0x5400);
    EXPECT_EQ(with(shell::kScanCtrl, 0x3B), 0x5E00);
    EXPECT_EQ(with(shell::kScanAlt, 0x3B), 0x6800);
    EXPECT_EQ(down(0x1C), shell::kKeyEnter);
    EXPECT_EQ(down(0x1C, true), shell::kKeyEnter); // the keypad's Enter
    EXPECT_EQ(down(0x01), shell::kKeyEscape);
    EXPECT_EQ(down(0x39), shell::kKeySpace);
    // Releases and the modifiers themselves give nothing; the modifier bits follow press and release.
    EXPECT_EQ(up(0x1E), 0);
    EXPECT_EQ(down(shell::kScanCtrl), 0);
    EXPECT_EQ(app->shell.shift_state & shell::kShiftCtrl, shell::kShiftCtrl);
    EXPECT_EQ(up(shell::kScanCtrl), 0);
    EXPECT_EQ(app->shell.shift_state & shell::kShiftCtrl, 0);
    EXPECT_EQ(down(0), 0);
    EXPECT_EQ(down(200), 0);
}

TEST_F(KeyTranslate, KeypadDependsOnNumLockAndShiftWhileGreyKeysDoNot) {
    constexpr int kPad8 = 72;
    EXPECT_EQ(down(kPad8), 0x4800); // Up, as the grey key's scan code
    EXPECT_EQ(with(shell::kScanShiftLeft, kPad8), 0x4838);
    EXPECT_EQ(down(kPad8, true), 0x48E0); // grey Up, row 92
    down(shell::kScanNumLock);
    up(shell::kScanNumLock);
    EXPECT_EQ(down(kPad8), 0x4838);
    // Shift inverts Num Lock on the keypad only.
    EXPECT_EQ(with(shell::kScanShiftLeft, kPad8), 0x4800);
    EXPECT_EQ(with(shell::kScanShiftLeft, 0x09), 0x092A); // Shift-8 on the main keys is still '*'
    EXPECT_EQ(down(kPad8, true), 0x48E0);
    EXPECT_EQ(down(83), 0x532E); // keypad "." with Num Lock
    EXPECT_EQ(down(83, true), 0x53E0);
}

TEST_F(KeyTranslate, LockKeysToggleOncePerPressAndCapsSwapsLetters) {
    // A press toggles; auto-repeat and a repeated press before the release do not.
    EXPECT_EQ(translate_key(*app, shell::kScanCapsLock, false, true, false), 0);
    EXPECT_TRUE(app->shell.shift_state & shell::kLockCaps);
    EXPECT_TRUE(app->shell.locks_held & shell::kLockCaps);
    translate_key(*app, shell::kScanCapsLock, false, true, true);
    translate_key(*app, shell::kScanCapsLock, false, true, false); // no release seen yet
    EXPECT_TRUE(app->shell.shift_state & shell::kLockCaps);
    up(shell::kScanCapsLock);
    EXPECT_FALSE(app->shell.locks_held & shell::kLockCaps);

    EXPECT_EQ(down(0x1E), 0x1E41);                        // 'A'
    EXPECT_EQ(with(shell::kScanShiftLeft, 0x1E), 0x1E61); // Shift with Caps Lock: 'a'
    EXPECT_EQ(down(0x02), 0x0231);                        // digits keep their character
    EXPECT_EQ(with(shell::kScanCtrl, 0x1E), 0x1E01);      // Ctrl forms are not letters

    down(shell::kScanCapsLock);
    up(shell::kScanCapsLock);
    EXPECT_FALSE(app->shell.shift_state & shell::kLockCaps);
    EXPECT_EQ(down(0x1E), 0x1E61);

    // Scroll Lock and the grey Insert key are lock bits too.
    down(shell::kScanScrollLock);
    EXPECT_TRUE(app->shell.shift_state & shell::kLockScroll);
    EXPECT_EQ(down(82, true), 0);
    EXPECT_TRUE(app->shell.shift_state & shell::kLockInsert);

    shell::set_lock_bits(*app, false, true, false);
    EXPECT_EQ(app->shell.shift_state & (shell::kLockCaps | shell::kLockNum | shell::kLockScroll), shell::kLockNum);
}

TEST_F(KeyTranslate, AltWithKeypadDigitsSumsToTheKeyCodeOnRelease) {
    // Alt, keypad 6, keypad 5, Alt released: 65.
    EXPECT_EQ(down(shell::kScanAlt), 0);
    EXPECT_EQ(down(77), 0);
    up(77);
    EXPECT_EQ(down(76), 0);
    up(76);
    EXPECT_EQ(up(shell::kScanAlt), 65);
    EXPECT_EQ(app->shell.alt_keypad_sum, 0);
    // The sum is a byte: 3, 0, 0 gives 300 mod 256 = 44.  Grey keys are not digits.
    down(shell::kScanAlt);
    down(81);
    down(82);
    down(72, true); // grey Up under Alt: its Alt code, no digit
    down(82);
    EXPECT_EQ(up(shell::kScanAlt), 44);
    // Alt alone gives nothing.
    down(shell::kScanAlt);
    EXPECT_EQ(up(shell::kScanAlt), 0);
}

TEST_F(KeyTranslate, NamesCoverTheTableOnceEach) {
    const shell::KeyTable& t = app->shell.services.keys;
    ASSERT_TRUE(shell::load_key_table(app->shell.services.keys));
    std::set<std::string> seen;
    for (size_t r = 0; r < 128; ++r) {
        for (size_t c = 0; c < 4; ++c) {
            const std::string& n = t.names[r][c];
            EXPECT_EQ(n.empty(), t.codes[r][c] == 0) << "row " << r << " column " << c;
            if (n.empty()) {
                continue;
            }
            EXPECT_LE(n.size(), 6u);
            std::string key = n;
            if (n.size() > 1) {
                for (char& ch : key) {
                    ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
                }
            }
            EXPECT_TRUE(seen.insert(key).second) << "name " << n << " twice";
        }
    }
    EXPECT_EQ(shell::key_name(*app, 0x3B00), "F1");
    EXPECT_EQ(shell::key_name(*app, 0x5400), "sF1");
    EXPECT_EQ(shell::key_name(*app, 0x5E00), "^F1");
    EXPECT_EQ(shell::key_name(*app, 0x6800), "#F1");
    EXPECT_EQ(shell::key_name(*app, 0x8600), "F12");
    EXPECT_EQ(shell::key_name(*app, 0x3920), "Space");
    EXPECT_EQ(shell::key_name(*app, 0x4737), "Num7");
    EXPECT_EQ(shell::key_name(*app, 0x49E0), "PgUp");
    EXPECT_EQ(shell::key_name(*app, 0x0041), ""); // an Alt-keypad character has no key
    // Longer names ignore case, one-letter names do not; the empty name is the space bar.
    EXPECT_EQ(shell::key_of_name(*app, "pgup"), 0x49E0);
    EXPECT_EQ(shell::key_of_name(*app, "ENTER"), shell::kKeyEnter);
    EXPECT_EQ(shell::key_of_name(*app, "a"), 0x1E61);
    EXPECT_EQ(shell::key_of_name(*app, "A"), 0x1E41);
    EXPECT_EQ(shell::key_of_name(*app, ""), shell::kKeySpace);
    EXPECT_EQ(shell::key_of_name(*app, "Nokey"), 0);
    // Characters type through the main keys before the keypad.
    EXPECT_EQ(shell::key_of_char(*app, '*'), 0x092A);
    EXPECT_EQ(shell::key_of_char(*app, '+'), 0x0D2B);
    EXPECT_EQ(shell::key_of_char(*app, '"'), 0x2822);
    EXPECT_EQ(shell::key_of_char(*app, 0xAB), 0x00AB);
}

} // namespace trazel::test
