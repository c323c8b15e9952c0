// The score server's HTTP side.
#include "server/score_server.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <strings.h>

#include <cstdio>
#include <ctime>

#include <algorithm>

#include "server/form.h"
#include "server/pages.h"
#include "server/replay_check.h"

namespace scores {

namespace {

constexpr size_t kMaxFields = 4 * kMaxRowsPerSend + 8;
constexpr size_t kMaxReplayFields = 5 * kMaxRowsPerSend + 8;

const char* kPlainText = "text/plain; charset=windows-1251";

struct TRequest {
    bool Started = false;
    bool TooLarge = false;
    std::string Body;
    // The answer, once known before the request's end: one from its headers
    // alone, or a worker's to a send, queued when the connection resumes.
    std::optional<TAnswer> Answer;
    std::string Client;            // the client's address (behind a trusted proxy, the one it names)
    std::string Method;
    std::chrono::steady_clock::time_point Began; // the headers came
};

// "2026-12-09T19:20:00.123Z"
std::string LogTime(std::chrono::system_clock::time_point when) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count() % 1000;
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    char text[40];
    const size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &parts);
    std::snprintf(text + length, sizeof text - length, ".%03dZ", static_cast<int>(millis));
    return text;
}

// A request's path for the access log: one field, whatever it holds.
std::string LoggedPath(std::string_view path) {
    std::string logged;
    char escape[4];
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F || c == '%' || c == '"') {
            std::snprintf(escape, sizeof escape, "%%%02X", byte);
            logged += escape;
        } else {
            logged.push_back(c);
        }
    }
    return logged.empty() ? "-" : logged;
}

std::string AddressOf(MHD_Connection* connection) {
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    char text[INET6_ADDRSTRLEN] = "?";
    if (info && info->client_addr) {
        const sockaddr* address = info->client_addr;
        if (address->sa_family == AF_INET) {
            inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof text);
        } else if (address->sa_family == AF_INET6) {
            const in6_addr& six = reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr;
            // An IPv4 client of the dual-stack socket is the IPv4 address it is
            // everywhere else (the send limit, the logs).
            if (IN6_IS_ADDR_V4MAPPED(&six))
                inet_ntop(AF_INET, &six.s6_addr[12], text, sizeof text);
            else
                inet_ntop(AF_INET6, &six, text, sizeof text);
        }
    }
    return text;
}

// An address in the form AddressOf gives (IPv4 as IPv4, even mapped into
// IPv6); empty when the text is not a numeric address.
std::string Normalised(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    const std::string address(text);
    char out[INET6_ADDRSTRLEN];
    in_addr four{};
    in6_addr six{};
    if (inet_pton(AF_INET, address.c_str(), &four) == 1) return inet_ntop(AF_INET, &four, out, sizeof out);
    if (inet_pton(AF_INET6, address.c_str(), &six) != 1) return {};
    if (IN6_IS_ADDR_V4MAPPED(&six)) return inet_ntop(AF_INET, &six.s6_addr[12], out, sizeof out);
    return inet_ntop(AF_INET6, &six, out, sizeof out);
}

// The client a request is from. From a trusted proxy, the last address of
// X-Forwarded-For that is not itself a trusted proxy (each proxy appends the
// address it was reached from, so the addresses before it may be the client's
// own invention); the connection's address otherwise.
std::string ClientOf(MHD_Connection* connection, const std::vector<std::string>& trusted) {
    std::string peer = AddressOf(connection);
    const auto isTrusted = [&](const std::string& address) {
        return std::find(trusted.begin(), trusted.end(), address) != trusted.end();
    };
    if (!isTrusted(peer)) return peer;
    const char* forwarded = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "X-Forwarded-For");
    std::string_view list = forwarded ? forwarded : "";
    while (!list.empty()) {
        const size_t comma = list.rfind(',');
        const std::string address = Normalised(comma == std::string_view::npos ? list : list.substr(comma + 1));
        if (address.empty()) break; // not an address: the proxy's own address is all that is known
        if (!isTrusted(address)) return address;
        list = comma == std::string_view::npos ? std::string_view() : list.substr(0, comma);
    }
    return peer;
}

