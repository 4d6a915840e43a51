// ConfigStore: every persistent setting, kept the way the registry of the Windows original
// keeps it -- keys named by their path, each holding named, typed values -- in one SQLite
// database per user: $XDG_CONFIG_HOME/Ferrowick Software/registry.db (default ~/.config/...).
//
// Index
//   Section names   how a section name becomes a key path (product key, "-", "*", "@")
//   ConfigStore     one database file: designed operations, enumeration, test hooks
//   Process store   ProcessConfigStore(), the store the other layers use
//
// Section names. An ordinary name S is the key Software\Ferrowick Software\Quovis\S of the
// current user; "-S" is Software\Ferrowick Software\S, shared by all of the maker's programs
// ("-Common"); "*S" (writes only) is the same layout under a separate local-machine root that
// nothing reads; "@S" (reads only) named a key of the classes root and is always absent here.
// A read of a one-character section goes to the product key itself.
//
// Access. Nothing is cached: each call runs one query (or one transaction) against the file,
// so a value written by another process is seen by the next read. Keys and value names
// compare case-insensitively (ASCII), as registry names do, and keep the case they were
// created with. The saver, the configuration window and a second instance share the file:
// WAL journal, a busy timeout, and one transaction per write, so a reader sees the old value
// or the new one, never a mixture, and a process killed mid-write leaves the old value.
//
// Failures are silent, as the callers expect: a value that is absent or cannot be read gives
// the caller's default, a write that fails returns false. A damaged database file is the one
// case that speaks: it is moved aside (renamed, never deleted) with one line on stderr naming
// both files, and a fresh store starts at the next write -- otherwise every later write would
// be lost without a word.
//
// Thread safety: every member may be called from any thread; calls are serialised.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quovis {

// ============================================================================================
// Section names
// ============================================================================================

// Value type codes: what ConfigStore::Write takes and ConfigStore::Read returns.
inline constexpr int kConfigAbsent = 0;     // read result: absent or unreadable
inline constexpr int kConfigText = 1;       // UTF-16 text; its size counts the terminator
inline constexpr int kConfigInt = 2;        // 32-bit integer
inline constexpr int kConfigBinary = 3;     // bytes of the given length
inline constexpr int kConfigBinary16 = 33;  // write only: 16 bytes of binary

inline constexpr std::u16string_view kMakerKeyPath = u"Software\\Ferrowick Software";
inline constexpr std::u16string_view kProductName = u"Quovis";

enum class ConfigRoot : int { CurrentUser = 0, LocalMachine = 1 };

struct ConfigKey {
    ConfigRoot root = ConfigRoot::CurrentUser;
    std::u16string path;  // e.g. "Software\Ferrowick Software\Quovis\Config"

    bool operator==(const ConfigKey&) const = default;
};

// "HKEY_CURRENT_USER" or "HKEY_LOCAL_MACHINE".
std::u16string_view ConfigRootName(ConfigRoot root);

// The key a read of `section` looks in; nullopt for "@" sections, which are always absent.
std::optional<ConfigKey> SectionKeyForRead(std::u16string_view section);

// The key a write to `section` goes to, and the key it lives under that the write creates
// first (the product key; the maker key for "-" sections). nullopt when the name has an
// empty path component ("A\\B", a trailing backslash).
struct WriteTarget {
    ConfigKey base;
    ConfigKey key;
};
std::optional<WriteTarget> SectionKeyForWrite(std::u16string_view section);

// ============================================================================================
// ConfigStore
// ============================================================================================

// One stored value, as enumeration returns it.
struct ConfigEntry {
    std::u16string name;
    int type = kConfigAbsent;    // kConfigText, kConfigInt or kConfigBinary
    std::u16string text;         // kConfigText
    int32_t number = 0;          // kConfigInt
    std::vector<uint8_t> bytes;  // kConfigBinary
};

// The outcome of deleting a whole section key.
enum class DeleteSectionResult { Deleted, NotFound, HasSubkeys, Failed };

class ConfigStore {
  public:
    // The database is opened (or created, by the first write) on first use.
    explicit ConfigStore(std::string databasePath);
    ~ConfigStore();
    ConfigStore(const ConfigStore&) = delete;
    ConfigStore& operator=(const ConfigStore&) = delete;

