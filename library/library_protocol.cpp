#include "library/library_protocol.h"

#include <algorithm>
#include <string>

#include "engine/vocabulary.h"
#include "settings/favorites.h"
#include "settings/preset_record.h"
#include "settings/settings_file.h"

namespace quovis {

namespace {

// The most a picture may have; the server keeps none larger.
constexpr std::size_t kPictureLimit = 512 * 1024;

std::u16string Number(int64_t n) {
    const std::string digits = std::to_string(n);
    return std::u16string(digits.begin(), digits.end());
}

std::u16string Cut(std::u16string text, std::size_t max) {
    if (text.size() > max) text.resize(max);
    return text;
}

std::u16string TagOrEmpty(std::u16string_view text, std::u16string_view name) {
    std::u16string value;
    GetTag(text, name, &value);
    return value;
}

int32_t TagNumber(std::u16string_view text, std::u16string_view name, int32_t fallback) {
    std::u16string value;
    if (GetTag(text, name, &value) == 0) return fallback;
    return PresetTokenToInt(value);
}

// The stroke list of a "drawing" value: a leading "NAME," is the preset's name and goes.
std::u16string StrokesOf(std::u16string_view drawing, const std::u16string& name) {
    if (name.empty()) return std::u16string(drawing);
    for (const std::u16string& prefix : {name, EscapePresetName(name)}) {
        if (drawing.size() > prefix.size() && drawing.starts_with(prefix) &&
            drawing[prefix.size()] == u',') {
            return std::u16string(drawing.substr(prefix.size() + 1));
        }
    }
    return std::u16string(drawing);
}

// "%s" placeholders filled in order.
std::u16string Format(std::u16string_view pattern,
                      std::initializer_list<std::u16string_view> args) {
    std::u16string out;
    auto next = args.begin();
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == u'%' && i + 1 < pattern.size() && pattern[i + 1] == u's' &&
            next != args.end()) {
            out.append(*next++);
            ++i;
        } else {
            out.push_back(pattern[i]);
        }
    }
    return out;
}

}  // namespace

// ============================================================================================
// Answers
// ============================================================================================

std::size_t GetTag(std::u16string_view text, std::u16string_view name, std::u16string* out) {
    const std::u16string open = u"<" + std::u16string(name) + u">";
    const std::u16string close = u"</" + std::u16string(name) + u">";
    const std::size_t start = text.find(open);
    if (start == std::u16string_view::npos) return 0;
    const std::size_t valueStart = start + open.size();
    const std::size_t end = text.find(close, valueStart);
    if (end == std::u16string_view::npos) return 0;
    const std::size_t length = end - valueStart;
    if (out != nullptr && length > 0) out->assign(text.substr(valueStart, length));
    return length;
}

std::u16string AnswerStatus(std::u16string_view answer) {
    return TagOrEmpty(answer, u"status");
}

bool AnswerOk(std::u16string_view answer) {
    return AnswerStatus(answer) == u"OK";
}

// ============================================================================================
// Items
// ============================================================================================

void ParseLibraryItem(LibraryItem& item, std::u16string_view block) {
    LibraryItem parsed;
    parsed.listRow = item.listRow;
    parsed.id = TagNumber(block, u"id", -1);
    parsed.owner = TagNumber(block, u"seq", 0);
    parsed.downloads = TagNumber(block, u"snatches", 0);
    parsed.title = Cut(TagOrEmpty(block, u"title"), kItemTitleMax);
    parsed.version = Cut(TagOrEmpty(block, u"version"), kItemVersionMax);
    parsed.date = Cut(TagOrEmpty(block, u"date"), kItemDateMax);
    parsed.author = Cut(TagOrEmpty(block, u"author"), kItemAuthorMax);

    PatternSlot& slot = parsed.slot;
    slot.keywords = TagOrEmpty(block, u"keywords");
    std::u16string desc;
    if (GetTag(block, u"desc", &desc) > 0) slot.description = std::move(desc);
    slot.audio = TagNumber(block, u"audio", -1);
    std::u16string size;
    if (GetTag(block, u"size", &size) > 0) {
        std::u16string_view rest = size;
        const std::size_t x = rest.find(u'x');
        if (x != std::u16string_view::npos) {
            slot.pictureWidth = std::max(0, PresetTokenToInt(rest.substr(0, x)));
            slot.pictureHeight = std::max(0, PresetTokenToInt(rest.substr(x + 1)));
        }
    }
    std::u16string preset;
    GetTag(block, u"preset", &preset);
    if (ReadPresetString(preset, slot.record)) slot.record.Origin = 2;
    std::u16string drawing;
    if (GetTag(block, u"drawing", &drawing) > 0) {
        slot.drawing = StrokesOf(drawing, slot.record.Name);
    }
    slot.libraryId = parsed.id;
    if (parsed.author.empty()) {
        parsed.author = slot.record.Author == u"-" ? std::u16string(kMakerAuthor)
                                                   : Cut(slot.record.Author, kItemAuthorMax);
    }
    item = std::move(parsed);
}

