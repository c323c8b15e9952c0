// The score server's whole request handler over a store in memory, without
// sockets. The first byte picks the method (bits 0-1), the path (bits 2-3),
// whether a Content-Length header comes (bit 4; its text follows, its length
// in the next byte) and whether sends are limited (bit 5); the rest is the
// body. Every answer must be one the server gives: a known status, and a body
// the size cap allows.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "server/score_server.h"
#include "server/score_store.h"

namespace {

struct TServer {
    std::unique_ptr<scores::TScoreStore> store;
    scores::TTopList top;
    std::unique_ptr<scores::TRequestHandler> open, limited;
    int runs = 0;
};

// One store for many runs (opening one costs more than a request); it starts
// afresh now and then so the table stays small.
TServer& Server() {
    static TServer server;
    if (!server.store || ++server.runs % 4096 == 0) {
        server.open.reset();
        server.limited.reset();
        std::string error;
        server.store = scores::OpenScoreStore(":memory:", error);
        if (!server.store || !server.top.Refresh(*server.store)) std::abort();
        scores::TServerOptions options;
        options.Quiet = true;
        options.SendsPerMinute = 0;
        options.StoreCountsSends = server.store->CountsSends();
        server.open = std::make_unique<scores::TRequestHandler>(server.top, options);
        options.SendsPerMinute = 2;
        server.limited = std::make_unique<scores::TRequestHandler>(server.top, options);
    }
    return server;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static const char* const kVerbs[] = {"GET", "HEAD", "POST", "PUT"};
    static const char* const kPaths[] = {"/", "/top.php", "/saver.php", "/saver.php/../top.php"};
    const uint8_t flags = data[0];
    std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::optional<std::string> contentLength;
    if (flags & 0x10 && !rest.empty()) {
        const size_t length = std::min<size_t>(static_cast<uint8_t>(rest[0]), rest.size() - 1);
        contentLength = std::string(rest.substr(1, length));
        rest.remove_prefix(1 + length);
    }
    TServer& server = Server();
    scores::TRequestHandler& handler = flags & 0x20 ? *server.limited : *server.open;
    const std::string_view verb = kVerbs[flags & 3];
    const std::string_view path = kPaths[(flags >> 2) & 3];
    std::optional<scores::TAnswer> answer =
        handler.Begin(verb, path, contentLength ? contentLength->c_str() : nullptr, "192.0.2.1");
    if (!answer) {
        if (rest.size() > scores::TServerOptions{}.MaxBody) return 0; // the daemon refuses it as it comes
        scores::TSend send;
        answer = handler.Finish(path, rest, "192.0.2.1", send);
        if (!answer) answer = handler.Store(*server.store, send, "192.0.2.1");
    }
    switch (answer->Status) {
    case 200: case 400: case 404: case 405: case 413: case 429: case 503: break;
    default: std::abort();
    }
    if (answer->Status != 200 && answer->Body.empty()) std::abort();
    return 0;
}
