// quovis-tool library: the online preset library from the command line, saying what the
// configuration window's library pages say.
//
//   library list [--mine] [--sort 1|3]   one row per item: id, title, author, downloads, date
//   library find TEXT [--sort 1|3]        items whose title or keywords hold TEXT
//   library show ID                       the item's details as the details page shows them
//   library add ID [--replace]            adds the item to the favorites, counts a download
//   library share SLOT [--picture FILE]   shares favorite SLOT (a JPEG screenshot optional)
//   library update SLOT                   updates the shared item of favorite SLOT's name
//   library withdraw ID                   stops sharing one of the user's items
//   --server URL                          another library server for this call
//
// Rows are tab-separated, tabs and line breaks inside a value turned into blanks. The
// account key is never printed.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "base/version.h"
#include "library/library_protocol.h"
#include "settings/config_store.h"
#include "settings/config_values.h"
#include "settings/favorites.h"
#include "settings/text_encoding.h"
#include "tools/commands.h"

namespace quovis::tool {

namespace {

constexpr const char* kLibraryUsage =
    "usage: quovis-tool library list [--mine] [--sort 1|3] [--server URL]\n"
    "       quovis-tool library find TEXT [--sort 1|3] [--server URL]\n"
    "       quovis-tool library show ID [--server URL]\n"
    "       quovis-tool library add ID [--replace] [--server URL]\n"
    "       quovis-tool library share SLOT [--picture FILE.jpg] [--server URL]\n"
    "       quovis-tool library update SLOT [--server URL]\n"
    "       quovis-tool library withdraw ID [--server URL]\n";

// The largest picture the library keeps.
constexpr std::size_t kPictureLimit = 512 * 1024;

int Bad(const std::string& problem) {
    std::fprintf(stderr, "quovis-tool library: %s\n%s", problem.c_str(), kLibraryUsage);
    return 2;
}

int Fail(const std::string& problem) {
    std::fprintf(stderr, "quovis-tool library: %s\n", problem.c_str());
    return 1;
}

std::string Narrow(std::u16string_view text) {
    return Utf16ToUtf8(text);
}

// A value on one line of a row: tabs and line breaks become blanks.
std::string Cell(std::u16string_view text) {
    std::string out = Utf16ToUtf8(text);
    for (char& c : out) {
        if (c == '\t' || c == '\r' || c == '\n') c = ' ';
    }
    return out;
}

// The failure of an exchange: no answer at all, or what the server said.
int FailWith(const LibraryResult& result, const LibraryClient& client) {
    if (!result.answered) return Fail("no answer from " + client.Base());
    return Fail(result.status.empty() ? "the server gave no status" : Narrow(result.status));
}

class KeepExisting final : public FavoriteQuestions {
  public:
    explicit KeepExisting(bool replace) : m_replace(replace) {}
    ReplaceAnswer AskReplace(std::u16string_view, bool, bool* repeatForAll) override {
        *repeatForAll = true;
        return m_replace ? ReplaceAnswer::Yes : ReplaceAnswer::No;
    }
    std::optional<std::u16string> AskNewName(std::u16string_view) override { return std::nullopt; }
    bool ConfirmRemove(std::u16string_view) override { return false; }

  private:
    bool m_replace;
};

struct Args {
    std::vector<std::string> words;
    std::optional<std::u16string> server;
    std::optional<std::string> picture;
    int sort = kSortNewest;
    bool mine = false;
    bool replace = false;
};

// nullopt (after the message) for a bad option.
std::optional<Args> ParseArgs(int argc, char** argv) {
    Args args;
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--mine") {
            args.mine = true;
        } else if (a == "--replace") {
            args.replace = true;
        } else if (a == "--server" && hasValue) {
            args.server = Utf8ToUtf16(argv[++i]);
            if (!args.server || args.server->empty()) return std::nullopt;
        } else if (a == "--picture" && hasValue) {
            args.picture = argv[++i];
        } else if (a == "--sort" && hasValue) {
            const std::optional<long> sort = ParseWholeNumber(argv[++i], 1, 3);
            if (!sort || (*sort != kSortNewest && *sort != kSortPopular)) return std::nullopt;
            args.sort = static_cast<int>(*sort);
        } else if (a.starts_with("--")) {
            return std::nullopt;
        } else {
            args.words.push_back(a);
        }
    }
    return args;
}