void ParseLibraryList(LibraryList& list, std::u16string_view answer) {
    list.items.clear();
    std::size_t pos = 0;
    while (list.items.size() < kLibraryListMax) {
        const std::size_t open = answer.find(u"<item>", pos);
        if (open == std::u16string_view::npos) break;
        const std::size_t start = open + 6;
        const std::size_t close = answer.find(u"</item>", start);
        if (close == std::u16string_view::npos) break;
        auto item = std::make_shared<LibraryItem>();
        ParseLibraryItem(*item, answer.substr(start, close - start));
        if (item->slot.record.Valid != 0) list.items.push_back(std::move(item));
        pos = close + 7;
    }
}

// ============================================================================================
// Requests
// ============================================================================================

std::u16string ListQuery(int32_t account, int sort) {
    return u"list=" + Number(account) + u"&sort=" + Number(sort);
}

std::u16string FindQuery(std::u16string_view text, int sort) {
    return u"find=" + std::u16string(text.substr(0, kFindTextMax)) + u"&sort=" + Number(sort);
}

std::u16string ItemQuery(int32_t id) {
    return u"item=" + Number(id);
}

std::u16string SnatchQuery(int32_t id) {
    return u"snatch=" + Number(id);
}

std::u16string DeleteQuery(int32_t id, int32_t account) {
    return u"delete=" + Number(id) + u"&u=" + Number(account);
}

std::u16string TitleQuery(std::u16string_view title, int32_t account) {
    return u"title=" + std::u16string(title) + u"&u=" + Number(account);
}

std::optional<std::pair<int32_t, int32_t>> JpegPictureSize(std::span<const uint8_t> jpeg) {
    if (jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) return std::nullopt;
    std::size_t at = 2;
    while (at + 4 <= jpeg.size()) {
        if (jpeg[at] != 0xFF) return std::nullopt;
        const uint8_t marker = jpeg[at + 1];
        if (marker == 0xFF) {  // fill byte before a marker
            ++at;
            continue;
        }
        if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            at += 2;  // markers without a length
            continue;
        }
        const std::size_t length = (std::size_t{jpeg[at + 2]} << 8) | jpeg[at + 3];
        if (length < 2) return std::nullopt;
        // Start-of-frame markers carry the size; C4 (tables), C8 and CC (arithmetic
        // coding conditions) share the range but do not.
        const bool frame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            if (at + 9 > jpeg.size() || length < 7) return std::nullopt;
            const int32_t height = (jpeg[at + 5] << 8) | jpeg[at + 6];
            const int32_t width = (jpeg[at + 7] << 8) | jpeg[at + 8];
            if (width <= 0 || height <= 0) return std::nullopt;
            return std::pair{width, height};
        }
        if (marker == 0xD9 || marker == 0xDA) return std::nullopt;  // no frame before the data
        at += 2 + length;
    }
    return std::nullopt;
}

std::u16string ShareText(const PatternSlot& slot, int32_t account, std::span<const uint8_t> jpeg) {
    // The item's "size" comes from what the form says; a caller that attaches a picture without
    // saying its size (a file from disk) gets the size the JPEG itself declares.
    if (!jpeg.empty() && (slot.pictureWidth <= 0 || slot.pictureHeight <= 0)) {
        if (const auto size = JpegPictureSize(jpeg)) {
            PatternSlot sized = slot;
            sized.pictureWidth = size->first;
            sized.pictureHeight = size->second;
            return BuildSettingsText(sized, true, account, jpeg, 0);
        }
    }
    return BuildSettingsText(slot, true, account, jpeg, 0);
}

