// The saver's input rules: when a pointer move, a button or a key ends the saver, the key
// table, interactive mode, and the secondary monitors' looser pointer rule.
#include "host/saver_input.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quovis {
namespace {

SaverKeyEvent Key(SaverKey k, bool first = true) {
    SaverKeyEvent e;
    e.key = k;
    e.firstPress = first;
    return e;
}

SaverKeyEvent Char(char32_t c) {
    SaverKeyEvent e;
    e.key = SaverKey::Character;
    e.character = c;
    return e;
}

TEST(SaverInput, TheFirstMoveIsOnlyRecordedAndLaterOnesEndBeyondTwentyPixels) {
    SaverInput in(SaverWindowKind::FullScreen, false);
    // However far the first reported position is, it only sets the reference.
    EXPECT_EQ(in.PointerMove(900, 700).action, SaverAction::None);
    EXPECT_EQ(in.PointerMove(900, 700).action, SaverAction::None) << "same position";
    EXPECT_EQ(in.PointerMove(910, 710).action, SaverAction::PointerStirred) << "20: a jitter";
    EXPECT_EQ(in.PointerMove(889, 691).action, SaverAction::PointerStirred) << "11 + 9";
    EXPECT_EQ(in.PointerMove(911, 710).action, SaverAction::EndSaver) << "21 pixels";
}

TEST(SaverInput, ButtonsAndUnlistedKeysEndOnlyAFullScreenSaver) {
    SaverInput full(SaverWindowKind::FullScreen, false);
    EXPECT_EQ(full.ButtonPress(false, 5, 5).action, SaverAction::EndSaver);
    EXPECT_EQ(full.KeyPress(Char(U'Q')).action, SaverAction::EndSaver);
    EXPECT_EQ(full.KeyPress(Key(SaverKey::Escape)).action, SaverAction::EndSaver);
    SaverKeyEvent alt = Char(U'X');
    alt.alt = true;
    EXPECT_EQ(full.KeyPress(alt).action, SaverAction::EndSaver);

    SaverInput window(SaverWindowKind::Window, false);
    EXPECT_EQ(window.ButtonPress(true, 5, 5).action, SaverAction::None);
    EXPECT_EQ(window.KeyPress(Char(U'Q')).action, SaverAction::None);
    window.PointerMove(0, 0);
    EXPECT_EQ(window.PointerMove(400, 400).action, SaverAction::None);
    EXPECT_EQ(window.KeyPress(Char(U'N')).action, SaverAction::NextSlide) << "keys still work";

    SaverInput preview(SaverWindowKind::Preview, false);
    EXPECT_TRUE(preview.Interactive());
    EXPECT_EQ(preview.KeyPress(Char(U'Q')).action, SaverAction::None);
    EXPECT_EQ(preview.KeyPress(Char(U'N')).action, SaverAction::None) << "keys are the host's";
    EXPECT_EQ(preview.ButtonPress(true, 5, 5).action, SaverAction::None);
    const SaverInputResult hover = preview.PointerMove(30, 40);
    EXPECT_EQ(hover.action, SaverAction::Hover);
    EXPECT_EQ(hover.x, 30);
}

TEST(SaverInput, TheKeyTableSteersTheSaverWithoutEndingIt) {
    SaverInput in(SaverWindowKind::FullScreen, false);
    EXPECT_EQ(in.KeyPress(Key(SaverKey::Backspace)).action, SaverAction::HistoryBack);
    EXPECT_EQ(in.KeyPress(Key(SaverKey::Up)).action, SaverAction::HistoryBack);
    EXPECT_EQ(in.KeyPress(Key(SaverKey::Down)).action, SaverAction::HistoryForward);
    EXPECT_EQ(in.KeyPress(Char(U'N')).action, SaverAction::NextSlide);
    EXPECT_EQ(in.KeyPress(Char(U'E')).action, SaverAction::Evolve);
    EXPECT_EQ(in.KeyPress(Char(U'V')).action, SaverAction::HelpPage);
    EXPECT_EQ(in.KeyPress(Char(U'0')).action, SaverAction::ToggleSymmetry);
    const SaverInputResult seven = in.KeyPress(Char(U'7'));
    EXPECT_EQ(seven.action, SaverAction::SetReflections);
    EXPECT_EQ(seven.value, 7);
    for (SaverKeyEvent snap : {Key(SaverKey::F12), Key(SaverKey::Print), Char(U'P')}) {
        EXPECT_EQ(in.KeyPress(snap).action, SaverAction::Snapshot);
    }
    EXPECT_EQ(in.KeyPress(Key(SaverKey::F12, false)).action, SaverAction::None) << "repeat";
    EXPECT_EQ(in.KeyPress(Key(SaverKey::Print)).value, 1) << "Print also copies";
    EXPECT_EQ(in.KeyPress(Key(SaverKey::F12)).value, 0);
    EXPECT_EQ(in.KeyPress(Key(SaverKey::F11)).action, SaverAction::ToggleFrameRate);
    EXPECT_EQ(in.KeyPress(Key(SaverKey::F9)).action, SaverAction::ToggleAudioBars);
    // F5 cycles the tone presets 1, 2, 0, 1 ...
    EXPECT_EQ(in.KeyPress(Key(SaverKey::F5)).value, 1);
    EXPECT_EQ(in.KeyPress(Key(SaverKey::F5)).value, 2);
    EXPECT_EQ(in.KeyPress(Key(SaverKey::F5)).value, 0);
    EXPECT_EQ(in.KeyPress(Key(SaverKey::F5, false)).action, SaverAction::None);
    EXPECT_EQ(in.KeyPress(Key(SaverKey::CapsLock)).action, SaverAction::None);
}

TEST(SaverInput, CapsLockTogglesInteractiveModeForTypingAndDrawing) {
    SaverInput in(SaverWindowKind::FullScreen, true);  // CapsLock was on at the start
    EXPECT_FALSE(in.Interactive());
    EXPECT_EQ(in.KeyRelease(Key(SaverKey::CapsLock), false).action, SaverAction::None);
    EXPECT_TRUE(in.Interactive());
    // Keys type characters in turning styles; the pointer hovers and the left button draws.
    const SaverInputResult a = in.KeyPress(Char(U'A'));
    EXPECT_EQ(a.action, SaverAction::TypeCharacter);
    EXPECT_EQ(a.value, 'A');
    EXPECT_EQ(a.style, 0);
    EXPECT_EQ(in.KeyPress(Char(U'B')).style, 1);
    EXPECT_EQ(in.KeyPress(Key(SaverKey::Other)).action, SaverAction::None);
    EXPECT_EQ(in.PointerMove(500, 500).action, SaverAction::Hover);
    EXPECT_EQ(in.ButtonPress(true, 10, 20).action, SaverAction::StrokePress);
    EXPECT_EQ(in.PointerMove(15, 25).action, SaverAction::StrokeMove);
    EXPECT_EQ(in.ButtonRelease(true, 15, 25).action, SaverAction::StrokeRelease);
    EXPECT_EQ(in.ButtonPress(false, 10, 20).action, SaverAction::None) << "right: swallowed";
    EXPECT_EQ(in.KeyPress(Key(SaverKey::Escape)).action, SaverAction::EndSaver);
    // Back to normal: the cursor leaves the engine and keys end the saver again.
    const SaverInputResult off = in.KeyRelease(Key(SaverKey::CapsLock), true);
    EXPECT_EQ(off.action, SaverAction::Hover);
    EXPECT_EQ(off.x, -1);
    EXPECT_FALSE(in.Interactive());
    EXPECT_EQ(in.KeyPress(Char(U'A')).action, SaverAction::EndSaver);
}

TEST(SaverInput, TypedLettersTakeTheSevenColumnsInTurn) {
    SaverInput in(SaverWindowKind::FullScreen, false);
    in.KeyRelease(Key(SaverKey::CapsLock), true);
    ASSERT_TRUE(in.Interactive());
    std::vector<int> columns;
    for (char32_t c : std::u32string(U"ABCDEFGHI")) columns.push_back(in.KeyPress(Char(c)).style);
    EXPECT_EQ(columns, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 0, 1}))
        << "the eighth is in column 0";
}