// The headers that say where a body ends. Two lengths, or a length beside a
// transfer coding, is how a request is smuggled past a proxy that reads the
// other one: such a request is refused whole.
bool FramingIsAmbiguous(MHD_Connection* connection) {
    struct TFraming {
        int Lengths = 0;
        int Codings = 0;
    } framing;
    MHD_get_connection_values(
        connection, MHD_HEADER_KIND,
        [](void* context, MHD_ValueKind, const char* key, const char*) {
            auto& seen = *static_cast<TFraming*>(context);
            if (strcasecmp(key, MHD_HTTP_HEADER_CONTENT_LENGTH) == 0) ++seen.Lengths;
            if (strcasecmp(key, MHD_HTTP_HEADER_TRANSFER_ENCODING) == 0) ++seen.Codings;
            return MHD_YES;
        },
        &framing);
    return framing.Lengths > 1 || framing.Codings > 1 || (framing.Lengths > 0 && framing.Codings > 0);
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

// "2026-12-09 19:20:00 UTC"
std::string UtcTime(std::chrono::system_clock::time_point when) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts);
    return text;
}

// Threads answering HTTP: as asked, or one per core up to four.
unsigned HttpThreads(unsigned asked) {
    if (asked > 0) return asked;
    return std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
}

} // namespace

TAnswer TRequestHandler::Table(int32_t count, bool page, const std::string& address) const {
    const std::shared_ptr<const TTopSnapshot> snapshot = top.Current();
    if (!snapshot) {
        // An empty list would read as the table itself: say it is not there.
        Note(address, "no top list read yet");
        return Refusal(MHD_HTTP_SERVICE_UNAVAILABLE, "the table cannot be read now");
    }
    const auto& all = snapshot->Results;
    const std::vector<TResult> results(all.begin(), all.begin() + std::min<ptrdiff_t>(count, std::ssize(all)));
    if (!page) return TAnswer{MHD_HTTP_OK, TopReply(results), kPlainText};
    std::string note;
    if (top.Stale()) {
        const auto age = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now() -
                                                                          snapshot->ReadAt);
        note = "The table could not be read again: shown as it was at " + UtcTime(snapshot->ReadAt) + ", " +
               std::to_string(age.count()) + " s ago.";
    }
    return TAnswer{MHD_HTTP_OK, TopPage(results, note), "text/html; charset=utf-8"};
}

std::optional<TAnswer> TRequestHandler::Begin(std::string_view verb, std::string_view path, const char* contentLength,
                                              const std::string& address) {
    const bool get = verb == "GET" || verb == "HEAD";
    const bool post = verb == "POST";
    if (path == "/healthz" || path == "/metrics") {
        if (!get) return Refusal(MHD_HTTP_METHOD_NOT_ALLOWED, "method not allowed");
        if (path == "/metrics") {
            const std::shared_ptr<const TTopSnapshot> snapshot = top.Current();
            const double age =
                snapshot ? std::chrono::duration<double>(std::chrono::system_clock::now() - snapshot->ReadAt).count()
                         : -1;
            return TAnswer{MHD_HTTP_OK, metrics.Text(age), "text/plain; version=0.0.4; charset=utf-8"};
        }
        // For a proxy's health check: this server can store a send now, as far as it knows.
        if (top.Stale() || storeFailing) return Refusal(MHD_HTTP_SERVICE_UNAVAILABLE, "the database does not answer");
        return Refusal(MHD_HTTP_OK, "ok");
    }
    const bool sending = path == "/saver.php" || path == "/replay.php";
    if (path != "/" && path != "/top.php" && !sending) return Refusal(MHD_HTTP_NOT_FOUND, "not found");
    if (!(post || (get && !sending)) || (post && path == "/"))
        return Refusal(MHD_HTTP_METHOD_NOT_ALLOWED, "method not allowed");
    if (get) return Table(path == "/" ? kMaxTopCount : kDefaultTopCount, path == "/", address);
    if (contentLength) {
        const std::optional<int32_t> bytes = ParseCount(contentLength);
        if (!bytes || static_cast<size_t>(*bytes) > BodyLimit(path))
            return Refusal(MHD_HTTP_CONTENT_TOO_LARGE, "request body too large");
    }
    if (path == "/replay.php" && options.SendsPerMinute > 0 && !Allow(replayLimit, address)) {
        metrics.Refused(TRefusal::Limit);
        Note(address, "too many replays");
        return Refusal(MHD_HTTP_TOO_MANY_REQUESTS, "too many replays; try again in a minute");
    }
    if (path == "/saver.php" && !options.StoreCountsSends && options.SendsPerMinute > 0 && !Allow(limit, address)) {
        metrics.Refused(TRefusal::Limit);
        Note(address, "too many sends");
        return Refusal(MHD_HTTP_TOO_MANY_REQUESTS, "too many sends; try again in a minute");
    }
    return std::nullopt;
}

