// The library's requests and answers.
//
// Index
//   Text helpers       UTF-8 checks, character counts, numbers, answers
//   Library form       the sectioned text of a share or an update, and its picture
//   LibraryService     the requests
#include "library_server/library_service.h"

#include <charconv>
#include <ctime>
#include <map>
#include <optional>
#include <vector>

#include "settings/base64.h"
#include "settings/text_encoding.h"

namespace quovis::library_server {

namespace {

// ---- Text helpers ---------------------------------------------------------------------------

// Well-formed UTF-8 without NUL (which no text of the library holds, and which PostgreSQL
// refuses to store).
bool IsCleanUtf8(std::string_view text) {
    return text.find('\0') == std::string_view::npos && Utf8ToUtf16(text).has_value();
}

size_t CharacterCount(std::string_view utf8) {
    size_t n = 0;
    for (char c : utf8) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
    }
    return n;
}

// A whole text of decimal digits that fits an int32, else nothing.
std::optional<int32_t> ParseNumber(std::string_view text) {
    int32_t value = 0;
    if (text.empty() || text.size() > 10 || text[0] < '0' || text[0] > '9') return std::nullopt;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// A value as it may appear between tags: every "<" becomes "‹", so no value ends its tag
// early or opens another.
void AppendValue(std::string& out, std::string_view value) {
    for (char c : value) {
        if (c == '<') {
            out += "\u2039";
        } else {
            out += c;
        }
    }
}

void AppendTag(std::string& out, const char* name, std::string_view value) {
    out += '<';
    out += name;
    out += '>';
    AppendValue(out, value);
    out += "</";
    out += name;
    out += '>';
}

Answer Status(int status, std::string_view text) {
    Answer a{status, {}};
    AppendTag(a.body, "status", text);
    return a;
}

Answer Ok() {
    return Status(200, "OK");
}
Answer Malformed(std::string_view why) {
    return Status(400, why);
}
Answer NotOwner() {
    return Status(403, "This favorite belongs to someone else.");
}
Answer NoSuchItem() {
    return Status(404, "No such item.");
}
Answer Busy() {
    return Status(503, "The library is busy. Please try again later.");
}

// What a store's answer about one item means for the client: nothing to say when it worked.
std::optional<Answer> ItemRefusal(StoreResult result) {
    switch (result) {
        case StoreResult::kOk:
            return std::nullopt;
        case StoreResult::kNotFound:
            return NoSuchItem();
        case StoreResult::kFailed:
            break;
    }
    return Busy();
}

Answer OkWithId(int32_t id) {
    Answer a = Ok();
    AppendTag(a.body, "id", std::to_string(id));
    return a;
}

std::string DateText(int64_t seconds) {
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &tm);
    return text;
}

// ---- Library form ---------------------------------------------------------------------------

// The sections of the form by name ("Title", "Seq", ...), each with its lines (CR LF or LF).
class Form {
  public:
    explicit Form(std::string_view text) {
        std::vector<std::string_view>* current = nullptr;
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string_view::npos) end = text.size();
            std::string_view line = text.substr(start, end - start);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            start = end + 1;
            if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
                auto [it, added] =
                    m_sections.try_emplace(std::string(line.substr(1, line.size() - 2)));
                // A section given twice keeps its first lines.
                current = added ? &it->second : nullptr;
            } else if (current) {
                current->push_back(line);
            }
        }
    }

    bool Has(const std::string& name) const { return m_sections.count(name) != 0; }
    // The first line of a section, "" when it is missing or empty.
    std::string_view Line(const std::string& name, size_t index = 0) const {
        auto it = m_sections.find(name);
        if (it == m_sections.end() || it->second.size() <= index) return {};
        return it->second[index];
    }
    // All lines of a section joined with CR LF, without the empty lines at its end.
    std::string Text(const std::string& name) const {
        auto it = m_sections.find(name);
        if (it == m_sections.end()) return {};
        size_t count = it->second.size();
        while (count > 0 && it->second[count - 1].empty()) --count;
        std::string out;
        for (size_t i = 0; i < count; ++i) {
            if (i) out += "\r\n";
            out += it->second[i];
        }
        return out;
    }

  private:
    std::map<std::string, std::vector<std::string_view>> m_sections;
};

