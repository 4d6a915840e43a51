// Settings files: reading and decoding text, the writers, the snapshot file and the import.
//
// Index
//   Reading text     file bytes, UTF-16 / UTF-8 decoding, ReadLine, IsSettingsFile
//   Writing          one-line values, BuildSettingsText, WriteFileReplacing, SaveSettingsFile
//   Snapshot file
//   Import           the line table, the drawing look-up, the walk
#include "settings/settings_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <filesystem>
#include <unordered_map>

#include "base/version.h"
#include "engine/vocabulary.h"
#include "settings/base64.h"
#include "settings/text_encoding.h"

namespace quovis {

namespace {

constexpr char16_t kByteOrderMark = u'\uFEFF';
constexpr char16_t kReplacement = u'\uFFFD';

bool StartsWith(std::u16string_view text, std::u16string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

void AppendAscii(std::u16string& out, std::string_view text) {
    for (char c : text) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
}

void AppendInt(std::u16string& out, int64_t value) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    AppendAscii(out, std::string_view(buffer, result.ptr - buffer));
}

// "%g" as the C library writes it in the "C" locale, whatever the process's locale.
void AppendShortReal(std::u16string& out, double value) {
    char buffer[40];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
    AppendAscii(out, std::string_view(buffer, result.ptr - buffer));
}

}  // namespace

// ============================================================================================
// Reading text
// ============================================================================================

namespace {

// Up to `limit` bytes of a regular file; nullopt when it cannot be read or reaches the limit.
// Reading stops at the limit, so a huge or growing file costs no more than that.
std::optional<std::string> ReadFileBytes(const std::string& path, size_t limit, bool* tooLarge) {
    // O_NONBLOCK keeps a named pipe from blocking the open; regular files ignore it.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    struct stat info {};
    std::string bytes;
    bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    while (ok && bytes.size() < limit) {
        char buffer[16384];
        const size_t want = std::min(sizeof buffer, limit - bytes.size());
        const ssize_t got = read(fd, buffer, want);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) ok = false;
        if (got <= 0) break;
        bytes.append(buffer, static_cast<size_t>(got));
    }
    close(fd);
    if (!ok) return std::nullopt;
    if (bytes.size() >= limit) {
        if (tooLarge != nullptr) *tooLarge = true;
        return std::nullopt;
    }
    return bytes;
}

std::u16string DecodeUtf16Le(std::string_view bytes) {
    std::u16string text;
    text.reserve(bytes.size() / 2);
    // An odd last byte is half a character: dropped.
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto low = static_cast<unsigned char>(bytes[i]);
        const auto high = static_cast<unsigned char>(bytes[i + 1]);
        text.push_back(static_cast<char16_t>(low | (high << 8)));
    }
    return text;
}

