// The storage both back-ends offer, run against each: accounts, items, lists, counts.
#include <thread>
#include <vector>

#include "tests/library_server/test_stores.h"

namespace quovis::library_server::testing {
namespace {

using StoreOps = StoreTest;

StoredItem Sample(int32_t owner, std::string title, std::string keywords = "") {
    StoredItem item;
    item.owner = owner;
    item.title = std::move(title);
    item.keywords = std::move(keywords);
    item.version = "2.1.4051";
    item.author = "Ada";
    item.location = "Tallinn";
    item.description = "line one\r\nline two";
    item.preset = "Glow,1,2,3";
    item.drawing = "10 20 30 40";
    item.width = 640;
    item.height = 360;
    item.audio = 1;
    return item;
}

int32_t Add(LibraryStore& store, const StoredItem& item, const std::string& picture = "") {
    int32_t id = 0;
    EXPECT_EQ(store.AddItem(item, picture, &id), StoreResult::kOk);
    return id;
}

std::vector<std::string> Titles(LibraryStore& store, ListQuery query) {
    std::vector<StoredItem> items;
    EXPECT_EQ(store.ListItems(query, &items), StoreResult::kOk);
    std::vector<std::string> titles;
    for (const StoredItem& item : items) titles.push_back(item.title);
    return titles;
}

TEST_P(StoreOps, AccountsAreUniqueAndKeepTheirKeys) {
    Account a, b;
    ASSERT_EQ(m_store->CreateAccount(&a), StoreResult::kOk);
    ASSERT_EQ(m_store->CreateAccount(&b), StoreResult::kOk);
    EXPECT_NE(a.seq, b.seq);
    EXPECT_NE(a.key, b.key);
    for (const Account& account : {a, b}) {
        EXPECT_GE(account.seq, 1'000'000);
        EXPECT_EQ(account.key.size(), 32u);
        EXPECT_EQ(account.key.find_first_not_of("0123456789abcdef"), std::string::npos);
        std::string key;
        ASSERT_EQ(m_store->AccountKey(account.seq, &key), StoreResult::kOk);
        EXPECT_EQ(key, account.key);
    }
    std::string key;
    EXPECT_EQ(m_store->AccountKey(999'999, &key), StoreResult::kNotFound);
}

TEST_P(StoreOps, ItemKeepsEveryFieldAndItsPicture) {
    StoredItem in = Sample(1'234'567, "Blue ‹Sky›' ; DROP TABLE items; --");
    std::string jpeg = FakeJpeg(3000);
    jpeg[100] = '\0';  // pictures are bytes, not text
    int32_t id = Add(*m_store, in, jpeg);
    StoredItem out;
    ASSERT_EQ(m_store->GetItem(id, &out), StoreResult::kOk);
    EXPECT_EQ(out.id, id);
    EXPECT_EQ(out.owner, in.owner);
    EXPECT_EQ(out.downloads, 0);
    EXPECT_GT(out.sharedAt, 1'700'000'000);
    for (auto field : {&StoredItem::title, &StoredItem::keywords, &StoredItem::version,
                       &StoredItem::author, &StoredItem::location, &StoredItem::description,
                       &StoredItem::preset, &StoredItem::drawing}) {
        EXPECT_EQ(out.*field, in.*field);
    }
    EXPECT_EQ(out.width, 640);
    EXPECT_EQ(out.height, 360);
    EXPECT_EQ(out.audio, 1);
    EXPECT_TRUE(out.hasPicture);
    std::string picture;
    ASSERT_EQ(m_store->Picture(id, &picture), StoreResult::kOk);
    EXPECT_EQ(picture, jpeg);

    // Without a picture there is no size either.
    int32_t bare = Add(*m_store, in);
    ASSERT_EQ(m_store->GetItem(bare, &out), StoreResult::kOk);
    EXPECT_FALSE(out.hasPicture);
    EXPECT_EQ(out.width, 0);
    EXPECT_EQ(m_store->Picture(bare, &picture), StoreResult::kNotFound);
}

TEST_P(StoreOps, UpdateReplacesThePictureOnlyWhenANewOneComes) {
    StoredItem item = Sample(1'234'567, "Before");
    item.id = Add(*m_store, item, FakeJpeg(100, 'a'));
    item.width = item.height = 1;
    std::string picture;
    StoredItem out;
    ASSERT_EQ(m_store->UpdateItem(item, std::nullopt), StoreResult::kOk);
    ASSERT_EQ(m_store->GetItem(item.id, &out), StoreResult::kOk);
    EXPECT_EQ(out.width, 640);
    ASSERT_EQ(m_store->UpdateItem(item, FakeJpeg(50, 'b')), StoreResult::kOk);
    ASSERT_EQ(m_store->GetItem(item.id, &out), StoreResult::kOk);
    EXPECT_EQ(out.width, 1);
    ASSERT_EQ(m_store->Picture(item.id, &picture), StoreResult::kOk);
    EXPECT_EQ(picture, FakeJpeg(50, 'b'));

    item.id += 1000;
    EXPECT_EQ(m_store->UpdateItem(item, std::nullopt), StoreResult::kNotFound);
}

TEST_P(StoreOps, WithdrawnItemsAreGoneAndTheirIdsNotReused) {
    int32_t first = Add(*m_store, Sample(1'234'567, "One"), FakeJpeg(10));
    ASSERT_EQ(m_store->WithdrawItem(first), StoreResult::kOk);
    EXPECT_EQ(m_store->WithdrawItem(first), StoreResult::kNotFound);
    EXPECT_EQ(m_store->CountDownload(first), StoreResult::kNotFound);
    EXPECT_GT(Add(*m_store, Sample(1'234'567, "Two")), first);
}

TEST_P(StoreOps, ListsFilterSortAndLimit) {
    int32_t mine = 1'111'111, theirs = 2'222'222;
    int32_t a = Add(*m_store, Sample(mine, "Ärger im Wald", "forest"));
    int32_t b = Add(*m_store, Sample(theirs, "Blue Sky", "calm ÄRGER"));
    int32_t c = Add(*m_store, Sample(mine, "Night", "stars"));
    for (int32_t id : {a, a, b}) ASSERT_EQ(m_store->CountDownload(id), StoreResult::kOk);
    (void)c;

    struct Case {
        int32_t owner;
        const char* search;
        ListOrder order;
        int limit;
        std::vector<std::string> titles;
    } cases[] = {
        {0, "", ListOrder::kNewest, 512, {"Night", "Blue Sky", "Ärger im Wald"}},
        {0, "", ListOrder::kPopular, 512, {"Ärger im Wald", "Blue Sky", "Night"}},
        {0, "", ListOrder::kNewest, 2, {"Night", "Blue Sky"}},
        {mine, "", ListOrder::kNewest, 512, {"Night", "Ärger im Wald"}},
        {0, "ärger", ListOrder::kNewest, 512, {"Blue Sky", "Ärger im Wald"}},  // title, keywords
        {0, "SKY", ListOrder::kNewest, 512, {"Blue Sky"}},
        {0, "%", ListOrder::kNewest, 512, {}},  // no wildcards
        {theirs, "night", ListOrder::kNewest, 512, {}},
    };
    for (const Case& test : cases) {
        ListQuery query;
        query.owner = test.owner;
        query.search = test.search;
        query.order = test.order;
        query.limit = test.limit;
        EXPECT_EQ(Titles(*m_store, query), test.titles) << "search " << test.search;
    }
    // Lists leave out what only the details show.
    std::vector<StoredItem> items;
    ASSERT_EQ(m_store->ListItems({}, &items), StoreResult::kOk);
    EXPECT_EQ(items[0].drawing, "");
    EXPECT_EQ(items[0].description, "");
    EXPECT_EQ(items[0].preset, "Glow,1,2,3");
}

TEST_P(StoreOps, FindOwnTitleLooksOnlyAtTheOwner) {
    int32_t id = Add(*m_store, Sample(1'111'111, "It's \"mine\""));
    Add(*m_store, Sample(2'222'222, "Theirs"));
    int32_t found = 0;
    ASSERT_EQ(m_store->FindOwnTitle(1'111'111, "It's \"mine\"", &found), StoreResult::kOk);
    EXPECT_EQ(found, id);
    EXPECT_EQ(m_store->FindOwnTitle(1'111'111, "Theirs", &found), StoreResult::kNotFound);
    EXPECT_EQ(m_store->FindOwnTitle(1'111'111, "it's \"mine\"", &found), StoreResult::kNotFound);
}

TEST_P(StoreOps, DownloadsCountedFromManyThreadsAreAllCounted) {
    int32_t id = Add(*m_store, Sample(1'111'111, "Popular"));
    constexpr int kThreads = 4, kEach = 25;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < kEach; ++i) EXPECT_EQ(m_store->CountDownload(id), StoreResult::kOk);
        });
    }
    for (auto& t : threads) t.join();
    StoredItem out;
    ASSERT_EQ(m_store->GetItem(id, &out), StoreResult::kOk);
    EXPECT_EQ(out.downloads, kThreads * kEach);
}

QUOVIS_ON_EVERY_STORE(StoreOps);

}  // namespace
}  // namespace quovis::library_server::testing
