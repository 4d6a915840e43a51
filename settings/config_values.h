// Every value the program keeps in the configuration store, each named once, here, with its
// section, stored name, type and default. Other code never spells a value name or a default:
// it names one of these constants and calls Read or Write on it.
//
// Index
//   Descriptors     IntValue, RealValue, TextValue, BinaryValue, and the numbered series
//   Sections        the section names
//   Config          the program's options and the current pattern
//   Favorites, Messages, Audio, Backup, Common
//   Lookup          the table of known values (quovis-tool annotates what it shows with it)
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
// Config
// ============================================================================================

// The current pattern and its drawing. Settings: "*," and the preset fields; its default is
// the first built-in preset, which the caller supplies (ReadOr).
inline constexpr TextValue kConfigSettings{kConfigSection, u"Settings", u"", kPresetTextMaxChars};
inline constexpr TextValue kConfigDrawing{kConfigSection, u"Drawing", u""};
// The pattern shown last (absent until one was shown) and its library id (-1: not a library item).
inline constexpr TextValue kConfigLastPattern{kConfigSection, u"LastPattern", u"",
                                              kPresetTextMaxChars};
inline constexpr IntValue kConfigLastId{kConfigSection, u"LastId", -1};

// Slideshow. Absence of Random also marks a first run (ReadOr with -1).
inline constexpr IntValue kConfigRandom{kConfigSection, u"Random", 1};
inline constexpr IntValue kConfigDeviations{kConfigSection, u"Deviations", 18, 0, 99};
// One byte per favorite slot, 1 = in the slideshow; absent means every slot.
inline constexpr BinaryValue kConfigRanArray{kConfigSection, u"RanArray"};
// Extra slideshow sources, bits: 1 current settings, 2 and 8 and 4 the library lists.
inline constexpr IntValue kConfigRanCur{kConfigSection, u"RanCur", 0};

// Clock layer: Style 0 clock, 1 zodiac; centre as fractions of the screen; size factor.
inline constexpr IntValue kConfigClock{kConfigSection, u"Clock", 0};
inline constexpr IntValue kConfigStyle{kConfigSection, u"Style", 0, 0, 1, OutOfRange::UseDefault};
inline constexpr RealValue kConfigClockX{kConfigSection, u"ClockX", 0.5};
inline constexpr RealValue kConfigClockY{kConfigSection, u"ClockY", 0.5};
inline constexpr RealValue kConfigClockSize{kConfigSection, u"ClockSize", 0.9};

inline constexpr IntValue kConfigShowTitles{kConfigSection, u"ShowTitles", 1};
// 0 GDI always, 1 OpenGL when scaling, 2 OpenGL always.
inline constexpr IntValue kConfigUseGDI{kConfigSection, u"UseGDI", 1, 0, 2, OutOfRange::UseDefault};
inline constexpr IntValue kConfigMessages{kConfigSection, u"Messages", 0};  // pop-up messages on
inline constexpr IntValue kConfigAutoSave{kConfigSection, u"AutoSave", 0};

// Pacing: processor limit in percent; minutes until the saver slows down (0 never); frame
// rate limit, kept to 3..1000.
inline constexpr IntValue kConfigCPULimit{kConfigSection, u"CPULimit", 97};
inline constexpr IntValue kConfigSlowAfter{kConfigSection, u"SlowAfter", 120, 0};
inline constexpr IntValue kConfigTargetFPS{kConfigSection, u"TargetFPS", 60, 3, 1000};
inline constexpr IntValue kConfigDrift{kConfigSection, u"Drift", 0};

// Audio sync; the configuration window reads the sensitivity with 500 (ReadOr) and stores
// 650 minus its selectivity slider as AudioSyncQ.
inline constexpr IntValue kConfigAudioSync{kConfigSection, u"AudioSync", 0};
inline constexpr IntValue kConfigAudioSyncSensitivity{kConfigSection, u"AudioSyncSensitivity", 600};
inline constexpr int32_t kAudioSyncSensitivityWindowDefault = 500;
inline constexpr IntValue kConfigAudioSyncQ{kConfigSection, u"AudioSyncQ", 300};

// Monitors and output: preferred monitor; Snapshots 1 = the saver covers only that monitor;
// render scale index 0..7; secondary-monitor transition 0..3.
inline constexpr IntValue kConfigPrefMonitor{kConfigSection, u"PrefMonitor", 0, 0};
inline constexpr IntValue kConfigSnapshots{kConfigSection, u"Snapshots", 1};
inline constexpr IntValue kConfigResolution{kConfigSection,        u"Resolution", 2, 0, 7,
                                            OutOfRange::UseDefault};
inline constexpr IntValue kConfigFadeType{kConfigSection,        u"FadeType", 0, 0, 3,
                                          OutOfRange::UseDefault};
inline constexpr IntValue kConfigAccuratePreview{kConfigSection, u"AccuratePreview", 0};

// Configuration window: page shown last; position (-1: let the system place it).
inline constexpr IntValue kConfigCurrentTab{kConfigSection, u"CurrentTab", 0, 0};
inline constexpr IntValue kConfigWinX{kConfigSection, u"WinX", -1};
inline constexpr IntValue kConfigWinY{kConfigSection, u"WinY", -1};

// Favorites: number of slots (0 also means 1024); seeding version (-1 never seeded, 31 done).
inline constexpr IntValue kConfigMaxFav{kConfigSection,        u"MaxFav", 1024, 1, INT32_MAX,
                                        OutOfRange::UseDefault};
