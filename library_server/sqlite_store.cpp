// The SQLite store: one database file in WAL mode, so that readers never wait for the writer
// and a second server process on the same file (rare, but harmless) waits its turn through
// the busy timeout instead of failing. One connection serves the process, behind a mutex:
// SQLite writes one transaction at a time anyway, and every statement here is short.
//
// Index
//   Statement      a prepared statement with its parameters bound by position
//   Schema         created on first use, versioned with PRAGMA user_version
//   SqliteStore    the operations
#include <sqlite3.h>

#include <ctime>
#include <filesystem>
#include <mutex>
#include <system_error>

#include "library_server/library_store.h"

namespace quovis::library_server {

namespace {

// ---- Statement ------------------------------------------------------------------------------

class Statement {
  public:
    Statement(sqlite3* db, const char* sql) {
        if (sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr) != SQLITE_OK) m_stmt = nullptr;
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool Ok() const { return m_stmt != nullptr && m_failed == false; }
    Statement& Bind(int64_t value) {
        Check(sqlite3_bind_int64(m_stmt, ++m_next, value));
        return *this;
    }
    Statement& Bind(std::string_view text) {
        Check(sqlite3_bind_text(m_stmt, ++m_next, text.data(), static_cast<int>(text.size()),
                                SQLITE_TRANSIENT));
        return *this;
    }
    Statement& BindBlob(std::string_view bytes) {
        Check(sqlite3_bind_blob(m_stmt, ++m_next, bytes.data(), static_cast<int>(bytes.size()),
                                SQLITE_TRANSIENT));
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE, or an error code.
    int Step() {
        if (!Ok()) return SQLITE_ERROR;
        return sqlite3_step(m_stmt);
    }
    bool Run() { return Step() == SQLITE_DONE; }
    int64_t Int(int column) const { return sqlite3_column_int64(m_stmt, column); }
    std::string Text(int column) const {
        auto* p = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
        return p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(m_stmt, column)))
                 : std::string();
    }
    std::string Blob(int column) const {
        auto* p = static_cast<const char*>(sqlite3_column_blob(m_stmt, column));
        return p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(m_stmt, column)))
                 : std::string();
    }

  private:
    void Check(int rc) {
        if (rc != SQLITE_OK) m_failed = true;
    }
    sqlite3_stmt* m_stmt = nullptr;
    int m_next = 0;
    bool m_failed = false;
};

// ---- Schema ---------------------------------------------------------------------------------

constexpr int kSchemaVersion = 1;

constexpr const char* kCreateSchema = R"sql(
CREATE TABLE accounts (
  seq INTEGER PRIMARY KEY,
  key TEXT NOT NULL,
  created INTEGER NOT NULL
);
CREATE TABLE items (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  owner INTEGER NOT NULL,
  title TEXT NOT NULL,
  keywords TEXT NOT NULL,
  version TEXT NOT NULL,
  author TEXT NOT NULL,
  location TEXT NOT NULL,
  description TEXT NOT NULL,
  preset TEXT NOT NULL,
  drawing TEXT NOT NULL,
  search TEXT NOT NULL,
  shared_at INTEGER NOT NULL,
  downloads INTEGER NOT NULL DEFAULT 0,
  width INTEGER NOT NULL,
  height INTEGER NOT NULL,
  audio INTEGER NOT NULL,
  has_picture INTEGER NOT NULL
);
CREATE INDEX items_by_owner ON items (owner, title);
CREATE INDEX items_newest ON items (shared_at DESC, id DESC);
CREATE INDEX items_popular ON items (downloads DESC, shared_at DESC, id DESC);
CREATE TABLE pictures (
  item_id INTEGER PRIMARY KEY,
  jpeg BLOB NOT NULL
);
)sql";

// The list columns, in the order ReadListColumns reads them.
#define QUOVIS_LIST_COLUMNS                                                                 \
    "id, owner, downloads, shared_at, title, keywords, version, author, location, preset, " \
    "width, height, audio, has_picture"

