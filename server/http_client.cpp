// A plain HTTP/1.1 client for the load tool and the tests: see http_client.h.
#include "server/http_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdlib>

namespace scores::http {

namespace {

// The socket address of a numeric host; family 0 when host is not one.
struct TAddress {
    sockaddr_storage storage{};
    socklen_t size = 0;
    int Family() const { return size ? storage.ss_family : 0; }
    const sockaddr* Get() const { return reinterpret_cast<const sockaddr*>(&storage); }
};

TAddress AddressOf(const std::string& host, uint16_t port) {
    TAddress address;
    auto* six = reinterpret_cast<sockaddr_in6*>(&address.storage);
    auto* four = reinterpret_cast<sockaddr_in*>(&address.storage);
    if (::inet_pton(AF_INET6, host.c_str(), &six->sin6_addr) == 1) {
        six->sin6_family = AF_INET6;
        six->sin6_port = htons(port);
        address.size = sizeof *six;
    } else if (::inet_pton(AF_INET, host.c_str(), &four->sin_addr) == 1) {
        four->sin_family = AF_INET;
        four->sin_port = htons(port);
        address.size = sizeof *four;
    }
    return address;
}

// Binds fd to a source address of the loopback net: many clients from one machine.
bool BindSource(int fd, const std::string& from) {
    sockaddr_in source{};
    source.sin_family = AF_INET;
    return ::inet_pton(AF_INET, from.c_str(), &source.sin_addr) == 1 &&
           ::bind(fd, reinterpret_cast<const sockaddr*>(&source), sizeof source) == 0;
}

const std::string kTopMarker = "<pre id=\"view_record\">\n";

} // namespace

int Connect(const std::string& host, uint16_t port, int timeoutSeconds, const std::string& from) {
    const TAddress address = AddressOf(host, port);
    if (!address.Family()) return -1;
    const int fd = ::socket(address.Family(), SOCK_STREAM, 0);
    if (fd < 0) return -1;
    const timeval limit{timeoutSeconds, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    if ((!from.empty() && !BindSource(fd, from)) || ::connect(fd, address.Get(), address.size) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool SendAll(int fd, std::string_view bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

std::string ReadAll(int fd) {
    std::string text;
    char buffer[8192];
    ssize_t got;
    while ((got = ::recv(fd, buffer, sizeof buffer, 0)) > 0) text.append(buffer, static_cast<size_t>(got));
    return text;
}

std::string Exchange(const std::string& host, uint16_t port, std::string_view request, int timeoutSeconds) {
    const int fd = Connect(host, port, timeoutSeconds);
    if (fd < 0) return {};
    // A server may answer and close before taking the whole request (a body
    // over its cap): its answer is still read.
    SendAll(fd, request);
    std::string response = ReadAll(fd);
    ::close(fd);
    return response;
}

std::string PostRequest(const std::string& path, const std::string& body) {
    return "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
           "content-type: application/x-www-form-urlencoded\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string GetRequest(const std::string& path) {
    return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
}

std::string SendBody(const std::vector<TSentRow>& rows) {
    std::string body;
    for (const auto& [name, score, level, time] : rows) {
        if (!body.empty()) body += "&";
        body += "user[]=" + name + "&score[]=" + std::to_string(score) + "&level[]=" + std::to_string(level) +
                "&time[]=" + std::to_string(time);
    }
    return body;
}

int StatusOf(std::string_view response) {
    if (response.substr(0, 7) != "HTTP/1." || response.size() < 12) return 0;
    int status = 0;
    for (const char digit : response.substr(9, 3)) {
        if (digit < '0' || digit > '9') return 0;
        status = status * 10 + (digit - '0');
    }
    return status;
}

bool HasHead(std::string_view response) { return response.find("\r\n\r\n") != std::string_view::npos; }

std::string BodyOf(std::string_view response) {
    const size_t end = response.find("\r\n\r\n");
    return end == std::string_view::npos ? std::string() : std::string(response.substr(end + 4));
}

std::optional<std::vector<TTopRow>> ParseTopReply(std::string_view body) {
    if (body.substr(0, kTopMarker.size()) != kTopMarker) return std::nullopt;
    std::vector<std::string> lines;
    for (size_t start = kTopMarker.size(), end; (end = body.find('\n', start)) != std::string_view::npos;
         start = end + 1)
        lines.emplace_back(body.substr(start, end - start));
    if (lines.empty()) return std::nullopt;
    const int rows = std::atoi(lines[0].c_str());
    if (rows < 0 || lines.size() != 2 + 6 * static_cast<size_t>(rows) || lines.back() != "</pre>") return std::nullopt;
    std::vector<TTopRow> top;
    for (size_t at = 1; at + 6 < lines.size(); at += 6)
        top.push_back({lines[at], lines[at + 1], lines[at + 2], lines[at + 3], lines[at + 4], lines[at + 5]});
    return top;
}

} // namespace scores::http