// Length of the valid UTF-8 sequence at the start of `bytes` and its code point; 0 when the
// first byte does not start one (bad lead, cut short, overlong, surrogate, past U+10FFFF).
size_t Utf8Sequence(std::string_view bytes, char32_t& code) {
    const auto lead = static_cast<unsigned char>(bytes[0]);
    size_t length = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        code = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, code = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, code = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, code = lead & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (bytes.size() < length) return 0;
    for (size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(bytes[k]);
        if ((next & 0xC0) != 0x80) return 0;
        code = (code << 6) | (next & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}

// Every byte that does not start a valid sequence becomes one U+FFFD and decoding goes on
// with the next byte: a damaged file keeps all of its valid text, and the line structure
// (CR, LF, "[") is never swallowed by a bad lead byte.
std::u16string DecodeUtf8Lenient(std::string_view bytes) {
    std::u16string text;
    text.reserve(bytes.size());
    size_t i = 0;
    while (i < bytes.size()) {
        char32_t code = 0;
        const size_t length = Utf8Sequence(bytes.substr(i), code);
        if (length == 0) {
            text.push_back(kReplacement);
            ++i;
            continue;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            text.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            text.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            text.push_back(static_cast<char16_t>(code));
        }
        i += length;
    }
    return text;
}

}  // namespace

std::optional<std::u16string> ReadTextFile(const std::string& path, size_t limit, bool* tooLarge) {
    if (tooLarge != nullptr) *tooLarge = false;
    const std::optional<std::string> bytes = ReadFileBytes(path, limit, tooLarge);
    if (!bytes) return std::nullopt;
    return DecodeTextFileBytes(*bytes);
}

std::u16string DecodeTextFileBytes(std::string_view bytes) {
    std::u16string text;
    if (bytes.starts_with("\xFF\xFE")) {
        text = DecodeUtf16Le(bytes.substr(2));
    } else if (bytes.starts_with("\xEF\xBB\xBF")) {
        text = DecodeUtf8Lenient(bytes.substr(3));
    } else {
        text = DecodeUtf8Lenient(bytes);
    }
    std::erase(text, u'\0');
    return text;
}

std::u16string_view ReadLine(std::u16string_view cursor, std::u16string_view& line) {
    const size_t end = std::min(cursor.find_first_of(u"\r\n"), cursor.size());
    line = cursor.substr(0, end);
    size_t next = end;
    while (next < cursor.size() && (cursor[next] == u'\r' || cursor[next] == u'\n')) ++next;
    return cursor.substr(next);
}

bool IsSettingsFile(const std::string& path) {
    const std::optional<std::u16string> text = ReadTextFile(path);
    if (!text) return false;
    return text->find(kSettingsHeader) != std::u16string::npos ||
           text->find(kLegacySettingsHeader) != std::u16string::npos;
}

// ============================================================================================
// Writing
// ============================================================================================

namespace {

// `value` with each CR and LF replaced: a settings file holds one value per line.
std::u16string OneLine(std::u16string_view value, char16_t replacement) {
    std::u16string line(value);
    std::replace_if(
        line.begin(), line.end(), [](char16_t c) { return c == u'\r' || c == u'\n'; }, replacement);
    return line;
}

// Stroke lists treat any character below U+0020 like a comma, so a comma in place of a line
// break keeps the list's meaning.
std::u16string StrokesLine(std::u16string_view strokes) {
    return OneLine(strokes, u',');
}
std::u16string TextLine(std::u16string_view text) {
    return OneLine(text, u' ');
}

void AppendLine(std::u16string& out, std::u16string_view line) {
    out.append(line);
    out.append(u"\r\n");
}

void AppendSection(std::u16string& out, std::u16string_view header, std::u16string_view value) {
    AppendLine(out, header);
    AppendLine(out, TextLine(value));
}

void AppendIntSection(std::u16string& out, std::u16string_view header, int64_t value) {
    AppendLine(out, header);
    AppendInt(out, value);
    out.append(u"\r\n");
}

bool HasDrawing(const PatternSlot& slot) {
    return slot.record.Style == kStyleDraw && slot.drawing && !slot.drawing->empty();
}

void AppendLibrarySections(std::u16string& out, const PatternSlot& slot, int sequence,
                           std::span<const uint8_t> jpeg, int32_t libraryId) {
    const PresetRecord& r = slot.record;
    // -1 marks a preset that is not a library item; only a real id names one.
    if (libraryId > 0) AppendIntSection(out, u"[ID]", libraryId);
    AppendSection(out, u"[Title]", r.Name);
    if (!r.Author.empty()) AppendSection(out, u"[Nickname]", r.Author);
    if (!r.Location.empty()) AppendSection(out, u"[Location]", r.Location);
    AppendSection(out, u"[Keywords]", slot.keywords);
    AppendIntSection(out, u"[SettingsVer]", 1);
    AppendIntSection(out, u"[Seq]", sequence);
    if (slot.description) AppendSection(out, u"[Description]", *slot.description);
    if (slot.pictureWidth != 0) AppendIntSection(out, u"[XSize]", slot.pictureWidth);
    if (slot.pictureHeight != 0) AppendIntSection(out, u"[YSize]", slot.pictureHeight);
    if (slot.audio != -1) AppendIntSection(out, u"[Audio]", slot.audio);
    if (!jpeg.empty()) {
        AppendIntSection(out, u"[JPG]", static_cast<int64_t>(jpeg.size()));
        AppendAscii(out, Base64Encode(jpeg));
        out.append(u"\r\n");
    }
}

}  // namespace

std::u16string EscapePresetName(std::u16string_view name) {
    std::u16string escaped;
    escaped.reserve(name.size());
    for (char16_t c : name) {
        if (c == u',') {
            escaped.push_back(kPresetCommaEscape);
        } else if (c == kPresetCommaEscape) {
            escaped.append(u">>");
        } else {
            escaped.push_back(c);
        }
    }
    return escaped;
}

std::u16string BuildSettingsText(const PatternSlot& slot, bool libraryForm, int sequence,
                                 std::span<const uint8_t> jpeg, int32_t libraryId) {
    std::u16string preset;
    if (!WritePresetString(slot.record, true, preset)) return {};

    std::u16string out;
    out.reserve(preset.size() + (slot.drawing ? slot.drawing->size() : 0) + slot.keywords.size() +
                (slot.description ? slot.description->size() : 0) + (jpeg.size() + 2) / 3 * 4 +
                1536);
    if (!libraryForm) out.push_back(kByteOrderMark);
    AppendSection(out, kSettingsHeader, preset);
    if (HasDrawing(slot)) {
        AppendLine(out, kDrawHeader);
        if (!libraryForm) {
            out.append(EscapePresetName(slot.record.Name));
            out.push_back(u',');
        }
        AppendLine(out, StrokesLine(*slot.drawing));
    }
    AppendSection(out, kVersionHeader, kVersionText);
    if (libraryForm) AppendLibrarySections(out, slot, sequence, jpeg, libraryId);
    return out;
}

std::vector<uint8_t> Utf16LeBytes(std::u16string_view text) {
    std::vector<uint8_t> bytes;
    bytes.reserve(text.size() * 2);
    for (char16_t c : text) {
        bytes.push_back(static_cast<uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
    return bytes;
}

namespace {

bool WriteAll(int fd, std::span<const uint8_t> bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return false;
        done += static_cast<size_t>(wrote);
    }
    return true;
}

// A name beside `path` that no other writer (thread or process) uses at the same time.
std::string TemporaryPathFor(const std::string& path, int attempt) {
    static std::atomic<unsigned> counter{0};
    return path + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + "-" +
           std::to_string(attempt);
}

}  // namespace

bool WriteFileReplacing(const std::string& path, std::span<const uint8_t> bytes) {
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = TemporaryPathFor(path, attempt);
        fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;
    // fsync before the rename: otherwise a crash soon after could leave the new name
    // pointing at an empty file on some file systems.
    bool ok = WriteAll(fd, bytes) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    ok = ok && rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) unlink(temporary.c_str());
    return ok;
}

std::u16string BuildSettingsFileText(std::span<const PatternSlot> slots) {
    if (slots.size() == 1) return BuildSettingsText(slots.front(), false, 0, {}, 0);
    // Several presets: one settings section holding every preset line, then a drawing line
    // for each drawing preset, then the version.
    std::u16string out(1, kByteOrderMark);
    AppendLine(out, kSettingsHeader);
    for (const PatternSlot& slot : slots) {
        std::u16string preset;
        if (!WritePresetString(slot.record, true, preset)) return {};
        AppendLine(out, TextLine(preset));
    }
    for (const PatternSlot& slot : slots) {
        if (!HasDrawing(slot)) continue;
        AppendLine(out, kDrawHeader);
        out.append(EscapePresetName(slot.record.Name));
        out.push_back(u',');
        AppendLine(out, StrokesLine(*slot.drawing));
    }
    AppendSection(out, kVersionHeader, kVersionText);
    return out;
}

bool SaveSettingsFile(std::span<const PatternSlot> slots, const std::string& path) {
    const std::u16string text = slots.empty() ? std::u16string() : BuildSettingsFileText(slots);
    if (text.empty()) return false;
    return WriteFileReplacing(path, Utf16LeBytes(text));
}

bool SaveSettingsFile(const PatternSlot& slot, const std::string& path) {
    return SaveSettingsFile(std::span<const PatternSlot>(&slot, 1), path);
}

// ============================================================================================
// Snapshot file
// ============================================================================================

namespace {

// The picture's file name without folder and extension, e.g. "Q-0012".
std::u16string PictureBaseName(const std::string& jpegPath) {
    const std::string stem = std::filesystem::path(jpegPath).stem().string();
    return DecodeUtf8Lenient(stem);
}

int64_t RoundHalfUp(double value) {
    if (!std::isfinite(value)) return 0;
    const double rounded = std::floor(value + 0.5);
    return static_cast<int64_t>(std::clamp(rounded, double{INT32_MIN}, double{INT32_MAX}));
}

bool IsDrawingPreset(std::u16string_view presetText) {
    NextPresetToken(presetText);  // name
    NextPresetToken(presetText);  // Motion
    return PresetTokenToInt(NextPresetToken(presetText)) == kStyleDraw;
}

}  // namespace

std::u16string BuildSnapshotSettingsText(const SnapshotSettings& snapshot) {
    std::u16string out;
    out.push_back(kByteOrderMark);
    AppendLine(out, kSettingsHeader);

    const std::u16string_view pattern = snapshot.lastPattern;
    const size_t comma = pattern.find(u',');
    std::u16string name;
    if (comma != std::u16string_view::npos) {
        const std::u16string_view presetName = pattern.substr(0, comma);
        // The picture's name becomes the preset's, so that the file names what it shows;
        // escaped, since a comma in a file name would split the preset line.
        name = EscapePresetName(PictureBaseName(snapshot.jpegPath));
        if (!StartsWith(presetName, u"*")) {
            name.append(u" (");
            name.append(presetName);
            name.push_back(u')');
        }
        out.append(name);
        out.append(TextLine(pattern.substr(comma)));
    }
    out.append(u"\r\n");

    AppendLine(out, u"[Stats]");
    out.append(u"Brights=");
    for (double bright : snapshot.brights) {
        AppendInt(out, RoundHalfUp(bright));
        out.push_back(u',');
    }
    out.append(u"\r\nAvgBright=");
    AppendShortReal(out, snapshot.avgBright);
    out.append(u"\r\nAvgInterest=");
    AppendShortReal(out, snapshot.avgInterest);
    out.append(u"\r\n");

    if (comma != std::u16string_view::npos && IsDrawingPreset(pattern)) {
        AppendLine(out, kDrawHeader);
        out.append(name);
        out.push_back(u',');
        AppendLine(out, StrokesLine(snapshot.strokes));
    }
    return out;
}

bool WriteSnapshotSettingsFile(const std::string& path, const SnapshotSettings& snapshot) {
    return WriteFileReplacing(path, Utf16LeBytes(BuildSnapshotSettingsText(snapshot)));
}

// ============================================================================================
// Import
// ============================================================================================

namespace {

enum class Section : uint8_t { None, Settings, Draw };

struct TextLineInfo {
    std::u16string_view text;
    Section section = Section::None;  // the section the line is in (its own, for a header)
    bool header = false;
    bool legacyHeader = false;
};

std::vector<TextLineInfo> SplitLines(std::u16string_view text) {
    std::vector<TextLineInfo> lines;
    Section section = Section::None;
    while (!text.empty()) {
        TextLineInfo line;
        text = ReadLine(text, line.text);
        if (StartsWith(line.text, u"[")) {
            line.header = true;
            line.legacyHeader = StartsWith(line.text, kLegacySettingsHeader);
            if (StartsWith(line.text, kSettingsHeader) || line.legacyHeader) {
                section = Section::Settings;
            } else if (StartsWith(line.text, kDrawHeader)) {
                section = Section::Draw;
            } else {
                section = Section::None;
            }
        }
        line.section = section;
        lines.push_back(line);
    }
    return lines;
}

// Where each preset finds its strokes. Looking ahead through the rest of the file for every
// preset would cost presets x lines; instead every "[Draw]" line is indexed once by the
// escaped name before its first comma, and a preset takes the first one after its own line.
class DrawingIndex {
  public:
    explicit DrawingIndex(const std::vector<TextLineInfo>& lines) {
        for (size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].header || lines[i].section != Section::Draw) continue;
            if (i > 0 && lines[i - 1].header) m_sectionStarts.push_back(i);  // a header precedes
            const size_t comma = lines[i].text.find(u',');
            if (comma != std::u16string_view::npos) {
                m_named[lines[i].text.substr(0, comma)].push_back(i);
            }
        }
    }

    // The line after `presetLine` that holds the strokes of `escapedName`: "name,strokes".
    std::optional<size_t> Named(std::u16string_view escapedName, size_t presetLine) const {
        const auto found = m_named.find(escapedName);
        if (found == m_named.end()) return std::nullopt;
        return FirstAfter(found->second, presetLine);
    }
    // Files of the earlier product carry the bare list as the first line of a "[Draw]" section.
    std::optional<size_t> Bare(size_t presetLine) const {
        return FirstAfter(m_sectionStarts, presetLine);
    }

  private:
    static std::optional<size_t> FirstAfter(const std::vector<size_t>& lines, size_t after) {
        const auto next = std::upper_bound(lines.begin(), lines.end(), after);
        if (next == lines.end()) return std::nullopt;
        return *next;
    }

    std::unordered_map<std::u16string_view, std::vector<size_t>> m_named;
    std::vector<size_t> m_sectionStarts;
};

