// Drawing strokes for the "Draw" style, their text form, and the mouse pointer input.
//
// The stroke store is a flat list of points in window fractions: each new stroke either
// replaces the list or (with Shift or Ctrl) is appended, so the emitter always sees one
// polyline. Mouse input arrives on the window's thread while the frame thread emits along
// the list; both sides hold the engine lock, so the emitter never sees a half-replaced list.
#include "engine/strokes.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/draw_wnd.h"

namespace quovis {

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

constexpr float kStrokeMin = 0.001f;  // points stay clear of the window's edge
constexpr float kStrokeMax = 0.999f;
// Room left at the end of the store: a press (and its release) never fills it completely.
constexpr int kPressLimit = CDrawWnd::kMaxStrokePoints - 2;    // 4094
constexpr int kReleaseLimit = CDrawWnd::kMaxStrokePoints - 1;  // 4095
// Up to this many points the emitter does not use the mean spacing.
constexpr int kGapMinPoints = 20;
constexpr float kNoGap = 100.0f;

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

}  // namespace

// ---- Text form ----------------------------------------------------------------------------

std::u16string_view TakeCommaToken(std::u16string_view& rest) {
    std::size_t i = 0;
    while (i < rest.size() && rest[i] != u',' && rest[i] >= u' ') ++i;
    const std::u16string_view token = rest.substr(0, i);
    rest.remove_prefix(std::min(i + 1, rest.size()));
    return token;
}

bool CommaTokens::Next(std::u16string_view& token) {
    if (m_rest.empty()) return false;
    token = TakeCommaToken(m_rest);
    return true;
}

int32_t ParseTokenInt(std::u16string_view token, bool* wellFormed) {
    std::size_t i = 0;
    // White space as the C library knows it: space, and tab through carriage return.
    while (i < token.size() && (token[i] == u' ' || (token[i] >= u'\t' && token[i] <= u'\r'))) ++i;
    bool negative = false;
    if (i < token.size() && (token[i] == u'-' || token[i] == u'+')) {
        negative = token[i] == u'-';
        ++i;
    }
    const std::size_t firstDigit = i;
    // Accumulate in 64 bits and stop growing once past the 32-bit range: a thousand-digit
    // token costs time, never an overflow.
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    int64_t value = 0;
    while (i < token.size() && IsDigit(token[i])) {
        if (value <= kLimit) value = value * 10 + (token[i] - u'0');
        ++i;
    }
    if (wellFormed) *wellFormed = i > firstDigit && i == token.size();
    if (negative) value = -value;
    value = std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                std::numeric_limits<int32_t>::max());
    return static_cast<int32_t>(value);
}

