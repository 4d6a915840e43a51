// Base64 coder. Encoding works on whole 3-byte groups and then the 1- or 2-byte tail;
// decoding looks every character up in a 256-entry table so that any byte value is safe.
#include "settings/base64.h"

#include <array>

namespace quovis {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr uint8_t kNotBase64 = 0xFF;

constexpr std::array<uint8_t, 256> MakeDecodeTable() {
    std::array<uint8_t, 256> table{};
    for (auto& entry : table) entry = kNotBase64;
    for (uint8_t i = 0; i < 64; ++i) table[static_cast<uint8_t>(kAlphabet[i])] = i;
    return table;
}
constexpr std::array<uint8_t, 256> kDecode = MakeDecodeTable();

}  // namespace

std::string Base64Encode(std::span<const uint8_t> bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const uint32_t group =
            (uint32_t{bytes[i]} << 16) | (uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
        out += kAlphabet[(group >> 18) & 63];
        out += kAlphabet[(group >> 12) & 63];
        out += kAlphabet[(group >> 6) & 63];
        out += kAlphabet[group & 63];
    }
    const size_t tail = bytes.size() - i;
    if (tail > 0) {
        uint32_t group = uint32_t{bytes[i]} << 16;
        if (tail == 2) group |= uint32_t{bytes[i + 1]} << 8;
        out += kAlphabet[(group >> 18) & 63];
        out += kAlphabet[(group >> 12) & 63];
        out += tail == 2 ? kAlphabet[(group >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::optional<std::vector<uint8_t>> Base64Decode(std::string_view text) {
    if (text.size() % 4 != 0) return std::nullopt;
    std::vector<uint8_t> out;
    out.reserve(text.size() / 4 * 3);
    for (size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        // Padding is only allowed as "xx==" or "xxx=" in the last group.
        int padding = 0;
        if (last && text[i + 3] == '=') padding = text[i + 2] == '=' ? 2 : 1;
        uint32_t group = 0;
        for (int k = 0; k < 4 - padding; ++k) {
            const uint8_t value = kDecode[static_cast<uint8_t>(text[i + k])];
            if (value == kNotBase64) return std::nullopt;
            group = (group << 6) | value;
        }
        group <<= 6 * padding;
        // Bits the padding stands for must be zero, or two texts would decode alike.
        const uint32_t unused = padding == 2 ? 0xFFFF : padding == 1 ? 0xFF : 0;
        if ((group & unused) != 0) return std::nullopt;
        out.push_back(static_cast<uint8_t>(group >> 16));
        if (padding < 2) out.push_back(static_cast<uint8_t>(group >> 8));
        if (padding < 1) out.push_back(static_cast<uint8_t>(group));
    }
    return out;
}

std::optional<std::vector<uint8_t>> Base64Decode(std::u16string_view text) {
    std::string narrow;
    narrow.reserve(text.size());
    for (char16_t c : text) {
        if (c > 0x7F) return std::nullopt;
        narrow += static_cast<char>(c);
    }
    return Base64Decode(narrow);
}

}  // namespace quovis
