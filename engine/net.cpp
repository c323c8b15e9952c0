// UDP on POSIX sockets with one std::thread receiver per socket, each
// feeding its socket's receive queue (net_queue_internal.h).
//
// A receiver is stopped by shutting its socket down, which wakes its recvfrom,
// and is then joined: it is never killed while it may hold the allocator's lock.
#include "engine/net.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <new>
#include <string>
#include <system_error>
#include <thread>

#include "engine/engine.h"
#include "engine/net_queue_internal.h"

namespace qx {

namespace {

// The largest payload of one IPv4 UDP datagram: 65535 less the IP and UDP headers.
constexpr int32_t kMaxDatagram = 65507;
// What one recvfrom may deliver; above any datagram, so none is ever cut.
constexpr size_t kReceiveBuffer = 65536;

void NetLog(const std::string& message) {
    if (log) log->Print("Network : " + message);
}

void UDPLog(const std::string& message) { NetLog("UDP > " + message); }

} // namespace

struct TUDP::TSocket {
    int handle = -1;
    int32_t port = 0;
    std::thread receiver;
    TDatagramQueue queue;
    std::atomic<bool> stopping{false};
    bool dropsLogged = false;

    ~TSocket() {
        if (handle >= 0) ::close(handle);
    }

    void Receive() {
        std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[kReceiveBuffer]);
        if (!buffer) return;
        for (;;) {
            sockaddr_in from{};
            socklen_t fromSize = sizeof from;
            const ssize_t got =
                ::recvfrom(handle, buffer.get(), kReceiveBuffer, 0, reinterpret_cast<sockaddr*>(&from), &fromSize);
            if (got < 0) {
                if (errno == EINTR) continue;
                return;
            }
            // A shut-down socket reads as an empty datagram; only the flag tells them apart.
            if (stopping.load(std::memory_order_acquire)) return;
            // Beyond the budget a flood is dropped by the queue rather than
            // held: the reader may never come, and the memory must stay bounded.
            (void)queue.Push(from, buffer.get(), static_cast<size_t>(got));
        }
    }

    // Drops are counted by the receiver and reported here, on the main thread
    // the log belongs to, once per socket.
    void ReportDrops() {
        if (dropsLogged || queue.Dropped() == 0) return;
        dropsLogged = true;
        UDPLog("Receive queue full on port (" + IntToStr(port) + "): datagrams dropped");
    }
};

// ---- The send buffer --------------------------------------------------------

void TProtocol::ClearSend() { send_.clear(); }

int32_t TProtocol::WriteSend(const void* data, int32_t size) {
    if (!data || size <= 0) return 0;
    if (send_.capacity() < kSendBufferSize) send_.reserve(kSendBufferSize);
    const size_t taken = std::min(static_cast<size_t>(size), kSendBufferSize - send_.size());
    const auto* bytes = static_cast<const uint8_t*>(data);
    send_.insert(send_.end(), bytes, bytes + taken);
    return static_cast<int32_t>(taken);
}

// ---- UDP ----------------------------------------------------------------------

TUDP::TUDP() { send_.reserve(kSendBufferSize); }

TUDP::~TUDP() {
    while (!sockets_.empty()) CloseSocket(sockets_.back()->handle);
}

TUDP::TSocket* TUDP::Find(int32_t socket) const {
    for (const auto& record : sockets_)
        if (record->handle == socket) return record.get();
    return nullptr;
}

