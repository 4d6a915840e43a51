// The user's account at the preset library: a public number that marks the items the user
// shares, and a secret key that proves the user owns them.
//
// The server hands both out once ("account=new"); they are kept in the configuration store
// ("LibraryAccount", "LibraryKey") together with the server they belong to
// ("LibraryAccountServer"), and asked for again only when the server changes. The key travels
// only in the "X-Quovis-Key" header of the owner's requests; it is never shown, printed or
// logged.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "library/http_post.h"

namespace quovis {

class ConfigStore;

struct LibraryAccount {
    int32_t number = 0;  // public; > 0
    std::string key;     // 32 lowercase hex digits
};

inline constexpr std::u16string_view kNewAccountQuery = u"account=new";

// The "LibraryServer" value of the store (the default server when unset).
std::u16string ConfiguredLibraryServer(ConfigStore& store);

// The stored account when it belongs to the server with base URL `base`
// (ResolveLibraryBase); nullopt otherwise. No network.
std::optional<LibraryAccount> StoredLibraryAccount(ConfigStore& store, std::string_view base);

// The account of an "account=new" answer: "OK" status, a positive "seq" and a key of 32 hex
// digits; nullopt for anything else.
std::optional<LibraryAccount> ParseAccountAnswer(std::u16string_view answer);

// Keeps the account and the base URL it belongs to.
bool StoreLibraryAccount(ConfigStore& store, std::string_view base, const LibraryAccount& account);

// The stored account for `server`, or a new one asked of it and stored. nullopt when the
// server gives none. Calls for one store are serialised, so two owner requests at once ask
// for one account.
std::optional<LibraryAccount> EnsureLibraryAccount(ConfigStore& store, std::u16string_view server,
                                                   const HttpOptions& options);

}  // namespace quovis