bool TRequestHandler::Allow(TSendLimit& counted, const std::string& address) {
    const std::lock_guard lock(limitMutex);
    return counted.Allow(LimitKey(address), std::chrono::steady_clock::now());
}

std::optional<TAnswer> TRequestHandler::Finish(std::string_view path, std::string_view body,
                                               const std::string& address, TSend& send) {
    const bool replays = path == "/replay.php";
    const TForm form = DecodeForm(body, BodyLimit(path), replays ? kMaxReplayFields : kMaxFields);
    if (!form.Error.empty()) {
        Note(address, form.Error);
        return Refusal(MHD_HTTP_BAD_REQUEST, form.Error);
    }
    if (path == "/top.php") return Table(ReadTopCount(form.Fields), false, address);
    send = replays ? ReadReplaySend(form.Fields) : ReadSend(form.Fields);
    if (replays && send.Error.empty() && send.Results.empty()) send.Error = "no row with a replay";
    if (!send.Error.empty()) {
        metrics.Refused(TRefusal::Invalid);
        Note(address, send.Error);
        return Refusal(MHD_HTTP_BAD_REQUEST, send.Error);
    }
    return std::nullopt;
}

TAnswer TRequestHandler::StoreFailed(const TScoreStore& store, const std::string& address) {
    storeFailing = true;
    metrics.Refused(TRefusal::Store);
    metrics.StoreError();
    Note(address, store.LastError());
    return Refusal(MHD_HTTP_SERVICE_UNAVAILABLE, "the table cannot be written now");
}

TAnswer TRequestHandler::Store(TScoreStore& store, const TSend& send, const std::string& address) {
    if (!send.Replays.empty()) return VerifyReplays(store, send, address);
    // A shared store counts the send in the transaction that stores it, so the
    // limit holds across every server over the database.
    const TSender sender{LimitKey(address), options.SendsPerMinute, options.SendWindowMs};
    const bool counted = store.CountsSends() && options.SendsPerMinute > 0;
    const int32_t added =
        store.Add(send.Results, static_cast<int64_t>(std::time(nullptr)), counted ? &sender : nullptr);
    if (added == kSendLimited) {
        storeFailing = false;
        metrics.Refused(TRefusal::Limit);
        Note(address, "too many sends");
        return Refusal(MHD_HTTP_TOO_MANY_REQUESTS, "too many sends; try again in a minute");
    }
    if (added < 0) return StoreFailed(store, address);
    storeFailing = false;
    metrics.Stored();
    // The list is replaced before the answer goes, so a read after it holds the
    // send; when the read fails the send is stored all the same.
    if (added > 0 && !top.Refresh(store)) {
        metrics.StoreError();
        Note(address, store.LastError());
    }
    std::string summary = SendSummary(send, added);
    Note(address, summary);
    return {MHD_HTTP_OK, std::move(summary), kPlainText};
}

