// ConfigStore on SQLite.
//
// Index
//   Section names          section name -> key path
//   Reals                  "%.18g" text, locale-independent
//   Statements             a small RAII wrapper over sqlite3_stmt
//   Connection             open, health check, moving a damaged file aside, schema
//   Operations             the public members
//   Process store          ProcessConfigStore
//
// Schema (database text encoding UTF-16le, so stored texts are the program's UTF-16 units
// exactly, unpaired surrogates included):
//   registry_keys(root, path)                    every key, ancestors included
//   registry_values(root, path, name, type, data) type 1 text, 2 integer, 3 binary; data holds
//                                                 a TEXT, an INTEGER or a BLOB to match
// Names carry COLLATE NOCASE: key and value names are case-insensitive like registry names.
#include "settings/config_store.h"

#include <fcntl.h>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <thread>

namespace quovis {

// ============================================================================================
// Section names
// ============================================================================================

namespace {

constexpr std::u16string_view kLocalMachineMakerKeyPath = u"SOFTWARE\\Ferrowick Software";

std::u16string ProductKeyPath(std::u16string_view makerKey) {
    std::u16string path(makerKey);
    path += u'\\';
    path += kProductName;
    return path;
}

// The key path for a section name under a maker key path, following the "-" rule.
struct SectionPaths {
    std::u16string base;
    std::u16string key;
};

SectionPaths PathsUnder(std::u16string_view makerKey, std::u16string_view section) {
    SectionPaths paths;
    std::u16string_view rest = section;
    if (!section.empty() && section.front() == u'-') {
        paths.base = std::u16string(makerKey);
        rest = section.substr(1);
    } else {
        paths.base = ProductKeyPath(makerKey);
    }
    paths.key = paths.base;
    if (!rest.empty()) {
        paths.key += u'\\';
        paths.key += rest;
    }
    return paths;
}

bool HasEmptyComponent(std::u16string_view path) {
    if (path.empty() || path.front() == u'\\' || path.back() == u'\\') return true;
    return path.find(u"\\\\") != std::u16string_view::npos;
}

}  // namespace

std::u16string_view ConfigRootName(ConfigRoot root) {
    return root == ConfigRoot::LocalMachine ? u"HKEY_LOCAL_MACHINE" : u"HKEY_CURRENT_USER";
}

std::optional<ConfigKey> SectionKeyForRead(std::u16string_view section) {
    if (!section.empty() && section.front() == u'@') return std::nullopt;
    if (section.size() <= 1)
        return ConfigKey{ConfigRoot::CurrentUser, ProductKeyPath(kMakerKeyPath)};
    ConfigKey key{ConfigRoot::CurrentUser, PathsUnder(kMakerKeyPath, section).key};
    if (HasEmptyComponent(key.path)) return std::nullopt;
    return key;
}

std::optional<WriteTarget> SectionKeyForWrite(std::u16string_view section) {
    ConfigRoot root = ConfigRoot::CurrentUser;
    std::u16string_view maker = kMakerKeyPath;
    if (!section.empty() && section.front() == u'*') {
        root = ConfigRoot::LocalMachine;
        maker = kLocalMachineMakerKeyPath;
        section.remove_prefix(1);
    }
    SectionPaths paths = PathsUnder(maker, section);
    if (HasEmptyComponent(paths.key)) return std::nullopt;
    return WriteTarget{{root, std::move(paths.base)}, {root, std::move(paths.key)}};
}

// ============================================================================================
// Reals
// ============================================================================================

std::u16string FormatConfigReal(double value) {
    // std::to_chars with a precision is printf's %.*g in the C locale; snprintf would follow
    // the process locale, and Qt sets that from the environment (a German desktop would store
    // "0,25", which no reader parses back).
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::general, 18);
    return std::u16string(buffer, result.ptr);
}

std::optional<double> ParseConfigReal(std::u16string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r'))) ++i;
    // from_chars reads only ASCII and takes no '+'; keep the ASCII prefix and handle the sign.
    std::string ascii;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
    for (; i < text.size() && text[i] < 0x80; ++i) ascii += static_cast<char>(text[i]);
    double value = 0.0;
    const auto result = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value,
                                        std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) return std::nullopt;
    if (result.ec != std::errc()) value = 0.0;  // nothing numeric leads: reads as 0
    if (!std::isfinite(value)) return std::nullopt;
    return negative ? -value : value;
}

