// The preset library's protocol: the requests (one POST each to "ShareQV.aspx"), the tagged
// answers, the items and lists they carry, and the texts the library pages and quovis-tool
// show about an item, so that both say exactly the same.
//
// Answers come from the network and are trusted for nothing: any text parses to some items
// or none, every field is cut to its width, a list keeps at most 512 items, and an item whose
// preset does not read is skipped.
//
// Index
//   Answers     GetTag, AnswerStatus, AnswerOk
//   Items       LibraryItem, LibraryList, ParseLibraryItem, ParseLibraryList
//   Requests    the query builders
//   Client      LibraryClient (server, options, store; owner requests carry the key)
//   Exchanges   FetchLibraryList, ItemNeedsDetails, FetchItemDetails, ApplyItemDetails,
//               CountDownload, ShareSlot, UpdateSharedSlot, WithdrawItem, FindSharedTitle,
//               FetchLibraryPicture
//   Texts       the details page's texts and the messages of the library pages
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "library/http_post.h"
#include "library/library_account.h"
#include "settings/pattern_slot.h"

namespace quovis {

class ConfigStore;

// ============================================================================================
// Answers
// ============================================================================================

// The value between the first "<name>" and the first "</name>" after it: its length, or 0
// when either tag is missing. Copies the value into *out when out is given (left untouched
// when 0 is returned).
std::size_t GetTag(std::u16string_view text, std::u16string_view name, std::u16string* out);

// The "status" value of an answer; empty when it has none.
std::u16string AnswerStatus(std::u16string_view answer);
// True for an answer whose status is "OK".
bool AnswerOk(std::u16string_view answer);

// ============================================================================================
// Items
// ============================================================================================

// Widths of the item texts, in UTF-16 units; longer values are cut.
inline constexpr std::size_t kItemTitleMax = 127;
inline constexpr std::size_t kItemAuthorMax = 255;
inline constexpr std::size_t kItemDateMax = 63;
inline constexpr std::size_t kItemVersionMax = 15;
// A list keeps at most this many items.
inline constexpr std::size_t kLibraryListMax = 512;
// The longest search text a "find=" request carries.
inline constexpr std::size_t kFindTextMax = 119;

// One shared preset. Shared between a list, the pages and the requests running for it.
struct LibraryItem {
    int32_t id = -1;        // -1: none
    int32_t owner = 0;      // account number of the user who shared it
    int32_t downloads = 0;  // the server's download count
    int32_t listRow = -2;   // row of the page's list; -2 when not shown
    std::u16string author;
    std::u16string title;
    std::u16string date;     // as the server writes it
    std::u16string version;  // program version that made it
    PatternSlot slot;        // preset (Origin 2), drawing, keywords, description, picture size
};
using LibraryItemRef = std::shared_ptr<LibraryItem>;

struct LibraryList {
    std::vector<LibraryItemRef> items;  // in the server's order, at most kLibraryListMax
};

// Fills the item and a new slot from the fields of one "<item>" block; fields the block lacks
// are left empty. The preset is read with the preset reader and marked received (Origin 2);
// a drawing "NAME,strokes" keeps the strokes; an empty author gives the preset's Author.
void ParseLibraryItem(LibraryItem& item, std::u16string_view block);

// Replaces the list with the items of a list answer, up to kLibraryListMax; items whose
// preset does not read are skipped.
void ParseLibraryList(LibraryList& list, std::u16string_view answer);

// ============================================================================================
// Requests (bodies of the POST)
// ============================================================================================

// Sort keys the server knows: 1 newest first, 3 most downloads first.
inline constexpr int kSortNewest = 1;
inline constexpr int kSortPopular = 3;

// "list=N&sort=S": every item (account 0) or account N's own items.
std::u16string ListQuery(int32_t account, int sort);
// "find=TEXT&sort=S", the text cut to kFindTextMax.
std::u16string FindQuery(std::u16string_view text, int sort);
std::u16string ItemQuery(int32_t id);                                   // "item=ID"
std::u16string SnatchQuery(int32_t id);                                 // "snatch=ID"
std::u16string DeleteQuery(int32_t id, int32_t account);                // "delete=ID&u=N"
std::u16string TitleQuery(std::u16string_view title, int32_t account);  // "title=T&u=N"
// The library form of the slot's preset, "[Seq]" = account: a share (with the JPEG when
// given) or, with a positive id, an update of that item (no picture). Empty when the slot's
// record is not valid.
std::u16string ShareText(const PatternSlot& slot, int32_t account, std::span<const uint8_t> jpeg);
// Width and height a JPEG declares in its frame header; nullopt when it is not a JPEG or
// declares none before its data.
std::optional<std::pair<int32_t, int32_t>> JpegPictureSize(std::span<const uint8_t> jpeg);
std::u16string UpdateText(const PatternSlot& slot, int32_t account, int32_t id);

// ============================================================================================
// Client
// ============================================================================================

// The server, the request options and the store an exchange uses. Cheap to copy, so an
// asynchronous request takes its own copy; the store must outlive every copy.
class LibraryClient {
  public:
    // server: nullopt takes the store's "LibraryServer".
    explicit LibraryClient(ConfigStore& store, HttpOptions options = {},
                           std::optional<std::u16string> server = std::nullopt);

    ConfigStore& Store() const { return *m_store; }
    const std::u16string& Server() const { return m_server; }
    std::string Base() const { return ResolveLibraryBase(m_server); }
    const HttpOptions& Options() const { return m_options; }
    void SetOptions(HttpOptions options) { m_options = std::move(options); }

