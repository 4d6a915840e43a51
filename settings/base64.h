// Base64 (RFC 4648 alphabet, "=" padding, no line breaks): the picture attached to a shared
// preset travels this way inside the settings text.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quovis {

std::string Base64Encode(std::span<const uint8_t> bytes);

// The decoded bytes; nullopt for anything the encoder could not have produced: a length that
// is not a multiple of 4, a character outside the alphabet (white space and line breaks
// included), padding anywhere but at the end, or non-zero bits left over in the last group.
// Being strict here means a damaged picture is refused instead of half shown.
std::optional<std::vector<uint8_t>> Base64Decode(std::string_view text);
// The same for text kept as UTF-16; any unit above U+007F is refused.
std::optional<std::vector<uint8_t>> Base64Decode(std::u16string_view text);

}  // namespace quovis
