#include "settings/config_lifecycle.h"

#include <filesystem>
#include <system_error>

#include "settings/config_values.h"
#include "settings/text_encoding.h"

namespace quovis {

// ============================================================================================
// First run
// ============================================================================================

void ApplyFirstRunDefaults(ConfigStore& store, std::u16string_view picturesFolder) {
    if (!kConfigVersion.IsStored(store)) kConfigVersion.Write(store, 0);

    // Any stored folder counts, even one too long for the snapshot writer's buffer: replacing
    // it would throw away what the user chose.
    const std::optional<std::u16string> stored =
        store.ReadText(kConfigAutoSaveDir.section, kConfigAutoSaveDir.name);
    // Without a known pictures folder the default would land at the file-system root.
    if ((!stored || stored->empty()) && !picturesFolder.empty()) {
        const std::u16string folder = AutoSaveDirDefault(picturesFolder);
        std::error_code ignored;
        std::filesystem::create_directories(std::filesystem::path(Utf16ToUtf8(folder)), ignored);
        kConfigAutoSaveDir.Write(store, folder);
    }

    kConfigAutoSavePrefix.Write(store, kConfigAutoSavePrefix.Read(store));
}

// ============================================================================================
// The maker's program list
// ============================================================================================

int RegisterInProgramList(ConfigStore& store, std::u16string_view programPath,
                          std::u16string_view programName) {
    int ours = 0;
    int firstFree = 0;
    for (int slot = 1; slot <= kCommonProgramSlots && ours == 0; ++slot) {
        const std::optional<std::u16string> name = kCommonProgramName.ReadStored(store, slot);
        if (!name) {
            if (firstFree == 0) firstFree = slot;
        } else if (*name == programName) {
            ours = slot;
        }
    }
    if (ours == 0) {
        if (firstFree == 0 || !kCommonProgramName.Write(store, firstFree, programName)) return 0;
        ours = firstFree;
    }
    if (kCommonProgramPath.ReadStored(store, ours) != programPath) {
        kCommonProgramPath.Write(store, ours, programPath);
    }
    return ours;
}

std::optional<ProgramSlot> FindProgramForSettingsFile(ConfigStore& store, int startSlot,
                                                      std::u16string_view ownName) {
    // Written this way round so that a start slot near INT_MAX cannot overflow.
    const int first = startSlot < 1                      ? 1
                      : startSlot >= kCommonProgramSlots ? kCommonProgramSlots + 1
                                                         : startSlot + 1;
    for (int slot = first; slot <= kCommonProgramSlots; ++slot) {
        const std::optional<std::u16string> name = kCommonProgramName.ReadStored(store, slot);
        if (!name) return std::nullopt;
        if (*name == ownName) continue;
        std::optional<std::u16string> path = kCommonProgramPath.ReadStored(store, slot);
        if (path && !path->empty()) return ProgramSlot{slot, std::move(*path)};
    }
    return std::nullopt;
}

// ============================================================================================
// Settings-file mailbox
// ============================================================================================

bool PostSettingsFilePath(ConfigStore& store, std::u16string_view path) {
    return kCommonMailbox.Write(store, path);
}

std::optional<std::u16string> TakeSettingsFilePath(ConfigStore& store) {
    std::optional<std::u16string> path = kCommonMailbox.ReadStored(store);
    // Emptied even when unreadable, so a bad path is not offered again at the next signal.
    kCommonMailbox.Delete(store);
    return path;
}

// ============================================================================================
// Configuration backup
// ============================================================================================

namespace {

// The Config values the configuration window may change, in the order they are copied. Not a
// second listing of the value table but a chosen part of it: the options the window edits and
// the four values kept only for this copy. A value added to the table joins it only when the
// window is to restore it; the lifecycle test holds the full list.
constexpr const IntValue* kBackedUpInts[] = {
    &kConfigRandom,     &kConfigAudioSync,     &kConfigAudioSyncSensitivity,
    &kConfigClock,      &kConfigShowTitles,    &kConfigPrefMonitor,
    &kConfigSnapshots,  &kConfigResolution,    &kConfigDeviations,
    &kConfigStyle,      &kConfigCPULimit,      &kConfigSlowAfter,
    &kConfigMessages,   &kConfigDirectDraw,    &kConfigScreenResX,
    &kConfigScreenResY, &kConfigScreenResBits, &kConfigTargetFPS,
    &kConfigCurrentTab,
};

// Copies one Config value as stored (unchecked, any type) into the backup.
void CopyToBackup(ConfigStore& store, std::u16string_view name) {
    switch (store.Read(kConfigSection, name, nullptr, nullptr)) {
        case kConfigInt: {
            int32_t value = 0;
            uint32_t size = sizeof(value);
            if (store.Read(kConfigSection, name, &value, &size) == kConfigInt) {
                store.WriteInt(kBackupSection, name, value);
            }
            break;
        }
        case kConfigText:
            if (auto text = store.ReadText(kConfigSection, name)) {
                store.WriteText(kBackupSection, name, *text);
            }
            break;
        case kConfigBinary:
            if (auto bytes = store.ReadBinary(kConfigSection, name)) {
                store.WriteBinary(kBackupSection, name, *bytes);
            }
            break;
        default:
            break;
    }
}

}  // namespace

bool BackupConfig(ConfigStore& store, BackupMode mode) {
    if (mode == BackupMode::Open) {
        store.DeleteSection(kBackupSection);
        if (!kBackupInUse.Write(store, 1)) return false;
    } else if (kBackupInUse.ReadOr(store, 0) != 1) {
        return false;
    }
    for (const IntValue* value : kBackedUpInts) CopyToBackup(store, value->name);
    CopyToBackup(store, kConfigSettings.name);
    CopyToBackup(store, kConfigRanArray.name);
    CopyToBackup(store, kConfigDrawing.name);
    return true;
}

void DeleteConfigBackup(ConfigStore& store) {
    store.DeleteSection(kBackupSection);
}

}  // namespace quovis