    // One POST of `query` to the library page. nullopt without an answer.
    std::optional<std::u16string> Post(std::u16string_view query) const;
    // As the owner: the account is ensured first (EnsureLibraryAccount) and its key sent in
    // the header. nullopt without an account or an answer.
    std::optional<std::u16string> PostAsOwner(std::u16string_view query) const;
    // The account the owner requests use (asks the server once); nullopt when none is had.
    std::optional<LibraryAccount> Account() const;
    // The stored account for this server, without asking anyone.
    std::optional<LibraryAccount> KnownAccount() const;

    // The same on a thread of `requests`; `cancel` of the options is replaced by the owner's.
    void PostAsync(HttpRequests& requests, std::u16string query, HttpCallback done) const;
    void PostAsOwnerAsync(HttpRequests& requests, std::u16string query, HttpCallback done) const;
    // An owner request whose query needs the account number ("delete=ID&u=N"): the account
    // is ensured on the request's thread, then `build` makes the query.
    using OwnerQuery = std::function<std::u16string(int32_t account)>;
    void PostAsOwnerAsync(HttpRequests& requests, OwnerQuery build, HttpCallback done) const;

  private:
    ConfigStore* m_store;
    HttpOptions m_options;
    std::u16string m_server;
};

// ============================================================================================
// Exchanges
// ============================================================================================

// Sends a list query and parses the answer into `list` (emptied first). False when no answer
// came or its status is not "OK".
bool FetchLibraryList(LibraryList& list, std::u16string_view query, const LibraryClient& client);

// True when the item has no valid preset yet, or is a drawing-style preset without drawing.
bool ItemNeedsDetails(const LibraryItem& item);

// Parses the answer of "item=ID" into the item (asynchronous callers hand their answer here).
// False without an answer, for a status other than "OK", or when its item's preset does not
// read; the item is then left as it was.
bool ApplyItemDetails(LibraryItem& item, const std::optional<std::u16string>& answer);
// "item=ID" and ApplyItemDetails. False also for an item without id.
bool FetchItemDetails(LibraryItem& item, const LibraryClient& client);

// "snatch=ID": counts one download. True for an "OK" answer.
bool CountDownload(const LibraryItem& item, const LibraryClient& client);

// The outcome of an owner request: ok, the server's status text (or "" without an answer),
// and the id a share or look-up names (-1 when none).
struct LibraryResult {
    bool ok = false;
    bool answered = false;
    std::u16string status;
    int32_t id = -1;
};
// Shares the slot's preset (with the JPEG when given); the new id on success.
LibraryResult ShareSlot(const PatternSlot& slot, std::span<const uint8_t> jpeg,
                        const LibraryClient& client);
// Updates the information of shared item `id` from the slot (the picture is kept).
LibraryResult UpdateSharedSlot(const PatternSlot& slot, int32_t id, const LibraryClient& client);
// Withdraws item `id`.
LibraryResult WithdrawItem(int32_t id, const LibraryClient& client);
// The id of the user's own shared item with this title, when there is one.
LibraryResult FindSharedTitle(std::u16string_view title, const LibraryClient& client);
// Reads the answer of a share, an update, a withdrawal or a title look-up.
LibraryResult ReadLibraryResult(const std::optional<std::u16string>& answer);

// The item's picture (a JPEG), nullopt when it has none or it cannot be had.
std::optional<std::vector<uint8_t>> FetchLibraryPicture(int32_t id, const LibraryClient& client);

// ============================================================================================
// Texts
// ============================================================================================

// How the item relates to the user.
enum class ItemRelation { Own, InFavorites, Others };
// Own when its owner is the user's account; InFavorites when its preset is among the
// favorites (FindFavorite); Others otherwise.
ItemRelation RelateItem(ConfigStore& store, const LibraryItem& item,
                        std::optional<int32_t> account);

std::u16string SharingSinceText(const LibraryItem& item);  // "Sharing since: DATE"
std::u16string DownloadsText(const LibraryItem& item);     // "Downloads: N"
// The details page's note: the own, in-favorites or others text, with the newer-version note
// appended when the item's version text compares greater than `programVersion`.
std::u16string ItemNoteText(const LibraryItem& item, ItemRelation relation,
                            std::u16string_view programVersion);
// True when `itemVersion` compares greater than `programVersion`, character by character.
bool MadeWithNewerVersion(std::u16string_view itemVersion, std::u16string_view programVersion);
// "Do you wish to add "TITLE" to your Favorites?"
std::u16string AddQuestionText(const LibraryItem& item);

inline constexpr std::u16string_view kNewerVersionNote =
    u"  This pattern was created with a newer version of Quovis!";
inline constexpr std::u16string_view kAddCaption = u"Add a Favorite";
inline constexpr std::u16string_view kUpdatedText =
    u"You are currently sharing this favorite!  You have recently updated information for it.";
inline constexpr std::u16string_view kUpdateFailedText =
    u"Problem updating Shared Library.  Check internet connection or try again later.";
inline constexpr std::u16string_view kUpdateFailedCaption = u"Oops!";
inline constexpr std::u16string_view kWithdrawQuestion =
    u"Are you sure you want to remove this shared favorite from the Ravar Idizovu?";
inline constexpr std::u16string_view kWithdrawCaption = u"Really?";
inline constexpr std::u16string_view kWithdrawnText = u"This setting is no longer being shared.";

}  // namespace quovis
