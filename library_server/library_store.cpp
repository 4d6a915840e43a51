// The parts both stores share: account secrets, key comparison, search folding, and the choice
// of store from the --database value.
#include "library_server/library_store.h"

#include <sys/random.h>

#include <cerrno>
#include <cstddef>

#include "base/utf8.h"

namespace quovis::library_server {

namespace {

bool FillRandom(void* buffer, size_t size) {
    auto* bytes = static_cast<unsigned char*>(buffer);
    size_t done = 0;
    while (done < size) {
        ssize_t n = getrandom(bytes + done, size - done, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

char32_t LowerCase(char32_t c) {
    if (c >= U'A' && c <= U'Z') return c + 32;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;  // Latin-1 letters
    // Latin Extended-A pairs capital/small as even/odd, except around the dotless i and the
    // run from 0x139 to 0x148 and from 0x179 to 0x17E, which pair odd/even.
    if ((c >= 0x100 && c <= 0x137 && c != 0x130) || (c >= 0x14A && c <= 0x177)) {
        return (c % 2 == 0) ? c + 1 : c;
    }
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c % 2 == 1) ? c + 1 : c;
    if (c == 0x178) return 0xFF;
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 32;  // Greek
    if (c >= 0x410 && c <= 0x42F) return c + 32;                // Cyrillic
    if (c >= 0x400 && c <= 0x40F) return c + 80;
    return c;
}

}  // namespace

bool NewAccount(Account* out) {
    uint32_t number = 0;
    unsigned char key[16];
    if (!FillRandom(&number, sizeof number) || !FillRandom(key, sizeof key)) return false;
    // 2^31 - 1,000,000 numbers: the remainder's bias is below one in two thousand, which
    // makes no number noticeably easier to guess.
    constexpr uint32_t kFirst = 1'000'000;
    constexpr uint32_t kCount = 0x7FFFFFFFu - kFirst + 1;
    out->seq = static_cast<int32_t>(kFirst + number % kCount);
    static const char kHex[] = "0123456789abcdef";
    out->key.clear();
    for (unsigned char b : key) {
        out->key += kHex[b >> 4];
        out->key += kHex[b & 15];
    }
    return true;
}

bool KeysEqual(std::string_view a, std::string_view b) {
    // The length of a key is no secret (every key has 32 digits); its digits are.
    if (a.size() != b.size() || a.empty()) return false;
    unsigned char difference = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    }
    return difference == 0;
}

std::string FoldForSearch(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        auto lead = static_cast<unsigned char>(text[i]);
        size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        if (lead >= 0x80 && lead < 0xC0) length = 1;  // a stray continuation byte
        if (i + length > text.size()) length = text.size() - i;
        char32_t c = lead;
        if (length > 1) {
            c = lead & (0x7F >> length);
            for (size_t k = 1; k < length; ++k) {
                c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
            }
        }
        char32_t lower = LowerCase(c);
        if (lower == c) {
            out.append(text.substr(i, length));
        } else {
            AppendUtf8(out, lower);
        }
        i += length;
    }
    return out;
}

std::string SearchTextOf(const StoredItem& item) {
    return FoldForSearch(item.title) + "\n" + FoldForSearch(item.keywords);
}

std::unique_ptr<LibraryStore> OpenStore(const std::string& database, std::string* error) {
    if (database.starts_with("postgresql://") || database.starts_with("postgres://")) {
        return OpenPostgresStore(database, error);
    }
    return OpenSqliteStore(database, error);
}

}  // namespace quovis::library_server
