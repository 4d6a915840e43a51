// The library's HTTP transport against small local servers: where the query travels, the
// answer's limits and decoding, time-outs and cancelling, and the request owner.
#include "library/http_post.h"

#include <gtest/gtest.h>

#include <thread>

#include "tests/library/fake_server.h"

namespace quovis {
namespace {

using test::FakeServer;
using namespace std::chrono_literals;

void AnswerOk(const httplib::Request&, httplib::Response& res) {
    res.set_content("<status>OK</status>", "text/plain; charset=utf-8");
}

// The longest a request may take when it ends as it should; far below the time-outs used.
constexpr auto kPrompt = 8s;

TEST(LibraryResolveBase, SchemeKeptBareHostsGetOneByTheirFirstLetter) {
    const struct {
        std::u16string_view server;
        std::string base;
    } cases[] = {
        {u"http://127.0.0.1:8765", "http://127.0.0.1:8765"},
        {u"https://example.org/lib/", "https://example.org/lib"},
        {u"library.example.org", "https://library.example.org"},
        {u"www.example.org", "http://www.example.org"},
        {u"Web.example.org:81", "http://Web.example.org:81"},
        {u"", "https://library.ferrowick.software"},
        {u"  ", "https://library.ferrowick.software"},
    };
    for (const auto& c : cases) EXPECT_EQ(ResolveLibraryBase(c.server), c.base);
}

TEST(LibraryHttpPost, AQueryShorterThan128BytesAlsoTravelsInTheUrl) {
    FakeServer server(AnswerOk);
    for (const std::size_t size : {std::size_t{127}, std::size_t{128}}) {
        const std::u16string query = u"find=" + std::u16string(size - 12, u'a') + u"&sort=1";
        ASSERT_EQ(query.size(), size);
        ASSERT_EQ(HttpPost(server.Url(), kLibraryPage, query, false), u"<status>OK</status>");
        const test::SeenRequest seen = server.Seen().back();
        EXPECT_EQ(seen.body, std::string(query.begin(), query.end()));
        const std::string path = "/ShareQV.aspx";
        EXPECT_EQ(seen.target, size < 128 ? path + "?" + seen.body : path) << size;
    }
}

TEST(LibraryHttpPost, BlanksBecomePlusSignsOnlyWhenAsked) {
    FakeServer server(AnswerOk);
    ASSERT_TRUE(HttpPost(server.Url(), kLibraryPage, u"find=blue sky", false));
    ASSERT_TRUE(HttpPost(server.Url(), kLibraryPage, u"find=blue sky", true));
    const std::vector<test::SeenRequest> seen = server.Seen();
    EXPECT_EQ(seen[0].body, "find=blue sky");
    EXPECT_EQ(seen[0].target, "/ShareQV.aspx?find=blue%20sky");
    EXPECT_EQ(seen[1].body, "find=blue+sky");
}

TEST(LibraryHttpPost, TextTravelsAsUtf8AndBadUtf8InTheAnswerIsReplaced) {
    FakeServer server([](const httplib::Request&, httplib::Response& res) {
        res.status = 404;  // any answer counts
        res.set_content(std::string("<t>\xC3\xA9\xFF\x80z</t>\0!", 14), "text/plain");
    });
    const std::optional<std::u16string> answer =
        HttpPost(server.Url(), kLibraryPage, u"title=Caf\u00e9", false);
    EXPECT_EQ(server.Seen().back().body, "title=Caf\xC3\xA9");
    EXPECT_EQ(answer, u"<t>\u00e9\uFFFD\uFFFDz</t>!");
}

TEST(LibraryHttpPost, AHugeAnswerIsCutAtTheLimit) {
    FakeServer server([](const httplib::Request&, httplib::Response& res) {
        res.set_content(std::string(10 * 1024 * 1024, 'a'), "text/plain");
    });
    const std::optional<std::u16string> answer = HttpPost(server.Url(), kLibraryPage, u"x", false);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->size(), kHttpAnswerLimit);
}

TEST(LibraryHttpPost, NoServerGivesNoAnswer) {
    std::u16string url;
    { url = FakeServer(AnswerOk).Url(); }  // the port is free again: connection refused
    EXPECT_FALSE(HttpPost(url, kLibraryPage, u"list=0&sort=1", false));
}

TEST(LibraryHttpPost, ASlowServerTimesOutAndTheCancelFlagEndsARequest) {
    FakeServer server;
    server.Start(
        [&server](const httplib::Request&, httplib::Response& res) { server.Trickle(res); });
    HttpOptions options;
    options.totalTimeout = 1s;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(HttpPost(server.Url(), kLibraryPage, u"x", false, options));
    EXPECT_LT(std::chrono::steady_clock::now() - start, kPrompt);

    std::atomic<bool> cancel{false};
    options.totalTimeout = 60s;
    options.cancel = &cancel;
    std::thread canceller([&cancel] {
        std::this_thread::sleep_for(200ms);
        cancel = true;
    });
    const auto cancelStart = std::chrono::steady_clock::now();
    EXPECT_FALSE(HttpPost(server.Url(), kLibraryPage, u"x", false, options));
    EXPECT_LT(std::chrono::steady_clock::now() - cancelStart, kPrompt);
    canceller.join();
}

TEST(LibraryHttpRequests, AnswersOnItsThreadAndItsEndCancelsWithoutCallingBack) {
    FakeServer fast(AnswerOk);
    FakeServer slow;
    slow.Start([&slow](const httplib::Request&, httplib::Response& res) { slow.Trickle(res); });
    std::atomic<int> answered{0};
    std::atomic<int> calledBack{0};
    const auto start = std::chrono::steady_clock::now();
    {
        HttpRequests requests;
        requests.Post(fast.Url(), std::u16string(kLibraryPage), u"a", false, {},
                      [&](std::optional<std::u16string> answer) {
                          answered = answer == u"<status>OK</status>" ? 1 : -1;
                      });
        for (int i = 0; i < 2; ++i) {
            HttpPostAsync(requests, slow.Url(), std::u16string(kLibraryPage), u"b", false,
                          HttpOptions{}, [&](std::optional<std::u16string>) { ++calledBack; });
        }
        while ((answered == 0 || requests.InFlight() != 2) &&
               std::chrono::steady_clock::now() - start < kPrompt) {
            std::this_thread::sleep_for(5ms);
        }
        EXPECT_EQ(requests.InFlight(), 2u);
    }
    EXPECT_EQ(answered, 1);
    EXPECT_EQ(calledBack, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, kPrompt);  // not the 20 s time-out
}

}  // namespace
}  // namespace quovis
