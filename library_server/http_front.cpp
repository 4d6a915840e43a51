#include "library_server/http_front.h"

#include <httplib.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdio>
#include <thread>

namespace quovis::library_server {

namespace {

constexpr const char* kTextType = "text/plain; charset=utf-8";

// The status text of an answer httplib made itself (too large, unknown path, bad request).
std::string StatusFor(int status) {
    switch (status) {
        case 413:
            return "<status>Too large.</status>";
        case 404:
            return "<status>Not found.</status>";
        case 405:
            return "<status>Not allowed.</status>";
        default:
            return "<status>Malformed request.</status>";
    }
}

// A client's text as the log shows it: the path arrives percent-decoded, and a line break or
// other control character in it must not start a log line of its own.
std::string Printable(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    }
    return text;
}

}  // namespace

HttpFront::HttpFront(LibraryService& service, FrontOptions options)
    : m_service(service), m_server(std::make_unique<httplib::Server>()) {
    httplib::Server& server = *m_server;
    int threads = options.threads;
    server.new_task_queue = [threads] {
        return new httplib::ThreadPool(static_cast<size_t>(threads));
    };
    server.set_read_timeout(options.timeoutSeconds, 0);
    server.set_write_timeout(options.timeoutSeconds, 0);
    server.set_keep_alive_timeout(5);
    server.set_keep_alive_max_count(20);
    server.set_payload_max_length(Limits::kBody);
    // httplib's default adds SO_REUSEPORT, with which a second server binds a port that is in
    // use and silently takes half its connections. Reusing a port in TIME_WAIT is all a
    // restart needs.
    server.set_socket_options([](int sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });

    server.Post("/ShareQV.aspx", [this](const httplib::Request& req, httplib::Response& res) {
        Answer a = m_service.Handle(req.body, req.get_header_value("X-Quovis-Key"));
        res.status = a.status;
        res.set_content(std::move(a.body), kTextType);
    });
    server.Get(R"(/picture/(\d{1,10})\.jpg)",
               [this](const httplib::Request& req, httplib::Response& res) {
                   long long id = std::stoll(req.matches[1].str());
                   Answer a = id <= 0x7FFFFFFF ? m_service.Picture(static_cast<int32_t>(id))
                                               : Answer{404, "<status>No picture.</status>"};
                   res.status = a.status;
                   res.set_content(std::move(a.body), a.status == 200 ? "image/jpeg" : kTextType);
               });
    // httplib answers some failures itself with an empty body; give those a status text.
    httplib::Server::HandlerWithResponse fillEmpty = [](const httplib::Request&,
                                                        httplib::Response& res) {
        if (!res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
        res.set_content(StatusFor(res.status), kTextType);
        return httplib::Server::HandlerResponse::Handled;
    };
    server.set_error_handler(std::move(fillEmpty));
    if (options.log) {
        server.set_logger([](const httplib::Request& req, const httplib::Response& res) {
            std::fprintf(stderr, "%s %s %s %d %zu\n", req.remote_addr.c_str(),
                         Printable(req.method).c_str(), Printable(req.path).c_str(), res.status,
                         res.body.size());
        });
    }
}

HttpFront::~HttpFront() = default;

bool HttpFront::Bind(const std::string& host, int port, std::string* error) {
    if (port == 0) {
        m_port = m_server->bind_to_any_port(host);
    } else if (m_server->bind_to_port(host, port)) {
        m_port = port;
    } else {
        m_port = -1;
    }
    if (m_port <= 0) {
        *error = "cannot listen on " + host + ":" + std::to_string(port) +
                 " (the port is in use, the address is not this machine's, or a port below "
                 "1024 needs privileges)";
        return false;
    }
    return true;
}

bool HttpFront::Run() {
    bool ok = m_server->listen_after_bind();
    m_finished = true;
    return ok;
}

void HttpFront::Stop() {
    // httplib's stop does nothing before the server runs: wait until it does (or gave up).
    while (!m_server->is_running() && !m_finished) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    m_server->stop();
}

}  // namespace quovis::library_server
