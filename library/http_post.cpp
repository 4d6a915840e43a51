#include "library/http_post.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstdio>
#include <list>
#include <mutex>
#include <thread>

#include "settings/settings_file.h"
#include "settings/text_encoding.h"

namespace quovis {

namespace {

// How long the transfer loop sleeps between looks at the cancel flags: the longest a
// cancelled request goes on.
constexpr int kPollMs = 40;

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

bool Cancelled(const std::atomic<bool>* a, const std::atomic<bool>* b) {
    return (a != nullptr && a->load()) || (b != nullptr && b->load());
}

// Characters a URL's query may carry as they are; everything else is percent-encoded.
bool UrlSafe(unsigned char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
    return std::string_view("-._~=&+,;:@/!$'()*").find(static_cast<char>(c)) !=
           std::string_view::npos;
}

std::string PercentEncode(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 3);
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (UrlSafe(c)) {
            out.push_back(ch);
        } else {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 15]);
        }
    }
    return out;
}

// What one transfer collects. The write callback stops the transfer once `limit` bytes are
// held, so a huge answer costs no more than the limit.
struct Sink {
    std::string bytes;
    std::size_t limit = kHttpAnswerLimit;
    bool overflow = false;
    const std::atomic<bool>* cancelA = nullptr;
    const std::atomic<bool>* cancelB = nullptr;
};

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
    auto* sink = static_cast<Sink*>(user);
    const size_t n = size * count;
    const size_t room = sink->limit - sink->bytes.size();
    if (n > room) {
        sink->bytes.append(data, room);
        sink->overflow = true;
        return 0;  // ends the transfer with CURLE_WRITE_ERROR
    }
    sink->bytes.append(data, n);
    return n;
}

int TransferInfo(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* sink = static_cast<const Sink*>(user);
    return Cancelled(sink->cancelA, sink->cancelB) ? 1 : 0;
}

struct EasyHandle {
    CURL* easy = curl_easy_init();
    curl_slist* headers = nullptr;
    ~EasyHandle() {
        if (easy != nullptr) curl_easy_cleanup(easy);
        curl_slist_free_all(headers);
    }
    void AddHeader(const std::string& line) { headers = curl_slist_append(headers, line.c_str()); }
};

void SetCommonOptions(EasyHandle& h, const std::string& url, Sink& sink,
                      const HttpOptions& options) {
    CURL* e = h.easy;
    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    // Requests run on worker threads: no signals for the resolver's time-out.
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_USERAGENT, "Quovis");
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
#if LIBCURL_VERSION_NUM >= 0x075700
    // A request cancelled while the name is being looked up leaves the look-up to finish on
    // its own, instead of waiting for it.
    curl_easy_setopt(e, CURLOPT_QUICK_EXIT, 1L);
#endif
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(std::max<int64_t>(1, options.connectTimeout.count())));
    curl_easy_setopt(e, CURLOPT_TIMEOUT_MS,
                     static_cast<long>(std::max<int64_t>(1, options.totalTimeout.count())));
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, WriteBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, TransferInfo);
    curl_easy_setopt(e, CURLOPT_XFERINFODATA, &sink);
    if (!options.ownerKey.empty()) h.AddHeader("X-Quovis-Key: " + options.ownerKey);
}

// Runs the transfer, looking at the cancel flags every few milliseconds (the progress
// callback alone may be called only once a second while a server is silent). The result
// code of the transfer, or CURLE_ABORTED_BY_CALLBACK when cancelled.
CURLcode Perform(CURL* easy, const Sink& sink) {
    CURLM* multi = curl_multi_init();
    if (multi == nullptr) return CURLE_OUT_OF_MEMORY;
    curl_multi_add_handle(multi, easy);
    CURLcode result = CURLE_OK;
    bool done = false;
    while (!done) {
        if (Cancelled(sink.cancelA, sink.cancelB)) {
            result = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        int running = 0;
        if (curl_multi_perform(multi, &running) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
        int queued = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi, &queued)) {
            if (msg->msg == CURLMSG_DONE) {
                result = msg->data.result;
                done = true;
            }
        }
        if (!done && running == 0) {
            result = CURLE_FAILED_INIT;
            break;
        }
        if (!done) curl_multi_poll(multi, nullptr, 0, kPollMs, nullptr);
    }
    curl_multi_remove_handle(multi, easy);
    curl_multi_cleanup(multi);
    return result;
}