// ============================================================================================
// Statements
// ============================================================================================

namespace {

constexpr int kSchemaVersion = 1;
constexpr int kBusyTimeoutMs = 3000;

const char* const kCreateSchema =
    "CREATE TABLE IF NOT EXISTS registry_keys("
    " root INTEGER NOT NULL,"
    " path TEXT NOT NULL COLLATE NOCASE,"
    " PRIMARY KEY(root, path)) WITHOUT ROWID;"
    "CREATE TABLE IF NOT EXISTS registry_values("
    " root INTEGER NOT NULL,"
    " path TEXT NOT NULL COLLATE NOCASE,"
    " name TEXT NOT NULL COLLATE NOCASE,"
    " type INTEGER NOT NULL,"
    " data,"
    " PRIMARY KEY(root, path, name)) WITHOUT ROWID;";

bool IsDamage(int rc) {
    const int primary = rc & 0xFF;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

bool IsSuccess(int rc) {
    return rc == SQLITE_OK || rc == SQLITE_DONE || rc == SQLITE_ROW;
}

class Statement {
  public:
    Statement(sqlite3* db, const char* sql) {
        m_rc = sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr);
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool Prepared() const { return m_stmt != nullptr; }
    // The result of preparing, or of the last Step.
    int Rc() const { return m_rc; }

    void Bind(int index, int64_t value) { sqlite3_bind_int64(m_stmt, index, value); }
    void Bind(int index, std::u16string_view text) {
        // A null pointer would bind NULL; an empty text is still a text.
        const char16_t* data = text.data() != nullptr ? text.data() : u"";
        sqlite3_bind_text16(m_stmt, index, data, static_cast<int>(text.size() * 2),
                            SQLITE_TRANSIENT);
    }
    void BindBlob(int index, std::span<const uint8_t> bytes) {
        if (bytes.empty()) {
            sqlite3_bind_zeroblob(m_stmt, index, 0);
        } else {
            sqlite3_bind_blob(m_stmt, index, bytes.data(), static_cast<int>(bytes.size()),
                              SQLITE_TRANSIENT);
        }
    }
    void BindKey(int first, const ConfigKey& key) {
        Bind(first, static_cast<int64_t>(key.root));
        Bind(first + 1, key.path);
    }

    void Reset() {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }

    // SQLITE_ROW, SQLITE_DONE or an error code (kept in Rc()).
    int Step() {
        if (m_stmt == nullptr) return m_rc;
        m_rc = sqlite3_step(m_stmt);
        return m_rc;
    }

    int64_t Int(int column) const { return sqlite3_column_int64(m_stmt, column); }
    std::u16string Text(int column) const {
        const auto* text = static_cast<const char16_t*>(sqlite3_column_text16(m_stmt, column));
        const int bytes = sqlite3_column_bytes16(m_stmt, column);
        return text != nullptr ? std::u16string(text, static_cast<size_t>(bytes) / 2)
                               : std::u16string();
    }
    std::vector<uint8_t> Blob(int column) const {
        const auto* data = static_cast<const uint8_t*>(sqlite3_column_blob(m_stmt, column));
        const int bytes = sqlite3_column_bytes(m_stmt, column);
        return data != nullptr ? std::vector<uint8_t>(data, data + bytes) : std::vector<uint8_t>();
    }

  private:
    sqlite3_stmt* m_stmt = nullptr;
    int m_rc = SQLITE_OK;
};

int Exec(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

// Every ancestor of a key path, itself last: "A", "A\B", "A\B\C".
std::vector<std::u16string> KeyAndAncestors(std::u16string_view path) {
    std::vector<std::u16string> keys;
    for (size_t pos = path.find(u'\\'); pos != std::u16string_view::npos;
         pos = path.find(u'\\', pos + 1)) {
        keys.emplace_back(path.substr(0, pos));
    }
    keys.emplace_back(path);
    return keys;
}

char16_t FoldAscii(char16_t c) {
    return c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c;
}

// Orders key paths as a tree: component by component, case-insensitively.
bool KeyPathLess(std::u16string_view a, std::u16string_view b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        // The separator sorts before every other character, so a parent's subtree stays
        // together ahead of its siblings whose names merely extend the parent's.
        const char16_t ca = a[i] == u'\\' ? 0 : FoldAscii(a[i]);
        const char16_t cb = b[i] == u'\\' ? 0 : FoldAscii(b[i]);
        if (ca != cb) return ca < cb;
    }
    return a.size() < b.size();
}

enum class Health { Healthy, Damaged, Busy, Unavailable };

bool IsBusy(int rc) {
    const int primary = rc & 0xff;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

Health CheckHealth(sqlite3* db) {
    // quick_check reads every page but skips index cross-checks; the store is small (a full
    // set of favorites is well under a megabyte), so this costs milliseconds once per process.
    Statement check(db, "PRAGMA quick_check");
    if (!check.Prepared()) {
        if (IsDamage(check.Rc())) return Health::Damaged;
        return IsBusy(check.Rc()) ? Health::Busy : Health::Unavailable;
    }
    bool ok = false;
    while (check.Step() == SQLITE_ROW) {
        if (check.Text(0) == u"ok")
            ok = true;
        else
            return Health::Damaged;
    }
    if (IsDamage(check.Rc())) return Health::Damaged;
    if (IsBusy(check.Rc())) return Health::Busy;
    if (check.Rc() != SQLITE_DONE) return Health::Unavailable;
    return ok ? Health::Healthy : Health::Damaged;
}

// Opens `path` for reading and writing without creating it and checks it.
Health ProbeFile(const std::string& path) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) !=
        SQLITE_OK) {
        sqlite3_close(db);
        return Health::Unavailable;
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    const Health health = CheckHealth(db);
    sqlite3_close(db);
    return health;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

std::string AsideName(const std::string& path) {
    char stamp[32] = "unknown";
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) != nullptr) {
        std::strftime(stamp, sizeof(stamp), "%Y%m%d-%H%M%S", &local);
    }
    const std::string stem = path + ".damaged-" + stamp;
    std::string candidate = stem;
    for (int n = 2; FileExists(candidate); ++n) candidate = stem + "-" + std::to_string(n);
    return candidate;
}

}  // namespace