std::optional<int32_t> ItemId(const std::string& word) {
    const std::optional<long> id = ParseWholeNumber(word.c_str(), 1, INT32_MAX);
    if (!id) return std::nullopt;
    return static_cast<int32_t>(*id);
}

int PrintList(const LibraryClient& client, std::u16string_view query) {
    const std::optional<std::u16string> answer = client.Post(query);
    const LibraryResult result = ReadLibraryResult(answer);
    if (!result.ok) return FailWith(result, client);
    LibraryList list;
    ParseLibraryList(list, *answer);
    for (const LibraryItemRef& item : list.items) {
        std::printf("%d\t%s\t%s\t%d\t%s\n", item->id, Cell(item->title).c_str(),
                    Cell(item->author).c_str(), item->downloads, Cell(item->date).c_str());
    }
    return 0;
}

// The item with its details; nullopt after the message.
std::optional<LibraryItem> Details(const LibraryClient& client, int32_t id, int& status) {
    LibraryItem item;
    item.id = id;
    const std::optional<std::u16string> answer = client.Post(ItemQuery(id));
    if (!ApplyItemDetails(item, answer)) {
        const LibraryResult result = ReadLibraryResult(answer);
        status = result.ok ? Fail("item " + std::to_string(id) + " holds no preset that reads")
                           : FailWith(result, client);
        return std::nullopt;
    }
    return item;
}

int Show(const LibraryClient& client, int32_t id) {
    int status = 0;
    const std::optional<LibraryItem> item = Details(client, id, status);
    if (!item) return status;
    const std::optional<LibraryAccount> account = client.KnownAccount();
    const ItemRelation relation = RelateItem(
        client.Store(), *item, account ? std::optional<int32_t>(account->number) : std::nullopt);
    std::printf("%d\t%s\t%s\n", item->id, Cell(item->title).c_str(), Cell(item->author).c_str());
    std::printf("%s\n%s\n", Narrow(SharingSinceText(*item)).c_str(),
                Narrow(DownloadsText(*item)).c_str());
    std::printf("%s\n", Narrow(ItemNoteText(*item, relation, kVersionText)).c_str());
    if (!item->slot.keywords.empty()) {
        std::printf("Keywords: %s\n", Cell(item->slot.keywords).c_str());
    }
    if (item->slot.description && !item->slot.description->empty()) {
        std::printf("Description: %s\n", Cell(*item->slot.description).c_str());
    }
    return 0;
}

int Add(const LibraryClient& client, int32_t id, bool replace) {
    int status = 0;
    const std::optional<LibraryItem> item = Details(client, id, status);
    if (!item) return status;
    ConfigStore& store = client.Store();
    SeedFavorites(store, u"");
    const std::u16string name = item->title.empty() ? item->slot.record.Name : item->title;
    PresetRecord record = item->slot.record;
    record.Origin = 2;
    KeepExisting answers(replace);
    const std::u16string* drawing = item->slot.drawing ? &*item->slot.drawing : nullptr;
    const AddFavoriteResult added = AddFavorite(store, name, record, drawing, answers);
    switch (added.outcome) {
        case AddOutcome::Added:
        case AddOutcome::Replaced:
            break;
        case AddOutcome::NoRoom:
            return Fail("every favorite slot is taken");
        case AddOutcome::WriteFailed:
            return Fail("the configuration could not be written");
        case AddOutcome::Kept:
        case AddOutcome::Cancelled:
            return Fail("a favorite called '" + Narrow(name) +
                        "' exists; add --replace to replace it");
    }
    std::printf("%s '%s' in slot %d\n", added.outcome == AddOutcome::Added ? "added" : "replaced",
                Narrow(name).c_str(), added.slot);
    // The download is counted only once the favorite is safely stored.
    if (!CountDownload(*item, client)) {
        std::fprintf(stderr, "quovis-tool library: the download was not counted\n");
    }
    return 0;
}

// Favorite `slot` as it is shared; nullopt after the message.
std::optional<PatternSlot> SharedSlot(ConfigStore& store, const std::string& word, int& status) {
    const std::optional<long> number = ParseWholeNumber(word.c_str(), 0, 1000000);
    if (!number) {
        status = Bad("a favorite slot number, not '" + word + "'");
        return std::nullopt;
    }
    SeedFavorites(store, u"");
    PatternSlot slot;
    if (!slot.LoadFromFavorite(store, static_cast<int>(*number)) || slot.record.Valid == 0) {
        status = Fail("slot " + word + " holds no favorite");
        return std::nullopt;
    }
    return slot;
}