TAnswer TRequestHandler::VerifyReplays(TScoreStore& store, const TSend& send, const std::string& address) {
    int32_t verified = 0;
    std::string refused;
    for (size_t i = 0; i < send.Results.size() && i < send.Replays.size(); ++i) {
        const TResult& row = send.Results[i];
        std::string_view cause = CheckReplay(row, send.Replays[i]);
        if (cause.empty()) {
            // Only a result that is stored can be verified: a replay of a row never sent proves nothing here.
            const int32_t marked = store.Verify(row);
            if (marked < 0) return StoreFailed(store, address);
            storeFailing = false;
            if (marked == 0) cause = "unknown";
        }
        if (cause.empty()) {
            ++verified;
            metrics.ReplayVerified();
            continue;
        }
        metrics.ReplayRefused(cause);
        if (!refused.empty()) refused += ", ";
        refused += "row ";
        refused += std::to_string(i + 1);
        refused += ": ";
        refused += cause;
    }
    if (verified > 0 && !top.Refresh(store)) {
        metrics.StoreError();
        Note(address, store.LastError());
    }
    std::string summary = "Received " + std::to_string(send.Rows) + " replays: " + std::to_string(verified) +
                          " verified, " + std::to_string(send.Results.size() - static_cast<size_t>(verified)) +
                          " refused, " + std::to_string(send.Rejected) + " rejected";
    if (!refused.empty()) summary += " (" + refused + ")";
    Note(address, summary);
    const bool whole = refused.empty() && send.Rejected == 0;
    return {whole ? unsigned{MHD_HTTP_OK} : unsigned{MHD_HTTP_BAD_REQUEST}, std::move(summary), kPlainText};
}

void TRequestHandler::Note(const std::string& address, const std::string& text) const {
    if (!options.Quiet) std::fprintf(stderr, "nivora-scores: %s: %s\n", address.c_str(), text.c_str());
}

