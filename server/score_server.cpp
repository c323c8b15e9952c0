// The score server's HTTP side.
#include "server/score_server.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>

#include <cstdio>
#include <ctime>

#include "server/form.h"
#include "server/pages.h"

namespace scores {

namespace {

constexpr size_t kMaxFields = 4 * kMaxRowsPerSend + 8;
constexpr size_t kMaxTrackedAddresses = 10000;

const char* kPlainText = "text/plain; charset=windows-1251";

struct TRequest {
    bool Started = false;
    bool TooLarge = false;
    std::string Body;
};

std::string AddressOf(MHD_Connection* connection) {
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    char text[INET6_ADDRSTRLEN] = "?";
    if (info && info->client_addr) {
        const sockaddr* address = info->client_addr;
        if (address->sa_family == AF_INET)
            inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof text);
        else if (address->sa_family == AF_INET6)
            inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text, sizeof text);
    }
    return text;
}

MHD_Result Queue(MHD_Connection* connection, const TAnswer& answer) {
    MHD_Response* response = MHD_create_response_from_buffer(answer.Body.size(), const_cast<char*>(answer.Body.data()),
                                                             MHD_RESPMEM_MUST_COPY);
    if (!response) return MHD_NO;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, answer.Type);
    // A browser must take the plain answers as plain text, whatever a name holds.
    MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
    if (std::string_view(answer.Type).starts_with("text/html"))
        MHD_add_response_header(response, "Content-Security-Policy",
                                "default-src 'none'; style-src 'unsafe-inline'; frame-ancestors 'none'");
    const MHD_Result queued = MHD_queue_response(connection, answer.Status, response);
    MHD_destroy_response(response);
    return queued;
}

TAnswer Refusal(unsigned status, std::string why) { return {status, std::move(why), kPlainText}; }

} // namespace

TAnswer TRequestHandler::Table(int32_t count, bool page, const std::string& address) {
    const std::optional<std::vector<TResult>> results = store.Top(count);
    if (!results) {
        // An empty or partial list would read as the table itself: say it is not there.
        Note(address, store.LastError());
        return Refusal(MHD_HTTP_SERVICE_UNAVAILABLE, "the table cannot be read now");
    }
    if (page) return TAnswer{MHD_HTTP_OK, TopPage(*results), "text/html; charset=utf-8"};
    return TAnswer{MHD_HTTP_OK, TopReply(*results), kPlainText};
}

std::optional<TAnswer> TRequestHandler::Begin(std::string_view verb, std::string_view path, const char* contentLength,
                                              const std::string& address) {
    const bool get = verb == "GET" || verb == "HEAD";
    const bool post = verb == "POST";
    if (path != "/" && path != "/top.php" && path != "/saver.php") return Refusal(MHD_HTTP_NOT_FOUND, "not found");
    if (!(post || (get && path != "/saver.php")) || (post && path == "/"))
        return Refusal(MHD_HTTP_METHOD_NOT_ALLOWED, "method not allowed");
    if (get) return Table(path == "/" ? kMaxTopCount : kDefaultTopCount, path == "/", address);
    if (contentLength) {
        const std::optional<int32_t> bytes = ParseCount(contentLength);
        if (!bytes || static_cast<size_t>(*bytes) > options.MaxBody)
            return Refusal(MHD_HTTP_CONTENT_TOO_LARGE, "request body too large");
    }
    if (path == "/saver.php" && !store.CountsSends() && !SendAllowed(address)) {
        Note(address, "too many sends");
        return Refusal(MHD_HTTP_TOO_MANY_REQUESTS, "too many sends; try again in a minute");
    }
    return std::nullopt;
}

TAnswer TRequestHandler::Finish(std::string_view path, std::string_view body, const std::string& address) {
    const TForm form = DecodeForm(body, options.MaxBody, kMaxFields);
    if (!form.Error.empty()) {
        Note(address, form.Error);
        return Refusal(MHD_HTTP_BAD_REQUEST, form.Error);
    }
    if (path == "/top.php") return Table(ReadTopCount(form.Fields), false, address);
    const TSend send = ReadSend(form.Fields);
    if (!send.Error.empty()) {
        Note(address, send.Error);
        return Refusal(MHD_HTTP_BAD_REQUEST, send.Error);
    }
    // A shared store counts the send in the transaction that stores it, so the
    // limit holds across every server over the database.
    const TSender sender{address, options.SendsPerMinute};
    const bool counted = store.CountsSends() && options.SendsPerMinute > 0;
    const int32_t added =
        store.Add(send.Results, static_cast<int64_t>(std::time(nullptr)), counted ? &sender : nullptr);
    if (added == kSendLimited) {
        Note(address, "too many sends");
        return Refusal(MHD_HTTP_TOO_MANY_REQUESTS, "too many sends; try again in a minute");
    }
    if (added < 0) {
        Note(address, store.LastError());
        return Refusal(MHD_HTTP_SERVICE_UNAVAILABLE, "the table cannot be written now");
    }
    std::string summary = SendSummary(send, added);
    Note(address, summary);
    return {MHD_HTTP_OK, std::move(summary), kPlainText};
}