// ============================================================================================
// Connection
// ============================================================================================

namespace {

// What one write stores.
struct Payload {
    int type = kConfigAbsent;
    std::u16string_view text;
    int32_t number = 0;
    std::span<const uint8_t> bytes;
};

}  // namespace

struct ConfigStore::Impl {
    mutable std::mutex lock;  // guards everything below
    std::string path;
    sqlite3* db = nullptr;
    dev_t device = 0;  // identity of the file last found healthy, to skip re-checking it
    ino_t inode = 0;
    bool checked = false;
    bool schemaReady = false;
    // "<path>.lock": every operation holds it shared, moving a damaged file aside holds it
    // exclusively. SQLite finds a database's journal and WAL by file name, so a connection
    // still open on a file that was renamed could roll another file's journal into it; under
    // this lock no connection exists anywhere while a file is being moved.
    int lockFd = -1;
    bool reportedStuck = false;  // a damaged file that could not be moved aside was reported
    std::function<void()> beforeCommit;

    ~Impl() {
        Close();
        if (lockFd >= 0) ::close(lockFd);
    }

    // Takes the lock file in `mode` (LOCK_SH or LOCK_EX). A folder that cannot be written has
    // no lock file; nothing can be moved there either, so going on unlocked is safe.
    void LockFile(int mode) {
        if (lockFd < 0) {
            const std::string lockPath = path + ".lock";
            lockFd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
            if (lockFd < 0) lockFd = ::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC);
            if (lockFd < 0) return;
        }
        while (::flock(lockFd, mode) != 0 && errno == EINTR) {
        }
    }

    void UnlockFile() {
        if (lockFd >= 0) ::flock(lockFd, LOCK_UN);
    }

    void Close() {
        sqlite3_close(db);  // finalises nothing: every Statement is scoped to one call
        db = nullptr;
    }

    // Makes `db` an open, healthy connection to the file now at `path`. Without `create` a
    // missing file stays missing (reads create nothing).
    bool Connect(bool create) {
        struct stat st {};
        const bool exists = ::stat(path.c_str(), &st) == 0;
        Close();
        if (!exists && !create) return false;
        // The same file as last time (nobody can replace it while we hold the lock file):
        // it was checked already.
        if (exists && checked && st.st_dev == device && st.st_ino == inode) {
            if (Open(false)) return true;
            checked = false;
        }
        schemaReady = false;
        if (!exists && !MakeFolder()) return false;
        // While another process is creating the file or switching its journal mode, SQLite
        // answers "busy" at once instead of waiting; those moments are short, so wait them out
        // (up to about two seconds) rather than fail the caller's read or write.
        int busyWaits = 0;
        for (int attempt = 0; attempt < 2;) {
            if (!Open(create)) return false;
            const Health health = CheckHealth(db);
            if (health == Health::Healthy) return Remember();
            Close();
            if (health == Health::Busy && busyWaits++ < 100) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                continue;
            }
            if (health != Health::Damaged) return false;
            if (!MoveDamagedAside() || !create) return false;
            ++attempt;
        }
        return false;
    }

    bool MakeFolder() {
        std::error_code ec;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
        return !ec;
    }

    bool Open(bool create) {
        const int flags =
            SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOMUTEX;
        if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
            Close();
            return false;
        }
        sqlite3_busy_timeout(db, kBusyTimeoutMs);
        // In WAL mode NORMAL still commits atomically; it only skips the fsync per commit,
        // which would make seeding the favorites (one transaction per slot) slow.
        Exec(db, "PRAGMA synchronous=NORMAL");
        return true;
    }

    bool Remember() {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) {
            Close();
            return false;
        }
        device = st.st_dev;
        inode = st.st_ino;
        checked = true;
        return true;
    }

    // Renames the damaged file to "<path>.damaged-<time>", with its WAL and shared-memory
    // files where they are still there (SQLite removes an empty WAL when the last connection
    // closes), since they belong to it and must not meet a fresh database. Called holding the
    // lock file shared, with no connection open; returns holding it shared again. Another
    // process may have found the same damage: the exclusive lock makes one of them do the
    // move, and the others, once they have it, see a healthy or missing file and leave it.
    bool MoveDamagedAside() {
        Close();
        LockFile(LOCK_EX);
        if (lockFd < 0) return ReportStuck(errno);
        checked = false;
        bool moved = true;
        if (FileExists(path) && ProbeFile(path) == Health::Damaged) {
            const std::string aside = AsideName(path);
            for (const char* suffix : {"-wal", "-shm"}) {
                const std::string from = path + suffix;
                if (FileExists(from)) std::rename(from.c_str(), (aside + suffix).c_str());
            }
            if (std::rename(path.c_str(), aside.c_str()) != 0) {
                moved = ReportStuck(errno);
            } else {
                std::fprintf(stderr,
                             "quovis: the settings database %s is damaged; moved it to %s and "
                             "starting a fresh one\n",
                             path.c_str(), aside.c_str());
            }
        }
        LockFile(LOCK_SH);
        return moved;
    }

    bool ReportStuck(int error) {
        if (!reportedStuck) {
            reportedStuck = true;
            std::fprintf(stderr,
                         "quovis: the settings database %s is damaged and could not be moved "
                         "aside (%s); settings will not be saved\n",
                         path.c_str(), std::strerror(error));
        }
        return false;
    }

    // Creates the tables once per connection; returns an SQLite result code.
    int EnsureSchema() {
        if (schemaReady) return SQLITE_OK;
        // The encoding takes effect only while the file is still empty; later it is a no-op.
        Exec(db, "PRAGMA encoding='UTF-16le'");
        // WAL lets readers go on while another process writes. If the mode cannot be switched
        // now (another process is busy), the rollback journal is just as safe, only slower.
        Exec(db, "PRAGMA journal_mode=WAL");
        int rc = Exec(db, "BEGIN IMMEDIATE");
        if (rc != SQLITE_OK) return rc;
        rc = Exec(db, kCreateSchema);
        if (rc == SQLITE_OK && ReadUserVersion() == 0) {
            const std::string set = "PRAGMA user_version=" + std::to_string(kSchemaVersion);
            rc = Exec(db, set.c_str());
        }
        if (rc == SQLITE_OK) rc = Exec(db, "COMMIT");
        if (rc != SQLITE_OK) {
            Exec(db, "ROLLBACK");
            return rc;
        }
        schemaReady = true;
        return SQLITE_OK;
    }

    int64_t ReadUserVersion() {
        Statement version(db, "PRAGMA user_version");
        return version.Step() == SQLITE_ROW ? version.Int(0) : -1;
    }

    // Runs `body` (returning an SQLite result code) on a healthy connection. Damage met on the
    // way gets the file moved aside and one more try on a fresh store.
    // The connection lives for this one call only, under the shared lock file.
    template <class Body>
    int Run(bool write, Body&& body) {
        if (write && lockFd < 0) MakeFolder();  // so the lock file can exist from the start
        LockFile(LOCK_SH);
        int rc = SQLITE_CORRUPT;
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (!Connect(write)) {
                rc = SQLITE_CANTOPEN;
                break;
            }
            rc = write ? EnsureSchema() : SQLITE_OK;
            if (rc == SQLITE_OK) rc = body(db);
            if (!IsDamage(rc)) break;
            if (!MoveDamagedAside()) break;
            rc = SQLITE_CORRUPT;
        }
        Close();
        UnlockFile();
        return rc;
    }

    // One write transaction around `change`, which returns an SQLite result code.
    template <class Change>
    int Transaction(sqlite3* connection, Change&& change) {
        int rc = Exec(connection, "BEGIN IMMEDIATE");
        if (rc != SQLITE_OK) return rc;
        rc = change(connection);
        if (IsSuccess(rc)) {
            if (beforeCommit) beforeCommit();
            rc = Exec(connection, "COMMIT");
        }
        if (!IsSuccess(rc)) Exec(connection, "ROLLBACK");
        return rc;
    }

    std::optional<ConfigEntry> Fetch(const ConfigKey& key, std::u16string_view name) {
        std::optional<ConfigEntry> entry;
        Run(false, [&](sqlite3* connection) {
            Statement select(connection,
                             "SELECT type, data, name FROM registry_values "
                             "WHERE root=?1 AND path=?2 AND name=?3");
            select.BindKey(1, key);
            select.Bind(3, name);
            if (select.Step() == SQLITE_ROW) entry = ReadEntry(select, 0);
            return select.Rc();
        });
        return entry;
    }

    static ConfigEntry ReadEntry(const Statement& row, int firstColumn) {
        ConfigEntry entry;
        entry.type = static_cast<int>(row.Int(firstColumn));
        entry.name = row.Text(firstColumn + 2);
        switch (entry.type) {
            case kConfigText:
                entry.text = row.Text(firstColumn + 1);
                break;
            case kConfigInt:
                entry.number = static_cast<int32_t>(row.Int(firstColumn + 1));
                break;
            case kConfigBinary:
                entry.bytes = row.Blob(firstColumn + 1);
                break;
            default:
                entry.type = kConfigAbsent;
                break;  // written by something else: ignore
        }
        return entry;
    }

    bool SetValue(std::u16string_view section, std::u16string_view name, const Payload& payload) {
        const std::optional<WriteTarget> target = SectionKeyForWrite(section);
        if (!target) return false;
        std::lock_guard<std::mutex> guard(lock);
        const int rc = Run(true, [&](sqlite3* db) {
            return Transaction(db, [&](sqlite3* connection) {
                const int created = CreateKeys(connection, target->key);
                if (created != SQLITE_DONE) return created;
                Statement upsert(connection,
                                 "INSERT INTO registry_values(root, path, name, type, data) "
                                 "VALUES(?1, ?2, ?3, ?4, ?5) ON CONFLICT(root, path, name) "
                                 "DO UPDATE SET type=excluded.type, data=excluded.data");
                upsert.BindKey(1, target->key);
                upsert.Bind(3, name);
                upsert.Bind(4, static_cast<int64_t>(payload.type));
                switch (payload.type) {
                    case kConfigText:
                        upsert.Bind(5, payload.text);
                        break;
                    case kConfigInt:
                        upsert.Bind(5, static_cast<int64_t>(payload.number));
                        break;
                    default:
                        upsert.BindBlob(5, payload.bytes);
                        break;
                }
                return upsert.Step();
            });
        });
        return IsSuccess(rc);
    }

    std::optional<ConfigEntry> FetchTyped(std::u16string_view section, std::u16string_view name,
                                          int type) {
        const std::optional<ConfigKey> key = SectionKeyForRead(section);
        if (!key) return std::nullopt;
        std::lock_guard<std::mutex> guard(lock);
        std::optional<ConfigEntry> entry = Fetch(*key, name);
        if (!entry || entry->type != type) return std::nullopt;
        return entry;
    }

    static int CreateKeys(sqlite3* connection, const ConfigKey& key) {
        Statement insert(connection,
                         "INSERT OR IGNORE INTO registry_keys(root, path) VALUES(?1, ?2)");
        for (const std::u16string& path : KeyAndAncestors(key.path)) {
            insert.BindKey(1, {key.root, path});
            if (insert.Step() != SQLITE_DONE) return insert.Rc();
            insert.Reset();
        }
        return SQLITE_DONE;
    }
};

