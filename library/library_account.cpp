#include "library/library_account.h"

#include <map>
#include <mutex>

#include "library/library_protocol.h"
#include "settings/config_store.h"
#include "settings/config_values.h"
#include "settings/text_encoding.h"

namespace quovis {

namespace {

bool IsKey(std::string_view key) {
    if (key.size() != 32) return false;
    for (const char c : key) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

}  // namespace

std::u16string ConfiguredLibraryServer(ConfigStore& store) {
    const std::u16string server = kConfigLibraryServer.Read(store);
    return server.empty() ? std::u16string(kDefaultLibraryServer) : server;
}

std::optional<LibraryAccount> StoredLibraryAccount(ConfigStore& store, std::string_view base) {
    const std::optional<std::u16string> owner = kConfigLibraryAccountServer.ReadStored(store);
    if (!owner || Utf16ToUtf8(*owner) != base) return std::nullopt;
    LibraryAccount account;
    account.number = kConfigLibraryAccount.Read(store);
    account.key = Utf16ToUtf8(kConfigLibraryKey.Read(store));
    if (account.number <= 0 || !IsKey(account.key)) return std::nullopt;
    return account;
}

std::optional<LibraryAccount> ParseAccountAnswer(std::u16string_view answer) {
    if (!AnswerOk(answer)) return std::nullopt;
    std::u16string seq;
    std::u16string key;
    if (GetTag(answer, u"seq", &seq) == 0 || GetTag(answer, u"key", &key) == 0) {
        return std::nullopt;
    }
    if (seq.size() > 10) return std::nullopt;
    int64_t number = 0;
    for (const char16_t c : seq) {
        if (c < u'0' || c > u'9') return std::nullopt;
        number = number * 10 + (c - u'0');
    }
    if (number <= 0 || number > INT32_MAX) return std::nullopt;
    LibraryAccount account{static_cast<int32_t>(number), Utf16ToUtf8(key)};
    if (!IsKey(account.key)) return std::nullopt;
    return account;
}

bool StoreLibraryAccount(ConfigStore& store, std::string_view base, const LibraryAccount& account) {
    const std::optional<std::u16string> base16 = Utf8ToUtf16(base);
    if (!base16) return false;
    // The server is written last: until then the pair does not count for any server.
    kConfigLibraryAccountServer.Delete(store);
    return kConfigLibraryAccount.Write(store, account.number) &&
           kConfigLibraryKey.Write(store, *Utf8ToUtf16(account.key)) &&
           kConfigLibraryAccountServer.Write(store, *base16);
}

std::optional<LibraryAccount> EnsureLibraryAccount(ConfigStore& store, std::u16string_view server,
                                                   const HttpOptions& options) {
    // One lock per store: two owner requests at once must not ask for two accounts.
    static std::mutex mapLock;
    static std::map<const ConfigStore*, std::mutex> locks;
    std::mutex* storeLock = nullptr;
    {
        std::lock_guard<std::mutex> guard(mapLock);
        storeLock = &locks[&store];
    }
    std::lock_guard<std::mutex> guard(*storeLock);
    const std::string base = ResolveLibraryBase(server);
    if (std::optional<LibraryAccount> known = StoredLibraryAccount(store, base)) return known;
    HttpOptions plain = options;
    plain.ownerKey.clear();
    const std::optional<std::u16string> answer =
        HttpPost(server, kLibraryPage, kNewAccountQuery, false, plain);
    if (!answer) return std::nullopt;
    std::optional<LibraryAccount> account = ParseAccountAnswer(*answer);
    if (!account || !StoreLibraryAccount(store, base, *account)) return std::nullopt;
    return account;
}

}  // namespace quovis
