// Drawing files: the stroke list of each named drawing-style preset, kept in a small settings
// file of its own in the application's data folder, with the file name remembered in the
// configuration store ("DrawingFiles", under the escaped preset name).
//
// The current settings' drawing ("*") is the configuration value "Config" "Drawing" instead,
// and older profiles kept drawings in the store itself ("Drawings"); both are read first.
//
// File names come back from the store, which other programs and older versions also write, so
// a stored name is used only when it names a plain file inside the folder.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace quovis {

class ConfigStore;

// Drawing files of this many bytes or more are not read (and therefore not written).
inline constexpr size_t kDrawingFileLimit = 131072;
// Older profiles' drawings are stored under at most this many characters of escaped name.
inline constexpr size_t kOldDrawingNameMaxChars = 63;

// $XDG_DATA_HOME/Ferrowick Software/Quovis ($HOME/.local/share when XDG_DATA_HOME is unset
// or not absolute), created when missing. Empty when no home folder is known.
std::string DrawingFolder();

// True for a stored file name that stays inside the folder: not empty, no '/', no "..".
bool IsSafeDrawingFileName(std::u16string_view fileName);

// The stroke list stored for `presetName`; nullopt when none (or the stored file is missing,
// unreadable, has no drawing, or its stored name is unsafe).
std::optional<std::u16string> ReadDrawing(ConfigStore& store, std::u16string_view presetName);

// Stores `strokes` for `presetName`, or with nullptr deletes the drawing (file and name).
// A drawing kept in an older profile's "Drawings" section is removed as well, since it would
// otherwise be read in place of the new one. False when the file or its name could not be
// written (or the drawing is too large to be read back).
bool WriteDrawing(ConfigStore& store, std::u16string_view presetName,
                  const std::u16string* strokes);

}  // namespace quovis
