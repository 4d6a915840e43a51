// The slideshow's library source: never waits on the network, says "not yet" until a list
// has arrived, and fetches a drawing-style item's details in the background.
#include "library/slideshow_library.h"

#include <gtest/gtest.h>

#include <thread>

#include "settings/config_store.h"
#include "settings/config_values.h"
#include "settings/preset_record.h"
#include "settings/text_encoding.h"
#include "tests/library/fake_server.h"
#include "tests/library/library_answers.h"
#include "tests/settings/config_test_support.h"

namespace quovis {
namespace {

using namespace std::chrono_literals;
using List = SlideshowLibrary::List;

TEST(LibrarySlideshowSource, SaysNotYetUntilTheListsArriveThenGivesItems) {
    std::atomic<bool> release{false};
    const std::u16string plain = test::BuiltinText(false);
    const std::u16string drawing = test::BuiltinText(true);
    test::FakeServer server([&](const httplib::Request& req, httplib::Response& res) {
        for (int i = 0; i < 1000 && !release; ++i) std::this_thread::sleep_for(10ms);
        std::u16string answer = u"<status>OK</status>";
        if (req.body == "list=0&sort=1") {
            answer +=
                test::ItemBlock(1, plain, u"<author>Ann</author>") + test::ItemBlock(2, drawing);
        } else if (req.body == "item=2") {
            answer += test::ItemBlock(2, drawing, u"<drawing>1,500,500,</drawing>");
        }
        res.set_content(Utf16ToUtf8(answer), "text/plain");
    });
    testing::TempDir dir;
    ConfigStore store(dir.DatabasePath());
    LibrarySlideshowSource source(LibraryClient(store, {}, server.Url()));

    // The server holds its answers: asking again and again must not wait for them.
    for (int i = 0; i < 3; ++i) {
        EXPECT_LT(source.ListSize(List::Newest), 0);
        EXPECT_LT(source.ListSize(List::Popular), 0);
        EXPECT_FALSE(source.GetItem(List::Newest, 0));
    }
    release = true;
    ASSERT_TRUE(source.WaitIdle(8s));
    EXPECT_EQ(source.ListSize(List::Newest), 2);
    EXPECT_EQ(source.ListSize(List::Popular), 0);  // arrived empty: leaves the slideshow

    const std::optional<SlideshowLibrary::Item> first = source.GetItem(List::Newest, 0);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->id, 1);
    EXPECT_EQ(first->title, u"Item 1");
    EXPECT_EQ(first->author, u"Ann");
    PresetRecord record;
    EXPECT_TRUE(ReadPresetString(first->presetText, record));
    EXPECT_EQ(record.Origin, 2);

    EXPECT_FALSE(source.GetItem(List::Newest, 1));  // its drawing is fetched meanwhile
    ASSERT_TRUE(source.WaitIdle(8s));
    const std::optional<SlideshowLibrary::Item> second = source.GetItem(List::Newest, 1);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->drawing, u"1,500,500,");
    EXPECT_FALSE(source.GetItem(List::Newest, 2));
}

TEST(LibrarySlideshowSource, AListThatCannotBeHadCountsAsEmpty) {
    std::u16string url;
    {
        url = test::FakeServer([](const httplib::Request&, httplib::Response&) {}).Url();
    }
    testing::TempDir dir;
    ConfigStore store(dir.DatabasePath());
    LibrarySlideshowSource source(LibraryClient(store, {}, url));
    EXPECT_LT(source.ListSize(List::Newest), 0);
    ASSERT_TRUE(source.WaitIdle(8s));
    EXPECT_EQ(source.ListSize(List::Newest), 0);

    // An ordinary slideshow has no library source at all.
    EXPECT_TRUE(kConfigRanCur.Write(store, kSourceCurrentSettings));
    EXPECT_EQ(MakeSlideshowLibrary(store), nullptr);
    EXPECT_TRUE(kConfigRanCur.Write(store, kSourceLibraryRandom));
    EXPECT_NE(MakeSlideshowLibrary(store), nullptr);
}

}  // namespace
}  // namespace quovis