void AppendIntComma(std::u16string& out, int64_t value) {
    char16_t digits[24];
    int n = 0;
    const bool negative = value < 0;
    uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    do {
        digits[n++] = static_cast<char16_t>(u'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (negative) out.push_back(u'-');
    while (n > 0) out.push_back(digits[--n]);
    out.push_back(u',');
}

std::u16string CDrawWnd::StrokeListText() const {
    Lock lock(m_csEngine);
    const int n = std::clamp(m_strokes.m_nDrawPoints, 0, kMaxDrawPoints);
    std::u16string text;
    text.reserve(static_cast<std::size_t>(n) * 14 + 128);
    AppendIntComma(text, n);
    for (int i = 0; i < n; ++i) {
        // Rounded, not truncated: a point read back from its text then writes the same text
        // again, so saving and loading a drawing repeatedly never creeps it towards the
        // corner.
        AppendIntComma(text,
                       std::llround(static_cast<double>(m_strokes.m_drawX[i]) * kStrokeUnits));
        AppendIntComma(text,
                       std::llround(static_cast<double>(m_strokes.m_drawY[i]) * kStrokeUnits));
    }
    return text;
}

bool CDrawWnd::LoadStrokeList(std::u16string_view text) {
    Lock lock(m_csEngine);
    CommaTokens tokens(text);
    std::u16string_view token;
    bool complete = tokens.Next(token);
    bool wellFormed = false;
    const int32_t declared = complete ? ParseTokenInt(token, &wellFormed) : 0;
    complete = complete && wellFormed && declared >= 0 && declared <= kMaxDrawPoints;
    const int count = std::clamp<int32_t>(declared, 0, kMaxDrawPoints);

    int loaded = 0;
    for (; loaded < count; ++loaded) {
        std::u16string_view xToken;
        std::u16string_view yToken;
        // A list cut short keeps the points it has: inventing the missing ones as zeros
        // would draw a line into the corner.
        if (!tokens.Next(xToken) || !tokens.Next(yToken)) {
            complete = false;
            break;
        }
        bool xOk = false;
        bool yOk = false;
        const double x = ParseTokenInt(xToken, &xOk) / kStrokeUnits;
        const double y = ParseTokenInt(yToken, &yOk) / kStrokeUnits;
        complete = complete && xOk && yOk;
        m_strokes.m_drawX[loaded] =
            static_cast<float>(std::clamp<double>(x, kStrokeMin, kStrokeMax));
        m_strokes.m_drawY[loaded] =
            static_cast<float>(std::clamp<double>(y, kStrokeMin, kStrokeMax));
    }
    m_strokes.m_nDrawPoints = loaded;
    m_strokes.m_bStrokeInProgress = 0;
    UpdateDrawGap();
    return complete;
}

void CDrawWnd::UpdateDrawGap() {
    Lock lock(m_csEngine);
    const int n = std::clamp(m_strokes.m_nDrawPoints, 0, kMaxDrawPoints);
    if (n <= kGapMinPoints) {
        m_strokes.m_fDrawGap = kNoGap;
        return;
    }
    double sum = 0.0;
    for (int i = 1; i < n; ++i) {
        const double dx = m_strokes.m_drawX[i] - m_strokes.m_drawX[i - 1];
        const double dy = m_strokes.m_drawY[i] - m_strokes.m_drawY[i - 1];
        sum += std::sqrt(dx * dx + dy * dy);
    }
    m_strokes.m_fDrawGap = static_cast<float>(sum / (n - 1));
}

// ---- Mouse input --------------------------------------------------------------------------

bool CDrawWnd::AcceptStrokePoint(int x, int y) {
    if (m_strokes.m_nWindowWidth <= 0 || m_strokes.m_nWindowHeight <= 0) return false;
    if (m_strokes.m_nDrawPoints < 0 || m_strokes.m_nDrawPoints >= kMaxDrawPoints) return false;
    const double fx = static_cast<double>(x) / m_strokes.m_nWindowWidth;
    const double fy = static_cast<double>(y) / m_strokes.m_nWindowHeight;
    // A drag that leaves the window (or runs along its border) adds nothing.
    if (!(fx > 0.0 && fx < 1.0 && fy > 0.0 && fy < 1.0)) return false;
    m_strokes.m_drawX[m_strokes.m_nDrawPoints] =
        static_cast<float>(std::clamp<double>(fx, kStrokeMin, kStrokeMax));
    m_strokes.m_drawY[m_strokes.m_nDrawPoints] =
        static_cast<float>(std::clamp<double>(fy, kStrokeMin, kStrokeMax));
    ++m_strokes.m_nDrawPoints;
    return true;
}

void CDrawWnd::StrokeInput(int x, int y, int keyFlags, int phase) {
    Lock lock(m_csEngine);
    switch (phase) {
        case kStrokePressed: {
            // Only "Draw" takes strokes; with another style the old drawing stays as it is.
            if (m_style.m_nStyle != kStyleDraw) return;
            const bool append = (keyFlags & (kKeyShift | kKeyControl)) != 0;
            if (append && m_strokes.m_nDrawPoints >= kPressLimit) return;
            m_strokes.m_bStrokeInProgress = 1;
            if (!append) {
                m_strokes.m_nDrawPoints = 0;
                m_strokes.m_fDrawGap = kNoGap;
            }
            AcceptStrokePoint(x, y);
            return;
        }
        case kStrokeMoved:
            m_strokes.m_nInputSerial.fetch_add(1, std::memory_order_relaxed);
            if (m_strokes.m_bStrokeInProgress && m_strokes.m_nDrawPoints < kPressLimit)
                AcceptStrokePoint(x, y);
            return;
        case kStrokeReleased:
            if (!m_strokes.m_bStrokeInProgress) return;
            m_strokes.m_bStrokeInProgress = 0;
            if (m_strokes.m_nDrawPoints < kReleaseLimit) AcceptStrokePoint(x, y);
            UpdateDrawGap();
            return;
        default:
            return;
    }
}

void CDrawWnd::PointerMovedSlightly() {
    Lock lock(m_csEngine);
    // Seed 0 takes the seed from the clock: the time stirs every generator. Under the lock,
    // so it never lands in the middle of a frame that is drawing from them.
    Seed(0);
    m_strokes.m_nInputSerial.fetch_add(1, std::memory_order_relaxed);
}

void CDrawWnd::MouseInput(int x, int y) {
    Lock lock(m_csEngine);
    m_strokes.m_nInputSerial.fetch_add(1, std::memory_order_relaxed);
    if (x == -1 && y == -1) {
        m_strokes.m_fCursorX = -1.0f;
        m_strokes.m_fCursorY = -1.0f;
        m_strokes.m_nLastMouseX = -1;
        m_strokes.m_nLastMouseY = -1;
        m_strokes.m_bCursorActive = m_strokes.m_bInteraction;
        return;
    }
    if (m_strokes.m_bCursorActive && m_strokes.m_nWindowWidth > 0 &&
        m_strokes.m_nWindowHeight > 0) {
        // Window pixels to canvas pixels: the canvas may be rendered at a smaller scale.
        m_strokes.m_fCursorX =
            static_cast<float>(static_cast<double>(x) / m_strokes.m_nWindowWidth * m_nWidth);
        m_strokes.m_fCursorY =
            static_cast<float>(static_cast<double>(y) / m_strokes.m_nWindowHeight * m_nHeight);
    }
    m_strokes.m_nLastMouseX = x;
    m_strokes.m_nLastMouseY = y;
    m_strokes.m_bCursorActive = m_strokes.m_bInteraction;
}

void CDrawWnd::SetTypedText(char32_t character, int style) {
    char16_t units[2] = {};
    std::size_t count = 0;
    if (character >= 0x10000 && character <= 0x10FFFF) {
        const char32_t v = character - 0x10000;
        units[count++] = static_cast<char16_t>(0xD800 + (v >> 10));
        units[count++] = static_cast<char16_t>(0xDC00 + (v & 0x3FF));
    } else if (character != 0 && character < 0x10000 &&
               (character < 0xD800 || character > 0xDFFF)) {
        units[count++] = static_cast<char16_t>(character);
    } else {
        return;  // nothing that can be shown; a letter still waiting stays as it is
    }
    Lock lock(m_csEngine);
    m_text.m_typedText.assign(units, count);
    m_text.m_nTypedStyle = std::clamp(style, 0, kTypedTextStyles - 1);
    m_text.m_bTypedPending = 1;
    // A new letter starts its message afresh, even over one still forming.
    m_text.m_nMessagePhase = kMessagePending;
}

bool CDrawWnd::TakeTypedText(std::u16string& text, int& style) {
    Lock lock(m_csEngine);
    if (m_text.m_bTypedPending == 0) return false;
    text = m_text.m_typedText;
    style = m_text.m_nTypedStyle;
    m_text.m_bTypedPending = 0;
    return true;
}

}  // namespace quovis
