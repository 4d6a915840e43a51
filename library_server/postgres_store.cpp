// The PostgreSQL store, for a library that several server processes (on one or more machines)
// serve from one database. Nothing is counted inside a process: ids come from the table's
// identity sequence, downloads are counted by the database, and an account number is unique
// by the primary key, drawn again when another process took it first.
//
// Each process keeps a small pool of connections (a libpq connection serves one thread at a
// time); a connection that broke is dropped and the next request opens a fresh one.
//
// Index
//   Connection pool
//   Query          parameters as text (pictures as binary), results as text
//   Schema         created when missing, under an advisory lock so that processes starting
//                  together do not race
//   PostgresStore  the operations
#include <libpq-fe.h>

#include <charconv>
#include <ctime>
#include <mutex>
#include <vector>

#include "library_server/library_store.h"

namespace quovis::library_server {

namespace {

// ---- Connection pool ------------------------------------------------------------------------

class ConnectionPool {
  public:
    explicit ConnectionPool(std::string url) : m_url(std::move(url)) {}
    ~ConnectionPool() {
        for (PGconn* c : m_idle) PQfinish(c);
    }

    // A working connection, or null with the reason in `error`.
    PGconn* Take(std::string* error = nullptr) {
        {
            std::lock_guard lock(m_mutex);
            while (!m_idle.empty()) {
                PGconn* c = m_idle.back();
                m_idle.pop_back();
                if (PQstatus(c) == CONNECTION_OK) return c;
                PQfinish(c);
            }
        }
        PGconn* c = PQconnectdb(m_url.c_str());
        if (PQstatus(c) != CONNECTION_OK) {
            if (error) *error = PQerrorMessage(c);
            PQfinish(c);
            return nullptr;
        }
        // Notices ("already exists, skipping" when a second process starts) are no news.
        PQsetNoticeProcessor(
            c, [](void*, const char*) {}, nullptr);
        return c;
    }
    void Give(PGconn* c) {
        if (PQstatus(c) != CONNECTION_OK || PQtransactionStatus(c) != PQTRANS_IDLE) {
            PQfinish(c);
            return;
        }
        std::lock_guard lock(m_mutex);
        m_idle.push_back(c);
    }

  private:
    std::string m_url;
    std::mutex m_mutex;
    std::vector<PGconn*> m_idle;
};

// A connection taken from the pool for one operation.
class Lease {
  public:
    explicit Lease(ConnectionPool& pool) : m_pool(pool), m_conn(pool.Take()) {}
    ~Lease() {
        if (m_conn) m_pool.Give(m_conn);
    }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    PGconn* get() const { return m_conn; }
    explicit operator bool() const { return m_conn != nullptr; }

  private:
    ConnectionPool& m_pool;
    PGconn* m_conn;
};

// ---- Query ----------------------------------------------------------------------------------

// One parameterised statement's result. Every parameter is sent as text except those marked
// binary (bytea).
class Query {
  public:
    struct Param {
        std::string value;
        bool binary = false;
    };
    Query(PGconn* conn, const char* sql, const std::vector<Param>& params,
          bool binaryResult = false) {
        std::vector<const char*> values;
        std::vector<int> lengths, formats;
        for (const Param& p : params) {
            values.push_back(p.value.data());
            lengths.push_back(static_cast<int>(p.value.size()));
            formats.push_back(p.binary ? 1 : 0);
        }
        m_result = PQexecParams(conn, sql, static_cast<int>(params.size()), nullptr, values.data(),
                                lengths.data(), formats.data(), binaryResult ? 1 : 0);
    }
    ~Query() { PQclear(m_result); }
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    bool Ok() const {
        ExecStatusType s = PQresultStatus(m_result);
        return s == PGRES_COMMAND_OK || s == PGRES_TUPLES_OK;
    }
    int Rows() const { return PQntuples(m_result); }
    int Changed() const {
        const char* n = PQcmdTuples(m_result);
        return (n && *n) ? std::atoi(n) : 0;
    }
    std::string Text(int row, int column) const {
        return std::string(PQgetvalue(m_result, row, column),
                           static_cast<size_t>(PQgetlength(m_result, row, column)));
    }
    int64_t Int(int row, int column) const {
        int64_t v = 0;
        const char* p = PQgetvalue(m_result, row, column);
        std::from_chars(p, p + PQgetlength(m_result, row, column), v);
        return v;
    }

