// HttpFront: the library service on HTTP (cpp-httplib). POST /ShareQV.aspx hands the body and
// the X-Quovis-Key header to the service (a query in the URL is ignored: the body is the
// request); GET /picture/ID.jpg returns an item's picture.
//
// Connections are served by a fixed pool of threads with read and write time-outs, and a body
// larger than 1 MiB is refused (413) before it is read into memory, so one slow or greedy
// client holds up one thread at most. Each request is logged to stderr as one line: client
// address, method, path, status and answer size; never the key, never the body.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "library_server/library_service.h"

namespace httplib {
class Server;
}

namespace quovis::library_server {

struct FrontOptions {
    int threads = 16;
    int timeoutSeconds = 10;
    bool log = true;
};

class HttpFront {
  public:
    HttpFront(LibraryService& service, FrontOptions options = {});
    ~HttpFront();
    HttpFront(const HttpFront&) = delete;
    HttpFront& operator=(const HttpFront&) = delete;

    // Binds the listening socket; port 0 takes any free port. False with a readable `error`.
    bool Bind(const std::string& host, int port, std::string* error);
    int Port() const { return m_port; }
    // Serves until Stop (from another thread). False when serving failed.
    bool Run();
    void Stop();

  private:
    LibraryService& m_service;
    std::unique_ptr<httplib::Server> m_server;
    int m_port = 0;
    std::atomic<bool> m_finished{false};
};

}  // namespace quovis::library_server