std::u16string_view AfterFirstComma(std::u16string_view line) {
    const size_t comma = line.find(u',');
    return comma == std::u16string_view::npos ? std::u16string_view{} : line.substr(comma + 1);
}

// Presets of every version carry the name and fields 1..25; a shorter line is damaged.
bool HasMandatoryFields(std::u16string_view line) {
    int tokens = 0;
    while (!line.empty() && tokens <= kPresetMandatoryFields) {
        NextPresetToken(line);
        ++tokens;
    }
    return tokens > kPresetMandatoryFields;
}

void NoteSkipped(ImportReport& report, std::u16string_view line) {
    ++report.skippedLines;
    if (report.skipped.size() >= kSkippedLinesKept) return;
    std::u16string shown(line.substr(0, kSkippedLineChars));
    // Never leave the first half of a surrogate pair at the cut.
    if (line.size() > kSkippedLineChars && !shown.empty() && shown.back() >= 0xD800 &&
        shown.back() <= 0xDBFF) {
        shown.pop_back();
    }
    report.skipped.push_back(std::move(shown));
}

void Count(ImportReport& report, ImportOutcome outcome) {
    switch (outcome) {
        case ImportOutcome::Added:
            ++report.added;
            break;
        case ImportOutcome::Replaced:
            ++report.replaced;
            break;
        case ImportOutcome::Kept:
            ++report.kept;
            break;
        case ImportOutcome::Cancelled:
            report.cancelled = true;
            break;
    }
}

}  // namespace