// ============================================================================================
// Operations
// ============================================================================================

ConfigStore::ConfigStore(std::string databasePath) : m_impl(std::make_unique<Impl>()) {
    m_impl->path = std::move(databasePath);
}

ConfigStore::~ConfigStore() = default;

std::string ConfigStore::DefaultPath() {
    std::string base;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    // A relative XDG_CONFIG_HOME is invalid and must be ignored (XDG base directory rules).
    if (xdg != nullptr && xdg[0] == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || home[0] == '\0') {
            const passwd* user = getpwuid(getuid());
            home = user != nullptr ? user->pw_dir : "";
        }
        base = std::string(home) + "/.config";
    }
    return base + "/Ferrowick Software/registry.db";
}

std::string ConfigStore::Path() const {
    std::lock_guard<std::mutex> guard(m_impl->lock);
    return m_impl->path;
}

void ConfigStore::SetPath(std::string databasePath) {
    std::lock_guard<std::mutex> guard(m_impl->lock);
    m_impl->Close();
    m_impl->path = std::move(databasePath);
    m_impl->reportedStuck = false;
}

bool ConfigStore::DatabaseExists() const {
    return FileExists(Path());
}

void ConfigStore::SetBeforeCommitHookForTesting(std::function<void()> hook) {
    std::lock_guard<std::mutex> guard(m_impl->lock);
    m_impl->beforeCommit = std::move(hook);
}