std::optional<std::vector<uint8_t>> ReadPicture(const std::string& path, std::string& problem) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        problem = "cannot read " + path;
        return std::nullopt;
    }
    std::vector<uint8_t> bytes;
    char c = 0;
    while (bytes.size() <= kPictureLimit && file.get(c)) bytes.push_back(static_cast<uint8_t>(c));
    if (bytes.size() > kPictureLimit) {
        problem = path + " is larger than 512 KiB";
        return std::nullopt;
    }
    if (bytes.size() < 3 || bytes[0] != 0xFF || bytes[1] != 0xD8 || bytes[2] != 0xFF) {
        problem = path + " is not a JPEG picture";
        return std::nullopt;
    }
    return bytes;
}

int Share(const LibraryClient& client, const Args& args) {
    int status = 0;
    const std::optional<PatternSlot> slot = SharedSlot(client.Store(), args.words[1], status);
    if (!slot) return status;
    std::vector<uint8_t> jpeg;
    if (args.picture) {
        std::string problem;
        std::optional<std::vector<uint8_t>> bytes = ReadPicture(*args.picture, problem);
        if (!bytes) return Fail(problem);
        jpeg = std::move(*bytes);
    }
    const LibraryResult result = ShareSlot(*slot, jpeg, client);
    if (!result.ok || result.id <= 0) return FailWith(result, client);
    std::printf("%d\n", result.id);
    return 0;
}

int Update(const LibraryClient& client, const Args& args) {
    int status = 0;
    const std::optional<PatternSlot> slot = SharedSlot(client.Store(), args.words[1], status);
    if (!slot) return status;
    const LibraryResult found = FindSharedTitle(slot->record.Name, client);
    if (found.answered && found.id <= 0) {
        return Fail("'" + Narrow(slot->record.Name) + "' is not shared: " +
                    (found.status.empty() ? "no status" : Narrow(found.status)));
    }
    const LibraryResult result =
        found.id > 0 ? UpdateSharedSlot(*slot, found.id, client) : LibraryResult{};
    if (!result.ok) {
        std::fprintf(stderr, "quovis-tool library: %s\n", Narrow(kUpdateFailedText).c_str());
        return FailWith(result, client);
    }
    std::printf("%s\n", Narrow(kUpdatedText).c_str());
    return 0;
}

int Withdraw(const LibraryClient& client, int32_t id) {
    const LibraryResult result = WithdrawItem(id, client);
    if (!result.ok) return FailWith(result, client);
    std::printf("%s\n", Narrow(kWithdrawnText).c_str());
    return 0;
}

}  // namespace

int LibraryCommand(int argc, char** argv) {
    const std::optional<Args> parsed = ParseArgs(argc, argv);
    if (!parsed) return Bad("bad option");
    const Args& args = *parsed;
    if (args.words.empty()) return Bad("which library command?");
    const std::string& command = args.words[0];
    const std::size_t n = args.words.size();
    ConfigStore& store = ProcessConfigStore();
    const LibraryClient client(store, HttpOptions{}, args.server);

    if (command == "list" && n == 1) {
        if (!args.mine) return PrintList(client, ListQuery(0, args.sort));
        // The user's own items need the account number; never "list=0", which is everyone's.
        const std::optional<LibraryAccount> account = client.Account();
        if (!account) return Fail("no library account from " + client.Base());
        return PrintList(client, ListQuery(account->number, args.sort));
    }
    if (command == "find" && n == 2) {
        const std::optional<std::u16string> text = Utf8ToUtf16(args.words[1]);
        if (!text || text->empty()) return Bad("find wants a non-empty UTF-8 TEXT");
        return PrintList(client, FindQuery(*text, args.sort));
    }
    if ((command == "show" || command == "add" || command == "withdraw") && n == 2) {
        const std::optional<int32_t> id = ItemId(args.words[1]);
        if (!id) return Bad("an item id, not '" + args.words[1] + "'");
        if (command == "show") return Show(client, *id);
        if (command == "add") return Add(client, *id, args.replace);
        return Withdraw(client, *id);
    }
    if (command == "share" && n == 2) return Share(client, args);
    if (command == "update" && n == 2) return Update(client, args);
    return Bad("unknown library command or wrong arguments: '" + command + "'");
}

}  // namespace quovis::tool