struct TServerGlue {
    // Queues the answer, counts it and writes its access-log line.
    static MHD_Result Respond(TScoreServer& server, MHD_Connection* connection, const TRequest& request,
                              std::string_view path, const TAnswer& answer) {
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - request.Began).count();
        server.handler->Metrics().Request(path, answer.Status, seconds);
        server.Deadlines([&](TConnectionDeadlines& deadlines) { deadlines.Answering(connection); });
        if (!server.options.Quiet) {
            char milliseconds[32];
            std::snprintf(milliseconds, sizeof milliseconds, "%.1f", seconds * 1000);
            const std::string line = LogTime(std::chrono::system_clock::now()) + " " + request.Client + " " +
                                     (request.Method.empty() ? "-" : LoggedPath(request.Method)) + " " +
                                     LoggedPath(path) + " " + std::to_string(answer.Status) + " " +
                                     std::to_string(answer.Body.size()) + " " + milliseconds + "\n";
            std::fwrite(line.data(), 1, line.size(), stdout);
            std::fflush(stdout);
        }
        return Queue(connection, answer);
    }

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
            request->Client = ClientOf(connection, server.options.TrustedProxies);
            request->Method = method ? method : "";
            request->Began = std::chrono::steady_clock::now();
            server.Deadlines([&](TConnectionDeadlines& deadlines) { deadlines.HeadersDone(connection, request->Began); });
            if (FramingIsAmbiguous(connection)) {
                if (!server.options.Quiet)
                    std::fprintf(stderr, "nivora-scores: %s: conflicting body length headers\n",
                                 request->Client.c_str());
                return Respond(server, connection, *request, path,
                               Refusal(MHD_HTTP_BAD_REQUEST, "conflicting body length headers"));
            }
            const std::optional<TAnswer> answer = server.handler->Begin(
                method ? method : "", path,
                MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH),
                request->Client);
            if (!answer) return MHD_YES;
            // A refusal goes at once and the connection closes, the rest of the
            // request unread. Any other answer waits for the request's end, so
            // the connection can carry the client's next request.
            if (answer->Status >= 400) return Respond(server, connection, *request, path, *answer);
            request->Answer = std::move(*answer);
            return MHD_YES;
        }
        if (*size > 0) {
            server.Deadlines([&](TConnectionDeadlines& deadlines) { deadlines.BodyCame(connection, *size); });
            // Bodies without a length (chunked) are counted as they come; past
            // the cap the rest is read and dropped, and the answer is 413.
            if (!request->TooLarge && request->Body.size() + *size <= server.handler->BodyLimit(path))
                request->Body.append(data, *size);
            else
                request->TooLarge = true;
            *size = 0;
            return MHD_YES;
        }
        // An answer from the headers alone, or a worker's to a send.
        if (request->Answer) return Respond(server, connection, *request, path, *request->Answer);
        if (request->TooLarge)
            return Respond(server, connection, *request, path,
                           Refusal(MHD_HTTP_CONTENT_TOO_LARGE, "request body too large"));
        const std::string& address = request->Client;
        TSend send;
        if (std::optional<TAnswer> answer = server.handler->Finish(path, request->Body, address, send))
            return Respond(server, connection, *request, path, *answer);
        // A worker's time is bounded on its own; the client only waits.
        server.Deadlines([&](TConnectionDeadlines& deadlines) { deadlines.Answering(connection); });
        if (server.Submit({connection, &request->Answer, std::move(send), address, std::chrono::steady_clock::now()}))
            return MHD_YES;
        server.handler->Metrics().Refused(TRefusal::Busy);
        return Respond(server, connection, *request, path,
                       Refusal(MHD_HTTP_SERVICE_UNAVAILABLE, "the server is busy; try again"));
    }

    static void Completed(void* self, MHD_Connection* connection, void** context,
                          MHD_RequestTerminationCode /*reason*/) {
        delete static_cast<TRequest*>(*context);
        *context = nullptr;
        auto& server = *static_cast<TScoreServer*>(self);
        const auto now = std::chrono::steady_clock::now();
        server.Deadlines([&](TConnectionDeadlines& deadlines) { deadlines.AnswerSent(connection, now); });
    }

    // Each connection is watched from its opening through a descriptor of its
    // own for the same socket, so the sweeper can shut it down even while the
    // daemon is closing its descriptor (whose number may then be reused).
    static void Connection(void* self, MHD_Connection* connection, void** /*context*/,
                           MHD_ConnectionNotificationCode code) {
        auto& server = *static_cast<TScoreServer*>(self);
        if (code == MHD_CONNECTION_NOTIFY_STARTED) {
            const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
            const int watch = info ? ::fcntl(info->connect_fd, F_DUPFD_CLOEXEC, 0) : -1;
            if (watch < 0) return; // out of descriptors: the daemon's idle time-out still applies
            const auto now = std::chrono::steady_clock::now();
            server.Deadlines([&](TConnectionDeadlines& deadlines) { deadlines.Opened(connection, watch, now); });
            return;
        }
        int watch = -1;
        server.Deadlines([&](TConnectionDeadlines& deadlines) { watch = deadlines.Closed(connection); });
        if (watch >= 0) ::close(watch);
    }
};

TScoreServer::~TScoreServer() { Stop(); }