void ReadListColumns(const Statement& s, StoredItem* item) {
    item->id = static_cast<int32_t>(s.Int(0));
    item->owner = static_cast<int32_t>(s.Int(1));
    item->downloads = static_cast<int32_t>(s.Int(2));
    item->sharedAt = s.Int(3);
    item->title = s.Text(4);
    item->keywords = s.Text(5);
    item->version = s.Text(6);
    item->author = s.Text(7);
    item->location = s.Text(8);
    item->preset = s.Text(9);
    item->width = static_cast<int32_t>(s.Int(10));
    item->height = static_cast<int32_t>(s.Int(11));
    item->audio = static_cast<int32_t>(s.Int(12));
    item->hasPicture = s.Int(13) != 0;
}

// ---- SqliteStore ----------------------------------------------------------------------------

class SqliteStore final : public LibraryStore {
  public:
    explicit SqliteStore(sqlite3* db) : m_db(db) {}
    ~SqliteStore() override { sqlite3_close_v2(m_db); }

    StoreResult CreateAccount(Account* out) override {
        std::lock_guard lock(m_mutex);
        // A number already taken is drawn again; with two billion numbers the first draw
        // nearly always fits, so a long run of collisions means something else is wrong.
        for (int attempt = 0; attempt < 32; ++attempt) {
            if (!NewAccount(out)) return StoreResult::kFailed;
            Statement s(m_db,
                        "INSERT OR IGNORE INTO accounts (seq, key, created) VALUES (?, ?, ?)");
            s.Bind(out->seq).Bind(out->key).Bind(static_cast<int64_t>(std::time(nullptr)));
            if (!s.Run()) return StoreResult::kFailed;
            if (sqlite3_changes(m_db) == 1) return StoreResult::kOk;
        }
        return StoreResult::kFailed;
    }

    StoreResult AccountKey(int32_t seq, std::string* key) override {
        std::lock_guard lock(m_mutex);
        Statement s(m_db, "SELECT key FROM accounts WHERE seq = ?");
        s.Bind(seq);
        int rc = s.Step();
        if (rc == SQLITE_DONE) return StoreResult::kNotFound;
        if (rc != SQLITE_ROW) return StoreResult::kFailed;
        *key = s.Text(0);
        return StoreResult::kOk;
    }