  private:
    PGresult* m_result = nullptr;
};

Query::Param P(int64_t v) {
    return {std::to_string(v)};
}
Query::Param P(std::string_view v) {
    return {std::string(v)};
}

bool Exec(PGconn* conn, const char* sql) {
    PGresult* r = PQexec(conn, sql);
    bool ok = PQresultStatus(r) == PGRES_COMMAND_OK || PQresultStatus(r) == PGRES_TUPLES_OK;
    PQclear(r);
    return ok;
}

// ---- Schema ---------------------------------------------------------------------------------

// Any fixed number: the processes of one library agree on it.
constexpr const char* kCreateSchema = R"sql(
BEGIN;
SELECT pg_advisory_xact_lock(517240331);
CREATE TABLE IF NOT EXISTS accounts (
  seq integer PRIMARY KEY,
  key text NOT NULL,
  created bigint NOT NULL
);
CREATE TABLE IF NOT EXISTS items (
  id integer GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,
  owner integer NOT NULL,
  title text NOT NULL,
  keywords text NOT NULL,
  version text NOT NULL,
  author text NOT NULL,
  location text NOT NULL,
  description text NOT NULL,
  preset text NOT NULL,
  drawing text NOT NULL,
  search text NOT NULL,
  shared_at bigint NOT NULL,
  downloads integer NOT NULL DEFAULT 0,
  width integer NOT NULL,
  height integer NOT NULL,
  audio integer NOT NULL,
  has_picture boolean NOT NULL
);
CREATE INDEX IF NOT EXISTS items_by_owner ON items (owner, title);
CREATE INDEX IF NOT EXISTS items_newest ON items (shared_at DESC, id DESC);
CREATE INDEX IF NOT EXISTS items_popular ON items (downloads DESC, shared_at DESC, id DESC);
CREATE TABLE IF NOT EXISTS pictures (
  item_id integer PRIMARY KEY REFERENCES items (id) ON DELETE CASCADE,
  jpeg bytea NOT NULL
);
COMMIT;
)sql";

#define QUOVIS_LIST_COLUMNS                                                                 \
    "id, owner, downloads, shared_at, title, keywords, version, author, location, preset, " \
    "width, height, audio, has_picture"

void ReadListColumns(const Query& q, int row, StoredItem* item) {
    item->id = static_cast<int32_t>(q.Int(row, 0));
    item->owner = static_cast<int32_t>(q.Int(row, 1));
    item->downloads = static_cast<int32_t>(q.Int(row, 2));
    item->sharedAt = q.Int(row, 3);
    item->title = q.Text(row, 4);
    item->keywords = q.Text(row, 5);
    item->version = q.Text(row, 6);
    item->author = q.Text(row, 7);
    item->location = q.Text(row, 8);
    item->preset = q.Text(row, 9);
    item->width = static_cast<int32_t>(q.Int(row, 10));
    item->height = static_cast<int32_t>(q.Int(row, 11));
    item->audio = static_cast<int32_t>(q.Int(row, 12));
    item->hasPicture = q.Text(row, 13) == "t";
}

// ---- PostgresStore --------------------------------------------------------------------------

class PostgresStore final : public LibraryStore {
  public:
    explicit PostgresStore(std::string url) : m_pool(std::move(url)) {}

    bool Prepare(std::string* error) {
        PGconn* c = m_pool.Take(error);
        if (!c) return false;
        bool ok = Exec(c, kCreateSchema);
        if (!ok) {
            *error = PQerrorMessage(c);
            Exec(c, "ROLLBACK");
        }
        m_pool.Give(c);
        return ok;
    }

