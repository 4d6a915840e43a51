// quovis-library-server: the preset library's server.
//
//   quovis-library-server [--listen ADDR:PORT] [--database FILE | --database postgresql://...]
//
// Start-up opens (or creates) the database, binds the address and prints one line saying
// where it listens; SIGINT and SIGTERM stop it after the requests in progress.
#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "base/version.h"
#include "library_server/http_front.h"
#include "library_server/library_service.h"
#include "library_server/library_store.h"

namespace {

using namespace quovis::library_server;

constexpr const char* kUsage =
    "usage: quovis-library-server [--listen ADDR:PORT] [--database FILE | --database "
    "postgresql://...]\n"
    "  --listen ADDR:PORT   where to listen (default 127.0.0.1:8765; port 0 picks a free one)\n"
    "  --database FILE      the SQLite library file (default "
    "$XDG_DATA_HOME/quovis-library/library.db)\n"
    "  --database postgresql://USER@HOST/NAME   a PostgreSQL database instead\n"
    "  --help, --version\n";

std::string DefaultDatabase() {
    const char* data = std::getenv("XDG_DATA_HOME");
    std::string base;
    if (data && *data == '/') {
        base = data;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home && *home ? home : ".") + "/.local/share";
    }
    return base + "/quovis-library/library.db";
}

bool ParseListen(const std::string& text, std::string* host, int* port) {
    size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) return false;
    *host = text.substr(0, colon);
    // "[::1]:8765": the brackets only mark where the address ends.
    if (host->size() > 2 && host->front() == '[' && host->back() == ']') {
        *host = host->substr(1, host->size() - 2);
    }
    std::string digits = text.substr(colon + 1);
    if (digits.empty() || digits.size() > 5 ||
        digits.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    *port = std::stoi(digits);
    return *port <= 65535;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "quovis-library-server: %s\n", message.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::string listen = "127.0.0.1:8765";
    std::string database = DefaultDatabase();
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::string version(quovis::kVersionText.begin(), quovis::kVersionText.end());
            std::printf("quovis-library-server %s\n", version.c_str());
            return 0;
        }
        if ((arg == "--listen" || arg == "--database") && i + 1 < argc) {
            (arg == "--listen" ? listen : database) = argv[++i];
            continue;
        }
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::string host;
    int port = 0;
    if (!ParseListen(listen, &host, &port)) return Fail("--listen wants ADDR:PORT, not " + listen);

    // The signals go to one thread that waits for them; every other thread (httplib's included,
    // which inherit the mask) leaves them blocked.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    // A client that goes away mid-answer must not end the server.
    signal(SIGPIPE, SIG_IGN);

    std::string error;
    std::unique_ptr<LibraryStore> store = OpenStore(database, &error);
    if (!store) return Fail(error);
    LibraryService service(*store);
    HttpFront front(service);
    if (!front.Bind(host, port, &error)) return Fail(error);

    std::thread waiter([&] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        front.Stop();
    });
    std::string shown = host.find(':') != std::string::npos ? "[" + host + "]" : host;
    std::printf("quovis-library-server: listening on http://%s:%d\n", shown.c_str(), front.Port());
    std::fflush(stdout);
    bool ok = front.Run();
    // When serving ended by itself, wake the waiting thread so that it can be joined.
    pthread_kill(waiter.native_handle(), SIGTERM);
    waiter.join();
    std::fprintf(stderr, "quovis-library-server: stopped\n");
    return ok ? 0 : 1;
}
