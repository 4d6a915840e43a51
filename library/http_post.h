// HTTP transport of the preset library: one POST per exchange, its body a short query or a
// settings text, its answer a small tagged text.
//
// Every request has time limits and can be cancelled: the saver and the configuration window
// must never wait on a server that does not answer. Nothing is retried and nothing is shown
// to the user here; an absent answer is the caller's failure to report.
//
// Index
//   Options         HttpOptions, the limits
//   Server          ResolveLibraryBase
//   Requests        HttpPost, HttpGetBytes, DecodeAnswer
//   Worker threads  HttpRequests (owner of the requests in flight), HttpPostAsync
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quovis {

// ============================================================================================
// Options
// ============================================================================================

struct HttpOptions {
    std::chrono::milliseconds connectTimeout{5000};
    std::chrono::milliseconds totalTimeout{20000};  // the whole request, answer included
    // Checked while the request runs: once true, the request ends at once with no answer.
    std::atomic<bool>* cancel = nullptr;
    // The owner's secret, sent as the "X-Quovis-Key" header; empty: no header.
    std::string ownerKey;
};

// The most of an answer that is kept; the rest is not read.
inline constexpr std::size_t kHttpAnswerLimit = 131071;
// A query shorter than this (in UTF-8 bytes) also travels in the URL.
inline constexpr std::size_t kHttpUrlQueryLimit = 128;
inline constexpr std::u16string_view kLibraryPage = u"ShareQV.aspx";
inline constexpr std::u16string_view kDefaultLibraryServer = u"library.ferrowick.software";

// ============================================================================================
// Server
// ============================================================================================

// The base URL (UTF-8, no trailing "/") a "LibraryServer" value names: a value with a scheme
// ("http://127.0.0.1:8765/x") as it stands; a bare host "https://HOST", or "http://HOST" when
// the host begins with "w" or "W"; an empty value the default server.
std::string ResolveLibraryBase(std::u16string_view server);

// ============================================================================================
// Requests
// ============================================================================================

// POSTs the query (as UTF-8; with plusForSpaces every blank becomes "+") to `page` on the
// server and returns the answer decoded from UTF-8, whatever its HTTP status. nullopt when
// no answer came: no connection, time-out, cancelled.
std::optional<std::u16string> HttpPost(std::u16string_view server, std::u16string_view page,
                                       std::u16string_view query, bool plusForSpaces,
                                       const HttpOptions& options = {});

// GETs `path` (starting with "/") on the server; nullopt without an answer, with an HTTP
// status other than 200, or when the answer has more than `limit` bytes.
std::optional<std::vector<uint8_t>> HttpGetBytes(std::u16string_view server, std::string_view path,
                                                 std::size_t limit,
                                                 const HttpOptions& options = {});

// An answer's bytes as text: UTF-8, every invalid sequence one U+FFFD, NULs dropped.
std::u16string DecodeAnswer(std::string_view bytes);

// ============================================================================================
// Worker threads
// ============================================================================================

// The answer of an asynchronous request, handed over on the request's own thread.
using HttpCallback = std::function<void(std::optional<std::u16string>)>;
// The work of an asynchronous request: it must pass `cancel` on as HttpOptions::cancel.
using HttpJob = std::function<std::optional<std::u16string>(std::atomic<bool>* cancel)>;

// Owns the threads of the requests it starts. Its destructor cancels every request still in
// flight and waits for their threads, which takes well under a second; a cancelled request
// ends without calling its callback, so the callback may use objects that die with the owner.
class HttpRequests {
  public:
    HttpRequests();
    ~HttpRequests();
    HttpRequests(const HttpRequests&) = delete;
    HttpRequests& operator=(const HttpRequests&) = delete;

    // Runs `job` on a thread of its own, then `done` with its result on that thread.
    void Start(HttpJob job, HttpCallback done);
    // HttpPost on a thread of its own (the options' cancel flag is honoured as well).
    void Post(std::u16string server, std::u16string page, std::u16string query, bool plusForSpaces,
              HttpOptions options, HttpCallback done);
    // Cancels every request in flight and waits for their threads.
    void CancelAll();
    // Requests started whose callback has not returned yet.
    std::size_t InFlight() const;

  private:
    struct State;
    std::shared_ptr<State> m_state;
};

// The free form of HttpRequests::Post.
inline void HttpPostAsync(HttpRequests& requests, std::u16string server, std::u16string page,
                          std::u16string query, bool plusForSpaces, HttpOptions options,
                          HttpCallback done) {
    requests.Post(std::move(server), std::move(page), std::move(query), plusForSpaces,
                  std::move(options), std::move(done));
}

}  // namespace quovis