ImportReport ImportSettingsText(std::u16string_view text, bool single, SettingsImportHost& host) {
    ImportReport report;
    if (StartsWith(text, std::u16string_view(&kByteOrderMark, 1))) text.remove_prefix(1);
    const std::vector<TextLineInfo> lines = SplitLines(text);
    const DrawingIndex drawings(lines);

    bool legacy = false;
    bool sawSettings = false;
    bool hadPreset = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        const TextLineInfo& line = lines[i];
        if (line.header) {
            legacy = legacy || line.legacyHeader;
            sawSettings = sawSettings || line.section == Section::Settings;
            continue;
        }
        if (line.section == Section::Settings) {
            PresetRecord record;
            if (!HasMandatoryFields(line.text) || !ReadPresetString(line.text, record)) {
                NoteSkipped(report, line.text);
                continue;
            }
            hadPreset = true;
            record.Origin = 2;
            host.ShowPreset(record);
            const std::optional<size_t> drawLine =
                legacy ? drawings.Bare(i) : drawings.Named(EscapePresetName(record.Name), i);
            std::u16string_view strokes;
            if (drawLine) {
                strokes = legacy ? lines[*drawLine].text : AfterFirstComma(lines[*drawLine].text);
                host.LoadStrokes(strokes);
            }
            Count(report, host.AddImported(record, strokes, !single));
            if (report.cancelled) return report;
        } else if (line.section == Section::Draw && !hadPreset) {
            // A file that is only a drawing (as drawing files are) loads it into the engine.
            if (!legacy && line.text.find(u',') == std::u16string_view::npos) continue;
            host.LoadStrokes(legacy ? line.text : AfterFirstComma(line.text));
            report.loadedStrokes = true;
            break;
        }
        // Draw lines after a preset were taken by the look-up; other sections are not ours.
    }
    report.noSettings = !sawSettings;
    return report;
}

ImportReport ImportSettingsFile(const std::string& path, bool single, SettingsImportHost& host) {
    bool tooLarge = false;
    const std::optional<std::u16string> text = ReadTextFile(path, kSettingsFileLimit, &tooLarge);
    if (!text) {
        ImportReport report;
        report.unreadable = true;
        report.tooLarge = tooLarge;
        return report;
    }
    return ImportSettingsText(*text, single, host);
}

}  // namespace quovis
