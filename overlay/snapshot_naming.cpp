#include "overlay/snapshot_naming.h"

#include <sys/stat.h>

#include <climits>
#include <cstdio>

#include "settings/config_values.h"
#include "settings/text_encoding.h"

namespace quovis {

// ============================================================================================
// Texts
// ============================================================================================

void ShowSnapshotConfirmation(TextWindow& text, std::u16string_view path, bool saved) {
    text.ShowInfo(u"", saved ? kSnapshotSavedLine : kSnapshotFailedLine, path, kSnapshotTextFade);
}

// ============================================================================================
// File names
// ============================================================================================

namespace {

std::string_view WithoutTrailingSlashes(std::string_view folder) {
    while (folder.size() > 1 && folder.back() == '/') folder.remove_suffix(1);
    return folder;
}

// A prefix names the start of one file: no folder separators, and no NUL, which would end
// the path early in every system call.
std::string SafePrefix(std::string_view prefix) {
    std::string safe(prefix);
    for (char& c : safe) {
        if (c == '/' || c == '\0') c = '_';
    }
    return safe;
}

}  // namespace

std::string SnapshotFileName(std::string_view folder, std::string_view prefix, int index,
                             std::string_view extension) {
    char number[16];
    std::snprintf(number, sizeof number, "%04d", index);
    folder = WithoutTrailingSlashes(folder);
    std::string path(folder);
    if (path != "/") path.push_back('/');
    path.append(SafePrefix(prefix));
    path.append(number);
    path.push_back('.');
    path.append(extension);
    return path;
}

std::u16string SnapshotBaseName(std::string_view jpegPath) {
    const size_t slash = jpegPath.rfind('/');
    std::string_view name = slash == std::string_view::npos ? jpegPath : jpegPath.substr(slash + 1);
    const size_t dot = name.rfind('.');
    // A leading dot starts a hidden file's name; it is no extension.
    if (dot != std::string_view::npos && dot > 0) name = name.substr(0, dot);
    return Utf8ToUtf16(name).value_or(std::u16string(name.begin(), name.end()));
}

std::u16string SnapshotPresetName(std::u16string_view baseName, std::u16string_view presetName) {
    std::u16string name(baseName);
    if (!presetName.empty() && presetName.front() == u'*') return name;
    name.append(u" (");
    name.append(presetName);
    name.push_back(u')');
    return name;
}

// ============================================================================================
// Numbering
// ============================================================================================

bool PathOrLinkExists(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

std::optional<int> FirstFreeSnapshotIndex(std::string_view folder, std::string_view prefix,
                                          int start, const PathExistsFn& exists) {
    for (int n = start < 1 ? 1 : start;; ++n) {
        if (!exists(SnapshotFileName(folder, prefix, n, "jpg")) &&
            !exists(SnapshotFileName(folder, prefix, n, "oru"))) {
            return n;
        }
        if (n == INT_MAX) return std::nullopt;
    }
}

// ============================================================================================
// Configuration
// ============================================================================================

std::u16string SnapshotFolderOrDefault(std::u16string_view stored,
                                       std::u16string_view picturesFolder) {
    if (!stored.empty()) return std::u16string(stored);
    if (picturesFolder.empty()) return u".";
    return AutoSaveDirDefault(picturesFolder);
}

SnapshotConfig ReadSnapshotConfig(ConfigStore& store, std::u16string_view picturesFolder) {
    SnapshotConfig config;
    config.folder =
        Utf16ToUtf8(SnapshotFolderOrDefault(kConfigAutoSaveDir.Read(store), picturesFolder));
    config.prefix = SafePrefix(Utf16ToUtf8(kConfigAutoSavePrefix.Read(store)));
    config.nextIndex = kConfigNextIndex.Read(store);
    config.writeSettingsFile = kConfigAutoSaveOru.Read(store) != 0;
    return config;
}

bool StoreNextSnapshotIndex(ConfigStore& store, int usedIndex) {
    if (usedIndex >= INT_MAX) return false;
    return kConfigNextIndex.Write(store, usedIndex + 1);
}

}  // namespace quovis
