// The library's requests and answers, over each store, without HTTP.
#include <string>

#include "library_server/library_service.h"
#include "settings/base64.h"
#include "settings/builtin_presets.h"
#include "settings/pattern_slot.h"
#include "settings/preset_record.h"
#include "settings/settings_file.h"
#include "settings/text_encoding.h"
#include "tests/library_server/test_stores.h"

namespace quovis::library_server::testing {
namespace {

// The value of the first <tag> in `text`, as a client reads it.
std::string Tag(const std::string& text, const std::string& name, size_t from = 0) {
    size_t open = text.find("<" + name + ">", from);
    if (open == std::string::npos) return "(none)";
    open += name.size() + 2;
    size_t close = text.find("</" + name + ">", open);
    return close == std::string::npos ? "(open)" : text.substr(open, close - open);
}

size_t CountItems(const std::string& text) {
    size_t n = 0;
    for (size_t at = text.find("<item>"); at != std::string::npos;
         at = text.find("<item>", at + 1)) {
        ++n;
    }
    return n;
}

struct FormFields {
    std::string title = "Blue Sky";
    std::string keywords = "calm evening";
    std::string preset = "Blue Sky,12,3,4";
    std::string description = "Soft.\r\nVery soft.";
    std::string drawing;
    std::string id;  // "" for a new item
    std::string jpeg;
    std::string jpegLength;  // "" for the real length
};

std::string Form(int32_t seq, const FormFields& f) {
    std::string text = "[Quovis Settings]\r\n" + f.preset + "\r\n";
    if (!f.drawing.empty()) text += "[Draw]\r\n" + f.drawing + "\r\n";
    text += "[Version]\r\n2.1.4051\r\n";
    if (!f.id.empty()) text += "[ID]\r\n" + f.id + "\r\n";
    text += "[Title]\r\n" + f.title + "\r\n[Nickname]\r\nAda\r\n[Keywords]\r\n" + f.keywords +
            "\r\n[SettingsVer]\r\n1\r\n[Seq]\r\n" + std::to_string(seq) + "\r\n[Description]\r\n" +
            f.description + "\r\n[XSize]\r\n320\r\n[YSize]\r\n200\r\n[Audio]\r\n0\r\n";
    if (!f.jpeg.empty()) {
        auto* bytes = reinterpret_cast<const uint8_t*>(f.jpeg.data());
        text += "[JPG]\r\n" +
                (f.jpegLength.empty() ? std::to_string(f.jpeg.size()) : f.jpegLength) + "\r\n" +
                Base64Encode({bytes, f.jpeg.size()}) + "\r\n";
    }
    return text;
}

class Service : public StoreTest {
  protected:
    void SetUp() override {
        StoreTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        m_service = std::make_unique<LibraryService>(*m_store);
        m_alice = NewAccount();
        m_bob = NewAccount();
    }
    Account NewAccount() {
        Answer a = m_service->Handle("account=new", "");
        EXPECT_EQ(a.status, 200);
        return {std::stoi(Tag(a.body, "seq")), Tag(a.body, "key")};
    }
    Answer As(const Account& who, const std::string& body) {
        return m_service->Handle(body, who.key);
    }
    int32_t Share(const FormFields& f = {}) {
        Answer a = As(m_alice, Form(m_alice.seq, f));
        EXPECT_EQ(a.body.substr(0, 19), "<status>OK</status>") << a.body;
        return std::stoi(Tag(a.body, "id"));
    }