    StoreResult CreateAccount(Account* out) override {
        Lease c(m_pool);
        if (!c) return StoreResult::kFailed;
        // Another process may draw the same number at the same moment: the primary key
        // decides, and the loser draws again.
        for (int attempt = 0; attempt < 32; ++attempt) {
            if (!NewAccount(out)) return StoreResult::kFailed;
            Query q(c.get(),
                    "INSERT INTO accounts (seq, key, created) VALUES ($1, $2, $3) "
                    "ON CONFLICT (seq) DO NOTHING",
                    {P(out->seq), P(out->key), P(std::time(nullptr))});
            if (!q.Ok()) return StoreResult::kFailed;
            if (q.Changed() == 1) return StoreResult::kOk;
        }
        return StoreResult::kFailed;
    }

    StoreResult AccountKey(int32_t seq, std::string* key) override {
        Lease c(m_pool);
        if (!c) return StoreResult::kFailed;
        Query q(c.get(), "SELECT key FROM accounts WHERE seq = $1", {P(seq)});
        if (!q.Ok()) return StoreResult::kFailed;
        if (q.Rows() == 0) return StoreResult::kNotFound;
        *key = q.Text(0, 0);
        return StoreResult::kOk;
    }

    StoreResult AddItem(const StoredItem& item, std::string_view picture, int32_t* id) override {
        Lease c(m_pool);
        if (!c || !Exec(c.get(), "BEGIN")) return StoreResult::kFailed;
        bool hasPicture = !picture.empty();
        Query q(c.get(),
                "INSERT INTO items (owner, title, keywords, version, author, location, "
                "description, preset, drawing, search, shared_at, width, height, audio, "
                "has_picture) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, "
                "$14, $15) RETURNING id",
                {P(item.owner), P(item.title), P(item.keywords), P(item.version), P(item.author),
                 P(item.location), P(item.description), P(item.preset), P(item.drawing),
                 P(SearchTextOf(item)), P(std::time(nullptr)), P(hasPicture ? item.width : 0),
                 P(hasPicture ? item.height : 0), P(item.audio), P(hasPicture ? "t" : "f")});
        if (!q.Ok() || q.Rows() != 1) return Rollback(c.get());
        int32_t newId = static_cast<int32_t>(q.Int(0, 0));
        if (hasPicture && !StorePicture(c.get(), newId, picture)) return Rollback(c.get());
        if (!Exec(c.get(), "COMMIT")) return StoreResult::kFailed;
        *id = newId;
        return StoreResult::kOk;
    }

    StoreResult UpdateItem(const StoredItem& item,
                           const std::optional<std::string>& picture) override {
        Lease c(m_pool);
        if (!c || !Exec(c.get(), "BEGIN")) return StoreResult::kFailed;
        Query q(c.get(),
                "UPDATE items SET title = $1, keywords = $2, version = $3, author = $4, "
                "location = $5, description = $6, preset = $7, drawing = $8, search = $9, "
                "audio = $10 WHERE id = $11",
                {P(item.title), P(item.keywords), P(item.version), P(item.author), P(item.location),
                 P(item.description), P(item.preset), P(item.drawing), P(SearchTextOf(item)),
                 P(item.audio), P(item.id)});
        if (!q.Ok()) return Rollback(c.get());
        if (q.Changed() != 1) {
            Rollback(c.get());
            return StoreResult::kNotFound;
        }
        if (picture) {
            Query size(c.get(),
                       "UPDATE items SET width = $1, height = $2, has_picture = true WHERE id = $3",
                       {P(item.width), P(item.height), P(item.id)});
            if (!size.Ok() || !StorePicture(c.get(), item.id, *picture)) return Rollback(c.get());
        }
        return Exec(c.get(), "COMMIT") ? StoreResult::kOk : StoreResult::kFailed;
    }

    StoreResult WithdrawItem(int32_t id) override {
        // The picture goes with the item (ON DELETE CASCADE), in the same statement.
        return Change("DELETE FROM items WHERE id = $1", id);
    }

    StoreResult GetItem(int32_t id, StoredItem* out) override {
        Lease c(m_pool);
        if (!c) return StoreResult::kFailed;
        Query q(c.get(),
                "SELECT " QUOVIS_LIST_COLUMNS ", description, drawing FROM items WHERE id = $1",
                {P(id)});
        if (!q.Ok()) return StoreResult::kFailed;
        if (q.Rows() == 0) return StoreResult::kNotFound;
        ReadListColumns(q, 0, out);
        out->description = q.Text(0, 14);
        out->drawing = q.Text(0, 15);
        return StoreResult::kOk;
    }