    // $XDG_CONFIG_HOME/Ferrowick Software/registry.db; ~/.config when XDG_CONFIG_HOME is unset
    // or not absolute.
    static std::string DefaultPath();

    std::string Path() const;
    // Points the store at another file (tests, quovis-tool); the next call opens it.
    void SetPath(std::string databasePath);

    // ---- The designed interface ---------------------------------------------------------

    // Writes, deletes a value (data null) or deletes the whole section key (name nullopt).
    // type: kConfigText (data is a NUL-terminated char16_t string, length ignored),
    // kConfigInt (data points to an int32_t), kConfigBinary (length bytes), kConfigBinary16.
    bool Write(std::u16string_view section, std::optional<std::u16string_view> name,
               const void* data, int type, uint32_t length);

    // Copies the value into buffer and returns its type. *size is the buffer size in bytes
    // on entry and the value's size on return. With a null buffer only the type and size are
    // returned. Absent, unreadable or larger than the buffer: returns kConfigAbsent, *size 0.
    int Read(std::u16string_view section, std::u16string_view name, void* buffer, uint32_t* size);

    // The stored integer; `fallback` when absent or not an integer.
    int32_t ReadInt(std::u16string_view section, std::u16string_view name, int32_t fallback);
    // The stored text parsed as a real (leading number, as the C library reads it; 0 when no
    // number leads). `fallback` when absent, not text, or not finite.
    double ReadReal(std::u16string_view section, std::u16string_view name, double fallback);
    // The stored text; nullopt when absent, not text, or longer than maxChars UTF-16 units
    // (a reader with a fixed buffer of maxChars + 1 units cannot take it).
    static constexpr size_t kAnyLength = SIZE_MAX;
    std::optional<std::u16string> ReadText(std::u16string_view section, std::u16string_view name,
                                           size_t maxChars = kAnyLength);
    std::optional<std::vector<uint8_t>> ReadBinary(std::u16string_view section,
                                                   std::u16string_view name);

    bool WriteInt(std::u16string_view section, std::u16string_view name, int32_t value);
    // Stores the text up to its first NUL, as a text value always ends there.
    bool WriteText(std::u16string_view section, std::u16string_view name, std::u16string_view text);
    // Stores "%.18g" of value as text, whatever the process's locale.
    bool WriteReal(std::u16string_view section, std::u16string_view name, double value);
    bool WriteBinary(std::u16string_view section, std::u16string_view name,
                     std::span<const uint8_t> bytes);

    // False when the value was not there (or the write failed). Creates nothing.
    bool DeleteValue(std::u16string_view section, std::u16string_view name);
    // Deletes the key and its values. A key with subkeys is kept (HasSubkeys), as the
    // registry keeps it.
    DeleteSectionResult DeleteSection(std::u16string_view section);

    // ---- Enumeration (quovis-tool, tests) ------------------------------------------------

    // Every stored key of both roots, ordered by root and path.
    std::vector<ConfigKey> Keys();
    // The values of one key, ordered by name; empty when the key is absent.
    std::vector<ConfigEntry> Values(const ConfigKey& key);
    bool KeyExists(const ConfigKey& key);
    // True when the database file exists (nothing has been written when it does not).
    bool DatabaseExists() const;

    // ---- Test hooks ----------------------------------------------------------------------

    // Called inside every write transaction, after the change and before the commit: lets a
    // test kill the process mid-write.
    void SetBeforeCommitHookForTesting(std::function<void()> hook);

  private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// ============================================================================================
// Process store
// ============================================================================================

// The store every layer of this process uses, at ConfigStore::DefaultPath() unless a caller
// (a test, quovis-tool) points it elsewhere with SetPath before use.
ConfigStore& ProcessConfigStore();

// "%.18g" of value in the C locale, as stored for reals.
std::u16string FormatConfigReal(double value);
// The leading real of text, 0 when none leads (strtod in the C locale); nullopt when the
// number is not finite.
std::optional<double> ParseConfigReal(std::u16string_view text);

}  // namespace quovis