bool TScoreServer::Start(const TServerOptions& startOptions) {
    Stop();
    options = startOptions;
    if (!options.OpenStore) {
        options.OpenStore = [database = options.Database, bounds = options.Bounds](std::string& error) {
            return OpenScoreStore(database, error, bounds);
        };
    }
    for (std::string& proxy : options.TrustedProxies) {
        const std::string address = Normalised(proxy);
        if (address.empty()) {
            lastError = "not an IP address: " + proxy;
            return false;
        }
        proxy = address;
    }
    const size_t workers = std::max(options.Workers, 1u);
    for (size_t i = 0; i <= workers; ++i) {
        std::unique_ptr<TScoreStore> store = options.OpenStore(lastError);
        if (!store) {
            Stop();
            return false;
        }
        stores.push_back(std::move(store));
    }
    options.StoreCountsSends = stores[0]->CountsSends();
    top.SetVerifiedOnly(options.VerifiedOnly);
    if (!stores[0]->Writable())
        std::fprintf(stderr, "nivora-scores: %s cannot be written: the table is shown, sends get 503\n",
                     options.Database.c_str());
    if (!top.Refresh(*stores[0])) {
        lastError = stores[0]->LastError();
        Stop();
        return false;
    }
    handler = std::make_unique<TRequestHandler>(top, options);
    // No address: every address, IPv6 and IPv4 on one socket; an address of
    // either family narrows it to that one.
    // Turbo: a socket is read, written or accepted on before the poll says
    // it is ready, saving a round of the event loop on every new connection.
    unsigned flags = MHD_USE_AUTO | MHD_USE_INTERNAL_POLLING_THREAD | MHD_ALLOW_SUSPEND_RESUME | MHD_USE_TURBO;
    sockaddr_in six4{};
    sockaddr_in6 six{};
    const sockaddr* bound = nullptr;
    if (options.Address.empty()) {
        flags |= MHD_USE_DUAL_STACK;
    } else if (inet_pton(AF_INET6, options.Address.c_str(), &six.sin6_addr) == 1) {
        six.sin6_family = AF_INET6;
        six.sin6_port = htons(options.Port);
        flags |= MHD_USE_IPv6;
        bound = reinterpret_cast<const sockaddr*>(&six);
    } else if (inet_pton(AF_INET, options.Address.c_str(), &six4.sin_addr) == 1) {
        six4.sin_family = AF_INET;
        six4.sin_port = htons(options.Port);
        bound = reinterpret_cast<const sockaddr*>(&six4);
    } else {
        lastError = "not an IP address: " + options.Address;
        Stop();
        return false;
    }
    stopping = false;
    deadlines.emplace(TDeadlineLimits{std::chrono::seconds(options.HeaderSeconds),
                                      std::chrono::seconds(options.TimeoutSeconds), options.MinBodyRate});
    threads.emplace_back([this] { RefreshEvery(*stores[0]); });
    threads.emplace_back([this] { CutOverdue(); });
    for (size_t i = 1; i <= workers; ++i) threads.emplace_back([this, i] { Work(*stores[i]); });
    daemon = MHD_start_daemon(
        flags, options.Port, nullptr, nullptr, &TServerGlue::Access, this, MHD_OPTION_SOCK_ADDR, bound,
        MHD_OPTION_THREAD_POOL_SIZE, HttpThreads(options.HttpThreads), MHD_OPTION_CONNECTION_LIMIT,
        options.ConnectionLimit,
        MHD_OPTION_PER_IP_CONNECTION_LIMIT, options.ConnectionsPerAddress, MHD_OPTION_CONNECTION_TIMEOUT,
        options.TimeoutSeconds, MHD_OPTION_CONNECTION_MEMORY_LIMIT, options.ConnectionMemory,
        MHD_OPTION_NOTIFY_COMPLETED, &TServerGlue::Completed, this, MHD_OPTION_NOTIFY_CONNECTION,
        &TServerGlue::Connection, this, MHD_OPTION_END);
    if (!daemon) {
        lastError = "cannot listen on " + (options.Address.empty() ? std::string("[::]") : options.Address) + ":" +
                    std::to_string(options.Port);
        Stop();
        return false;
    }
    const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon, MHD_DAEMON_INFO_BIND_PORT);
    port = info ? info->port : options.Port;
    return true;
}

