// UTF-16 <-> UTF-8 for the places where the settings layer meets the file system and the
// terminal, and case-insensitive comparison of stored texts. Stored texts stay UTF-16; only
// paths and the tool's output go through the conversions.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quovis {

// Unpaired surrogates become U+FFFD, so the result is always valid UTF-8.
std::string Utf16ToUtf8(std::u16string_view text);

// nullopt when `text` is not valid UTF-8 (bad sequences, overlong forms, surrogates).
std::optional<std::u16string> Utf8ToUtf16(std::string_view text);

// Equal when compared letter by letter without regard to case (preset names, preset texts).
bool EqualIgnoringCase(std::u16string_view a, std::u16string_view b);

}  // namespace quovis
