// Every value the program keeps in the configuration store, each declared once, in
// config_value_table.inc, with its section, stored name, type and default. Other code never
// spells a value name or a default: it names one of these constants and calls Read or Write
// on it.
//
// Index
//   Descriptors     IntValue, RealValue, TextValue, BinaryValue, and the numbered series
//   Sections        the section names
//   Values          the constants of the table, and the defaults that are not in it
//   Lookup          every value of the table (quovis-tool annotates what it shows with it)
//
// Checking at the boundary: Read returns a value the program can use. An integer outside
// its documented range is clamped or replaced by the default (per value); a real that is not
// a finite number reads as the default; a text longer than its readers' fixed buffer reads as
// absent, and Write refuses one, since nobody could read it back.
//
// Defaults that depend on the machine or on other layers are not here: AutoSaveDir and
// MRUDir take the user's folders, Settings takes the first built-in preset. Their readers
// pass the default with ReadOr (see AutoSaveDirDefault, MruDirDefault).
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "settings/config_store.h"

namespace quovis {

// ============================================================================================
// Descriptors
// ============================================================================================

enum class OutOfRange : uint8_t {
    Clamp,       // a stored value outside [min, max] reads as the nearest bound
    UseDefault,  // ... reads as the default (lists and choices, where "nearest" means nothing)
};

struct IntValue {
    std::u16string_view section;
    std::u16string_view name;
    int32_t defaultValue = 0;
    int32_t min = INT32_MIN;
    int32_t max = INT32_MAX;
    OutOfRange outside = OutOfRange::Clamp;

    constexpr int32_t Checked(int32_t value) const {
        if (value >= min && value <= max) return value;
        if (outside == OutOfRange::UseDefault) return defaultValue;
        return value < min ? min : max;
    }

    // The stored value, checked; the default when absent.
    int32_t Read(ConfigStore& store) const;
    // As Read, with the caller's own default when absent: the configuration window's
    // defaults, or a sentinel (-1) that tells a first run from a stored value.
    int32_t ReadOr(ConfigStore& store, int32_t fallback) const;
    // Stores the value checked as Read would check it.
    bool Write(ConfigStore& store, int32_t value) const;
    bool IsStored(ConfigStore& store) const;
    bool Delete(ConfigStore& store) const;
};

struct RealValue {
    std::u16string_view section;
    std::u16string_view name;
    double defaultValue = 0.0;

    double Read(ConfigStore& store) const;
    double ReadOr(ConfigStore& store, double fallback) const;
    // Stored as "%.18g" text; false for a value that is not finite.
    bool Write(ConfigStore& store, double value) const;
    bool Delete(ConfigStore& store) const;
};

struct TextValue {
    std::u16string_view section;
    std::u16string_view name;
    std::u16string_view defaultValue;
    // The longest text the value's readers take (their fixed buffers); longer reads as absent.
    size_t maxChars = ConfigStore::kAnyLength;

    // nullopt when absent (or too long): for values whose absence means something.
    std::optional<std::u16string> ReadStored(ConfigStore& store) const;
    std::u16string Read(ConfigStore& store) const;
    std::u16string ReadOr(ConfigStore& store, std::u16string_view fallback) const;
    // False, storing nothing, for a text longer than maxChars.
    bool Write(ConfigStore& store, std::u16string_view text) const;
    bool Delete(ConfigStore& store) const;
};

struct BinaryValue {
    std::u16string_view section;
    std::u16string_view name;

    std::optional<std::vector<uint8_t>> ReadStored(ConfigStore& store) const;
    bool Write(ConfigStore& store, std::span<const uint8_t> bytes) const;
    bool Delete(ConfigStore& store) const;
};

// Numbered values: the name is a prefix and the number with at least `digits` digits
// ("Fav%03d": Fav000 .. Fav999, then Fav1000 ...).
struct TextSeries {
    std::u16string_view section;
    std::u16string_view prefix;
    int digits = 1;
    size_t maxChars = ConfigStore::kAnyLength;