bool TScoreServer::Submit(TJob job) {
    {
        const std::lock_guard lock(mutex);
        if (stopping || jobs.size() >= options.QueuedSends) return false;
        // Suspended before a worker can see the job, so its resume always follows.
        MHD_suspend_connection(job.Connection);
        jobs.push_back(std::move(job));
    }
    wake.notify_one();
    return true;
}

void TScoreServer::Work(TScoreStore& store) {
    for (;;) {
        TJob job;
        {
            std::unique_lock lock(mutex);
            wake.wait(lock, [&] { return stopping || !jobs.empty(); });
            // On stopping the queue is still worked off: every suspended connection is resumed.
            if (jobs.empty()) return;
            job = std::move(jobs.front());
            jobs.pop_front();
        }
        // A send that waited out a whole call bound for a worker is answered
        // now rather than stored late.
        const auto waited = std::chrono::steady_clock::now() - job.Queued;
        if (waited > std::chrono::milliseconds(options.Bounds.CallMs)) {
            handler->Metrics().Refused(TRefusal::Busy);
            *job.Answer = Refusal(MHD_HTTP_SERVICE_UNAVAILABLE, "the table cannot be written now");
        }
        else
            *job.Answer = handler->Store(store, job.Send, job.Address);
        MHD_resume_connection(job.Connection);
    }
}

void TScoreServer::RefreshEvery(TScoreStore& store) {
    std::unique_lock lock(mutex);
    while (!refreshWake.wait_for(lock, std::chrono::milliseconds(options.RefreshMs), [&] { return stopping; })) {
        lock.unlock();
        const bool stale = top.Stale();
        if (!top.Refresh(store)) {
            handler->Metrics().StoreError();
            if (!stale && !options.Quiet)
                std::fprintf(stderr, "nivora-scores: the top list cannot be read: %s\n", store.LastError().c_str());
        }
        lock.lock();
    }
}

namespace {

// Of the sockets watched, those whose client has shut its end with nothing
// left unread.
std::unordered_set<int> HungUp(const std::vector<int>& watched) {
    std::vector<pollfd> polled;
    polled.reserve(watched.size());
    for (const int watch : watched) polled.push_back({watch, POLLRDHUP, 0});
    std::unordered_set<int> gone;
    if (polled.empty() || ::poll(polled.data(), polled.size(), 0) <= 0) return gone;
    for (const pollfd& entry : polled) {
        int unread = 0;
        if ((entry.revents & (POLLRDHUP | POLLHUP | POLLERR)) && ::ioctl(entry.fd, FIONREAD, &unread) == 0 &&
            unread == 0)
            gone.insert(entry.fd);
    }
    return gone;
}

} // namespace

void TScoreServer::CutOverdue() {
    constexpr auto kPeriod = std::chrono::milliseconds(100);
    std::unique_lock lock(mutex);
    while (!refreshWake.wait_for(lock, kPeriod, [&] { return stopping; })) {
        lock.unlock();
        {
            const std::lock_guard guard(deadlineMutex);
            const std::vector<int> overdue =
                deadlines->Overdue(std::chrono::steady_clock::now(), HungUp(deadlines->Receiving()));
            // The daemon sees the end of its socket and closes the connection.
            for (const int watch : overdue) ::shutdown(watch, SHUT_RDWR);
            if (!overdue.empty()) handler->Metrics().ConnectionsCut(overdue.size());
        }
        lock.lock();
    }
}

void TScoreServer::Stop() {
    {
        const std::lock_guard lock(mutex);
        stopping = true;
    }
    wake.notify_all();
    refreshWake.notify_all();
    for (std::thread& thread : threads) thread.join();
    threads.clear();
    if (daemon) MHD_stop_daemon(daemon);
    daemon = nullptr;
    if (deadlines)
        for (const int watch : deadlines->Clear()) ::close(watch);
    deadlines.reset();
    port = 0;
    handler.reset();
    stores.clear();
}

} // namespace scores