std::u16string UpdateText(const PatternSlot& slot, int32_t account, int32_t id) {
    return BuildSettingsText(slot, true, account, {}, id);
}

// ============================================================================================
// Client
// ============================================================================================

LibraryClient::LibraryClient(ConfigStore& store, HttpOptions options,
                             std::optional<std::u16string> server)
    : m_store(&store),
      m_options(std::move(options)),
      m_server(server ? std::move(*server) : ConfiguredLibraryServer(store)) {}

std::optional<std::u16string> LibraryClient::Post(std::u16string_view query) const {
    HttpOptions plain = m_options;
    plain.ownerKey.clear();
    return HttpPost(m_server, kLibraryPage, query, false, plain);
}

std::optional<std::u16string> LibraryClient::PostAsOwner(std::u16string_view query) const {
    const std::optional<LibraryAccount> account = Account();
    if (!account) return std::nullopt;
    HttpOptions owner = m_options;
    owner.ownerKey = account->key;
    return HttpPost(m_server, kLibraryPage, query, false, owner);
}

std::optional<LibraryAccount> LibraryClient::Account() const {
    return EnsureLibraryAccount(*m_store, m_server, m_options);
}

std::optional<LibraryAccount> LibraryClient::KnownAccount() const {
    return StoredLibraryAccount(*m_store, Base());
}

void LibraryClient::PostAsync(HttpRequests& requests, std::u16string query,
                              HttpCallback done) const {
    requests.Start(
        [client = *this, query = std::move(query)](std::atomic<bool>* cancel) mutable {
            client.m_options.cancel = cancel;
            return client.Post(query);
        },
        std::move(done));
}

void LibraryClient::PostAsOwnerAsync(HttpRequests& requests, std::u16string query,
                                     HttpCallback done) const {
    PostAsOwnerAsync(
        requests, [query = std::move(query)](int32_t) { return query; }, std::move(done));
}

void LibraryClient::PostAsOwnerAsync(HttpRequests& requests, OwnerQuery build,
                                     HttpCallback done) const {
    requests.Start(
        [client = *this, build = std::move(build)](
            std::atomic<bool>* cancel) mutable -> std::optional<std::u16string> {
            client.m_options.cancel = cancel;
            const std::optional<LibraryAccount> account = client.Account();
            if (!account) return std::nullopt;
            return client.PostAsOwner(build(account->number));
        },
        std::move(done));
}

// ============================================================================================
// Exchanges
// ============================================================================================

bool FetchLibraryList(LibraryList& list, std::u16string_view query, const LibraryClient& client) {
    list.items.clear();
    const std::optional<std::u16string> answer = client.Post(query);
    if (!answer || !AnswerOk(*answer)) return false;
    ParseLibraryList(list, *answer);
    return true;
}

bool ItemNeedsDetails(const LibraryItem& item) {
    const PresetRecord& record = item.slot.record;
    return record.Valid == 0 || (record.Style == kStyleDraw && !item.slot.drawing);
}

bool ApplyItemDetails(LibraryItem& item, const std::optional<std::u16string>& answer) {
    if (!answer || !AnswerOk(*answer)) return false;
    std::u16string block;
    if (GetTag(*answer, u"item", &block) == 0) return false;
    LibraryItem parsed;
    parsed.listRow = item.listRow;
    ParseLibraryItem(parsed, block);
    if (parsed.slot.record.Valid == 0) return false;
    if (parsed.id == -1) {
        parsed.id = item.id;
        parsed.slot.libraryId = item.id;
    }
    item = std::move(parsed);
    return true;
}

bool FetchItemDetails(LibraryItem& item, const LibraryClient& client) {
    if (item.id == -1) return false;
    return ApplyItemDetails(item, client.Post(ItemQuery(item.id)));
}

bool CountDownload(const LibraryItem& item, const LibraryClient& client) {
    if (item.id == -1) return false;
    const std::optional<std::u16string> answer = client.Post(SnatchQuery(item.id));
    return answer && AnswerOk(*answer);
}

