// Titles and messages made of dots, typed letters, and the clock layer's hourly slide.
//
//   messages and the clock   SetMessages, SetMessagesOn, GetMessageText, SetClock, ClockTick
//   letters per frame        StepLetters (the frame step's letter stage), DrawLetterText,
//                            EndTitle, SeedDotsOnText
//
// How letters form: the host's overlay draws the text in white into the current frame; the
// engine then reads the frame back and moves dots onto its lit pixels, a chunk of dots per
// frame, every second dot, so that the words grow out of the pattern. A title (a message
// between slides) holds the dots still until six seconds after its slide began; a letter
// the user typed forms faster and the dots carry on moving, so it dissolves again at once.
#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

#include "engine/draw_wnd.h"

namespace quovis {

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

// Shown when the user has written no messages of their own.
constexpr std::u16string_view kBuiltInMessage = u"Quovis\\rlight in motion";

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// A title stands this long after its slide started.
constexpr uint32_t kTitleHoldMs = 6000;
// A pass over the dots takes this many frames: a title forms slowly, a typed letter quickly.
constexpr int kTitleChunks = 15;
constexpr int kMessageChunks = 8;
// Random points tried per dot before it gives up on finding a letter pixel.
constexpr int kSeedTries = 60;
// The letters are drawn white over the art: a pixel belongs to them when its second channel
// is above this. The dots themselves rarely reach it in one frame.
constexpr uint32_t kLitLevel = 200;
// The clock's hourly slide: five seconds before the hour.
constexpr int kHourSlideSecond = 3595;

}  // namespace

// ============================================================================================
// Messages and the clock layer
// ============================================================================================

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
    return std::u16string(MessageTextView());
}

// The frame step draws the message every frame a title stands; a view spares it a copy.
std::u16string_view CDrawWnd::MessageTextView() const {
    if (m_text.m_nMessageCount <= 0) return kBuiltInMessage;
    const int index = std::clamp(m_text.m_nMessageIndex, 0, m_text.m_nMessageCount - 1);
    return m_text.m_messages[static_cast<std::size_t>(index)];
}

bool CDrawWnd::LettersActive() const {
    return m_text.m_nTitlePhase != kTitleIdle || m_text.m_nMessagePhase != kMessageIdle;
}

void CDrawWnd::SetClock(const ClockLayer& clock) {
    Lock lock(m_csEngine);
    m_text.m_clock = clock;
    // While a clock or the zodiac shows, the reflection copies line up with it.
    if ((m_reflect.m_bReflectOrientOn != 0) != clock.on) SetReflectOrientSwitch(clock.on);
}

void CDrawWnd::ClockTick(int secondsIntoHour) {
    Lock lock(m_csEngine);
    // The hour's slide is taken once: with a very short slide interval the pattern would
    // otherwise be running again, and stopped again, within the same second.
    const bool hour = secondsIntoHour == kHourSlideSecond && !m_text.m_bHourSlideTaken &&
                      m_slides.m_nPatternPhase == kPhaseRunning;
    if (secondsIntoHour != kHourSlideSecond) m_text.m_bHourSlideTaken = 0;
    if (!hour && !m_text.m_bNewSlideRequest) return;
    if (hour) m_text.m_bHourSlideTaken = 1;
    m_text.m_bNewSlideRequest = 0;
    m_slides.m_nPatternPhase = kPhaseWaiting;
    m_slides.m_dwPatternStart = m_clock.Milliseconds();
    // The copies follow the date, which has moved on since the last slide.
    SetReflections(m_reflect.m_nReflections);
}

void CDrawWnd::RequestClockSlide() {
    Lock lock(m_csEngine);
    m_text.m_bNewSlideRequest = 1;
}

// ============================================================================================
// Letters per frame
// ============================================================================================

bool CDrawWnd::StepLetters() {
    const uint32_t now = m_clock.Milliseconds();
    if (m_text.m_nMessagePhase == kMessageDone) {
        m_text.m_nMessagePhase = kMessageIdle;
        m_text.m_bTypedPending = 0;  // the letter has been shown
    }
    if (m_text.m_nTitlePhase == kTitleShown) {
        // The title stands, drawn afresh every frame, until its time is up.
        if (static_cast<uint32_t>(now - m_slides.m_dwPatternStart) < kTitleHoldMs &&
            DrawLetterText()) {
            return true;
        }
        EndTitle(now);
        return true;
    }
    const bool title =
        m_text.m_nTitlePhase == kTitleDrawNext || m_text.m_nTitlePhase == kTitleSeeding;
    const bool message =
        m_text.m_nMessagePhase == kMessagePending || m_text.m_nMessagePhase == kMessageSeeding;
    if (!title && !message) return false;
    if (!DrawLetterText()) {
        // Nothing to form letters from (no overlay, no canvas, or nothing drawn): the title
        // and the message end now rather than hold the dots still over an empty frame.
        if (title) EndTitle(now);
        if (message) m_text.m_nMessagePhase = kMessageDone;
        return true;
    }
    if (m_text.m_nTitlePhase == kTitleSeeding || m_text.m_nMessagePhase == kMessageSeeding) {
        SeedDotsOnText();
    } else if (m_text.m_nTitlePhase == kTitleDrawNext) {
        m_text.m_nTitlePhase = kTitleSeeding;
    }
    return true;
}