    std::u16string Name(int number) const;
    std::optional<std::u16string> ReadStored(ConfigStore& store, int number) const;
    bool Write(ConfigStore& store, int number, std::u16string_view text) const;
    bool Delete(ConfigStore& store, int number) const;
};

struct RealSeries {
    std::u16string_view section;
    std::u16string_view prefix;
    int digits = 1;

    std::u16string Name(int number) const;
    double ReadOr(ConfigStore& store, int number, double fallback) const;
    bool Write(ConfigStore& store, int number, double value) const;
};

// ============================================================================================
// Sections
// ============================================================================================

inline constexpr std::u16string_view kConfigSection = u"Config";
inline constexpr std::u16string_view kFavoritesSection = u"Favorites";
inline constexpr std::u16string_view kMessagesSection = u"Messages";
inline constexpr std::u16string_view kAudioSection = u"Audio";
// One text value per stored drawing: value name = escaped preset name, text = file name.
inline constexpr std::u16string_view kDrawingFilesSection = u"DrawingFiles";
inline constexpr size_t kDrawingFileNameMaxChars = 15;
// Older profiles kept drawings themselves here, under the escaped preset name; read only.
inline constexpr std::u16string_view kOldDrawingsSection = u"Drawings";
inline constexpr std::u16string_view kBackupSection = u"Backup";
// Shared by all of the maker's programs.
inline constexpr std::u16string_view kCommonSection = u"-Common";

// Preset texts are read whole, however long: a fixed buffer would make a long text read as
// absent, and an absent favorite ends every scan of the collection, hiding the ones after it.
// The preset reader copes with any length.
inline constexpr size_t kPresetTextMaxChars = ConfigStore::kAnyLength;

// ============================================================================================
// Values
// ============================================================================================

// Every stored value, declared once in the table (config_value_table.inc): section, stored
// name, type, default and limits. The table is included again by config_values.cpp to list
// them for the lookup below.
#define QUOVIS_CONFIG_VALUE(Type, constant, ...) inline constexpr Type constant{__VA_ARGS__};
#include "settings/config_value_table.inc"
#undef QUOVIS_CONFIG_VALUE

// The callers' own defaults, where one reader of a value assumes a different default than the
// saver: the configuration window for AudioSyncSensitivity, the messages dialog for
// MinTime and MaxTime.
inline constexpr int32_t kAudioSyncSensitivityWindowDefault = 500;
inline constexpr int32_t kMessagesMinTimeDialogDefault = 30;
inline constexpr int32_t kMessagesMaxTimeDialogDefault = 60;

// The folder defaults: the given user folder followed by "/Quovis" or "/Quovis Files".
std::u16string AutoSaveDirDefault(std::u16string_view picturesFolder);
std::u16string MruDirDefault(std::u16string_view documentsFolder);

// The user's pop-up messages: "Message1" .. "Message<Num>" of "Messages", at most
// kMaxMessages of them; missing and empty ones are left out.
inline constexpr int kMaxMessages = 127;
std::vector<std::u16string> ReadMessages(ConfigStore& store);

// How many members the numbered series have where the program fixes it: the audio analysis's
// long-run means and the maker's program list.
inline constexpr int kAudioStatCount = 18;
inline constexpr int kCommonProgramSlots = 15;

// ============================================================================================
// Lookup
// ============================================================================================

using KnownConfigValue = std::variant<const IntValue*, const RealValue*, const TextValue*,
                                      const BinaryValue*, const TextSeries*, const RealSeries*>;

// Every value of the table, once, in table order.
std::span<const KnownConfigValue> KnownConfigValues();

// The known value a stored name belongs to (names compare case-insensitively, numbered
// series match their prefix followed by digits); nullopt for a name the program never uses.
std::optional<KnownConfigValue> FindKnownConfigValue(std::u16string_view section,
                                                     std::u16string_view name);

}  // namespace quovis
