#include "host/saver_input.h"

#include <cstdlib>

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

}  // namespace

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
        case SaverKey::Shift:
            return {};  // the mode changes when CapsLock is released
        default:
            break;
    }
    if (m_interactive) {
        if (key.key == SaverKey::Escape) return End();
        if (key.key != SaverKey::Character) return {};
        SaverInputResult r = Act(SaverAction::TypeCharacter, static_cast<int>(key.character));
        r.style = m_textStyle;
        m_textStyle = (m_textStyle + 1) % kTextStyles;
        return r;
    }
    if (key.key == SaverKey::Character) {
        const char32_t c = key.character;
        if (c == U'V' || c == U'v') return Act(SaverAction::HelpPage);
        if (c == U'0') return Act(SaverAction::ToggleSymmetry);
        if (c >= U'1' && c <= U'9')
            return Act(SaverAction::SetReflections, static_cast<int>(c - U'0'));
        if (c == U'N' || c == U'n') return Act(SaverAction::NextSlide);
        if (c == U'P' || c == U'p')
            return key.firstPress ? Act(SaverAction::Snapshot) : SaverInputResult{};
        if (c == U'E' || c == U'e') return Act(SaverAction::Evolve);
    }
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
