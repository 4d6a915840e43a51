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

// The next token of `rest`: everything up to, not including, the next comma or the first
// character below U+0020, or to the end. The token and the character that ended it are
// removed from `rest`. Preset strings and stroke lists share this rule.
std::u16string_view TakeCommaToken(std::u16string_view& rest);

// Walks a text token by token with TakeCommaToken.
class CommaTokens {
  public:
    explicit CommaTokens(std::u16string_view text) : m_rest(text) {}
    // False when the text is used up.
    bool Next(std::u16string_view& token);

  private:
    std::u16string_view m_rest;
};

// Reads a token as a decimal integer the way the C library's wide-text conversion does:
// leading white space skipped, an optional sign, then digits up to the first non-digit;
// no digits give 0. Values beyond the 32-bit range are limited to it. wellFormed tells whether
// the token held digits and nothing after them.
int32_t ParseTokenInt(std::u16string_view token, bool* wellFormed = nullptr);

// Appends "value," in decimal.
void AppendIntComma(std::u16string& out, int64_t value);

}  // namespace quovis