bool ConfigStore::Write(std::u16string_view section, std::optional<std::u16string_view> name,
                        const void* data, int type, uint32_t length) {
    if (!name) {
        const DeleteSectionResult result = DeleteSection(section);
        return result == DeleteSectionResult::Deleted || result == DeleteSectionResult::NotFound;
    }
    if (data == nullptr) return DeleteValue(section, *name);
    switch (type) {
        case kConfigText:
            return WriteText(section, *name,
                             std::u16string_view(static_cast<const char16_t*>(data)));
        case kConfigInt: {
            int32_t value = 0;
            std::memcpy(&value, data, sizeof(value));  // the caller's int may be unaligned
            return WriteInt(section, *name, value);
        }
        case kConfigBinary:
            return WriteBinary(section, *name, {static_cast<const uint8_t*>(data), length});
        case kConfigBinary16:
            return WriteBinary(section, *name, {static_cast<const uint8_t*>(data), 16});
        default:
            return false;
    }
}

bool ConfigStore::WriteInt(std::u16string_view section, std::u16string_view name, int32_t value) {
    return m_impl->SetValue(section, name, {kConfigInt, {}, value, {}});
}

bool ConfigStore::WriteText(std::u16string_view section, std::u16string_view name,
                            std::u16string_view text) {
    text = text.substr(0, text.find(u'\0'));
    return m_impl->SetValue(section, name, {kConfigText, text, 0, {}});
}

