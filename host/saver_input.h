// What the saver does with the user's input: end, step through the slideshow, take a
// picture, change the pattern, or hand the pointer to the engine for drawing.
//
// The rules are plain decisions on plain events, so they are tested without windows; the
// window layer translates its key and pointer events into these and carries out the action.
//
// A full-screen saver ends on a real pointer move (more than 20 pixels from where the pointer
// first was), a button, or any key outside the table. CapsLock toggles an interactive mode in
// which keys type characters and the left button draws. A preview, an embedded window and a
// window of its own never end on input.
#pragma once

#include <cstdint>

namespace quovis {

enum class SaverKey : uint8_t {
    Other,
    Backspace,
    Left,
    Up,
    Right,
    Down,
    F5,
    F9,
    F11,
    F12,
    Print,
    Escape,
    CapsLock,
    Shift,
    Character,  // a letter, digit or other printable character (see SaverKeyEvent::character)
};

struct SaverKeyEvent {
    SaverKey key = SaverKey::Other;
    // For Character: the key's name, 'A'..'Z' and '0'..'9' whatever the layout and Shift
    // (see KeyTableCharacter), or another printable character the key typed.
    char32_t character = 0;
    bool firstPress = true;  // not an auto-repeat
    bool alt = false;        // a system key combination
};

// The name the key table knows a key by, taken from the key rather than the text it types:
// the digit row is '1'..'9' and '0' with any layout and with Shift held (AZERTY types "&"
// there unshifted), a letter is its upper-case letter in the user's layout, and a letter key
// of a layout without Latin letters is named by its place on a US keyboard. 0 for any other
// key.
//   layoutKey: the layout's key, upper-case ASCII for letters and digits (Qt's key numbers);
//   keycode:   the physical key in X11/xkb numbering (evdev code + 8), 0 when unknown;
//   keypad:    the key is on the numeric keypad (its digits are not the digit keys).
char32_t KeyTableCharacter(int layoutKey, uint32_t keycode, bool keypad);

enum class SaverAction : uint8_t {
    None,
    EndSaver,
    PointerStirred,  // a small pointer jitter: stir the random generator, restart the slow-down
    HistoryBack,
    HistoryForward,
    NextSlide,
    ToggleAudioBars,
    ToggleFrameRate,
    Snapshot,   // value 1: also to the clipboard (the Print key)
    CycleTone,  // value: the tone preset 0..2
    ToggleSymmetry,
    SetReflections,  // value: 1..9
    Evolve,
    HelpPage,
    TypeCharacter,  // value: the character; style: the text style 0..6
    Hover,          // x, y: the engine's cursor (-1, -1: none)
    StrokeMove,
    StrokePress,
    StrokeRelease,
};

struct SaverInputResult {
    SaverAction action = SaverAction::None;
    int value = 0;
    int style = 0;
    int x = -1;
    int y = -1;
};

enum class SaverWindowKind : uint8_t {
    FullScreen,  // ends on input
    Preview,     // a host's preview or an embedded window: input never ends it
    Window,      // a window of its own: the keys work, nothing ends it but closing
};

class SaverInput {
  public:
    // capsLockOn: the CapsLock state when the window opened; interactive mode is on while
    // the current state differs from it. A preview is always interactive.
    SaverInput(SaverWindowKind kind, bool capsLockOn);

    SaverInputResult PointerMove(int x, int y);
    SaverInputResult ButtonPress(bool left, int x, int y);
    SaverInputResult ButtonRelease(bool left, int x, int y);
    SaverInputResult KeyPress(const SaverKeyEvent& key);
    // capsLockNow: the CapsLock state after the release, when the key was CapsLock.
    SaverInputResult KeyRelease(const SaverKeyEvent& key, bool capsLockNow);

    bool Interactive() const { return m_interactive; }
    int TonePreset() const { return m_tonePreset; }

  private:
    SaverInputResult End() const;

    SaverWindowKind m_kind;
    bool m_capsLockStart;
    bool m_interactive;
    bool m_drawing = false;  // the left button is held in interactive mode
    int m_lastX = -1;
    int m_lastY = -1;
    int m_refX = 0;
    int m_refY = 0;
    int16_t m_ignoredMoves = -1;
    int m_textStyle = 0;
    int m_tonePreset = 0;
};

// The pointer over a secondary monitor's black window: the first five moves only set where
// the pointer is; then more than 30 pixels from there ends the saver, and any smaller move
// stirs.
class SecondaryPointer {
  public:
    SaverInputResult Move(int x, int y);

  private:
    int m_count = -4;
    int m_refX = 0;
    int m_refY = 0;
    int m_lastX = 0;
    int m_lastY = 0;
};

}  // namespace quovis