bool TRequestHandler::SendAllowed(const std::string& address) {
    if (options.SendsPerMinute <= 0) return true;
    const auto now = std::chrono::steady_clock::now();
    const auto minute = std::chrono::minutes(1);
    if (sends.size() >= kMaxTrackedAddresses) {
        std::erase_if(sends, [&](const auto& entry) { return now - entry.second.Start >= minute; });
        // Still full: many addresses at once; start counting afresh rather than grow without end.
        if (sends.size() >= kMaxTrackedAddresses) sends.clear();
    }
    TWindow& window = sends[address];
    if (window.Sends == 0 || now - window.Start >= minute) window = {now, 0};
    return ++window.Sends <= options.SendsPerMinute;
}

void TRequestHandler::Note(const std::string& address, const std::string& text) const {
    if (!options.Quiet) std::fprintf(stderr, "nivora-scores: %s: %s\n", address.c_str(), text.c_str());
}

struct TServerGlue {
    static MHD_Result Access(void* self, MHD_Connection* connection, const char* url, const char* method,
                             const char* /*version*/, const char* data, size_t* size, void** context) {
        auto& server = *static_cast<TScoreServer*>(self);
        auto* request = static_cast<TRequest*>(*context);
        const std::string_view path = url ? url : "";
        if (!request) {
            request = new TRequest;
            *context = request;
        }
        if (!request->Started) {
            request->Started = true;
            const std::optional<TAnswer> answer = server.handler->Begin(
                method ? method : "", path,
                MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH),
                AddressOf(connection));
            return answer ? Queue(connection, *answer) : MHD_YES;
        }
        if (*size > 0) {
            // Bodies without a length (chunked) are counted as they come; past
            // the cap the rest is read and dropped, and the answer is 413.
            if (!request->TooLarge && request->Body.size() + *size <= server.options.MaxBody)
                request->Body.append(data, *size);
            else
                request->TooLarge = true;
            *size = 0;
            return MHD_YES;
        }
        if (request->TooLarge) return Queue(connection, Refusal(MHD_HTTP_CONTENT_TOO_LARGE, "request body too large"));
        return Queue(connection, server.handler->Finish(path, request->Body, AddressOf(connection)));
    }

    static void Completed(void* /*self*/, MHD_Connection* /*connection*/, void** context,
                          MHD_RequestTerminationCode /*reason*/) {
        delete static_cast<TRequest*>(*context);
        *context = nullptr;
    }
};

TScoreServer::~TScoreServer() { Stop(); }

bool TScoreServer::Start(const TServerOptions& startOptions) {
    Stop();
    options = startOptions;
    store = OpenScoreStore(options.Database, lastError);
    if (!store) return false;
    handler = std::make_unique<TRequestHandler>(*store, options);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(options.Port);
    if (inet_pton(AF_INET, options.Address.c_str(), &address.sin_addr) != 1) {
        lastError = "not an IPv4 address: " + options.Address;
        Stop();
        return false;
    }
    daemon = MHD_start_daemon(
        MHD_USE_AUTO | MHD_USE_INTERNAL_POLLING_THREAD, options.Port, nullptr, nullptr,
        &TServerGlue::Access, this, MHD_OPTION_SOCK_ADDR,
        reinterpret_cast<sockaddr*>(&address), MHD_OPTION_CONNECTION_LIMIT, options.ConnectionLimit,
        MHD_OPTION_PER_IP_CONNECTION_LIMIT, options.ConnectionsPerAddress, MHD_OPTION_CONNECTION_TIMEOUT,
        options.TimeoutSeconds, MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<size_t>(64 * 1024),
        MHD_OPTION_NOTIFY_COMPLETED, &TServerGlue::Completed, this, MHD_OPTION_END);
    if (!daemon) {
        lastError = "cannot listen on " + options.Address + ":" + std::to_string(options.Port);
        Stop();
        return false;
    }
    const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon, MHD_DAEMON_INFO_BIND_PORT);
    port = info ? info->port : options.Port;
    return true;
}

void TScoreServer::Stop() {
    if (daemon) MHD_stop_daemon(daemon);
    daemon = nullptr;
    port = 0;
    handler.reset();
    store.reset();
}

} // namespace scores
