// LibraryStore: where the preset library server keeps its accounts, shared items and their
// pictures. Two stores implement it: SQLite (one file, for a server that runs as one process
// on one machine) and PostgreSQL (for several server processes sharing one database).
//
// Every operation is safe to call from several threads at once. A store never pastes a
// caller's text into SQL: every value travels as a bound parameter. Failures of the database
// itself come back as StoreResult::kFailed (the server answers "busy"), never as exceptions.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quovis::library_server {

enum class StoreResult { kOk, kNotFound, kFailed };

struct Account {
    int32_t seq = 0;  // the public account number
    std::string key;  // the owner's secret, 32 lowercase hex digits
};

// One shared preset. Texts are UTF-8; the store does not interpret them.
struct StoredItem {
    int32_t id = 0;
    int32_t owner = 0;  // the account number of the one who shared it
    int32_t downloads = 0;
    int64_t sharedAt = 0;  // seconds since 1970, UTC
    std::string title, keywords, version, author, location, description, preset, drawing;
    int32_t width = 0, height = 0;  // of the picture, 0 x 0 without one
    int32_t audio = -1;
    bool hasPicture = false;
};

enum class ListOrder { kNewest, kPopular };

struct ListQuery {
    int32_t owner = 0;   // 0: every account's items
    std::string search;  // matched against title and keywords, case-insensitively; "" matches all
    ListOrder order = ListOrder::kNewest;
    int limit = 512;
};

class LibraryStore {
  public:
    virtual ~LibraryStore() = default;

    // A new account with a number no other account has and a fresh key.
    virtual StoreResult CreateAccount(Account* out) = 0;
    virtual StoreResult AccountKey(int32_t seq, std::string* key) = 0;

    // Adds an item (id, downloads and date are chosen here); `picture` empty means none.
    virtual StoreResult AddItem(const StoredItem& item, std::string_view picture, int32_t* id) = 0;
    // Replaces an item's information; its id, owner, downloads and date stay. The picture and
    // its size stay unless `picture` holds a new one.
    virtual StoreResult UpdateItem(const StoredItem& item,
                                   const std::optional<std::string>& picture) = 0;
    virtual StoreResult WithdrawItem(int32_t id) = 0;
    virtual StoreResult GetItem(int32_t id, StoredItem* out) = 0;
    // Items without their description and drawing (lists never carry those).
    virtual StoreResult ListItems(const ListQuery& query, std::vector<StoredItem>* out) = 0;
    // The newest item of `owner` titled exactly `title`.
    virtual StoreResult FindOwnTitle(int32_t owner, std::string_view title, int32_t* id) = 0;
    virtual StoreResult CountDownload(int32_t id) = 0;
    virtual StoreResult Picture(int32_t id, std::string* jpeg) = 0;
};

// "postgresql://..." or "postgres://..." opens PostgreSQL; anything else is a SQLite file,
// created with its folders when missing. Null with a readable `error` when it cannot open.
std::unique_ptr<LibraryStore> OpenStore(const std::string& database, std::string* error);
std::unique_ptr<LibraryStore> OpenSqliteStore(const std::string& path, std::string* error);
std::unique_ptr<LibraryStore> OpenPostgresStore(const std::string& url, std::string* error);

// ---- Shared by the stores ----------------------------------------------------------------

// A random account number in [1,000,000, 2^31-1] and a 128-bit key as 32 hex digits, both from
// the kernel's secure source. False when it fails (which it does not on a working system).
bool NewAccount(Account* out);
// Compares two keys in time that does not depend on where they differ.
bool KeysEqual(std::string_view a, std::string_view b);
// The text searches compare: lowercase for ASCII, Latin, Greek and Cyrillic letters, so that
// both stores match alike whatever their database's locale.
std::string FoldForSearch(std::string_view text);
// What an item is found by: its title and keywords, folded.
std::string SearchTextOf(const StoredItem& item);

}  // namespace quovis::library_server
