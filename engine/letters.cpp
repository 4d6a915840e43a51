// Titles and messages made of dots, typed letters, and the clock layer's hourly slide.
#include <algorithm>
#include <utility>

#include "engine/draw_wnd.h"

namespace quovis {

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

// Shown when the user has written no messages of their own.
constexpr std::u16string_view kBuiltInMessage = u"Quovis\\rlight in motion";

}  // namespace

void CDrawWnd::SetMessages(std::vector<std::u16string> messages) {
    Lock lock(m_csEngine);
    m_text.m_messages = std::move(messages);
    m_text.m_nMessageCount = static_cast<int32_t>(m_text.m_messages.size());
    if (m_text.m_nMessageIndex >= m_text.m_nMessageCount) m_text.m_nMessageIndex = -1;
}

void CDrawWnd::SetMessagesOn(bool on) {
    Lock lock(m_csEngine);
    m_text.m_bMessagesOn = on ? 1 : 0;
}

std::u16string CDrawWnd::GetMessageText() const {
    Lock lock(m_csEngine);
    if (m_text.m_nMessageCount <= 0) return std::u16string(kBuiltInMessage);
    const int index = std::clamp(m_text.m_nMessageIndex, 0, m_text.m_nMessageCount - 1);
    return m_text.m_messages[static_cast<std::size_t>(index)];
}

bool CDrawWnd::LettersActive() const {
    return m_text.m_nTitlePhase != 0 || m_text.m_nMessagePhase != 0;
}

void CDrawWnd::SetClock(const ClockLayer& clock) {
    Lock lock(m_csEngine);
    m_text.m_clock = clock;
}

void CDrawWnd::ClockTick(int secondsIntoHour) {
    (void)secondsIntoHour;
}

void CDrawWnd::RequestClockSlide() {
    Lock lock(m_csEngine);
    m_text.m_bNewSlideRequest = 1;
}

}  // namespace quovis