bool ConfigStore::WriteReal(std::u16string_view section, std::u16string_view name, double value) {
    // "nan" or "inf" would be stored and then read back as the reader's default: refuse it
    // here, where the caller can still see the failure.
    if (!std::isfinite(value)) return false;
    return WriteText(section, name, FormatConfigReal(value));
}

bool ConfigStore::WriteBinary(std::u16string_view section, std::u16string_view name,
                              std::span<const uint8_t> bytes) {
    return m_impl->SetValue(section, name, {kConfigBinary, {}, 0, bytes});
}

bool ConfigStore::DeleteValue(std::u16string_view section, std::u16string_view name) {
    const std::optional<WriteTarget> target = SectionKeyForWrite(section);
    if (!target) return false;
    std::lock_guard<std::mutex> guard(m_impl->lock);
    bool deleted = false;
    // A read connection: deleting from a store that does not exist creates nothing.
    const int rc = m_impl->Run(false, [&](sqlite3* db) {
        return m_impl->Transaction(db, [&](sqlite3* connection) {
            Statement erase(connection,
                            "DELETE FROM registry_values WHERE root=?1 AND path=?2 AND name=?3");
            erase.BindKey(1, target->key);
            erase.Bind(3, name);
            const int stepped = erase.Step();
            deleted = stepped == SQLITE_DONE && sqlite3_changes(connection) > 0;
            return stepped;
        });
    });
    return IsSuccess(rc) && deleted;
}

