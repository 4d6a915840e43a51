// The server on a loopback port, spoken to with httplib's client.
#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "library_server/http_front.h"
#include "tests/library_server/test_stores.h"

namespace quovis::library_server::testing {
namespace {

class Http : public StoreTest {
  protected:
    void SetUp() override {
        StoreTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        m_service = std::make_unique<LibraryService>(*m_store);
        m_front = std::make_unique<HttpFront>(*m_service, FrontOptions{4, 10, false});
        std::string error;
        ASSERT_TRUE(m_front->Bind("127.0.0.1", 0, &error)) << error;
        m_serving = std::thread([this] { m_front->Run(); });
        m_client = std::make_unique<httplib::Client>("127.0.0.1", m_front->Port());
        m_client->set_read_timeout(10, 0);
    }
    void TearDown() override {
        if (m_front) {
            m_front->Stop();
            m_serving.join();
        }
        StoreTest::TearDown();
    }

    std::unique_ptr<LibraryService> m_service;
    std::unique_ptr<HttpFront> m_front;
    std::thread m_serving;
    std::unique_ptr<httplib::Client> m_client;
};

TEST_P(Http, AnswersTheBodyAndServesPictures) {
    // The URL's copy of the query is ignored; the body is the request.
    auto account = m_client->Post("/ShareQV.aspx?list=0&sort=1", "account=new", "text/plain");
    ASSERT_TRUE(account);
    EXPECT_EQ(account->status, 200);
    EXPECT_EQ(account->get_header_value("Content-Type"), "text/plain; charset=utf-8");
    ASSERT_NE(account->body.find("<key>"), std::string::npos) << account->body;

    StoredItem item;
    item.title = "Pictured";
    item.preset = "Pictured,1";
    int32_t id = 0;
    std::string jpeg = FakeJpeg(20000);
    ASSERT_EQ(m_store->AddItem(item, jpeg, &id), StoreResult::kOk);
    auto picture = m_client->Get(("/picture/" + std::to_string(id) + ".jpg").c_str());
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->status, 200);
    EXPECT_EQ(picture->get_header_value("Content-Type"), "image/jpeg");
    EXPECT_EQ(picture->body, jpeg);

    for (const char* path : {"/picture/99999.jpg", "/picture/x.jpg", "/other"}) {
        auto missing = m_client->Get(path);
        ASSERT_TRUE(missing);
        EXPECT_EQ(missing->status, 404) << path;
    }
    auto bad = m_client->Post("/ShareQV.aspx", "item=abc", "text/plain");
    ASSERT_TRUE(bad);
    EXPECT_EQ(bad->status, 400);
}

TEST_P(Http, APortInUseIsReported) {
    HttpFront second(*m_service);
    std::string error;
    EXPECT_FALSE(second.Bind("127.0.0.1", m_front->Port(), &error));
    EXPECT_NE(error.find("cannot listen"), std::string::npos) << error;
}

TEST_P(Http, RefusesABodyOver1MiB) {
    auto big = m_client->Post("/ShareQV.aspx", std::string(2 * 1024 * 1024, 'x'), "text/plain");
    ASSERT_TRUE(big) << httplib::to_string(big.error());
    EXPECT_EQ(big->status, 413);
    EXPECT_EQ(big->body, "<status>Too large.</status>");
}

TEST_P(Http, ASlowClientDoesNotHoldUpTheOthers) {
    int sock = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(sock, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(m_front->Port()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(connect(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    std::atomic<bool> done{false};
    std::thread slow([&] {
        const std::string request = "POST /ShareQV.aspx HTTP/1.1\r\nHost: x\r\n";
        for (size_t i = 0; i < request.size() && !done; ++i) {
            if (send(sock, &request[i], 1, MSG_NOSIGNAL) != 1) break;
            std::this_thread::sleep_for(std::chrono::seconds(1));
        }
    });
    // Let the slow request reach a worker first.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    auto list = m_client->Post("/ShareQV.aspx", "list=0&sort=1", "text/plain");
    done = true;
    ASSERT_TRUE(list) << httplib::to_string(list.error());
    EXPECT_EQ(list->body, "<status>OK</status>");
    shutdown(sock, SHUT_RDWR);
    slow.join();
    close(sock);
}

INSTANTIATE_TEST_SUITE_P(library_server, Http, ::testing::Values(StoreKind::kSqlite), StoreName);

}  // namespace
}  // namespace quovis::library_server::testing
