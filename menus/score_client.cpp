// The score-server client on libcurl.
#include "menus/score_client.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <memory>

#include "engine/engine.h"
#include "engine/shared_library.h"
#include "presentation/text.h"

namespace {

#ifndef NIVORA_SCORE_HOST
#define NIVORA_SCORE_HOST "localhost"
#endif

void Note(const std::string& text) {
    if (qx::log) qx::log->Print("Scores  : " + text);
}

bool HostNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_';
}

// "host", "host:port", "[v6]" or "[v6]:port"; false for anything that could
// change the URL beyond the host and port.
bool ParseAddress(std::string_view text, TScoreServerAddress& address) {
    std::string_view host = text;
    std::string_view port;
    if (text.starts_with('[')) {
        const size_t close = text.find(']');
        if (close == std::string_view::npos) return false;
        host = text.substr(0, close + 1);
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest[0] != ':') return false;
            port = rest.substr(1);
        }
        for (const char c : host.substr(1, host.size() - 2))
            if (!std::isxdigit(static_cast<unsigned char>(c)) && c != ':' && c != '.') return false;
        if (host.size() < 3) return false;
    } else {
        const size_t colon = text.find(':');
        if (colon != std::string_view::npos) {
            host = text.substr(0, colon);
            port = text.substr(colon + 1);
        }
        if (host.empty() || !std::all_of(host.begin(), host.end(), HostNameChar)) return false;
    }
    address.Host = host;
    address.Port = 80;
    if (text.size() > host.size()) {
        if (port.empty() || port.size() > 5 || !std::all_of(port.begin(), port.end(), [](char c) {
                return c >= '0' && c <= '9';
            }))
            return false;
        const int value = std::stoi(std::string(port));
        if (value < 1 || value > 65535) return false;
        address.Port = static_cast<uint16_t>(value);
    }
    return true;
}

bool IsLoopback(const std::string& host) {
    return host == "localhost" || host.starts_with("127.") || host == "[::1]";
}

// libcurl is opened at the first request rather than linked: with the TLS,
// Kerberos and directory libraries it brings it took a tenth of the time from
// start to the first frame, and many sessions never reach the server.
struct TCurl {
    decltype(&curl_global_init) GlobalInit = nullptr;
    decltype(&curl_easy_init) EasyInit = nullptr;
    decltype(&curl_easy_cleanup) EasyCleanup = nullptr;
    decltype(&curl_easy_setopt) SetOpt = nullptr;
    decltype(&curl_easy_perform) Perform = nullptr;
    decltype(&curl_easy_getinfo) GetInfo = nullptr;
    decltype(&curl_easy_strerror) StrError = nullptr;
    decltype(&curl_slist_append) SlistAppend = nullptr;
    decltype(&curl_slist_free_all) SlistFreeAll = nullptr;
    bool Ready = false;
};

constexpr const char* kCurlLibrary = "libcurl.so.4";

