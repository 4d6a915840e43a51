// Settings files (".oru"): presets carried outside the configuration store -- exported and
// shared between users, written beside every snapshot, and sent to the preset library.
//
// Index
//   Reading text     ReadTextFile, ReadLine, IsSettingsFile
//   Writing          BuildSettingsText, SaveSettingsFile, WriteFileReplacing
//   Snapshot file    SnapshotSettings, BuildSnapshotSettingsText, WriteSnapshotSettingsFile
//   Import           SettingsImportHost, ImportReport, ImportSettingsText, ImportSettingsFile
//
// Format: UTF-16 LE text starting with the byte order mark, CR LF line ends. A section starts
// with a line in square brackets and holds the lines up to the next line starting with "[":
//   [Quovis Settings]   one preset string with texts per line
//   [Draw]              "escaped preset name,stroke list" per drawing-style preset
//   [Version]           the program's version text
// Files of the maker's earlier product say "[Kellavar Settings]" instead, and their "[Draw]"
// line is the bare stroke list.
//
// Files come from other people, so the reader trusts nothing: size is limited, any bytes
// decode to some text, and the import takes each valid preset and reports what it skipped.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "settings/pattern_slot.h"
#include "settings/preset_record.h"

namespace quovis {

// ============================================================================================
// Reading text
// ============================================================================================

// Files of this many bytes or more are not read as settings files.
inline constexpr size_t kSettingsFileLimit = 65536;

inline constexpr std::u16string_view kSettingsHeader = u"[Quovis Settings]";
inline constexpr std::u16string_view kLegacySettingsHeader = u"[Kellavar Settings]";
inline constexpr std::u16string_view kDrawHeader = u"[Draw]";
inline constexpr std::u16string_view kVersionHeader = u"[Version]";

// The text of the file at `path`, or nullopt when it cannot be read, is not a regular file or
// holds `limit` bytes or more (`tooLarge` then tells the last case). A file starting with the
// bytes FF FE is UTF-16 LE; any other is UTF-8, with a UTF-8 byte order mark dropped. Bytes
// that are not valid UTF-8 each become U+FFFD, so the valid rest of a damaged file is still
// read. NUL characters are dropped: a C-string reader would stop at the first one and lose
// what follows, and a UTF-16 file saved without its byte order mark then still reads as text.
std::optional<std::u16string> ReadTextFile(const std::string& path,
                                           size_t limit = kSettingsFileLimit,
                                           bool* tooLarge = nullptr);

// The text of a file's bytes, decoded as ReadTextFile does.
std::u16string DecodeTextFileBytes(std::string_view bytes);

// Splits off the line at the start of `cursor`: `line` gets the characters up to the first CR
// or LF, and the returned cursor points past every CR and LF that follow, so that empty lines
// never appear. An empty cursor gives an empty line and an empty cursor.
std::u16string_view ReadLine(std::u16string_view cursor, std::u16string_view& line);

// True when the file reads (within the size limit) and its text contains "[Quovis Settings]"
// or "[Kellavar Settings]" anywhere.
bool IsSettingsFile(const std::string& path);

// ============================================================================================
// Writing
// ============================================================================================

// A preset name or text as a preset string field: comma as U+00BB, U+00BB as ">>".
std::u16string EscapePresetName(std::u16string_view name);

// The settings text of the slot's preset, or an empty text when its record is not valid.
// File form: byte order mark (U+FEFF), "[Quovis Settings]", the preset string with texts,
// "[Draw]" with the escaped name, a comma and the strokes (drawing-style preset with a
// drawing), "[Version]" and the version text. Library form: no byte order mark, the bare
// stroke list under "[Draw]", and after the version the library sections ("[ID]" only for a
// positive id, "[JPG]" only with picture bytes). Every line ends with CR LF; a line break
// inside a value becomes a space, since readers take one line per value and a line starting
// with "[" would begin a section of its own.
std::u16string BuildSettingsText(const PatternSlot& slot, bool libraryForm, int sequence,
                                 std::span<const uint8_t> jpeg, int32_t libraryId);

// Replaces the file at `path` with `bytes`: written to a temporary file in the same folder and
// renamed over the old one, so a crash leaves either the old file or the whole new one. The
// file gets the usual permissions (0666 less the umask). False when anything fails; the
// temporary file is then removed.
bool WriteFileReplacing(const std::string& path, std::span<const uint8_t> bytes);

// The text as UTF-16 LE bytes (a leading U+FEFF becomes the bytes FF FE).
std::vector<uint8_t> Utf16LeBytes(std::u16string_view text);

// Writes the file form of the slot's preset. False when the record is not valid or the file
// cannot be written.
// The file form of several presets in one file: every preset line in one settings section,
// then their drawings. One preset gives exactly BuildSettingsText's file form.
std::u16string BuildSettingsFileText(std::span<const PatternSlot> slots);
bool SaveSettingsFile(std::span<const PatternSlot> slots, const std::string& path);
bool SaveSettingsFile(const PatternSlot& slot, const std::string& path);

// ============================================================================================
// Snapshot file
// ============================================================================================

// What the settings file beside a snapshot records. The caller fills it from the store and
// the engine, so writing it needs neither.
struct SnapshotSettings {
    std::u16string lastPattern;        // "Config" "LastPattern": the preset shown
    std::string jpegPath;              // the snapshot picture; its base name names the preset
    std::array<double, 10> brights{};  // the engine's image brightness statistics
    double avgBright = 0.0;            // the engine's average brightness
    double avgInterest = 0.0;          // ... and average interest
    std::u16string strokes;            // the engine's stroke list (drawing-style presets)
};

// The preset line is "LastPattern" renamed to "<picture> (<preset>)", or to "<picture>" when
// the preset name starts with "*", followed by "[Stats]" and, for a drawing-style preset, its
// strokes under "[Draw]". No "[Version]".
std::u16string BuildSnapshotSettingsText(const SnapshotSettings& snapshot);
bool WriteSnapshotSettingsFile(const std::string& path, const SnapshotSettings& snapshot);

// ============================================================================================
// Import
// ============================================================================================

enum class ImportOutcome { Added, Replaced, Kept, Cancelled };

// What an import does with what it finds: the configuration window shows each preset and
// loads its strokes into the preview, the favorites take it.
class SettingsImportHost {
  public:
    virtual ~SettingsImportHost() = default;
    // The configuration window's controls.
    virtual void ShowPreset(const PresetRecord&) {}
    // Into the engine.
    virtual void LoadStrokes(std::u16string_view /*strokes*/) {}
    // Add the preset (Origin already set to 2) as a favorite with its drawing (empty: none).
    // keepExisting: a multi-file import keeps existing favorites of the same name.
    virtual ImportOutcome AddImported(PresetRecord& record, std::u16string_view drawing,
                                      bool keepExisting) = 0;
};

struct ImportReport {
    int added = 0;
    int replaced = 0;
    int kept = 0;
    int skippedLines = 0;  // lines under a settings header that are not presets
    bool cancelled = false;
    bool unreadable = false;     // missing, not a regular file, or too large
    bool tooLarge = false;       // ... the last of these
    bool noSettings = false;     // read, but no "[Quovis Settings]" or "[Kellavar Settings]"
    bool loadedStrokes = false;  // a drawing without a preset went to the engine
    // The first few skipped lines, cut to kSkippedLineChars, for messages.
    std::vector<std::u16string> skipped;
};

inline constexpr size_t kSkippedLinesKept = 5;
inline constexpr size_t kSkippedLineChars = 60;

// A preset line must hold at least the name and the fields every version of the format has
// written (1..25); a shorter line is a damaged one, not an old one.
inline constexpr int kPresetMandatoryFields = 25;

// Walks the settings text: every preset under a settings header is shown, gets the strokes of
// its "[Draw]" line, and goes to AddImported with Origin 2; a Cancel ends the walk. `single`
// false (one of several files) asks the favorites to keep existing presets of the same name.
// A "[Draw]" line in a file without presets loads its strokes into the engine and ends the
// walk. Time and memory are linear in the text.
ImportReport ImportSettingsText(std::u16string_view text, bool single, SettingsImportHost& host);
// The same for a file read with the settings file size limit.
ImportReport ImportSettingsFile(const std::string& path, bool single, SettingsImportHost& host);

}  // namespace quovis