std::optional<std::u16string> PostWithCancel(std::u16string_view server, std::u16string_view page,
                                             std::u16string_view query, bool plusForSpaces,
                                             const HttpOptions& options,
                                             const std::atomic<bool>* extraCancel) {
    InitCurlOnce();
    std::string body = Utf16ToUtf8(query);
    if (plusForSpaces) std::replace(body.begin(), body.end(), ' ', '+');
    std::string url = ResolveLibraryBase(server) + "/" + Utf16ToUtf8(page);
    if (body.size() < kHttpUrlQueryLimit) url += "?" + PercentEncode(body);

    EasyHandle h;
    if (h.easy == nullptr) return std::nullopt;
    Sink sink;
    sink.cancelA = options.cancel;
    sink.cancelB = extraCancel;
    SetCommonOptions(h, url, sink, options);
    curl_easy_setopt(h.easy, CURLOPT_POST, 1L);
    curl_easy_setopt(h.easy, CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(h.easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    h.AddHeader("Content-Type: text/plain; charset=utf-8");
    // No "Expect: 100-continue" round trip before a longer body.
    h.AddHeader("Expect:");
    curl_easy_setopt(h.easy, CURLOPT_HTTPHEADER, h.headers);

    const CURLcode result = Perform(h.easy, sink);
    // The status is not looked at: whatever the server says is the answer. An answer cut at
    // the limit is still an answer.
    if (result != CURLE_OK && !(result == CURLE_WRITE_ERROR && sink.overflow)) return std::nullopt;
    return DecodeAnswer(sink.bytes);
}

}  // namespace

std::string ResolveLibraryBase(std::u16string_view server) {
    while (!server.empty() && IsBlank(server.front())) server.remove_prefix(1);
    while (!server.empty() && IsBlank(server.back())) server.remove_suffix(1);
    if (server.empty()) server = kDefaultLibraryServer;
    std::string base = Utf16ToUtf8(server);
    if (base.find("://") == std::string::npos) {
        base = (base[0] == 'w' || base[0] == 'W' ? "http://" : "https://") + base;
    }
    while (base.ends_with('/')) base.pop_back();
    return base;
}

std::u16string DecodeAnswer(std::string_view bytes) {
    return DecodeTextFileBytes(bytes);
}

std::optional<std::u16string> HttpPost(std::u16string_view server, std::u16string_view page,
                                       std::u16string_view query, bool plusForSpaces,
                                       const HttpOptions& options) {
    return PostWithCancel(server, page, query, plusForSpaces, options, nullptr);
}

std::optional<std::vector<uint8_t>> HttpGetBytes(std::u16string_view server, std::string_view path,
                                                 std::size_t limit, const HttpOptions& options) {
    InitCurlOnce();
    EasyHandle h;
    if (h.easy == nullptr) return std::nullopt;
    Sink sink;
    sink.limit = limit;
    sink.cancelA = options.cancel;
    SetCommonOptions(h, ResolveLibraryBase(server) + std::string(path), sink, options);
    curl_easy_setopt(h.easy, CURLOPT_HTTPGET, 1L);
    if (h.headers != nullptr) curl_easy_setopt(h.easy, CURLOPT_HTTPHEADER, h.headers);
    if (Perform(h.easy, sink) != CURLE_OK || sink.overflow) return std::nullopt;
    long status = 0;
    curl_easy_getinfo(h.easy, CURLINFO_RESPONSE_CODE, &status);
    if (status != 200) return std::nullopt;
    return std::vector<uint8_t>(sink.bytes.begin(), sink.bytes.end());
}

// ============================================================================================
// Worker threads
// ============================================================================================

struct HttpRequests::State {
    struct Request {
        std::thread thread;
        std::atomic<bool> cancel{false};
        std::atomic<bool> finished{false};
    };
    mutable std::mutex lock;
    std::list<Request> requests;  // a list: the threads hold pointers to their entries

    // Joins the threads that have ended (all with `all`, after cancelling them). A thread
    // never joins itself: a callback may start or cancel requests.
    void Reap(bool all) {
        std::list<Request> ended;
        {
            std::lock_guard<std::mutex> guard(lock);
            for (auto it = requests.begin(); it != requests.end();) {
                if (all) it->cancel = true;
                const bool self = it->thread.get_id() == std::this_thread::get_id();
                if ((all || it->finished) && !self) {
                    ended.splice(ended.end(), requests, it++);
                } else {
                    ++it;
                }
            }
        }
        for (Request& r : ended) {
            if (r.thread.joinable()) r.thread.join();
        }
    }
};

HttpRequests::HttpRequests() : m_state(std::make_shared<State>()) {}

HttpRequests::~HttpRequests() {
    CancelAll();
    // Only a callback that destroys its own owner leaves its thread here: it cannot join
    // itself, so it runs on alone, keeping the state alive until it ends.
    std::lock_guard<std::mutex> guard(m_state->lock);
    for (State::Request& r : m_state->requests) {
        if (r.thread.joinable()) r.thread.detach();
    }
}

void HttpRequests::Start(HttpJob job, HttpCallback done) {
    m_state->Reap(false);
    std::lock_guard<std::mutex> guard(m_state->lock);
    State::Request& r = m_state->requests.emplace_back();
    r.thread = std::thread([state = m_state, &r, job = std::move(job), done = std::move(done)] {
        (void)state;
        std::optional<std::u16string> answer = job(&r.cancel);
        if (!r.cancel && done) done(std::move(answer));
        r.finished = true;
    });
}

void HttpRequests::Post(std::u16string server, std::u16string page, std::u16string query,
                        bool plusForSpaces, HttpOptions options, HttpCallback done) {
    Start(
        [server = std::move(server), page = std::move(page), query = std::move(query),
         plusForSpaces, options = std::move(options)](std::atomic<bool>* cancel) {
            return PostWithCancel(server, page, query, plusForSpaces, options, cancel);
        },
        std::move(done));
}

void HttpRequests::CancelAll() {
    m_state->Reap(true);
}

std::size_t HttpRequests::InFlight() const {
    std::lock_guard<std::mutex> guard(m_state->lock);
    return static_cast<std::size_t>(
        std::count_if(m_state->requests.begin(), m_state->requests.end(),
                      [](const State::Request& r) { return !r.finished.load(); }));
}

}  // namespace quovis
