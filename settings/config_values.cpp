#include "settings/config_values.h"

#include <algorithm>

namespace quovis {

// ============================================================================================
// Descriptors
// ============================================================================================

int32_t IntValue::Read(ConfigStore& store) const {
    return ReadOr(store, defaultValue);
}

int32_t IntValue::ReadOr(ConfigStore& store, int32_t fallback) const {
    // One read that tells absence apart from a stored value equal to the fallback.
    int32_t value = 0;
    uint32_t size = sizeof(value);
    if (store.Read(section, name, &value, &size) != kConfigInt) return fallback;
    return Checked(value);
}

bool IntValue::Write(ConfigStore& store, int32_t value) const {
    return store.WriteInt(section, name, Checked(value));
}

bool IntValue::IsStored(ConfigStore& store) const {
    return store.Read(section, name, nullptr, nullptr) == kConfigInt;
}

bool IntValue::Delete(ConfigStore& store) const {
    return store.DeleteValue(section, name);
}

double RealValue::Read(ConfigStore& store) const {
    return store.ReadReal(section, name, defaultValue);
}

double RealValue::ReadOr(ConfigStore& store, double fallback) const {
    return store.ReadReal(section, name, fallback);
}

bool RealValue::Write(ConfigStore& store, double value) const {
    return store.WriteReal(section, name, value);
}

bool RealValue::Delete(ConfigStore& store) const {
    return store.DeleteValue(section, name);
}

std::optional<std::u16string> TextValue::ReadStored(ConfigStore& store) const {
    return store.ReadText(section, name, maxChars);
}

std::u16string TextValue::Read(ConfigStore& store) const {
    return ReadOr(store, defaultValue);
}

std::u16string TextValue::ReadOr(ConfigStore& store, std::u16string_view fallback) const {
    std::optional<std::u16string> text = ReadStored(store);
    return text ? std::move(*text) : std::u16string(fallback);
}

bool TextValue::Write(ConfigStore& store, std::u16string_view text) const {
    if (text.size() > maxChars) return false;
    return store.WriteText(section, name, text);
}

bool TextValue::Delete(ConfigStore& store) const {
    return store.DeleteValue(section, name);
}

std::optional<std::vector<uint8_t>> BinaryValue::ReadStored(ConfigStore& store) const {
    return store.ReadBinary(section, name);
}

bool BinaryValue::Write(ConfigStore& store, std::span<const uint8_t> bytes) const {
    return store.WriteBinary(section, name, bytes);
}

bool BinaryValue::Delete(ConfigStore& store) const {
    return store.DeleteValue(section, name);
}

namespace {

// printf's "%0*d": zero padding to the width, after any sign.
std::u16string NumberedName(std::u16string_view prefix, int digits, int number) {
    std::string decimal = std::to_string(number);
    if (decimal.size() < static_cast<size_t>(digits)) {
        decimal.insert(number < 0 ? 1 : 0, digits - decimal.size(), '0');
    }
    std::u16string name(prefix);
    name.append(decimal.begin(), decimal.end());
    return name;
}

}  // namespace

std::u16string TextSeries::Name(int number) const {
    return NumberedName(prefix, digits, number);
}

std::optional<std::u16string> TextSeries::ReadStored(ConfigStore& store, int number) const {
    return store.ReadText(section, Name(number), maxChars);
}

bool TextSeries::Write(ConfigStore& store, int number, std::u16string_view text) const {
    if (text.size() > maxChars) return false;
    return store.WriteText(section, Name(number), text);
}

bool TextSeries::Delete(ConfigStore& store, int number) const {
    return store.DeleteValue(section, Name(number));
}

std::u16string RealSeries::Name(int number) const {
    return NumberedName(prefix, digits, number);
}

double RealSeries::ReadOr(ConfigStore& store, int number, double fallback) const {
    return store.ReadReal(section, Name(number), fallback);
}

bool RealSeries::Write(ConfigStore& store, int number, double value) const {
    return store.WriteReal(section, Name(number), value);
}

std::u16string AutoSaveDirDefault(std::u16string_view picturesFolder) {
    return std::u16string(picturesFolder) + u"/Quovis";
}

std::u16string MruDirDefault(std::u16string_view documentsFolder) {
    return std::u16string(documentsFolder) + u"/Quovis Files";
}

std::vector<std::u16string> ReadMessages(ConfigStore& store) {
    const int count = std::clamp(kMessagesNum.Read(store), 0, kMaxMessages);
    std::vector<std::u16string> messages;
    for (int n = 1; n <= count; ++n) {
        std::optional<std::u16string> text = kMessagesMessage.ReadStored(store, n);
        if (text && !text->empty()) messages.push_back(std::move(*text));
    }
    return messages;
}

// ============================================================================================
// Lookup
// ============================================================================================

namespace {

// The table again, this time as pointers to the constants the header made of it.
const KnownConfigValue kKnownValues[] = {
#define QUOVIS_CONFIG_VALUE(Type, constant, ...) &constant,
#include "settings/config_value_table.inc"
#undef QUOVIS_CONFIG_VALUE
};

char16_t FoldAscii(char16_t c) {
    return c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c;
}

bool SameName(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](char16_t x, char16_t y) { return FoldAscii(x) == FoldAscii(y); });
}

// The prefix followed by one or more decimal digits.
bool InSeries(std::u16string_view prefix, std::u16string_view name) {
    if (name.size() <= prefix.size() || !SameName(name.substr(0, prefix.size()), prefix)) {
        return false;
    }
    const std::u16string_view digits = name.substr(prefix.size());
    return std::all_of(digits.begin(), digits.end(),
                       [](char16_t c) { return c >= u'0' && c <= u'9'; });
}

}  // namespace

std::span<const KnownConfigValue> KnownConfigValues() {
    return kKnownValues;
}

std::optional<KnownConfigValue> FindKnownConfigValue(std::u16string_view section,
                                                     std::u16string_view name) {
    for (const KnownConfigValue& known : kKnownValues) {
        const bool match = std::visit(
            [&](const auto* value) {
                if (!SameName(value->section, section)) return false;
                if constexpr (requires { value->prefix; }) {
                    return InSeries(value->prefix, name);
                } else {
                    return SameName(value->name, name);
                }
            },
            known);
        if (match) return known;
    }
    return std::nullopt;
}

}  // namespace quovis
