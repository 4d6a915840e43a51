#include "present/text_window.h"

#include <algorithm>
#include <cmath>

namespace quovis {

namespace {

using Lock = std::lock_guard<std::mutex>;

constexpr double kInfoFadeStep = 0.01;  // per frame shown

}  // namespace

void TextWindow::SetView(TextWindowView* view) {
    Lock lock(m_mutex);
    m_view = view;
    m_shown = TextShown{};
    m_shownSourceSerial = 0;
}

void TextWindow::SetTextLine(int line, std::u16string_view text) {
    if (line < 0 || line >= kLines) return;
    Lock lock(m_mutex);
    std::u16string& target = m_info[static_cast<std::size_t>(line)];
    if (target == text) return;
    target.assign(text);
    ++m_infoSerial;
}

void TextWindow::ShowInfo(std::u16string_view line0, std::u16string_view line1,
                          std::u16string_view line2, double fade) {
    SetTextLine(0, line0);
    SetTextLine(1, line1);
    SetTextLine(2, line2);
    SetInfoFade(fade);
}

void TextWindow::SetInfoFade(double fade) {
    if (!std::isfinite(fade)) return;
    Lock lock(m_mutex);
    m_infoFade = fade;
}

double TextWindow::InfoFade() const {
    Lock lock(m_mutex);
    return m_infoFade;
}

void TextWindow::SetTitleLines(std::u16string_view title, std::u16string_view author,
                               std::u16string_view location) {
    Lock lock(m_mutex);
    if (m_titles[0] == title && m_titles[1] == author && m_titles[2] == location) return;
    m_titles[0].assign(title);
    m_titles[1].assign(author);
    m_titles[2].assign(location);
    ++m_titleSerial;
}

void TextWindow::SetShowTitles(bool on) {
    Lock lock(m_mutex);
    m_showTitles = on;
}

void TextWindow::OnFrame(double msSinceTitle, bool lettersActive) {
    TextShown copy;
    TextWindowView* view = nullptr;
    {
        Lock lock(m_mutex);
        if (m_infoFade > 0.0) m_infoFade -= kInfoFadeStep;
        const bool info = m_infoFade > 0.0;
        double alpha = 0.0;
        if (info) {
            alpha = InfoFadeAlpha(m_infoFade);
        } else if (msSinceTitle >= 0.0 && m_showTitles) {
            alpha = TitleAlpha(msSinceTitle);
        }
        const bool hidden = lettersActive || alpha < 1.0 / 255.0;
        const int shownAlpha = hidden ? 0 : static_cast<int>(std::floor(255.0 * alpha));
        const TextColour colour = hidden ? kHiddenColour : kShownColour;

        // The source serials are kept apart (odd for info, even for titles) so that switching
        // between the two sets counts as a change even when both serials happen to match.
        const uint32_t source = info ? m_infoSerial * 2 + 1 : m_titleSerial * 2;
        const bool linesChanged = source != m_shownSourceSerial;
        if (!linesChanged && shownAlpha == m_shown.alpha && colour == m_shown.colour) return;
        if (linesChanged) {
            m_shown.lines = info ? m_info : m_titles;
            ++m_shown.serial;
            m_shownSourceSerial = source;
        }
        m_shown.alpha = shownAlpha;
        m_shown.colour = colour;
        view = m_view;
        if (view != nullptr) copy = m_shown;
    }
    if (view != nullptr) view->ShowText(copy);
}

TextShown TextWindow::Shown() const {
    Lock lock(m_mutex);
    return m_shown;
}

double TextWindow::InfoFadeAlpha(double fade) {
    // Above 5 the text is still fading in (6 -> 5); below 1 it fades out.
    const double alpha = fade >= 5.0 ? 6.0 - fade : fade;
    return std::clamp(alpha, 0.0, 1.0);
}

double TextWindow::TitleAlpha(double t) {
    if (t > 12000.0 || t < 500.0) return 0.0;
    if (t < 1500.0) {
        const double x = (t - 500.0) / 1000.0;
        return x * x;
    }
    if (t > 8000.0) return (12000.0 - t) / 4000.0;
    return 1.0;
}

}  // namespace quovis