TCurl OpenCurl() {
    TCurl curl;
    qx::TSharedLibrary library(kCurlLibrary);
    library.Find(curl.GlobalInit, "curl_global_init");
    library.Find(curl.EasyInit, "curl_easy_init");
    library.Find(curl.EasyCleanup, "curl_easy_cleanup");
    library.Find(curl.SetOpt, "curl_easy_setopt");
    library.Find(curl.Perform, "curl_easy_perform");
    library.Find(curl.GetInfo, "curl_easy_getinfo");
    library.Find(curl.StrError, "curl_easy_strerror");
    library.Find(curl.SlistAppend, "curl_slist_append");
    library.Find(curl.SlistFreeAll, "curl_slist_free_all");
    const std::string error = library.Error();
    if (!error.empty()) {
        Note(error);
        return curl;
    }
    curl.Ready = curl.GlobalInit(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return curl;
}

// Opened once, by whichever thread asks first.
const TCurl& Curl() {
    static const TCurl curl = OpenCurl();
    return curl;
}

// Collects the body up to the cap; past it the transfer stops and what came is kept.
struct TReplySink {
    std::string Body;
    bool Cut = false;
};

size_t Collect(char* data, size_t size, size_t count, void* user) {
    auto& sink = *static_cast<TReplySink*>(user);
    const size_t bytes = size * count;
    const size_t room = kMaxReplyBytes - sink.Body.size();
    if (bytes > room) {
        sink.Body.append(data, room);
        sink.Cut = true;
        return 0; // ends the transfer
    }
    sink.Body.append(data, bytes);
    return bytes;
}

std::string Post(const std::string& path, const std::string& body, long* status = nullptr) {
    if (status) *status = 0;
    const TCurl& api = Curl();
    TScoreServerAddress address;
    if (!api.Ready || !ScoreServerAddress(address)) return {};
    const std::string url = "http://" + address.Host + ":" + std::to_string(address.Port) + path;
    // Both handles are released on every way out.
    const std::unique_ptr<CURL, decltype(api.EasyCleanup)> handle(api.EasyInit(), api.EasyCleanup);
    CURL* curl = handle.get();
    if (!curl) {
        Note(url + ": no HTTP client");
        return {};
    }
    // The one header of the request; "Expect:" removes libcurl's own 100-continue.
    const std::unique_ptr<curl_slist, decltype(api.SlistFreeAll)> headerList(
        api.SlistAppend(nullptr, "content-type: application/x-www-form-urlencoded"), api.SlistFreeAll);
    curl_slist* headers = headerList.get();
    if (headers) api.SlistAppend(headers, "Expect:");
    TReplySink sink;
    api.SetOpt(curl, CURLOPT_URL, url.c_str());
    api.SetOpt(curl, CURLOPT_PROTOCOLS_STR, "http");
    api.SetOpt(curl, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
    api.SetOpt(curl, CURLOPT_POST, 1L);
    api.SetOpt(curl, CURLOPT_POSTFIELDS, body.data());
    api.SetOpt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    api.SetOpt(curl, CURLOPT_HTTPHEADER, headers);
    api.SetOpt(curl, CURLOPT_WRITEFUNCTION, &Collect);
    api.SetOpt(curl, CURLOPT_WRITEDATA, &sink);
    api.SetOpt(curl, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
    api.SetOpt(curl, CURLOPT_TIMEOUT_MS, kRequestTimeoutMs);
    api.SetOpt(curl, CURLOPT_NOSIGNAL, 1L);
    // A proxy from the environment cannot reach this machine's own server.
    if (IsLoopback(address.Host)) api.SetOpt(curl, CURLOPT_PROXY, "");
    const CURLcode result = api.Perform(curl);
    // Only a whole answer has a status worth acting on.
    if (status && result == CURLE_OK) api.GetInfo(curl, CURLINFO_RESPONSE_CODE, status);
    if (result == CURLE_WRITE_ERROR && sink.Cut) {
        Note(url + ": reply cut at " + std::to_string(kMaxReplyBytes) + " bytes");
        return sink.Body;
    }
    if (result == CURLE_OK) return sink.Body;
    Note(url + ": " + api.StrError(result));
    // A reply the server cut short (a reset connection, a body shorter than its
    // Content-Length) is still its reply: what arrived is kept. A time-out gives
    // the empty reply, as do a failed connection and a refusal, which bring nothing.
    if (result == CURLE_OPERATION_TIMEDOUT) return {};
    return sink.Body;
}

} // namespace

bool ScoreServerAddress(TScoreServerAddress& address) {
    const char* chosen = std::getenv("NIVORA_SCORE_SERVER");
    if (chosen && *chosen) {
        if (ParseAddress(chosen, address)) return true;
        Note(std::string("NIVORA_SCORE_SERVER is not host or host:port: ") + chosen);
        return false;
    }
    return ParseAddress(NIVORA_SCORE_HOST, address);
}

std::string FormEncode(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() * 3);
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == ' ') {
            out.push_back('+');
        } else if (std::isalnum(byte) && byte < 0x80) {
            out.push_back(c);
        } else if (c == '_') {
            out.push_back(c);
        } else {
            out.push_back('%');
            out.push_back(kHex[byte >> 4]);
            out.push_back(kHex[byte & 15]);
        }
    }
    return out;
}

std::string FormBody(const std::vector<std::string>& names, const std::vector<std::string>& values) {
    std::string body;
    if (names.empty()) return body;
    const bool pairs = names.size() == values.size();
    for (size_t i = 0; i < values.size(); ++i) {
        if (i > 0) body += '&';
        body += FormEncode(names[i % names.size()]);
        body += pairs ? "=" : "[]=";
        body += FormEncode(values[i]);
    }
    return body;
}

std::string PostForm(const std::string& page, const std::vector<std::string>& names,
                     const std::vector<std::string>& values, long* status) {
    return Post("/" + page, FormBody(names, values), status);
}

std::string FetchTop(int32_t count) { return Post("/top.php", FormBody({"count"}, {qx::IntToStr(count)})); }

int32_t LeadingInt(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int64_t value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
        value = std::min<int64_t>(value * 10 + (text[i] - '0'), int64_t{1} << 32);
    value = negative ? -value : value;
    return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

TTopReply ParseTop(const std::string& reply, int32_t maxRows) {
    static const std::string marker = "<pre id=\"view_record\">\n";
    TTopReply top;
    int32_t pos = 1;
    std::string field;
    ExtractBetween(marker, reply, "\n", pos, field);
    top.Count = LeadingInt(field);
    // Each field is the line after the next line feed; once the line feeds run
    // out, every later field is empty (instead of reading the reply again from its start).
    const auto nextField = [&](std::string& out) {
        out.clear();
        const int32_t feed = pos > 0 ? FindFrom("\n", reply, pos) : 0;
        if (feed == 0) {
            pos = 0;
            return;
        }
        pos = feed + 1;
        const int32_t end = FindFrom("\n", reply, pos);
        if (end > pos) out.assign(reply, static_cast<size_t>(pos - 1), static_cast<size_t>(end - pos));
    };
    // A server may declare any count; only the rows the table can show are read.
    const int32_t rows = std::clamp(top.Count, 0, std::max(maxRows, 0));
    top.Rows.resize(static_cast<size_t>(rows));
    for (int32_t r = 0; r < rows; ++r) {
        TOnlineRec& row = top.Rows[static_cast<size_t>(r)];
        for (std::string* target : {&row.Name, &row.Score, &row.Level, &row.Date, &row.Time, &field})
            nextField(*target);
        row.Place = std::to_string(r + 1);
    }
    return top;
}