DeleteSectionResult ConfigStore::DeleteSection(std::u16string_view section) {
    const std::optional<WriteTarget> target = SectionKeyForWrite(section);
    if (!target) return DeleteSectionResult::Failed;
    std::lock_guard<std::mutex> guard(m_impl->lock);
    if (!FileExists(m_impl->path)) return DeleteSectionResult::NotFound;
    DeleteSectionResult result = DeleteSectionResult::Deleted;
    const int rc = m_impl->Run(false, [&](sqlite3* db) {
        return m_impl->Transaction(db, [&](sqlite3* connection) {
            Statement exists(connection, "SELECT 1 FROM registry_keys WHERE root=?1 AND path=?2");
            exists.BindKey(1, target->key);
            if (exists.Step() != SQLITE_ROW) {
                result = DeleteSectionResult::NotFound;
                return exists.Rc() == SQLITE_DONE ? SQLITE_DONE : exists.Rc();
            }
            // Key paths never hold an empty component, so "<path>\" .. "<path>]" brackets
            // exactly the subkeys ('\' + 1 == ']').
            Statement children(connection,
                               "SELECT 1 FROM registry_keys WHERE root=?1 "
                               "AND path > ?2 || '\\' AND path < ?2 || ']' LIMIT 1");
            children.BindKey(1, target->key);
            if (children.Step() == SQLITE_ROW) {
                result = DeleteSectionResult::HasSubkeys;
                return SQLITE_DONE;
            }
            if (children.Rc() != SQLITE_DONE) return children.Rc();
            for (const char* sql : {"DELETE FROM registry_values WHERE root=?1 AND path=?2",
                                    "DELETE FROM registry_keys WHERE root=?1 AND path=?2"}) {
                Statement erase(connection, sql);
                erase.BindKey(1, target->key);
                if (erase.Step() != SQLITE_DONE) return erase.Rc();
            }
            return SQLITE_DONE;
        });
    });
    if (!IsSuccess(rc)) return DeleteSectionResult::Failed;
    return result;
}

