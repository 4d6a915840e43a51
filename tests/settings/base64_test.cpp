// Base64: the RFC 4648 test vectors both ways, every byte value, and refused input.
#include "settings/base64.h"

#include <gtest/gtest.h>

#include <random>

namespace quovis {
namespace {

std::vector<uint8_t> Bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

TEST(Base64Test, Rfc4648VectorsEncodeAndDecode) {
    const std::pair<std::string_view, std::string_view> vectors[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
    };
    for (const auto& [plain, encoded] : vectors) {
        EXPECT_EQ(Base64Encode(Bytes(plain)), encoded) << plain;
        EXPECT_EQ(Base64Decode(encoded), Bytes(plain)) << encoded;
        EXPECT_EQ(Base64Decode(std::u16string(encoded.begin(), encoded.end())), Bytes(plain));
    }
}

TEST(Base64Test, EveryByteValueAndLengthRoundTrips) {
    std::vector<uint8_t> all(256);
    for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(i);
    const std::string encoded = Base64Encode(all);
    EXPECT_EQ(encoded.find_first_not_of(
                  "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="),
              std::string::npos);
    EXPECT_EQ(Base64Decode(encoded), all);

    std::mt19937 rng(7);
    for (size_t length = 0; length < 70; ++length) {
        std::vector<uint8_t> data(length);
        for (auto& b : data) b = static_cast<uint8_t>(rng());
        const std::string text = Base64Encode(data);
        EXPECT_EQ(text.size(), (length + 2) / 3 * 4);
        EXPECT_EQ(Base64Decode(text), data) << "length " << length;
    }
}

TEST(Base64Test, InputTheEncoderCannotProduceIsRefused) {
    for (std::string_view bad : {
             "Zg=",       // length not a multiple of 4
             "Zg==Zg==",  // padding before the end
             "Z===",      // three padding characters
             "Zm=v",      // padding inside a group
             "Zm9\n",     // line break
             "Zm 9v",     // white space
             "Zm9-",      // URL-safe alphabet is not ours
             "Zh==",      // bits under the padding are not zero
             "Zm9=",      // ... and here
         }) {
        EXPECT_EQ(Base64Decode(bad), std::nullopt) << bad;
    }
    EXPECT_EQ(Base64Decode(std::string_view("Zm9\0", 4)), std::nullopt);
    EXPECT_EQ(Base64Decode(std::string_view("Zm9\xC3", 4)), std::nullopt);
    EXPECT_EQ(Base64Decode(u"Zm9\u0176"), std::nullopt);  // 'v' + 0x100 must not narrow to 'v'
}

}  // namespace
}  // namespace quovis
