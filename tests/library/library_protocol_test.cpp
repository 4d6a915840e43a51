// The library protocol: tags, items and lists from hostile answers, the account and the key
// on owner requests only, the owner exchanges' results and the details page's texts.
#include "library/library_protocol.h"

#include <gtest/gtest.h>

#include "base/version.h"
#include "settings/config_store.h"
#include "settings/config_values.h"
#include "settings/favorites.h"
#include "settings/text_encoding.h"
#include "tests/library/fake_server.h"
#include "tests/library/library_answers.h"
#include "tests/settings/config_test_support.h"

namespace quovis {
namespace {

using test::BuiltinText;
using test::ItemBlock;

TEST(LibraryGetTag, ValueUpToTheFirstClosingTagAndZeroWhenATagIsMissing) {
    const struct {
        std::u16string_view text;
        std::u16string_view name;
        std::size_t length;
        std::u16string_view value;
    } cases[] = {
        {u"<status>OK</status>", u"status", 2, u"OK"},
        {u"x<id>12</id><id>34</id>", u"id", 2, u"12"},
        {u"<id></id>", u"id", 0, u"-"},
        {u"<id>12", u"id", 0, u"-"},
        {u"12</id><id>", u"id", 0, u"-"},
        {u"<ids>1</ids>", u"id", 0, u"-"},
    };
    for (const auto& c : cases) {
        std::u16string out = u"-";
        EXPECT_EQ(GetTag(c.text, c.name, &out), c.length) << Utf16ToUtf8(c.text);
        EXPECT_EQ(out, c.value);
    }
}

TEST(ParseLibraryList, KeepsAtMost512ValidItemsAndSurvivesJunk) {
    const std::u16string preset = BuiltinText(false);
    LibraryList list;
    ParseLibraryList(list, test::ListAnswer(600, preset));
    ASSERT_EQ(list.items.size(), kLibraryListMax);
    EXPECT_EQ(list.items.back()->id, 512);

    // An item whose preset does not read is skipped; an unclosed one ends the list.
    ParseLibraryList(list,
                     ItemBlock(1, u",5,5") + ItemBlock(2, preset) + u"<item><preset>" + preset);
    ASSERT_EQ(list.items.size(), 1u);
    EXPECT_EQ(list.items[0]->id, 2);

    std::string junk(70000, '\0');
    for (std::size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<char>(i * 7919 % 251);
    ParseLibraryList(list, DecodeAnswer("<item>" + junk + "</item>" + junk));
    EXPECT_TRUE(list.items.empty());
}

TEST(ParseLibraryItem, FillsTheSlotAndCleansTheDrawingAndAuthor) {
    const std::u16string preset = BuiltinText(true);
    PresetRecord record;
    ASSERT_TRUE(ReadPresetString(preset, record));
    LibraryItem item;
    item.listRow = 4;
    ParseLibraryItem(item, ItemBlock(7, preset,
                                     u"<drawing>" + record.Name +
                                         u",2,100,200,300,400,</drawing>"
                                         u"<author></author><size>640x480</size><audio>1</audio>"
                                         u"<version>9.9.9999</version><desc>d</desc>"));
    EXPECT_EQ(item.id, 7);
    EXPECT_EQ(item.owner, 1000007);
    EXPECT_EQ(item.downloads, 14);
    EXPECT_EQ(item.listRow, 4);
    EXPECT_EQ(item.slot.record.Origin, 2);
    EXPECT_EQ(item.slot.libraryId, 7);
    EXPECT_EQ(item.slot.drawing, u"2,100,200,300,400,");
    EXPECT_EQ(item.author, record.Author == u"-" ? kMakerAuthor : record.Author);
    EXPECT_EQ(item.slot.pictureWidth, 640);
    EXPECT_EQ(item.slot.pictureHeight, 480);
    EXPECT_EQ(item.slot.description, u"d");
    EXPECT_FALSE(ItemNeedsDetails(item));

    ParseLibraryItem(
        item, ItemBlock(8, preset,
                        u"<author>Ann</author><title>" + std::u16string(300, u't') + u"</title>"));
    EXPECT_EQ(item.author, u"Ann");
    EXPECT_EQ(item.title, u"Item 8");     // the first title wins
    EXPECT_TRUE(ItemNeedsDetails(item));  // drawing-style, no drawing yet
}

// The size a JPEG declares, read from its frame header past whatever segments come first. A
// screenshot from disk is shared with that size, so the library shows it the right shape.
TEST(LibraryJpegSize, ComesFromTheFrameHeaderAndGoesIntoTheSharedForm) {
    const std::vector<uint8_t> app0 = {0xFF, 0xE0, 0x00, 0x04, 0x4A, 0x46};
    const std::vector<uint8_t> tables = {0xFF, 0xC4, 0x00, 0x03, 0x00};
    const std::vector<uint8_t> frame = {0xFF, 0xC0, 0x00, 0x0B, 0x08, 0x01, 0x2C,
                                        0x01, 0x90, 0x01, 0x01, 0x11, 0x00};
    const std::vector<uint8_t> scan = {0xFF, 0xDA, 0x00, 0x02};
    const auto join = [](std::initializer_list<std::vector<uint8_t>> parts) {
        std::vector<uint8_t> out = {0xFF, 0xD8};
        for (const auto& part : parts)
            for (uint8_t b : part) out.push_back(b);
        return out;
    };
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        std::optional<std::pair<int32_t, int32_t>> size;
    };
    const Case cases[] = {
        {"frame first", join({frame}), std::pair{400, 300}},
        {"after a header and tables", join({app0, tables, frame}), std::pair{400, 300}},
        {"data before any frame", join({app0, scan, frame}), std::nullopt},
        {"cut inside the frame", join({app0, {0xFF, 0xC0, 0x00, 0x0B, 0x08, 0x01}}), std::nullopt},
        {"a length running past the end", join({{0xFF, 0xE1, 0xFF, 0xFF}}), std::nullopt},
        {"not a JPEG", {0x89, 0x50, 0x4E, 0x47, 0xFF, 0xC0}, std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(JpegPictureSize(c.bytes), c.size) << c.what;

    PatternSlot slot;
    ASSERT_TRUE(ReadPresetString(BuiltinText(0), slot.record));
    const std::u16string form = ShareText(slot, 1234567, join({app0, frame}));
    EXPECT_NE(form.find(u"[XSize]\r\n400\r\n[YSize]\r\n300\r\n"), std::u16string::npos);
    slot.pictureWidth = 640;
    slot.pictureHeight = 480;
    EXPECT_NE(ShareText(slot, 1234567, join({frame})).find(u"[XSize]\r\n640\r\n"),
              std::u16string::npos)
        << "a size the caller knows is kept";
}

class LibraryServerTest : public ::testing::Test {
  protected:
    testing::TempDir m_dir;
    ConfigStore m_store{m_dir.DatabasePath()};
    std::atomic<int> m_accountsGiven{0};
    test::FakeServer m_server{[this](const httplib::Request& req, httplib::Response& res) {
        if (req.body == "account=new") {
            ++m_accountsGiven;
            res.set_content(
                "<status>OK</status><seq>1234567</seq>"
                "<key>0123456789abcdef0123456789abcdef</key>",
                "text/plain");
        } else if (req.body.starts_with("[Quovis Settings]")) {
            res.set_content("<status>OK</status><id>77</id>", "text/plain");
        } else if (req.body.starts_with("delete=")) {
            res.status = 403;
            res.set_content("<status>This favorite belongs to someone else.</status>",
                            "text/plain");
        } else {
            res.set_content("<status>OK</status>", "text/plain");
        }
    }};
    LibraryClient m_client{m_store, {}, m_server.Url()};
};

TEST_F(LibraryServerTest, TheAccountIsAskedOnceAndItsKeyGoesOnlyWithOwnerRequests) {
    LibraryItem item;
    item.id = 5;
    ASSERT_TRUE(CountDownload(item, m_client));
    PatternSlot slot;
    ASSERT_TRUE(ReadPresetString(BuiltinText(false), slot.record));
    const LibraryResult shared = ShareSlot(slot, {}, m_client);
    EXPECT_TRUE(shared.ok);
    EXPECT_EQ(shared.id, 77);
    const LibraryResult withdrawn = WithdrawItem(77, m_client);
    EXPECT_TRUE(withdrawn.answered);
    EXPECT_FALSE(withdrawn.ok);
    EXPECT_EQ(withdrawn.status, u"This favorite belongs to someone else.");
    EXPECT_EQ(m_accountsGiven, 1);

    const std::string key = "0123456789abcdef0123456789abcdef";
    for (const test::SeenRequest& seen : m_server.Seen()) {
        const bool owner = seen.body.starts_with("[Quovis Settings]") ||
                           seen.body.starts_with("delete=77&u=1234567");
        EXPECT_EQ(seen.key, owner ? key : "") << seen.body;
        EXPECT_EQ(seen.body.find(key), std::string::npos);
        EXPECT_EQ(seen.target.find(key), std::string::npos);
    }
    EXPECT_NE(m_server.Seen()[2].body.find("[Seq]\r\n1234567\r\n"), std::string::npos);

    // Another server means another account; the old one is not offered to it.
    test::FakeServer other(
        [](const httplib::Request&, httplib::Response& res) { res.set_content("", "text/plain"); });
    EXPECT_FALSE(LibraryClient(m_store, {}, other.Url()).Account());
    EXPECT_TRUE(m_client.KnownAccount());
}

TEST_F(LibraryServerTest, DetailsTextsFollowTheItemsRelationToTheUser) {
    LibraryItem item;
    ASSERT_TRUE(ApplyItemDetails(
        item, u"<status>OK</status>" + ItemBlock(3, BuiltinText(false),
                                                 u"<author>Ann</author><date>2026-01-02 03:04"
                                                 u"</date><version>2.1.4051</version>")));
    item.slot.record.Location = u"Oslo";
    EXPECT_EQ(SharingSinceText(item), u"Sharing since: 2026-01-02 03:04");
    EXPECT_EQ(DownloadsText(item), u"Downloads: 6");
    EXPECT_EQ(RelateItem(m_store, item, 1000003), ItemRelation::Own);
    EXPECT_EQ(RelateItem(m_store, item, std::nullopt), ItemRelation::Others);
    EXPECT_EQ(ItemNoteText(item, ItemRelation::Others, kVersionText),
              u"\"Item 3\" was created by Ann (Oslo).  If you like it, you may add this favorite "
              u"to your collection.");
    EXPECT_EQ(ItemNoteText(item, ItemRelation::InFavorites, u"2.1.4050"),
              u"You currently have \"Item 3\" by Ann (Oslo) in your Favorites." +
                  std::u16string(kNewerVersionNote));
    EXPECT_FALSE(MadeWithNewerVersion(u"10.0", u"2.1"));  // characters, not numbers

    EXPECT_FALSE(ApplyItemDetails(item, std::nullopt));
    EXPECT_FALSE(ApplyItemDetails(item, u"<status>No such item.</status>"));
    EXPECT_FALSE(ApplyItemDetails(item, u"<status>OK</status>" + ItemBlock(4, u",5,5")));
    EXPECT_EQ(item.id, 3);
}

}  // namespace
}  // namespace quovis
