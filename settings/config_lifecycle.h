// What the program does with the store at fixed moments of its life, beyond single values:
// the first-run defaults at engine start, the maker's shared program list at start-up, the
// settings-file mailbox between a second instance and an open configuration window, and the
// backup the configuration window takes of the values it may change.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "settings/config_store.h"

namespace quovis {

// ---- First run ---------------------------------------------------------------------------

// Done at engine start, before the favorites are read: "Version" absent -> 0; "AutoSaveDir"
// absent or empty -> the folder picturesFolder + "/Quovis", created (failures ignored: a
// snapshot into a missing folder fails silently later) and stored; "AutoSavePrefix" read with
// its default "Q-" and written back, so it is visible and editable from then on.
void ApplyFirstRunDefaults(ConfigStore& store, std::u16string_view picturesFolder);

// ---- The maker's program list ("-Common") --------------------------------------------------

// Records this program: finds the slot (1..15) whose name is `programName` (exact,
// case-sensitive), or takes the first slot without a name; then stores `programPath` there
// unless it is already stored. Returns the slot, 0 when every slot belongs to another program.
int RegisterInProgramList(ConfigStore& store, std::u16string_view programPath,
                          std::u16string_view programName = kProductName);

struct ProgramSlot {
    int slot = 0;
    std::u16string path;
};

// The program to hand a settings file this program cannot use to: walking the slots after
// `startSlot` (the "/i" number this program was started with; 0 for a user), the first one
// whose program is not `ownName` and has a path. The walk ends at the first slot without a
// name. The caller starts the program with "/i <slot> <file>".
std::optional<ProgramSlot> FindProgramForSettingsFile(ConfigStore& store, int startSlot,
                                                      std::u16string_view ownName = kProductName);

// ---- Settings-file mailbox -------------------------------------------------------------------

// A second instance leaves the path here before it signals the open configuration window.
bool PostSettingsFilePath(ConfigStore& store, std::u16string_view path);
// The window takes it: the path (at most 256 characters), deleted from the store.
std::optional<std::u16string> TakeSettingsFilePath(ConfigStore& store);

// ---- Configuration backup ------------------------------------------------------------------

enum class BackupMode {
    Open,     // the window opens: the "Backup" section starts afresh, marked in use
    Refresh,  // Cancel: copy again, only into a backup marked in use
};

// Copies the Config values the configuration window may change (each one that is stored),
// then "Settings", "RanArray" and "Drawing", into section "Backup". False when the backup
// could not be marked in use (Open) or is not in use (Refresh); nothing is copied then.
//
// Nothing reads the copies back: Cancel writes nothing to Config, so the values stored
// before the window opened are still in place. The copy is a record for the user (and for
// support) of what the settings were when the window opened.
bool BackupConfig(ConfigStore& store, BackupMode mode);

// The window closes: the backup goes.
void DeleteConfigBackup(ConfigStore& store);

}  // namespace quovis