int ConfigStore::Read(std::u16string_view section, std::u16string_view name, void* buffer,
                      uint32_t* size) {
    const auto absent = [size] {
        if (size != nullptr) *size = 0;
        return kConfigAbsent;
    };
    const std::optional<ConfigKey> key = SectionKeyForRead(section);
    if (!key) return absent();
    std::optional<ConfigEntry> entry;
    {
        std::lock_guard<std::mutex> guard(m_impl->lock);
        entry = m_impl->Fetch(*key, name);
    }
    if (!entry || entry->type == kConfigAbsent) return absent();
    const void* source = nullptr;
    size_t needed = 0;
    switch (entry->type) {
        case kConfigText:
            entry->text.push_back(u'\0');  // the stored size counts the terminator
            source = entry->text.data();
            needed = entry->text.size() * sizeof(char16_t);
            break;
        case kConfigInt:
            source = &entry->number;
            needed = sizeof(entry->number);
            break;
        default:
            source = entry->bytes.data();
            needed = entry->bytes.size();
            break;
    }
    if (needed > UINT32_MAX) return absent();
    if (buffer == nullptr) {
        if (size != nullptr) *size = static_cast<uint32_t>(needed);
        return entry->type;
    }
    if (size == nullptr || *size < needed) return absent();
    if (needed > 0) std::memcpy(buffer, source, needed);
    *size = static_cast<uint32_t>(needed);
    return entry->type;
}

int32_t ConfigStore::ReadInt(std::u16string_view section, std::u16string_view name,
                             int32_t fallback) {
    const std::optional<ConfigEntry> entry = m_impl->FetchTyped(section, name, kConfigInt);
    return entry ? entry->number : fallback;
}

double ConfigStore::ReadReal(std::u16string_view section, std::u16string_view name,
                             double fallback) {
    const std::optional<ConfigEntry> entry = m_impl->FetchTyped(section, name, kConfigText);
    if (!entry) return fallback;
    return ParseConfigReal(entry->text).value_or(fallback);
}

std::optional<std::u16string> ConfigStore::ReadText(std::u16string_view section,
                                                    std::u16string_view name, size_t maxChars) {
    std::optional<ConfigEntry> entry = m_impl->FetchTyped(section, name, kConfigText);
    if (!entry || entry->text.size() > maxChars) return std::nullopt;
    return std::move(entry->text);
}

std::optional<std::vector<uint8_t>> ConfigStore::ReadBinary(std::u16string_view section,
                                                            std::u16string_view name) {
    std::optional<ConfigEntry> entry = m_impl->FetchTyped(section, name, kConfigBinary);
    if (!entry) return std::nullopt;
    return std::move(entry->bytes);
}

std::vector<ConfigKey> ConfigStore::Keys() {
    std::vector<ConfigKey> keys;
    {
        std::lock_guard<std::mutex> guard(m_impl->lock);
        m_impl->Run(false, [&](sqlite3* db) {
            Statement select(db, "SELECT root, path FROM registry_keys");
            while (select.Step() == SQLITE_ROW) {
                keys.push_back({static_cast<ConfigRoot>(select.Int(0)), select.Text(1)});
            }
            return select.Rc();
        });
    }
    std::sort(keys.begin(), keys.end(), [](const ConfigKey& a, const ConfigKey& b) {
        if (a.root != b.root) return a.root < b.root;
        return KeyPathLess(a.path, b.path);
    });
    return keys;
}

std::vector<ConfigEntry> ConfigStore::Values(const ConfigKey& key) {
    std::vector<ConfigEntry> values;
    std::lock_guard<std::mutex> guard(m_impl->lock);
    m_impl->Run(false, [&](sqlite3* db) {
        Statement select(db,
                         "SELECT type, data, name FROM registry_values "
                         "WHERE root=?1 AND path=?2 ORDER BY name");
        select.BindKey(1, key);
        while (select.Step() == SQLITE_ROW) {
            ConfigEntry entry = Impl::ReadEntry(select, 0);
            if (entry.type != kConfigAbsent) values.push_back(std::move(entry));
        }
        return select.Rc();
    });
    return values;
}

bool ConfigStore::KeyExists(const ConfigKey& key) {
    bool exists = false;
    std::lock_guard<std::mutex> guard(m_impl->lock);
    m_impl->Run(false, [&](sqlite3* db) {
        Statement select(db, "SELECT 1 FROM registry_keys WHERE root=?1 AND path=?2");
        select.BindKey(1, key);
        exists = select.Step() == SQLITE_ROW;
        return select.Rc();
    });
    return exists;
}

// ============================================================================================
// Process store
// ============================================================================================

ConfigStore& ProcessConfigStore() {
    static ConfigStore store(ConfigStore::DefaultPath());
    return store;
}

}  // namespace quovis
