// The text form of a stroke list and the comma tokens it is made of.
//
// A stroke list travels with a "Draw" preset (configuration value, settings files, drawing
// files) as one line: "count," followed by "x,y," for each point, coordinates in 1/100000 of
// the window. Texts come from files and other users, so reading never trusts them: the count
// is limited, missing or garbled numbers read as 0 and every point is brought into the window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quovis {

constexpr double kStrokeUnits = 100000.0;  // text units per window width or height

// Walks a text token by token. A token runs up to the next comma or the first character
// below U+0020 or the end of the text; the token and the character that ended it are
// consumed.
class CommaTokens {
  public:
    explicit CommaTokens(std::u16string_view text) : m_text(text) {}
    // False when the text is used up.
    bool Next(std::u16string_view& token);

  private:
    std::u16string_view m_text;
    std::size_t m_pos = 0;
};

// Reads a token as a decimal integer the way the C library's wide-text conversion does:
// leading spaces and tabs skipped, an optional sign, then digits up to the first non-digit;
// no digits give 0. Values beyond the 32-bit range are limited to it. wellFormed tells whether
// the token held digits and nothing after them.
int32_t ParseTokenInt(std::u16string_view token, bool* wellFormed = nullptr);

// Appends "value," in decimal.
void AppendIntComma(std::u16string& out, int64_t value);

}  // namespace quovis
