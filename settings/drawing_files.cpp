// Drawing files: folder, stored file names, reading and writing.
#include "settings/drawing_files.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "settings/config_store.h"
#include "settings/config_values.h"
#include "settings/settings_file.h"
#include "settings/text_encoding.h"

namespace quovis {

namespace {

// Attempts at a free "Draw-XXXX.oru" before giving up; far more than the 65535 names, so
// only a folder that is (nearly) full of drawings, or one we cannot write to, fails.
constexpr int kFileNameAttempts = 200000;

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') return home;
    const passwd* entry = getpwuid(getuid());
    return entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : "";
}

std::string DataHome() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && xdg[0] == '/') return xdg;
    const std::string home = HomeFolder();
    return home.empty() ? "" : home + "/.local/share";
}

// The name an older profile kept the drawing under.
std::u16string OldDrawingName(const std::u16string& escapedName) {
    std::u16string name = escapedName.substr(0, kOldDrawingNameMaxChars);
    if (escapedName.size() > kOldDrawingNameMaxChars && !name.empty() && name.back() >= 0xD800 &&
        name.back() <= 0xDBFF) {
        name.pop_back();
    }
    return name;
}

std::optional<std::u16string> StoredFileName(ConfigStore& store,
                                             const std::u16string& escapedName) {
    std::optional<std::u16string> name =
        store.ReadText(kDrawingFilesSection, escapedName, kDrawingFileNameMaxChars);
    if (!name || !IsSafeDrawingFileName(*name)) return std::nullopt;
    return name;
}

std::string FilePath(const std::string& folder, const std::u16string& fileName) {
    return folder + "/" + Utf16ToUtf8(fileName);
}

// The strokes of the first line after a "[Draw]" line, when that line is not a header.
std::optional<std::u16string> DrawingInText(std::u16string_view text) {
    std::u16string_view line;
    bool afterDraw = false;
    while (!text.empty()) {
        text = ReadLine(text, line);
        if (afterDraw) {
            const size_t comma = line.find(u',');
            if (line.starts_with(u"[") || comma == std::u16string_view::npos) return std::nullopt;
            return std::u16string(line.substr(comma + 1));
        }
        afterDraw = line.starts_with(kDrawHeader);
    }
    return std::nullopt;
}

std::u16string DrawingFileText(const std::u16string& escapedName, std::u16string strokes) {
    // A stroke list reads any character below U+0020 as a comma, and the file holds it on
    // one line.
    std::replace_if(
        strokes.begin(), strokes.end(), [](char16_t c) { return c == u'\r' || c == u'\n'; }, u',');
    std::u16string text = u"\uFEFF";
    text.append(kSettingsHeader).append(u"\r\n");
    text.append(kDrawHeader).append(u"\r\n");
    text.append(escapedName).append(u",").append(strokes).append(u"\r\n");
    return text;
}

// Picks a free "Draw-%04lX.oru" and creates it empty, so that no other writer takes the same
// name before the drawing is renamed over it.
std::optional<std::u16string> ReserveNewFileName(const std::string& folder) {
    for (int attempt = 0; attempt < kFileNameAttempts; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, "Draw-%04lX.oru",
                      static_cast<unsigned long>(std::rand() % 65535));
        const std::string path = folder + "/" + name;
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            close(fd);
            return std::u16string(name, name + std::char_traits<char>::length(name));
        }
        if (errno != EEXIST) return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace

std::string DrawingFolder() {
    const std::string dataHome = DataHome();
    if (dataHome.empty()) return "";
    const std::string folder = dataHome + "/Ferrowick Software/Quovis";
    std::error_code ignored;  // a folder that cannot be made shows up as failing reads/writes
    std::filesystem::create_directories(folder, ignored);
    return folder;
}

bool IsSafeDrawingFileName(std::u16string_view fileName) {
    return !fileName.empty() && fileName != u"." &&
           fileName.find(u'/') == std::u16string_view::npos &&
           fileName.find(u"..") == std::u16string_view::npos &&
           fileName.find(u'\0') == std::u16string_view::npos;
}

std::optional<std::u16string> ReadDrawing(ConfigStore& store, std::u16string_view presetName) {
    if (presetName == u"*") {
        std::optional<std::u16string> current = kConfigDrawing.ReadStored(store);
        if (current && !current->empty()) return current;
        return std::nullopt;
    }
    const std::u16string escaped = EscapePresetName(presetName);
    std::optional<std::u16string> old =
        store.ReadText(kOldDrawingsSection, OldDrawingName(escaped));
    if (old && !old->empty()) return old;

    const std::optional<std::u16string> fileName = StoredFileName(store, escaped);
    if (!fileName) return std::nullopt;
    const std::string folder = DrawingFolder();
    if (folder.empty()) return std::nullopt;
    const std::optional<std::u16string> text =
        ReadTextFile(FilePath(folder, *fileName), kDrawingFileLimit);
    if (!text) return std::nullopt;
    return DrawingInText(*text);
}

bool WriteDrawing(ConfigStore& store, std::u16string_view presetName,
                  const std::u16string* strokes) {
    if (presetName == u"*") {
        if (strokes == nullptr) {
            kConfigDrawing.Delete(store);
            return true;
        }
        return kConfigDrawing.Write(store, *strokes);
    }
    const std::u16string escaped = EscapePresetName(presetName);
    const std::string folder = DrawingFolder();
    const std::optional<std::u16string> stored = StoredFileName(store, escaped);

    if (strokes == nullptr) {
        if (stored && !folder.empty()) unlink(FilePath(folder, *stored).c_str());
        store.DeleteValue(kDrawingFilesSection, escaped);
        store.DeleteValue(kOldDrawingsSection, OldDrawingName(escaped));
        return true;
    }
    if (folder.empty()) return false;
    const std::vector<uint8_t> bytes = Utf16LeBytes(DrawingFileText(escaped, *strokes));
    if (bytes.size() >= kDrawingFileLimit) return false;

    const std::optional<std::u16string> fileName = stored ? stored : ReserveNewFileName(folder);
    if (!fileName) return false;
    const std::string path = FilePath(folder, *fileName);
    bool ok = WriteFileReplacing(path, bytes);
    if (ok && !stored) ok = store.WriteText(kDrawingFilesSection, escaped, *fileName);
    if (!ok && !stored) unlink(path.c_str());  // the reserved name, or a file nobody finds
    if (ok) store.DeleteValue(kOldDrawingsSection, OldDrawingName(escaped));
    return ok;
}

}  // namespace quovis
