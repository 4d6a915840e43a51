// quovis-tool config: look into and edit the configuration store from a terminal.
//
//   dump [SECTION]       every key (or SECTION and its subkeys) in the layout of a registry
//                        export: "[HKEY_CURRENT_USER\...]" lines, then "Name"="text",
//                        "Name"=dword:0000004b, "Name"=hex:01,02 lines
//   get SECTION NAME     the value alone: text, decimal integer or hex bytes
//   set SECTION NAME (text|int|real|binary-hex) VALUE
//   delete SECTION [NAME]
//
// SECTION follows the program's own rules ("Config", "-Common", "*Name" for the local-machine
// root). The tool stores what it is told, like a registry editor; where the program would read
// the result differently (another type, out of range, too long) it says so on stderr.
//
// Exit status: 0 done, 1 the store could not do it or the value is not there, 2 bad arguments.
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "settings/config_store.h"
#include "settings/config_values.h"
#include "settings/text_encoding.h"
#include "tools/commands.h"

namespace quovis::tool {

namespace {

constexpr const char* kUsage =
    "usage: quovis-tool config dump [SECTION]\n"
    "       quovis-tool config get SECTION NAME\n"
    "       quovis-tool config set SECTION NAME (text|int|real|binary-hex) VALUE\n"
    "       quovis-tool config delete SECTION [NAME]\n";

int BadArguments(const std::string& problem) {
    std::fprintf(stderr, "quovis-tool: %s\n%s", problem.c_str(), kUsage);
    return 2;
}

int Failure(const std::string& problem) {
    std::fprintf(stderr, "quovis-tool: %s\n", problem.c_str());
    return 1;
}

void Note(const std::string& note) {
    std::fprintf(stderr, "quovis-tool: note: %s\n", note.c_str());
}

std::string KeyName(const ConfigKey& key) {
    return Utf16ToUtf8(ConfigRootName(key.root)) + "\\" + Utf16ToUtf8(key.path);
}

// ============================================================================================
// Dump
// ============================================================================================

void AppendHexBytes(std::string& line, std::string& out, const uint8_t* bytes, size_t count) {
    // Registry exports wrap long byte lists with a trailing backslash, keeping lines short.
    for (size_t i = 0; i < count; ++i) {
        char piece[4];
        std::snprintf(piece, sizeof(piece), i + 1 < count ? "%02x," : "%02x", bytes[i]);
        line += piece;
        if (line.size() >= 76 && i + 1 < count) {
            out += line + "\\\n";
            line = "  ";
        }
    }
}

// Quoted for a registry export: backslash and quote escaped. nullopt for a text the quoted
// form cannot carry (line breaks and other control characters, unpaired surrogates).
std::optional<std::string> Quoted(std::u16string_view text) {
    const std::string utf8 = Utf16ToUtf8(text);
    if (Utf8ToUtf16(utf8) != std::u16string(text)) return std::nullopt;
    std::string quoted = "\"";
    for (const char c : utf8) {
        if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;
        if (c == '\\' || c == '"') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

std::string ValueLine(const ConfigEntry& entry) {
    std::string line = entry.name.empty() ? "@" : Quoted(entry.name).value_or("\"?\"");
    line += '=';
    std::string out;
    switch (entry.type) {
        case kConfigText: {
            if (const std::optional<std::string> quoted = Quoted(entry.text)) {
                line += *quoted;
                break;
            }
            // hex(1): the text's UTF-16LE units with the terminator, as an export writes them.
            std::vector<uint8_t> bytes;
            for (const char16_t unit : entry.text) {
                bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
                bytes.push_back(static_cast<uint8_t>(unit >> 8));
            }
            bytes.insert(bytes.end(), {0, 0});
            line += "hex(1):";
            AppendHexBytes(line, out, bytes.data(), bytes.size());
            break;
        }
        case kConfigInt: {
            char dword[16];
            std::snprintf(dword, sizeof(dword), "dword:%08x", static_cast<uint32_t>(entry.number));
            line += dword;
            break;
        }
        default:
            line += "hex:";
            AppendHexBytes(line, out, entry.bytes.data(), entry.bytes.size());
            break;
    }
    return out + line + "\n";
}

char16_t FoldAscii(char16_t c) {
    return c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c;
}

bool SameText(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    }
    return true;
}

// `key` itself or one of its subkeys.
bool InTree(const ConfigKey& key, const ConfigKey& top) {
    if (key.root != top.root || key.path.size() < top.path.size()) return false;
    if (!SameText(std::u16string_view(key.path).substr(0, top.path.size()), top.path)) return false;
    return key.path.size() == top.path.size() || key.path[top.path.size()] == u'\\';
}

// The library account's key proves the user's ownership of shared presets: no output shows
// it.
constexpr std::u16string_view kHiddenText = u"(hidden)";
bool IsSecret(std::u16string_view name) {
    return SameText(name, kConfigLibraryKey.name);
}

int Dump(ConfigStore& store, const std::optional<std::u16string>& section) {
    if (!store.DatabaseExists()) {
        std::fprintf(stderr, "quovis-tool: nothing is stored yet (%s)\n", store.Path().c_str());
        return section ? 1 : 0;
    }
    std::optional<ConfigKey> top;
    if (section) {
        top = SectionKeyForRead(*section);
        if (!top) return Failure("section '" + Utf16ToUtf8(*section) + "' is never stored");
    }
    bool any = false;
    for (const ConfigKey& key : store.Keys()) {
        if (top && !InTree(key, *top)) continue;
        std::string text = "[" + KeyName(key) + "]\n";
        for (ConfigEntry entry : store.Values(key)) {
            if (IsSecret(entry.name)) entry.text = kHiddenText;
            text += ValueLine(entry);
        }
        text += "\n";
        std::fwrite(text.data(), 1, text.size(), stdout);
        any = true;
    }
    if (top && !any) return Failure("[" + KeyName(*top) + "] is not stored");
    return 0;
}

// ============================================================================================
// What the program makes of a value
// ============================================================================================

// The stored type the program reads a known value as.
int ExpectedType(const KnownConfigValue& known) {
    return std::visit(
        [](const auto* value) {
            using Value = std::remove_cvref_t<decltype(*value)>;
            if constexpr (std::is_same_v<Value, IntValue>) return kConfigInt;
            if constexpr (std::is_same_v<Value, BinaryValue>) return kConfigBinary;
            return kConfigText;  // texts, and reals stored as text
        },
        known);
}

const char* TypeWord(int type) {
    switch (type) {
        case kConfigInt:
            return "an int";
        case kConfigBinary:
            return "binary";
        default:
            return "text";
    }
}

std::string DefaultText(const KnownConfigValue& known) {
    return std::visit(
        [](const auto* value) -> std::string {
            using Value = std::remove_cvref_t<decltype(*value)>;
            if constexpr (std::is_same_v<Value, IntValue>) {
                return std::to_string(value->defaultValue);
            } else if constexpr (std::is_same_v<Value, RealValue>) {
                return Utf16ToUtf8(FormatConfigReal(value->defaultValue));
            } else if constexpr (std::is_same_v<Value, TextValue>) {
                if (value->defaultValue.empty()) return "";
                return "\"" + Utf16ToUtf8(value->defaultValue) + "\"";
            } else {
                return "";  // binary and numbered values have no fixed default
            }
        },
        known);
}

size_t MaxChars(const KnownConfigValue& known) {
    if (const auto* text = std::get_if<const TextValue*>(&known)) return (*text)->maxChars;
    if (const auto* series = std::get_if<const TextSeries*>(&known)) return (*series)->maxChars;
    return ConfigStore::kAnyLength;
}

// Says on stderr where the program would read the just-written value differently.
void NoteHowProgramReads(std::u16string_view section, std::u16string_view name, int type,
                         const ConfigEntry& written) {
    const std::optional<KnownConfigValue> known = FindKnownConfigValue(section, name);
    if (!known) return;
    const int expected = ExpectedType(*known);
    const std::string defaultText = DefaultText(*known);
    const std::string reads =
        defaultText.empty() ? "reads as absent" : "reads as the default " + defaultText;
    if (type != expected) {
        const bool real = std::holds_alternative<const RealValue*>(*known) ||
                          std::holds_alternative<const RealSeries*>(*known);
        Note("Quovis keeps this value as " +
             std::string(real ? "a real (text)" : TypeWord(expected)) + "; stored as " +
             TypeWord(type) + " it " + reads);
        return;
    }
    if (const auto* value = std::get_if<const IntValue*>(&*known)) {
        const int32_t checked = (*value)->Checked(written.number);
        if (checked != written.number) {
            Note("Quovis reads " + std::to_string(written.number) + " here as " +
                 std::to_string(checked));
        }
    } else if (const auto* real = std::get_if<const RealValue*>(&*known);
               real != nullptr && !ParseConfigReal(written.text)) {
        Note("this is not a finite number; Quovis " + reads);
    } else if (written.text.size() > MaxChars(*known)) {
        Note("Quovis reads at most " + std::to_string(MaxChars(*known)) +
             " characters here; this text " + reads);
    }
}

// ============================================================================================
// Get, set, delete
// ============================================================================================

std::string HexBytes(const std::vector<uint8_t>& bytes) {
    std::string hex;
    for (const uint8_t b : bytes) {
        char pair[3];
        std::snprintf(pair, sizeof(pair), "%02x", b);
        hex += pair;
    }
    return hex;
}

std::string ValueName(const ConfigKey& key, std::u16string_view name) {
    return "\"" + Utf16ToUtf8(name) + "\" in [" + KeyName(key) + "]";
}

int Get(ConfigStore& store, std::u16string_view section, std::u16string_view name) {
    const std::optional<ConfigKey> key = SectionKeyForRead(section);
    std::optional<ConfigEntry> entry;
    if (key) {
        for (ConfigEntry& stored : store.Values(*key)) {
            if (SameText(stored.name, name)) entry = std::move(stored);
        }
    }
    if (!entry) {
        std::string problem =
            (key ? ValueName(*key, name) : "\"" + Utf16ToUtf8(name) + "\"") + " is not stored";
        if (const auto known = FindKnownConfigValue(section, name)) {
            const std::string defaultText = DefaultText(*known);
            if (!defaultText.empty()) problem += "; Quovis uses the default " + defaultText;
        }
        return Failure(problem);
    }
    std::string out;
    switch (entry->type) {
        case kConfigText:
            out = Utf16ToUtf8(IsSecret(entry->name) ? kHiddenText : entry->text);
            break;
        case kConfigInt:
            out = std::to_string(entry->number);
            break;
        default:
            out = HexBytes(entry->bytes);
            break;
    }
    out += '\n';
    std::fwrite(out.data(), 1, out.size(), stdout);
    if (entry->type == kConfigInt) {
        if (const auto known = FindKnownConfigValue(section, name)) {
            if (const auto* value = std::get_if<const IntValue*>(&*known)) {
                const int32_t checked = (*value)->Checked(entry->number);
                if (checked != entry->number) {
                    Note("Quovis reads it as " + std::to_string(checked));
                }
            }
        }
    }
    return 0;
}

// Decimal (-2147483648..4294967295, the upper half as a registry DWORD holds it) or 0x hex.
std::optional<int32_t> ParseInt(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    int64_t value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    if (value < INT32_MIN || value > static_cast<int64_t>(UINT32_MAX)) return std::nullopt;
    return static_cast<int32_t>(static_cast<uint32_t>(value));
}

std::optional<double> ParseReal(std::string_view text) {
    double value = 0.0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size() || text.empty() ||
        !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

// Hex digit pairs; spaces, commas and colons between them are ignored, and a leading "hex:"
// is accepted so that a dump line can be pasted back.
std::optional<std::vector<uint8_t>> ParseHex(std::string_view text) {
    if (text.substr(0, 4) == "hex:") text.remove_prefix(4);
    std::string digits;
    for (const char c : text) {
        if (c == ' ' || c == ',' || c == ':') continue;
        if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
        digits += c;
    }
    if (digits.size() % 2 != 0) return std::nullopt;
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < digits.size(); i += 2) {
        bytes.push_back(static_cast<uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

int Set(ConfigStore& store, std::u16string_view section, std::u16string_view name,
        std::string_view type, std::string_view value) {
    const std::optional<WriteTarget> target = SectionKeyForWrite(section);
    if (!target) return BadArguments("'" + Utf16ToUtf8(section) + "' is not a section name");
    ConfigEntry written;
    bool ok = false;
    if (type == "text") {
        const std::optional<std::u16string> text = Utf8ToUtf16(value);
        if (!text) return BadArguments("the text is not valid UTF-8");
        if (text->find(u'\0') != std::u16string::npos) {
            return BadArguments("a text cannot hold a NUL character");
        }
        written.type = kConfigText;
        written.text = *text;
        ok = store.WriteText(section, name, *text);
    } else if (type == "int") {
        const std::optional<int32_t> number = ParseInt(value);
        if (!number) return BadArguments("'" + std::string(value) + "' is not a 32-bit integer");
        written.type = kConfigInt;
        written.number = *number;
        ok = store.WriteInt(section, name, *number);
    } else if (type == "real") {
        const std::optional<double> real = ParseReal(value);
        if (!real) return BadArguments("'" + std::string(value) + "' is not a finite number");
        written.type = kConfigText;
        written.text = FormatConfigReal(*real);
        ok = store.WriteReal(section, name, *real);
    } else if (type == "binary-hex") {
        const std::optional<std::vector<uint8_t>> bytes = ParseHex(value);
        if (!bytes) return BadArguments("'" + std::string(value) + "' is not hex byte pairs");
        written.type = kConfigBinary;
        written.bytes = *bytes;
        ok = store.WriteBinary(section, name, *bytes);
    } else {
        return BadArguments("unknown type '" + std::string(type) + "'");
    }
    if (!ok) {
        return Failure("could not store " + ValueName(target->key, name) + " in " + store.Path());
    }
    NoteHowProgramReads(section, name, written.type, written);
    return 0;
}

int Delete(ConfigStore& store, std::u16string_view section,
           const std::optional<std::u16string>& name) {
    const std::optional<WriteTarget> target = SectionKeyForWrite(section);
    if (!target) return BadArguments("'" + Utf16ToUtf8(section) + "' is not a section name");
    const std::string where = "[" + KeyName(target->key) + "]";
    if (name) {
        bool stored = false;
        for (const ConfigEntry& entry : store.Values(target->key)) {
            stored = stored || SameText(entry.name, *name);
        }
        if (!stored) return Failure(ValueName(target->key, *name) + " is not stored");
        if (!store.DeleteValue(section, *name)) {
            return Failure("could not delete " + ValueName(target->key, *name));
        }
        return 0;
    }
    switch (store.DeleteSection(section)) {
        case DeleteSectionResult::Deleted:
            return 0;
        case DeleteSectionResult::NotFound:
            return Failure(where + " is not stored");
        case DeleteSectionResult::HasSubkeys:
            return Failure(where + " has subkeys; delete them first");
        case DeleteSectionResult::Failed:
            break;
    }
    return Failure("could not delete " + where + " in " + store.Path());
}

}  // namespace

int ConfigCommand(int argc, char** argv) {
    if (argc < 1) return BadArguments("config needs a subcommand");
    const std::string_view command = argv[0];
    std::vector<std::u16string> args;
    for (int i = 1; i < argc; ++i) {
        const std::optional<std::u16string> arg = Utf8ToUtf16(argv[i]);
        if (!arg) return BadArguments("argument " + std::to_string(i + 1) + " is not valid UTF-8");
        args.push_back(*arg);
    }
    ConfigStore& store = ProcessConfigStore();
    if (command == "dump" && args.size() <= 1) {
        return Dump(store, args.empty() ? std::nullopt : std::optional(args[0]));
    }
    if (command == "get" && args.size() == 2) return Get(store, args[0], args[1]);
    if (command == "set" && args.size() == 4) return Set(store, args[0], args[1], argv[3], argv[4]);
    if (command == "delete" && (args.size() == 1 || args.size() == 2)) {
        return Delete(store, args[0], args.size() == 2 ? std::optional(args[1]) : std::nullopt);
    }
    if (command == "dump" || command == "get" || command == "set" || command == "delete") {
        return BadArguments("wrong number of arguments for config " + std::string(command));
    }
    return BadArguments("unknown config subcommand '" + std::string(command) + "'");
}

}  // namespace quovis::tool
