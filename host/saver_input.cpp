#include "host/saver_input.h"

#include <cstdlib>
#include <string_view>

namespace quovis {

namespace {

constexpr int kEndDistance = 20;
constexpr int kSecondaryEndDistance = 30;
constexpr int kTextStyles = 7;
constexpr int kTonePresets = 3;

SaverInputResult Act(SaverAction action, int value = 0) {
    SaverInputResult r;
    r.action = action;
    r.value = value;
    return r;
}

SaverInputResult At(SaverAction action, int x, int y) {
    SaverInputResult r;
    r.action = action;
    r.x = x;
    r.y = y;
    return r;
}

// xkb keycodes of the digit row, '1' to '9' then '0'.
constexpr uint32_t kDigitRowFirst = 10;
constexpr uint32_t kDigitRowLast = 19;

// The letters of a US keyboard's three letter rows, with the xkb keycode of each row's first.
struct LetterRow {
    uint32_t first;
    std::string_view letters;
};
constexpr LetterRow kLetterRows[] = {{24, "QWERTYUIOP"}, {38, "ASDFGHJKL"}, {52, "ZXCVBNM"}};

}  // namespace

char32_t KeyTableCharacter(int layoutKey, uint32_t keycode, bool keypad) {
    if (keypad) return 0;
    if (keycode >= kDigitRowFirst && keycode <= kDigitRowLast) {
        return keycode == kDigitRowLast ? U'0'
                                        : static_cast<char32_t>(U'1' + keycode - kDigitRowFirst);
    }
    if (layoutKey >= 'A' && layoutKey <= 'Z') return static_cast<char32_t>(layoutKey);
    for (const LetterRow& row : kLetterRows) {
        if (keycode >= row.first && keycode < row.first + row.letters.size()) {
            return static_cast<char32_t>(row.letters[keycode - row.first]);
        }
    }
    // Without a physical key (a platform that does not tell), a digit the layout typed.
    if (keycode == 0 && layoutKey >= '0' && layoutKey <= '9')
        return static_cast<char32_t>(layoutKey);
    return 0;
}

SaverInput::SaverInput(SaverWindowKind kind, bool capsLockOn)
    : m_kind(kind), m_capsLockStart(capsLockOn), m_interactive(kind == SaverWindowKind::Preview) {}

SaverInputResult SaverInput::End() const {
    return m_kind == SaverWindowKind::FullScreen ? Act(SaverAction::EndSaver) : SaverInputResult{};
}

SaverInputResult SaverInput::PointerMove(int x, int y) {
    if (m_drawing) return At(SaverAction::StrokeMove, x, y);
    if (m_interactive) return At(SaverAction::Hover, x, y);
    if (x == m_lastX && y == m_lastY) return {};
    m_lastX = x;
    m_lastY = y;
    // The very first move is only recorded: windows appearing under a still pointer report
    // one, and it must not end the saver.
    if (m_ignoredMoves < 0) {
        if (++m_ignoredMoves == 0) {
            m_refX = x;
            m_refY = y;
        }
        return {};
    }
    if (std::abs(m_refX - x) + std::abs(m_refY - y) <= kEndDistance) {
        return Act(SaverAction::PointerStirred);
    }
    return End();
}

SaverInputResult SaverInput::ButtonPress(bool left, int x, int y) {
    if (m_interactive) {
        if (!left || m_kind == SaverWindowKind::Preview) return {};
        m_drawing = true;
        return At(SaverAction::StrokePress, x, y);
    }
    return End();
}

SaverInputResult SaverInput::ButtonRelease(bool left, int x, int y) {
    if (m_interactive && left && m_drawing) {
        m_drawing = false;
        return At(SaverAction::StrokeRelease, x, y);
    }
    return {};
}

SaverInputResult SaverInput::KeyPress(const SaverKeyEvent& key) {
    // A preview or an embedded window belongs to its host: keys are the host's.
    if (m_kind == SaverWindowKind::Preview) return {};
    if (key.alt) return m_interactive ? SaverInputResult{} : End();
    switch (key.key) {
        case SaverKey::Backspace:
        case SaverKey::Left:
        case SaverKey::Up:
            return Act(SaverAction::HistoryBack);
        case SaverKey::Right:
        case SaverKey::Down:
            return Act(SaverAction::HistoryForward);
        case SaverKey::F9:
            return key.firstPress ? Act(SaverAction::ToggleAudioBars) : SaverInputResult{};
        case SaverKey::F11:
            return key.firstPress ? Act(SaverAction::ToggleFrameRate) : SaverInputResult{};
        case SaverKey::F12:
            return key.firstPress ? Act(SaverAction::Snapshot) : SaverInputResult{};
        case SaverKey::Print:  // value 1: the picture also goes to the clipboard
            return key.firstPress ? Act(SaverAction::Snapshot, 1) : SaverInputResult{};
        case SaverKey::F5:
            if (!key.firstPress) return {};
            m_tonePreset = (m_tonePreset + 1) % kTonePresets;
            return Act(SaverAction::CycleTone, m_tonePreset);
        case SaverKey::CapsLock:
            return {};  // the mode changes when CapsLock is released
        default:
            break;
    }
    if (m_interactive) {
        if (key.key == SaverKey::Escape) return End();
        // Shift and the other keys without a character type nothing (Shift is held to type
        // capitals).
        if (key.key != SaverKey::Character) return {};
        SaverInputResult r = Act(SaverAction::TypeCharacter, static_cast<int>(key.character));
        r.style = m_textStyle;
        m_textStyle = (m_textStyle + 1) % kTextStyles;
        return r;
    }
    if (key.key == SaverKey::Character) {
        const char32_t c = key.character;
        if (c == U'V') return Act(SaverAction::HelpPage);
        if (c == U'0') return Act(SaverAction::ToggleSymmetry);
        if (c >= U'1' && c <= U'9')
            return Act(SaverAction::SetReflections, static_cast<int>(c - U'0'));
        if (c == U'N') return Act(SaverAction::NextSlide);
        if (c == U'P') return key.firstPress ? Act(SaverAction::Snapshot) : SaverInputResult{};
        if (c == U'E') return Act(SaverAction::Evolve);
    }
    // Everything else ends the saver, Shift included: it is the key people press to wake a
    // screen. Only its release is swallowed.
    return End();
}

SaverInputResult SaverInput::KeyRelease(const SaverKeyEvent& key, bool capsLockNow) {
    if (key.key != SaverKey::CapsLock || m_kind == SaverWindowKind::Preview) return {};
    const bool wasInteractive = m_interactive;
    m_interactive = capsLockNow != m_capsLockStart;
    if (!m_interactive) m_drawing = false;
    if (wasInteractive && !m_interactive) return At(SaverAction::Hover, -1, -1);
    return {};
}

SaverInputResult SecondaryPointer::Move(int x, int y) {
    if (m_count < 1) {
        ++m_count;
        m_refX = m_lastX = x;
        m_refY = m_lastY = y;
        return {};
    }
    if (std::abs(m_refX - x) + std::abs(m_refY - y) > kSecondaryEndDistance) {
        return Act(SaverAction::EndSaver);
    }
    if (x != m_lastX || y != m_lastY) {
        m_lastX = x;
        m_lastY = y;
        return Act(SaverAction::PointerStirred);
    }
    return {};
}

}  // namespace quovis