// The fields of an item as a form gives them, checked against the limits. The answer is set
// when something is wrong.
std::optional<Answer> ReadItem(const Form& form, StoredItem* item) {
    item->preset = std::string(form.Line("Quovis Settings"));
    item->drawing = std::string(form.Line("Draw"));
    item->version = std::string(form.Line("Version"));
    item->title = std::string(form.Line("Title"));
    item->author = std::string(form.Line("Nickname"));
    item->location = std::string(form.Line("Location"));
    item->keywords = form.Text("Keywords");
    item->description = form.Text("Description");
    if (item->preset.empty()) return Malformed("The form holds no preset.");
    if (item->title.empty()) return Malformed("The form holds no title.");
    struct Check {
        const std::string& text;
        size_t limit;
        bool characters;
        const char* status;
    };
    const Check checks[] = {
        {item->title, Limits::kTitle, true, "Title too long."},
        {item->author, Limits::kAuthor, true, "Nickname too long."},
        {item->location, Limits::kLocation, true, "Location too long."},
        {item->version, Limits::kVersion, true, "Version too long."},
        {item->keywords, Limits::kKeywords, false, "Keywords too long."},
        {item->description, Limits::kDescription, false, "Description too long."},
        {item->preset, Limits::kPreset, false, "Preset too long."},
        {item->drawing, Limits::kDrawing, false, "Drawing too long."},
    };
    for (const Check& c : checks) {
        size_t size = c.characters ? CharacterCount(c.text) : c.text.size();
        if (size > c.limit) return Status(413, c.status);
    }
    auto number = [&](const char* name, int32_t fallback) {
        std::string_view line = form.Line(name);
        if (line.empty()) return std::optional<int32_t>(fallback);
        if (line == "-1") return std::optional<int32_t>(-1);
        return ParseNumber(line);
    };
    auto width = number("XSize", 0), height = number("YSize", 0), audio = number("Audio", -1);
    if (!width || !height || !audio) return Malformed("The form holds a number that is not one.");
    item->width = *width;
    item->height = *height;
    item->audio = *audio;
    return std::nullopt;
}

// The picture of a form: nothing when the form has none, else the JPEG bytes.
std::optional<Answer> ReadPicture(const Form& form, std::optional<std::string>* picture) {
    if (!form.Has("JPG")) return std::nullopt;
    auto length = ParseNumber(form.Line("JPG", 0));
    if (!length) return Malformed("The picture's length is not a number.");
    if (static_cast<size_t>(*length) > Limits::kPicture) return Status(413, "Picture too large.");
    const std::optional<std::vector<uint8_t>> decoded = Base64Decode(form.Line("JPG", 1));
    if (!decoded || decoded->size() != static_cast<size_t>(*length)) {
        return Malformed("The picture is damaged.");
    }
    std::string bytes(decoded->begin(), decoded->end());
    if (bytes.size() < 3 || static_cast<unsigned char>(bytes[0]) != 0xFF ||
        static_cast<unsigned char>(bytes[1]) != 0xD8 ||
        static_cast<unsigned char>(bytes[2]) != 0xFF) {
        return Malformed("The picture is not a JPEG.");
    }
    *picture = std::move(bytes);
    return std::nullopt;
}

}  // namespace

// ---- LibraryService -------------------------------------------------------------------------

std::string ItemTags(const StoredItem& item, bool details) {
    std::string out = "<item>";
    AppendTag(out, "id", std::to_string(item.id));
    AppendTag(out, "title", item.title);
    AppendTag(out, "keywords", item.keywords);
    AppendTag(out, "seq", std::to_string(item.owner));
    AppendTag(out, "snatches", std::to_string(item.downloads));
    AppendTag(out, "version", item.version);
    AppendTag(out, "date", DateText(item.sharedAt));
    AppendTag(out, "author", item.author);
    AppendTag(out, "size", std::to_string(item.width) + "x" + std::to_string(item.height));
    AppendTag(out, "audio", std::to_string(item.audio));
    AppendTag(out, "preset", item.preset);
    if (details) {
        AppendTag(out, "location", item.location);
        AppendTag(out, "desc", item.description);
        AppendTag(out, "drawing", item.drawing);
    }
    out += "</item>";
    return out;
}

Answer LibraryService::Handle(std::string_view body, std::string_view key) {
    if (body.size() > Limits::kBody) return Status(413, "Too large.");
    if (!IsCleanUtf8(body)) return Malformed("The request is not UTF-8 text.");
    if (body.starts_with("[Quovis Settings]")) return Share(body, key);
    if (body == "account=new") {
        Account account;
        if (m_store.CreateAccount(&account) != StoreResult::kOk) return Busy();
        Answer a = Ok();
        AppendTag(a.body, "seq", std::to_string(account.seq));
        AppendTag(a.body, "key", account.key);
        return a;
    }
    // "name=VALUE&second=REST" with VALUE running to the last "&second=".
    auto split = [&](std::string_view name, std::string_view second, std::string_view* value,
                     std::string_view* rest) {
        std::string_view tail = body.substr(name.size());
        size_t at = tail.rfind(second);
        if (at == std::string_view::npos) return false;
        *value = tail.substr(0, at);
        *rest = tail.substr(at + second.size());
        return true;
    };
    std::string_view value, rest;
    if (body.starts_with("list=")) {
        if (!split("list=", "&sort=", &value, &rest)) return Malformed("The list has no sort.");
        auto owner = ParseNumber(value);
        if (!owner) return Malformed("The list's account is not a number.");
        return List(*owner, {}, rest);
    }
    if (body.starts_with("find=")) {
        if (!split("find=", "&sort=", &value, &rest)) return Malformed("The search has no sort.");
        if (value.size() > Limits::kSearch) return Malformed("The search text is too long.");
        return List(0, value, rest);
    }
    if (body.starts_with("item=") || body.starts_with("snatch=")) {
        bool item = body[0] == 'i';
        auto id = ParseNumber(body.substr(item ? 5 : 7));
        if (!id) return Malformed("The item number is not a number.");
        return item ? Item(*id) : Snatch(*id);
    }
    if (body.starts_with("delete=")) {
        if (!split("delete=", "&u=", &value, &rest))
            return Malformed("The request has no account.");
        auto id = ParseNumber(value);
        auto owner = ParseNumber(rest);
        if (!id || !owner) return Malformed("The request holds a number that is not one.");
        return Withdraw(*id, *owner, key);
    }
    if (body.starts_with("title=")) {
        if (!split("title=", "&u=", &value, &rest)) return Malformed("The request has no account.");
        auto owner = ParseNumber(rest);
        if (!owner) return Malformed("The account is not a number.");
        return LookUpTitle(value, *owner, key);
    }
    return Malformed("Unknown request.");
}

