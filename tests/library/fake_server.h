// A small HTTP server on 127.0.0.1 for the library client's tests: it records every request
// (target, body, owner key header) and answers through the test's handler.
#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quovis::test {

struct SeenRequest {
    std::string target;  // path and query as sent
    std::string body;
    std::string key;  // the X-Quovis-Key header; empty when absent
};

class FakeServer {
  public:
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

    FakeServer() = default;
    explicit FakeServer(Handler handler) { Start(std::move(handler)); }
    // Starts answering through `handler` (once).
    void Start(Handler handler) {
        m_handler = std::move(handler);
        const auto record = [this](const httplib::Request& req, httplib::Response& res) {
            {
                std::lock_guard<std::mutex> guard(m_lock);
                m_seen.push_back({req.target, req.body, req.get_header_value("X-Quovis-Key")});
            }
            m_handler(req, res);
        };
        m_server.Post(".*", record);
        m_server.Get(".*", record);
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        // A stop before the loop runs would be missed and the loop would never end.
        while (!m_server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~FakeServer() {
        m_stopping = true;
        m_server.stop();
        if (m_thread.joinable()) m_thread.join();
    }
    FakeServer(const FakeServer&) = delete;
    FakeServer& operator=(const FakeServer&) = delete;

    std::u16string Url() const {
        const std::string url = "http://127.0.0.1:" + std::to_string(m_port);
        return std::u16string(url.begin(), url.end());
    }
    std::vector<SeenRequest> Seen() const {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_seen;
    }
    // An answer that trickles out one byte a second until the client gives up or the
    // server stops.
    void Trickle(httplib::Response& res) {
        res.set_chunked_content_provider("text/plain", [this](size_t, httplib::DataSink& sink) {
            for (int i = 0; i < 100 && !m_stopping; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            return !m_stopping && sink.write("x", 1);
        });
    }

  private:
    std::atomic<bool> m_stopping{false};
    Handler m_handler;
    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
    mutable std::mutex m_lock;
    std::vector<SeenRequest> m_seen;
};

}  // namespace quovis::test
