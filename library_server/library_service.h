// LibraryService: the library's requests and answers, with no HTTP in it. The front end hands
// over the body of a POST and the value of the X-Quovis-Key header; the service answers with
// an HTTP status and the tagged text the client reads.
//
// Requests (the body, UTF-8):
//   account=new                      a new account: <seq> and <key>
//   list=0&sort=S / list=N&sort=S    every item / account N's items
//   find=TEXT&sort=S                 items whose title or keywords hold TEXT (TEXT runs to the
//                                    last "&sort=")
//   item=ID                          one item with its description and drawing
//   snatch=ID                        counts one download
//   delete=ID&u=N          (+ key)   withdraws account N's item
//   title=TEXT&u=N         (+ key)   the id of account N's item titled TEXT
//   [Quovis Settings]...   (+ key)   the library form: a new item, or with [ID] an update
// Sort 3 lists the most downloaded first, any other sort the newest first.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "library_server/library_store.h"

namespace quovis::library_server {

struct Answer {
    int status = 200;
    std::string body;
};

// The limits a request must keep. Texts are counted in characters except the four long ones,
// which are counted in bytes of UTF-8: then a whole item, with every field at its limit, still
// fits in one answer the client reads whole.
struct Limits {
    static constexpr size_t kBody = 1024 * 1024;
    static constexpr size_t kPicture = 512 * 1024;
    static constexpr size_t kTitle = 127;
    static constexpr size_t kAuthor = 255;
    static constexpr size_t kLocation = 255;
    static constexpr size_t kVersion = 15;
    static constexpr size_t kKeywords = 4000;
    static constexpr size_t kDescription = 4000;
    static constexpr size_t kPreset = 8000;
    static constexpr size_t kDrawing = 100000;
    static constexpr size_t kSearch = 1000;
    static constexpr int kListItems = 512;
    static constexpr size_t kListBytes = 120000;
};

class LibraryService {
  public:
    explicit LibraryService(LibraryStore& store) : m_store(store) {}

    Answer Handle(std::string_view body, std::string_view key);
    // The JPEG of an item: 200 with the bytes in `body`, or 404 / 503 with a status text.
    Answer Picture(int32_t id);

  private:
    Answer Share(std::string_view form, std::string_view key);
    Answer List(int32_t owner, std::string_view search, std::string_view sort);
    Answer Item(int32_t id);
    Answer Snatch(int32_t id);
    Answer Withdraw(int32_t id, int32_t owner, std::string_view key);
    Answer LookUpTitle(std::string_view title, int32_t owner, std::string_view key);
    // Empty when `key` is the key of `account`, else the 403 (or 503) answer.
    std::optional<Answer> CheckOwner(int32_t account, std::string_view key);

    LibraryStore& m_store;
};

// The item's tags as a list shows them, or with `details` every field.
std::string ItemTags(const StoredItem& item, bool details);

}  // namespace quovis::library_server