bool CDrawWnd::DrawLetterText() {
    FrameOverlay* overlay = m_frame.m_hooks.overlay;
    if (overlay == nullptr || m_pCanvas == nullptr) return false;
    const bool typed = m_text.m_bTypedPending && (m_text.m_nMessagePhase == kMessagePending ||
                                                  m_text.m_nMessagePhase == kMessageSeeding);
    TextBlock block = typed
                          ? overlay->DrawLetters(*this, m_text.m_typedText, LetterMode::Column,
                                                 m_text.m_nTypedStyle)
                          : overlay->DrawLetters(*this, MessageTextView(), LetterMode::Centred, 0);
    // Only what lies in the canvas can be read back.
    const CanvasSurface& s = m_pCanvas->Surface();
    block.left = std::clamp(block.left, 0, s.width);
    block.right = std::clamp(block.right, 0, s.width);
    block.top = std::clamp(block.top, 0, s.height);
    block.bottom = std::clamp(block.bottom, 0, s.height);
    if (block.Empty()) return false;
    m_text.m_rcText = block;
    return true;
}

void CDrawWnd::EndTitle(uint32_t now) {
    m_text.m_nTitlePhase = kTitleIdle;
    // Between slides the message came first; now the next slide follows.
    if (m_slides.m_bSlideshow) ChooseNextSlide(now);
    m_text.m_dwTitleStart = now;
}

void CDrawWnd::SeedDotsOnText() {
    const TextBlock& block = m_text.m_rcText;
    const double width = block.right - block.left;
    const double height = block.bottom - block.top;
    const int32_t dots = m_dots.m_nDots;
    const int chunks = m_text.m_nMessagePhase != kMessageIdle ? kMessageChunks : kTitleChunks;
    // At least one dot a frame, so that a handful of dots still finishes the pass.
    const int32_t end = std::min(m_text.m_nSeedCursor + std::max(1, dots / chunks), dots);
    float* const x = m_dots.m_pX;
    float* const y = m_dots.m_pY;
    float* const r = m_dots.m_pDotR;
    float* const g = m_dots.m_pDotG;
    float* const b = m_dots.m_pDotB;
    int32_t i = m_text.m_nSeedCursor;
    for (; i < end; i += 2) {
        bool placed = false;
        for (int t = 0; t < kSeedTries && !placed; ++t) {
            const double px = block.left + RandomUniform() * width;
            const double py = block.top + RandomUniform() * height;
            const uint32_t pixel =
                m_pCanvas->ReadPixel(static_cast<int32_t>(px), static_cast<int32_t>(py));
            if ((pixel >> 8 & 0xFFu) <= kLitLevel) continue;
            x[i] = static_cast<float>(px);
            y[i] = static_cast<float>(py);
            r[i] = static_cast<float>(pixel & 0xFFu);
            g[i] = static_cast<float>(pixel >> 8 & 0xFFu);
            b[i] = static_cast<float>(pixel >> 16 & 0xFFu);
            m_text.m_bSeedFound = 1;
            placed = true;
        }
        if (!placed && m_text.m_bSeedFound && i >= 2) {
            // A thin stroke missed: join the dot placed before in this pass, which sits on
            // the letters (or next to them) with their colour.
            const int32_t before = i - 2;
            x[i] = x[before] + static_cast<float>(RandomUniform() - 0.5);
            y[i] = y[before] + static_cast<float>(RandomUniform() - 0.5);
            r[i] = r[before];
            g[i] = g[before];
            b[i] = b[before];
        } else if (!placed) {
            // No letter pixel found yet in this pass: the dot stays where it is, unseen.
            r[i] = g[i] = b[i] = 0.0f;
        }
        const double speed = (RandomUniform() - 0.5) * m_style.m_fEmitSpeed;
        const double direction = kTwoPi * (RandomUniform() - 0.5);
        m_dots.m_pVX[i] = static_cast<float>(std::sin(direction) * speed);
        m_dots.m_pVY[i] = static_cast<float>(std::cos(direction) * speed);
    }
    m_text.m_nSeedCursor = i;
    if (i < dots) return;
    // The pass is over; the next text uses the other half of the dots.
    m_text.m_nSeedOffset ^= 1;
    m_text.m_bSeedFound = 0;
    m_text.m_nSeedCursor = m_text.m_nSeedOffset;
    if (m_text.m_nMessagePhase == kMessageSeeding) m_text.m_nMessagePhase = kMessageDone;
    if (m_text.m_nTitlePhase == kTitleSeeding) m_text.m_nTitlePhase = kTitleShown;
}

}  // namespace quovis