TEST(SaverInput, ShiftWakesTheScreenButTypesNothingInInteractiveMode) {
    SaverInput in(SaverWindowKind::FullScreen, false);
    EXPECT_EQ(in.KeyRelease(Key(SaverKey::Shift), false).action, SaverAction::None);
    EXPECT_EQ(in.KeyPress(Key(SaverKey::Shift)).action, SaverAction::EndSaver);

    SaverInput typing(SaverWindowKind::FullScreen, false);
    typing.KeyRelease(Key(SaverKey::CapsLock), true);
    ASSERT_TRUE(typing.Interactive());
    EXPECT_EQ(typing.KeyPress(Key(SaverKey::Shift)).action, SaverAction::None);
    EXPECT_EQ(typing.KeyPress(Char(U'A')).style, 0) << "Shift used no text style";
}

TEST(KeyTableCharacter, NamesKeysByTheKeyNotByTheTextTheyType) {
    constexpr int kNoKey = 0;
    struct Case {
        const char* what;
        int layoutKey;
        uint32_t keycode;
        bool keypad;
        char32_t want;
    };
    const Case cases[] = {
        {"US 1", '1', 10, false, U'1'},
        {"US Shift+1 types !", '!', 10, false, U'1'},
        {"AZERTY 1 types &", '&', 10, false, U'1'},
        {"AZERTY 9 types c-cedilla", 0xe7, 18, false, U'9'},
        {"the 0 key", '0', 19, false, U'0'},
        {"keypad 5 is not the 5 key", '5', 84, true, 0},
        {"N in the user's layout", 'N', 57, false, U'N'},
        {"AZERTY A sits on the US Q", 'A', 24, false, U'A'},
        {"Cyrillic layout: the US N place", 0x6a2, 57, false, U'N'},
        {"Cyrillic layout: the US E place", 0x6c5, 26, false, U'E'},
        {"no keycode: the layout's digit", '7', 0, false, U'7'},
        {"no keycode: a symbol", '#', 0, false, 0},
        {"a key outside the table", kNoKey, 9, false, 0},
        {"the space bar", ' ', 65, false, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(KeyTableCharacter(c.layoutKey, c.keycode, c.keypad), c.want) << c.what;
    }
}

TEST(SecondaryPointer, FiveMovesSetTheReferenceThenThirtyPixelsEnd) {
    SecondaryPointer p;
    for (int i = 0; i < 5; ++i) EXPECT_EQ(p.Move(100 * i, 50 * i).action, SaverAction::None);
    EXPECT_EQ(p.Move(400, 200).action, SaverAction::None) << "no movement";
    EXPECT_EQ(p.Move(420, 210).action, SaverAction::PointerStirred);
    EXPECT_EQ(p.Move(415, 215).action, SaverAction::PointerStirred) << "30 exactly";
    EXPECT_EQ(p.Move(431, 200).action, SaverAction::EndSaver);
}

}  // namespace
}  // namespace quovis
