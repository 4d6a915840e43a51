// Snapshot names and bookkeeping, without any image code: where a snapshot goes, which
// number it gets, how that number is remembered, and what the text window says afterwards.
//
// Index
//   Texts           the confirmation lines, ShowSnapshotConfirmation
//   File names      SnapshotFileName, SnapshotBaseName, SnapshotPresetName
//   Numbering       FirstFreeSnapshotIndex, PathOrLinkExists
//   Configuration   SnapshotFolderOrDefault, SnapshotConfig, ReadSnapshotConfig,
//                   StoreNextSnapshotIndex
//
// File names are "<folder>/<prefix><number>.jpg" and ".oru" beside it; the number has at
// least four digits ("Q-0007"), larger numbers simply get more ("Q-10000"). The number only
// grows: "NextIndex" is where the search starts, and numbers whose files exist are skipped,
// so a reset "NextIndex" or a folder shared with an older profile never overwrites a picture.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "present/text_window.h"
#include "settings/config_store.h"

namespace quovis {

// ============================================================================================
// Texts
// ============================================================================================

// The text window after a snapshot: line 0 empty, line 1 this, line 2 the picture's path.
inline constexpr std::u16string_view kSnapshotSavedLine = u"Saved screenshot to";
// ... and when no picture could be written, so that a failed save never looks like a
// saved one.
inline constexpr std::u16string_view kSnapshotFailedLine = u"Could not save screenshot to";
// The text window's fade value after a snapshot: a short confirmation, not a title.
inline constexpr float kSnapshotTextFade = 1.5f;

// Puts the confirmation for `path` into the text window: the saved line or the failed line.
void ShowSnapshotConfirmation(TextWindow& text, std::u16string_view path, bool saved);

// ============================================================================================
// File names
// ============================================================================================

// "<folder>/<prefix><index>.<extension>", the index with at least four digits. A slash at the
// end of the folder is not doubled. The prefix is one file name's beginning: a "/" in it
// becomes "_", so a prefix can never put the picture into another folder.
std::string SnapshotFileName(std::string_view folder, std::string_view prefix, int index,
                             std::string_view extension);

// The picture's file name without folder and extension ("/p/Q-0012.jpg" -> "Q-0012"): the
// name its settings file gives the preset.
std::u16string SnapshotBaseName(std::string_view jpegPath);

// The preset name the settings file beside a picture records: "<base> (<preset>)", or the
// base name alone for a preset whose name starts with "*" (the unnamed current settings).
std::u16string SnapshotPresetName(std::u16string_view baseName, std::u16string_view presetName);

// ============================================================================================
// Numbering
// ============================================================================================

// Whether something already has this path. Tests pass their own.
using PathExistsFn = std::function<bool(const std::string& path)>;

// True when anything is at the path, a dangling symbolic link included (writing through one
// would create a file somewhere else).
bool PathOrLinkExists(const std::string& path);

// The first number from `start` (at least 1) for which neither the picture nor its settings
// file exists: a settings file left without its picture is somebody's file too, and a new
// picture must not get an old picture's settings beside it. nullopt when the numbers run out.
std::optional<int> FirstFreeSnapshotIndex(std::string_view folder, std::string_view prefix,
                                          int start, const PathExistsFn& exists);

// ============================================================================================
// Configuration
// ============================================================================================

// The stored snapshot folder, or the default for an empty one: the pictures folder followed
// by "/Quovis", or the current folder when there is no pictures folder.
std::u16string SnapshotFolderOrDefault(std::u16string_view stored,
                                       std::u16string_view picturesFolder);

// What a snapshot reads from "Config".
struct SnapshotConfig {
    std::string folder;  // UTF-8 path, never empty
    std::string prefix;  // UTF-8, "/" already replaced
    int nextIndex = 1;
    bool writeSettingsFile = true;  // "AutoSaveOru"
};

// "AutoSaveDir" (through SnapshotFolderOrDefault; not stored), "AutoSavePrefix" (default
// "Q-"), "NextIndex" (default 1) and "AutoSaveOru" (default 1).
SnapshotConfig ReadSnapshotConfig(ConfigStore& store, std::u16string_view picturesFolder);

// Remembers that `usedIndex` is taken: "NextIndex" = usedIndex + 1. False when the store
// refused, or when no larger number exists.
bool StoreNextSnapshotIndex(ConfigStore& store, int usedIndex);

}  // namespace quovis