int32_t TUDP::InitSocket(int32_t port) {
    const std::string failed = "Can't create socket on port (" + IntToStr(port) + ")";
    // "bla" and "bla 2" mark the two steps of opening a socket. The words are
    // fixed: the engine's log lines are the same on every platform, and people
    // and tools that read logs search for them as they are.
    UDPLog("bla");
    if (port < 0 || port > 65535) {
        UDPLog(failed);
        return -1;
    }
    const int handle = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (handle < 0) {
        UDPLog(failed);
        return -1;
    }
    UDPLog("bla 2"); // fixed text, see "bla" above
    auto record = std::make_unique<TSocket>();
    record->handle = handle;
    record->port = port;

    const int on = 1;
    if (::setsockopt(handle, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
        UDPLog("Error setting broadcast socket");
        UDPLog(failed);
        return -1;
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<uint16_t>(port));
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(handle, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        UDPLog("Error binding socket on port");
        UDPLog(failed);
        return -1;
    }

    if (!record->queue.Ready()) {
        UDPLog(failed);
        return -1;
    }
    try {
        TSocket* socket = record.get();
        record->receiver = std::thread([socket] { socket->Receive(); });
    } catch (const std::system_error&) {
        UDPLog(failed);
        return -1;
    }
    sockets_.push_back(std::move(record));
    UDPLog("Socket has been initialized on port (" + IntToStr(port) + ")");
    return handle;
}

void TUDP::CloseSocket(int32_t socket) {
    const auto at = std::find_if(sockets_.begin(), sockets_.end(),
                                 [socket](const auto& record) { return record->handle == socket; });
    if (at == sockets_.end()) return;
    TSocket& record = **at;
    record.stopping.store(true, std::memory_order_release);
    // On an unbound peer this reports ENOTCONN, yet still wakes the receiver.
    ::shutdown(record.handle, SHUT_RDWR);
    if (record.receiver.joinable()) record.receiver.join();
    record.ReportDrops();
    // The last record takes the closed one's place; the destructor frees the
    // queue and closes the handle.
    std::iter_swap(at, sockets_.end() - 1);
    sockets_.pop_back();
}

bool TUDP::SendTo(int32_t socket, uint32_t ip, uint16_t port) {
    TSocket* record = Find(socket);
    if (!record) {
        UDPLog("Error sending");
        return false;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = ip;
    const ssize_t sent =
        ::sendto(record->handle, send_.data(), send_.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    // An empty buffer still goes out as an empty datagram, but 0 bytes sent is
    // no success: no caller means to send nothing.
    if (sent <= 0 || static_cast<size_t>(sent) != send_.size()) {
        UDPLog("Error sending");
        return false;
    }
    return true;
}

TNetData TUDP::Recv(int32_t socket) {
    TSocket* record = Find(socket);
    if (!record) return {};
    record->ReportDrops();
    return record->queue.Next();
}

// ---- TCP ------------------------------------------------------------------------

void TTCP::CloseSocket(int32_t) {}
int32_t TTCP::InitSocket(int32_t) { return -1; }
int32_t TTCP::Connect(int32_t, uint32_t, uint16_t) { return -1; }
int32_t TTCP::Send(int32_t) { return -1; }
int32_t TTCP::Recv(int32_t) { return -1; }

// ---- The network module -----------------------------------------------------------

namespace {

std::string SocketLayerDescription() {
    utsname system{};
    if (::uname(&system) != 0) return "POSIX sockets";
    return std::string("POSIX sockets on ") + system.sysname + " " + system.release;
}

// Every socket is a file descriptor, so the descriptor limit bounds them.
int32_t MaxSockets() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return INT32_MAX;
    return static_cast<int32_t>(std::min<rlim_t>(limit.rlim_cur, INT32_MAX));
}

} // namespace

// The POSIX socket layer needs no start-up call, so it is always initialised.
TNet::TNet() {
    NetLog("Initialized");
    udp_ = std::make_unique<TUDP>();
    tcp_ = std::make_unique<TTCP>();
    NetLog("Description : " + SocketLayerDescription());
    NetLog("MaxSockets  : " + IntToStr(MaxSockets()));
    NetLog("MaxSize UDP : " + IntToStr(kMaxDatagram));
}

TNet::~TNet() {
    udp_.reset();
    tcp_.reset();
}

int32_t TNet::Query() const { return 0; }
TUDP* TNet::UDP() const { return udp_.get(); }
TTCP* TNet::TCP() const { return tcp_.get(); }

} // namespace qx