    std::unique_ptr<LibraryService> m_service;
    Account m_alice, m_bob;
};

TEST_P(Service, ShareFindShowCountUpdateAndWithdraw) {
    FormFields blue;
    blue.jpeg = FakeJpeg(5000);
    blue.drawing = "1 2 3 4";
    int32_t id = Share(blue);
    FormFields night;
    night.title = "Night";
    night.keywords = "stars";
    int32_t other = Share(night);
    std::string sid = std::to_string(id);

    EXPECT_EQ(Tag(m_service->Handle("list=0&sort=1", "").body, "title"), "Night");
    ASSERT_EQ(m_service->Handle("snatch=" + sid, "").status, 200);
    std::string popular = m_service->Handle("list=0&sort=3", "").body;
    EXPECT_EQ(Tag(popular, "title"), "Blue Sky");
    EXPECT_EQ(Tag(popular, "snatches"), "1");
    EXPECT_EQ(Tag(popular, "size"), "320x200");
    EXPECT_EQ(Tag(popular, "seq"), std::to_string(m_alice.seq));
    EXPECT_EQ(Tag(popular, "desc"), "(none)");
    EXPECT_EQ(
        CountItems(m_service->Handle("list=" + std::to_string(m_alice.seq) + "&sort=1", "").body),
        2u);
    EXPECT_EQ(
        CountItems(m_service->Handle("list=" + std::to_string(m_bob.seq) + "&sort=1", "").body),
        0u);
    // The search text runs to the last "&sort=".
    EXPECT_EQ(Tag(m_service->Handle("find=STARS&sort=1", "").body, "id"), std::to_string(other));
    EXPECT_EQ(Tag(m_service->Handle("find=blue&sort=me&sort=1", "").body, "id"), "(none)");
    EXPECT_EQ(Tag(m_service->Handle("find=sky&sort=7", "").body, "id"), sid);

    std::string details = m_service->Handle("item=" + sid, "").body;
    EXPECT_EQ(Tag(details, "desc"), "Soft.\r\nVery soft.");
    EXPECT_EQ(Tag(details, "drawing"), "1 2 3 4");
    EXPECT_EQ(Tag(details, "author"), "Ada");
    EXPECT_EQ(Tag(details, "preset"), "Blue Sky,12,3,4");
    EXPECT_EQ(m_service->Picture(id).body, blue.jpeg);

    Answer look = As(m_alice, "title=Blue Sky&u=" + std::to_string(m_alice.seq));
    EXPECT_EQ(Tag(look.body, "id"), sid);
    EXPECT_EQ(Tag(As(m_alice, "title=Red&u=" + std::to_string(m_alice.seq)).body, "status"),
              "Not shared.");

    FormFields update;
    update.id = sid;
    update.title = "Bluer Sky";
    ASSERT_EQ(As(m_alice, Form(m_alice.seq, update)).status, 200);
    details = m_service->Handle("item=" + sid, "").body;
    EXPECT_EQ(Tag(details, "title"), "Bluer Sky");
    EXPECT_EQ(Tag(details, "snatches"), "1");
    EXPECT_EQ(m_service->Picture(id).body, blue.jpeg);

    std::string withdraw = "delete=" + sid + "&u=" + std::to_string(m_alice.seq);
    EXPECT_EQ(As(m_alice, withdraw).status, 200);
    EXPECT_EQ(m_service->Handle("item=" + sid, "").status, 404);
    EXPECT_EQ(m_service->Picture(id).status, 404);
    EXPECT_EQ(As(m_alice, withdraw).status, 404);
}

TEST_P(Service, OnlyTheOwnerWithTheKeyActsAsOwner) {
    int32_t id = Share();
    std::string alice = std::to_string(m_alice.seq), bob = std::to_string(m_bob.seq);
    std::string sid = std::to_string(id);
    FormFields update;
    update.id = sid;
    std::string stolenKey = m_bob.key;
    struct Case {
        std::string body, key;
    } cases[] = {
        {"delete=" + sid + "&u=" + bob, m_bob.key},    // another account's own key
        {"delete=" + sid + "&u=" + alice, ""},         // the owner's number without the key
        {"delete=" + sid + "&u=" + alice, m_bob.key},  // with another account's key
        {"delete=" + sid + "&u=" + alice, m_alice.key.substr(0, 31)},
        {"title=Blue Sky&u=" + alice, m_bob.key},
        {Form(m_bob.seq, update), m_bob.key},
        {Form(m_alice.seq, update), m_bob.key},
        {Form(m_alice.seq, {}), ""},
        {"delete=" + sid + "&u=999999", ""},  // no such account
    };
    for (const Case& c : cases) {
        Answer a = m_service->Handle(c.body, c.key);
        EXPECT_EQ(a.status, 403) << c.body;
        EXPECT_EQ(Tag(a.body, "status"), "This favorite belongs to someone else.");
    }
    EXPECT_EQ(m_service->Handle("item=" + sid, "").status, 200);
}

TEST_P(Service, RefusesMalformedAndOversizedRequests) {
    std::string big(Limits::kBody + 1, 'x');
    FormFields longTitle, noTitle, hugePicture, shortPicture, notJpeg, longDrawing, badLength;
    longTitle.title = std::string(128, 'T');
    noTitle.title = "";
    hugePicture.jpeg = FakeJpeg(Limits::kPicture + 1);
    shortPicture.jpeg = FakeJpeg(100);
    shortPicture.jpegLength = "99";
    notJpeg.jpeg = std::string(100, 'x');
    longDrawing.drawing = std::string(Limits::kDrawing + 1, '1');
    badLength.jpeg = FakeJpeg(10);
    badLength.jpegLength = "ten";
    struct Case {
        std::string body;
        int status;
        std::string text;  // "" when any text will do
    } cases[] = {
        {"", 400, ""},
        {"list=0", 400, ""},
        {"list=x&sort=1", 400, ""},
        {"list=-1&sort=1", 400, ""},
        {"list=0&sort=", 400, ""},
        {"item=", 400, ""},
        {"item=12abc", 400, ""},
        {"item=99999999999", 400, ""},
        {"snatch=1 OR 1=1", 400, ""},
        {"delete=1", 400, ""},
        {"account=old", 400, ""},
        {"find=\xC3&sort=1", 400, ""},
        {"item=999", 404, ""},
        {"snatch=999", 404, ""},
        {big, 413, "Too large."},
        {Form(m_alice.seq, longTitle), 413, "Title too long."},
        {Form(m_alice.seq, longDrawing), 413, "Drawing too long."},
        {Form(m_alice.seq, hugePicture), 413, "Picture too large."},
        {Form(m_alice.seq, noTitle), 400, ""},
        {Form(m_alice.seq, shortPicture), 400, "The picture is damaged."},
        {Form(m_alice.seq, notJpeg), 400, "The picture is not a JPEG."},
        {Form(m_alice.seq, badLength), 400, ""},
    };
    for (const Case& c : cases) {
        Answer a = As(m_alice, c.body);
        EXPECT_EQ(a.status, c.status) << c.body.substr(0, 60);
        if (!c.text.empty()) {
            EXPECT_EQ(Tag(a.body, "status"), c.text);
        }
    }
    EXPECT_EQ(CountItems(m_service->Handle("list=0&sort=1", "").body), 0u);
}

TEST_P(Service, ValuesCannotCloseTheirTags) {
    FormFields f;
    f.title = "a</title><id>7";
    f.keywords = "<b>";
    int32_t id = Share(f);
    std::string body = m_service->Handle("item=" + std::to_string(id), "").body;
    EXPECT_EQ(Tag(body, "title"), "a\u2039/title>\u2039id>7");
    EXPECT_EQ(Tag(body, "keywords"), "\u2039b>");
    EXPECT_EQ(Tag(body, "id"), std::to_string(id));
}

TEST_P(Service, TheClientsOwnLibraryFormIsUnderstood) {
    PatternSlot slot;
    ASSERT_TRUE(ReadPresetString(BuiltinPreset(0), slot.record));
    slot.keywords = u"Glühen";
    slot.description = u"Zwei\r\nZeilen";
    std::string jpeg = FakeJpeg(777);
    std::u16string form = BuildSettingsText(
        slot, true, m_alice.seq, {reinterpret_cast<const uint8_t*>(jpeg.data()), jpeg.size()}, 0);
    Answer a = As(m_alice, Utf16ToUtf8(form));
    ASSERT_EQ(a.status, 200) << a.body;
    std::string details = m_service->Handle("item=" + Tag(a.body, "id"), "").body;
    EXPECT_EQ(Tag(details, "title"), Utf16ToUtf8(BuiltinPresetName(0)));
    EXPECT_EQ(Tag(details, "preset"), Utf16ToUtf8(*slot.PresetText(true)));
    EXPECT_EQ(Tag(m_service->Handle("find=GLÜHEN&sort=1", "").body, "id"), Tag(a.body, "id"));
    EXPECT_EQ(m_service->Picture(std::stoi(Tag(a.body, "id"))).body, jpeg);
}

TEST_P(Service, LongListsStopAt512ItemsAndBefore120000Bytes) {
    StoredItem item;
    item.owner = m_alice.seq;
    item.title = "Small";
    item.preset = "Small,1";
    for (int i = 0; i < 600; ++i) {
        int32_t id;
        ASSERT_EQ(m_store->AddItem(item, "", &id), StoreResult::kOk);
    }
    std::string small = m_service->Handle("list=0&sort=1", "").body;
    EXPECT_EQ(CountItems(small), 512u);
    EXPECT_LT(small.size(), 120'000u);

    item.title = "Large";
    item.preset = std::string(1000, 'p');
    for (int i = 0; i < 200; ++i) {
        int32_t id;
        ASSERT_EQ(m_store->AddItem(item, "", &id), StoreResult::kOk);
    }
    std::string large = m_service->Handle("list=0&sort=1", "").body;
    EXPECT_LE(large.size(), 120'000u);
    EXPECT_GT(large.size(), 110'000u);
    EXPECT_EQ(large.substr(large.size() - 7), "</item>");
}

QUOVIS_ON_EVERY_STORE(Service);

}  // namespace
}  // namespace quovis::library_server::testing