    StoreResult AddItem(const StoredItem& item, std::string_view picture, int32_t* id) override {
        std::lock_guard lock(m_mutex);
        if (!Begin()) return StoreResult::kFailed;
        Statement s(m_db,
                    "INSERT INTO items (owner, title, keywords, version, author, location, "
                    "description, preset, drawing, search, shared_at, width, height, audio, "
                    "has_picture) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        bool hasPicture = !picture.empty();
        s.Bind(item.owner).Bind(item.title).Bind(item.keywords).Bind(item.version);
        s.Bind(item.author).Bind(item.location).Bind(item.description).Bind(item.preset);
        s.Bind(item.drawing).Bind(SearchTextOf(item));
        s.Bind(static_cast<int64_t>(std::time(nullptr)));
        s.Bind(hasPicture ? item.width : 0).Bind(hasPicture ? item.height : 0).Bind(item.audio);
        s.Bind(hasPicture ? 1 : 0);
        if (!s.Run()) return Rollback();
        int64_t newId = sqlite3_last_insert_rowid(m_db);
        if (hasPicture && !StorePicture(newId, picture)) return Rollback();
        if (!Commit()) return StoreResult::kFailed;
        *id = static_cast<int32_t>(newId);
        return StoreResult::kOk;
    }

    StoreResult UpdateItem(const StoredItem& item,
                           const std::optional<std::string>& picture) override {
        std::lock_guard lock(m_mutex);
        if (!Begin()) return StoreResult::kFailed;
        Statement s(m_db,
                    "UPDATE items SET title = ?, keywords = ?, version = ?, author = ?, "
                    "location = ?, description = ?, preset = ?, drawing = ?, search = ?, "
                    "audio = ? WHERE id = ?");
        s.Bind(item.title).Bind(item.keywords).Bind(item.version).Bind(item.author);
        s.Bind(item.location).Bind(item.description).Bind(item.preset).Bind(item.drawing);
        s.Bind(SearchTextOf(item)).Bind(item.audio).Bind(item.id);
        if (!s.Run()) return Rollback();
        if (sqlite3_changes(m_db) != 1) {
            Rollback();
            return StoreResult::kNotFound;
        }
        if (picture) {
            Statement size(m_db,
                           "UPDATE items SET width = ?, height = ?, has_picture = 1 WHERE id = ?");
            size.Bind(item.width).Bind(item.height).Bind(item.id);
            if (!size.Run() || !StorePicture(item.id, *picture)) return Rollback();
        }
        return Commit() ? StoreResult::kOk : StoreResult::kFailed;
    }

    StoreResult WithdrawItem(int32_t id) override {
        std::lock_guard lock(m_mutex);
        if (!Begin()) return StoreResult::kFailed;
        Statement item(m_db, "DELETE FROM items WHERE id = ?");
        item.Bind(id);
        if (!item.Run()) return Rollback();
        if (sqlite3_changes(m_db) != 1) {
            Rollback();
            return StoreResult::kNotFound;
        }
        Statement picture(m_db, "DELETE FROM pictures WHERE item_id = ?");
        picture.Bind(id);
        if (!picture.Run()) return Rollback();
        return Commit() ? StoreResult::kOk : StoreResult::kFailed;
    }

    StoreResult GetItem(int32_t id, StoredItem* out) override {
        std::lock_guard lock(m_mutex);
        Statement s(m_db,
                    "SELECT " QUOVIS_LIST_COLUMNS ", description, drawing FROM items WHERE id = ?");
        s.Bind(id);
        int rc = s.Step();
        if (rc == SQLITE_DONE) return StoreResult::kNotFound;
        if (rc != SQLITE_ROW) return StoreResult::kFailed;
        ReadListColumns(s, out);
        out->description = s.Text(14);
        out->drawing = s.Text(15);
        return StoreResult::kOk;
    }

    StoreResult ListItems(const ListQuery& query, std::vector<StoredItem>* out) override {
        std::lock_guard lock(m_mutex);
        const char* sql =
            query.order == ListOrder::kPopular
                ? "SELECT " QUOVIS_LIST_COLUMNS
                  " FROM items WHERE (?1 = 0 OR owner = ?1) AND (?2 = '' OR instr(search, ?2) > 0)"
                  " ORDER BY downloads DESC, shared_at DESC, id DESC LIMIT ?3"
                : "SELECT " QUOVIS_LIST_COLUMNS
                  " FROM items WHERE (?1 = 0 OR owner = ?1) AND (?2 = '' OR instr(search, ?2) > 0)"
                  " ORDER BY shared_at DESC, id DESC LIMIT ?3";
        Statement s(m_db, sql);
        s.Bind(query.owner).Bind(FoldForSearch(query.search)).Bind(query.limit);
        out->clear();
        int rc;
        while ((rc = s.Step()) == SQLITE_ROW) {
            ReadListColumns(s, &out->emplace_back());
        }
        return rc == SQLITE_DONE ? StoreResult::kOk : StoreResult::kFailed;
    }

    StoreResult FindOwnTitle(int32_t owner, std::string_view title, int32_t* id) override {
        std::lock_guard lock(m_mutex);
        Statement s(m_db, "SELECT id FROM items WHERE owner = ? AND title = ? ORDER BY id DESC");
        s.Bind(owner).Bind(title);
        int rc = s.Step();
        if (rc == SQLITE_DONE) return StoreResult::kNotFound;
        if (rc != SQLITE_ROW) return StoreResult::kFailed;
        *id = static_cast<int32_t>(s.Int(0));
        return StoreResult::kOk;
    }

    StoreResult CountDownload(int32_t id) override {
        std::lock_guard lock(m_mutex);
        Statement s(m_db, "UPDATE items SET downloads = downloads + 1 WHERE id = ?");
        s.Bind(id);
        if (!s.Run()) return StoreResult::kFailed;
        return sqlite3_changes(m_db) == 1 ? StoreResult::kOk : StoreResult::kNotFound;
    }

    StoreResult Picture(int32_t id, std::string* jpeg) override {
        std::lock_guard lock(m_mutex);
        Statement s(m_db, "SELECT jpeg FROM pictures WHERE item_id = ?");
        s.Bind(id);
        int rc = s.Step();
        if (rc == SQLITE_DONE) return StoreResult::kNotFound;
        if (rc != SQLITE_ROW) return StoreResult::kFailed;
        *jpeg = s.Blob(0);
        return StoreResult::kOk;
    }

  private:
    bool Exec(const char* sql) {
        return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    // IMMEDIATE: the write lock is taken at once, so two processes never both read and then
    // find they cannot write.
    bool Begin() { return Exec("BEGIN IMMEDIATE"); }
    bool Commit() {
        if (Exec("COMMIT")) return true;
        Exec("ROLLBACK");
        return false;
    }
    StoreResult Rollback() {
        Exec("ROLLBACK");
        return StoreResult::kFailed;
    }
    bool StorePicture(int64_t id, std::string_view jpeg) {
        Statement s(m_db, "INSERT OR REPLACE INTO pictures (item_id, jpeg) VALUES (?, ?)");
        s.Bind(id).BindBlob(jpeg);
        return s.Run();
    }

    sqlite3* m_db;
    std::mutex m_mutex;
};

bool PrepareSchema(sqlite3* db, std::string* error) {
    auto exec = [&](const char* sql) {
        char* message = nullptr;
        if (sqlite3_exec(db, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
        *error = message ? message : sqlite3_errmsg(db);
        sqlite3_free(message);
        return false;
    };
    if (!exec("PRAGMA journal_mode = WAL") || !exec("BEGIN IMMEDIATE")) return false;
    Statement version(db, "PRAGMA user_version");
    if (version.Step() != SQLITE_ROW) {
        *error = sqlite3_errmsg(db);
        exec("ROLLBACK");
        return false;
    }
    int64_t found = version.Int(0);
    if (found > kSchemaVersion) {
        *error = "the database was made by a newer version of the server (schema " +
                 std::to_string(found) + ")";
        exec("ROLLBACK");
        return false;
    }
    if (found == 0) {
        if (!exec(kCreateSchema) ||
            !exec(("PRAGMA user_version = " + std::to_string(kSchemaVersion)).c_str())) {
            exec("ROLLBACK");
            return false;
        }
    }
    return exec("COMMIT");
}

}  // namespace

std::unique_ptr<LibraryStore> OpenSqliteStore(const std::string& path, std::string* error) {
    std::filesystem::path file(path);
    if (file.has_parent_path()) {
        std::error_code ec;
        std::filesystem::create_directories(file.parent_path(), ec);
        if (ec) {
            *error =
                "cannot create the folder " + file.parent_path().string() + ": " + ec.message();
            return nullptr;
        }
    }
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                             nullptr);
    if (rc != SQLITE_OK) {
        *error = "cannot open " + path + ": " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
        sqlite3_close_v2(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, 5000);
    std::string why;
    if (!PrepareSchema(db, &why)) {
        *error = "cannot use " + path + ": " + why;
        sqlite3_close_v2(db);
        return nullptr;
    }
    return std::make_unique<SqliteStore>(db);
}

}  // namespace quovis::library_server