Answer LibraryService::Picture(int32_t id) {
    Answer a;
    switch (m_store.Picture(id, &a.body)) {
        case StoreResult::kOk:
            return a;
        case StoreResult::kNotFound:
            return Status(404, "No picture.");
        case StoreResult::kFailed:
            break;
    }
    return Busy();
}

std::optional<Answer> LibraryService::CheckOwner(int32_t account, std::string_view key) {
    std::string stored;
    switch (m_store.AccountKey(account, &stored)) {
        case StoreResult::kOk:
            break;
        case StoreResult::kNotFound:
            return NotOwner();
        case StoreResult::kFailed:
            return Busy();
    }
    if (!KeysEqual(stored, key)) return NotOwner();
    return std::nullopt;
}

Answer LibraryService::Share(std::string_view text, std::string_view key) {
    Form form(text);
    auto seq = ParseNumber(form.Line("Seq"));
    if (!seq || *seq == 0) return Malformed("The form holds no account number.");
    if (auto refused = CheckOwner(*seq, key)) return *refused;
    StoredItem item;
    if (auto refused = ReadItem(form, &item)) return *refused;
    std::optional<std::string> picture;
    if (auto refused = ReadPicture(form, &picture)) return *refused;
    item.owner = *seq;

    if (!form.Has("ID")) {
        int32_t id = 0;
        if (m_store.AddItem(item, picture ? *picture : std::string(), &id) != StoreResult::kOk) {
            return Busy();
        }
        return OkWithId(id);
    }
    auto id = ParseNumber(form.Line("ID"));
    if (!id) return Malformed("The item number is not a number.");
    StoredItem existing;
    if (auto refused = ItemRefusal(m_store.GetItem(*id, &existing))) return *refused;
    if (existing.owner != *seq) return NotOwner();
    item.id = *id;
    if (auto refused = ItemRefusal(m_store.UpdateItem(item, picture))) return *refused;
    return OkWithId(*id);
}

Answer LibraryService::List(int32_t owner, std::string_view search, std::string_view sort) {
    auto sortKey = ParseNumber(sort);
    if (!sortKey) return Malformed("The sort is not a number.");
    ListQuery query;
    query.owner = owner;
    query.search = std::string(search);
    query.order = *sortKey == 3 ? ListOrder::kPopular : ListOrder::kNewest;
    query.limit = Limits::kListItems;
    std::vector<StoredItem> items;
    if (m_store.ListItems(query, &items) != StoreResult::kOk) return Busy();
    Answer a = Ok();
    for (const StoredItem& item : items) {
        std::string tags = ItemTags(item, false);
        if (a.body.size() + tags.size() > Limits::kListBytes) break;
        a.body += tags;
    }
    return a;
}

Answer LibraryService::Item(int32_t id) {
    StoredItem item;
    if (auto refused = ItemRefusal(m_store.GetItem(id, &item))) return *refused;
    Answer a = Ok();
    a.body += ItemTags(item, true);
    return a;
}

Answer LibraryService::Snatch(int32_t id) {
    if (auto refused = ItemRefusal(m_store.CountDownload(id))) return *refused;
    return Ok();
}

Answer LibraryService::Withdraw(int32_t id, int32_t owner, std::string_view key) {
    if (auto refused = CheckOwner(owner, key)) return *refused;
    StoredItem item;
    if (auto refused = ItemRefusal(m_store.GetItem(id, &item))) return *refused;
    if (item.owner != owner) return NotOwner();
    if (auto refused = ItemRefusal(m_store.WithdrawItem(id))) return *refused;
    return Ok();
}

Answer LibraryService::LookUpTitle(std::string_view title, int32_t owner, std::string_view key) {
    if (auto refused = CheckOwner(owner, key)) return *refused;
    int32_t id = 0;
    switch (m_store.FindOwnTitle(owner, title, &id)) {
        case StoreResult::kOk:
            return OkWithId(id);
        case StoreResult::kNotFound:
            return Status(200, "Not shared.");
        case StoreResult::kFailed:
            break;
    }
    return Busy();
}

}  // namespace quovis::library_server