inline constexpr IntValue kConfigVersion{kConfigSection, u"Version", -1};

// Snapshots: folder (default: pictures folder + "/Quovis"), file prefix, settings file beside
// each picture, next sequence number.
inline constexpr TextValue kConfigAutoSaveDir{kConfigSection, u"AutoSaveDir", u"", 255};
inline constexpr TextValue kConfigAutoSavePrefix{kConfigSection, u"AutoSavePrefix", u"Q-", 63};
inline constexpr IntValue kConfigAutoSaveOru{kConfigSection, u"AutoSaveOru", 1};
inline constexpr IntValue kConfigNextIndex{kConfigSection, u"NextIndex", 1, 1};

// "Export Favorites to Individual Files": folder and prefix.
inline constexpr TextValue kConfigSaveDir{kConfigSection, u"SaveDir", u""};
inline constexpr TextValue kConfigSavePrefix{kConfigSection, u"SavePrefix", u""};
// The user's nickname and location, put into new favorites and shared presets.
inline constexpr TextValue kConfigAuthor{kConfigSection, u"Author", u""};
inline constexpr TextValue kConfigLocation{kConfigSection, u"Location", u""};
// Title, author and location of the library preset in use.
inline constexpr TextValue kConfigFromWeb{kConfigSection, u"FromWeb", u""};
inline constexpr TextValue kConfigFromWebA{kConfigSection, u"FromWebA", u""};
inline constexpr TextValue kConfigFromWebL{kConfigSection, u"FromWebL", u""};
// Path of the licence agreement document (absent: none).
inline constexpr TextValue kConfigEULA{kConfigSection, u"EULA", u""};
// Folder last used by the file dialogs (default: documents folder + "/Quovis Files").
inline constexpr TextValue kConfigMRUDir{kConfigSection, u"MRUDir", u""};

// Kept only so that the configuration backup copies them; nothing else reads them.
inline constexpr IntValue kConfigDirectDraw{kConfigSection, u"DirectDraw", -1};
inline constexpr IntValue kConfigScreenResX{kConfigSection, u"ScreenResX", -1};
inline constexpr IntValue kConfigScreenResY{kConfigSection, u"ScreenResY", -1};
inline constexpr IntValue kConfigScreenResBits{kConfigSection, u"ScreenResBits", -1};

// The folder defaults: the given user folder followed by "/Quovis" or "/Quovis Files".
std::u16string AutoSaveDirDefault(std::u16string_view picturesFolder);
std::u16string MruDirDefault(std::u16string_view documentsFolder);

// ============================================================================================
// Favorites, Messages, Audio, Backup, Common
// ============================================================================================

// One preset per slot: "Fav000" .. "Fav999", "Fav1000" ...
inline constexpr TextSeries kFavoritesSlot{kFavoritesSection, u"Fav", 3, kPresetTextMaxChars};

// Pop-up messages. The saver draws slide and message times from MinTime..MaxTime seconds
// (60..120); the messages dialog reads them with 30 and 60 (ReadOr).
inline constexpr IntValue kMessagesNum{kMessagesSection, u"Num", 0, 0};
inline constexpr TextSeries kMessagesMessage{kMessagesSection, u"Message", 1};
inline constexpr TextValue kMessagesFont{kMessagesSection, u"Font", u"Arial"};
inline constexpr IntValue kMessagesBold{kMessagesSection, u"Bold", 0};
inline constexpr IntValue kMessagesItalic{kMessagesSection, u"Italic", 0};
inline constexpr IntValue kMessagesMinTime{kMessagesSection, u"MinTime", 60};
inline constexpr IntValue kMessagesMaxTime{kMessagesSection, u"MaxTime", 120};
inline constexpr int32_t kMessagesMinTimeDialogDefault = 30;
inline constexpr int32_t kMessagesMaxTimeDialogDefault = 60;

// Long-run means of the audio analysis ("Stat0" .. "Stat17") and its level offset; the
// analysis supplies the defaults and limits of each.
inline constexpr RealSeries kAudioStat{kAudioSection, u"Stat", 1};
inline constexpr int kAudioStatCount = 18;
inline constexpr RealValue kAudioAGC{kAudioSection, u"AGC", 0.0};

// 1 while a configuration window holds a backup of the Config values it may change.
inline constexpr IntValue kBackupInUse{kBackupSection, u"InUse", 0};

// The maker's program list, slots 1..15: program name and program path; and the mailbox a
// second instance leaves a settings file path in for an open configuration window.
inline constexpr TextSeries kCommonProgramName{kCommonSection, u"Oru", 2};
inline constexpr TextSeries kCommonProgramPath{kCommonSection, u"Loc", 2};
inline constexpr int kCommonProgramSlots = 15;
inline constexpr TextValue kCommonMailbox{kCommonSection, u"Me", u"", 256};

// ============================================================================================
// Lookup
// ============================================================================================

using KnownConfigValue = std::variant<const IntValue*, const RealValue*, const TextValue*,
                                      const BinaryValue*, const TextSeries*, const RealSeries*>;

// Every constant above, once.
std::span<const KnownConfigValue> KnownConfigValues();

// The known value a stored name belongs to (names compare case-insensitively, numbered
// series match their prefix followed by digits); nullopt for a name the program never uses.
std::optional<KnownConfigValue> FindKnownConfigValue(std::u16string_view section,
                                                     std::u16string_view name);

}  // namespace quovis