    StoreResult ListItems(const ListQuery& query, std::vector<StoredItem>* out) override {
        Lease c(m_pool);
        if (!c) return StoreResult::kFailed;
        const char* sql =
            query.order == ListOrder::kPopular
                ? "SELECT " QUOVIS_LIST_COLUMNS
                  " FROM items WHERE ($1 = 0 OR owner = $1) AND ($2 = '' OR strpos(search, $2) > 0)"
                  " ORDER BY downloads DESC, shared_at DESC, id DESC LIMIT $3"
                : "SELECT " QUOVIS_LIST_COLUMNS
                  " FROM items WHERE ($1 = 0 OR owner = $1) AND ($2 = '' OR strpos(search, $2) > 0)"
                  " ORDER BY shared_at DESC, id DESC LIMIT $3";
        Query q(c.get(), sql, {P(query.owner), P(FoldForSearch(query.search)), P(query.limit)});
        if (!q.Ok()) return StoreResult::kFailed;
        out->clear();
        for (int row = 0; row < q.Rows(); ++row) ReadListColumns(q, row, &out->emplace_back());
        return StoreResult::kOk;
    }

    StoreResult FindOwnTitle(int32_t owner, std::string_view title, int32_t* id) override {
        Lease c(m_pool);
        if (!c) return StoreResult::kFailed;
        Query q(c.get(),
                "SELECT id FROM items WHERE owner = $1 AND title = $2 ORDER BY id DESC LIMIT 1",
                {P(owner), P(title)});
        if (!q.Ok()) return StoreResult::kFailed;
        if (q.Rows() == 0) return StoreResult::kNotFound;
        *id = static_cast<int32_t>(q.Int(0, 0));
        return StoreResult::kOk;
    }

    StoreResult CountDownload(int32_t id) override {
        return Change("UPDATE items SET downloads = downloads + 1 WHERE id = $1", id);
    }

    StoreResult Picture(int32_t id, std::string* jpeg) override {
        Lease c(m_pool);
        if (!c) return StoreResult::kFailed;
        // Binary result: the bytes as they are, not bytea's hex text.
        Query q(c.get(), "SELECT jpeg FROM pictures WHERE item_id = $1", {P(id)}, true);
        if (!q.Ok()) return StoreResult::kFailed;
        if (q.Rows() == 0) return StoreResult::kNotFound;
        *jpeg = q.Text(0, 0);
        return StoreResult::kOk;
    }

  private:
    // One statement on one item by id: kNotFound when it touched no row.
    StoreResult Change(const char* sql, int32_t id) {
        Lease c(m_pool);
        if (!c) return StoreResult::kFailed;
        Query q(c.get(), sql, {P(id)});
        if (!q.Ok()) return StoreResult::kFailed;
        return q.Changed() == 1 ? StoreResult::kOk : StoreResult::kNotFound;
    }
    static StoreResult Rollback(PGconn* c) {
        Exec(c, "ROLLBACK");
        return StoreResult::kFailed;
    }
    static bool StorePicture(PGconn* c, int32_t id, std::string_view jpeg) {
        Query q(c,
                "INSERT INTO pictures (item_id, jpeg) VALUES ($1, $2) "
                "ON CONFLICT (item_id) DO UPDATE SET jpeg = EXCLUDED.jpeg",
                {P(id), {std::string(jpeg), true}});
        return q.Ok();
    }

    ConnectionPool m_pool;
};

}  // namespace

std::unique_ptr<LibraryStore> OpenPostgresStore(const std::string& url, std::string* error) {
    auto store = std::make_unique<PostgresStore>(url);
    std::string why;
    if (!store->Prepare(&why)) {
        while (!why.empty() && (why.back() == '\n' || why.back() == ' ')) why.pop_back();
        *error = "cannot use the PostgreSQL database: " + why;
        return nullptr;
    }
    return store;
}

}  // namespace quovis::library_server