LibraryResult ReadLibraryResult(const std::optional<std::u16string>& answer) {
    LibraryResult result;
    if (!answer) return result;
    result.answered = true;
    result.status = AnswerStatus(*answer);
    result.ok = result.status == u"OK";
    std::u16string id;
    if (GetTag(*answer, u"id", &id) > 0) {
        const int32_t n = PresetTokenToInt(id);
        if (n > 0) result.id = n;
    }
    return result;
}

LibraryResult ShareSlot(const PatternSlot& slot, std::span<const uint8_t> jpeg,
                        const LibraryClient& client) {
    const std::optional<LibraryAccount> account = client.Account();
    if (!account) return {};
    const std::u16string text = ShareText(slot, account->number, jpeg);
    if (text.empty()) return {};
    return ReadLibraryResult(client.PostAsOwner(text));
}

LibraryResult UpdateSharedSlot(const PatternSlot& slot, int32_t id, const LibraryClient& client) {
    const std::optional<LibraryAccount> account = client.Account();
    if (!account || id <= 0) return {};
    const std::u16string text = UpdateText(slot, account->number, id);
    if (text.empty()) return {};
    return ReadLibraryResult(client.PostAsOwner(text));
}

LibraryResult WithdrawItem(int32_t id, const LibraryClient& client) {
    const std::optional<LibraryAccount> account = client.Account();
    if (!account) return {};
    return ReadLibraryResult(client.PostAsOwner(DeleteQuery(id, account->number)));
}

LibraryResult FindSharedTitle(std::u16string_view title, const LibraryClient& client) {
    const std::optional<LibraryAccount> account = client.Account();
    if (!account) return {};
    return ReadLibraryResult(client.PostAsOwner(TitleQuery(title, account->number)));
}

std::optional<std::vector<uint8_t>> FetchLibraryPicture(int32_t id, const LibraryClient& client) {
    if (id <= 0) return std::nullopt;
    HttpOptions plain = client.Options();
    plain.ownerKey.clear();
    return HttpGetBytes(client.Server(), "/picture/" + std::to_string(id) + ".jpg", kPictureLimit,
                        plain);
}

// ============================================================================================
// Texts
// ============================================================================================

ItemRelation RelateItem(ConfigStore& store, const LibraryItem& item,
                        std::optional<int32_t> account) {
    if (account && *account > 0 && item.owner == *account) return ItemRelation::Own;
    std::u16string text;
    if (WritePresetString(item.slot.record, true, text) && FindFavorite(store, text) >= 0) {
        return ItemRelation::InFavorites;
    }
    return ItemRelation::Others;
}

std::u16string SharingSinceText(const LibraryItem& item) {
    return Format(u"Sharing since: %s", {item.date});
}

std::u16string DownloadsText(const LibraryItem& item) {
    return u"Downloads: " + Number(item.downloads);
}

bool MadeWithNewerVersion(std::u16string_view itemVersion, std::u16string_view programVersion) {
    return itemVersion > programVersion;
}

std::u16string ItemNoteText(const LibraryItem& item, ItemRelation relation,
                            std::u16string_view programVersion) {
    std::u16string note;
    const std::u16string_view location =
        item.slot.record.Location == u"-" ? kMakerLocation : item.slot.record.Location;
    switch (relation) {
        case ItemRelation::Own:
            note =
                u"You are currently sharing this favorite!  You may also update information "
                u"for it.";
            break;
        case ItemRelation::InFavorites:
            note = Format(u"You currently have \"%s\" by %s (%s) in your Favorites.",
                          {item.title, item.author, location});
            break;
        case ItemRelation::Others:
            note = Format(
                u"\"%s\" was created by %s (%s).  If you like it, you may add this "
                u"favorite to your collection.",
                {item.title, item.author, location});
            break;
    }
    if (MadeWithNewerVersion(item.version, programVersion)) note += kNewerVersionNote;
    return note;
}

std::u16string AddQuestionText(const LibraryItem& item) {
    return Format(u"Do you wish to add \"%s\" to your Favorites?", {item.title});
}

}  // namespace quovis
