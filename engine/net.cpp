// UDP on POSIX sockets with one std::thread receiver per socket.
//
// The receive queue is a singly linked list that always ends with one empty
// node. The receiver fills that tail node, then publishes a fresh empty node as
// its successor with a release store; the main thread reads a node only once
// it sees the successor (acquire), so it always sees the node's contents whole.
// The main thread frees nodes, the receiver allocates them; neither touches the
// other's end of the list, so no lock is needed.
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

// ---- The receive queue ------------------------------------------------------

namespace {

struct TNode {
    int32_t size = 0;
    std::unique_ptr<uint8_t[]> data;
    sockaddr_in from{};
    std::atomic<TNode*> next{nullptr};
    bool taken = false; // main thread only
};

// What a queued node counts against the queue's byte budget.
size_t NodeCost(const TNode& node) { return sizeof(TNode) + static_cast<size_t>(node.size); }

} // namespace

struct TUDP::TSocket {
    int handle = -1;
    int32_t port = 0;
    std::thread receiver;
    TNode* head = nullptr; // main thread only; the receiver keeps its own tail
    std::atomic<bool> stopping{false};
    std::atomic<size_t> queuedBytes{0};
    std::atomic<size_t> queuedDatagrams{0};
    std::atomic<uint32_t> dropped{0};
    bool dropsLogged = false;

    ~TSocket() {
        for (TNode* node = head; node;) {
            TNode* next = node->next.load(std::memory_order_acquire);
            delete node;
            node = next;
        }
        if (handle >= 0) ::close(handle);
    }

    void Receive(TNode* tail) {
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

            // Beyond the budget a flood is dropped here rather than held: the
            // reader may never come, and the memory must stay bounded.
            const size_t cost = sizeof(TNode) + static_cast<size_t>(got);
            if (queuedDatagrams.load(std::memory_order_relaxed) >= kQueueDatagrams ||
                queuedBytes.load(std::memory_order_relaxed) + cost > kQueueBytes) {
                dropped.fetch_add(1, std::memory_order_relaxed);
                continue;
            }
            auto* next = new (std::nothrow) TNode;
            std::unique_ptr<uint8_t[]> bytes;
            if (got > 0) bytes.reset(new (std::nothrow) uint8_t[static_cast<size_t>(got)]);
            if (!next || (got > 0 && !bytes)) {
                delete next;
                dropped.fetch_add(1, std::memory_order_relaxed);
                continue;
            }
            if (got > 0) std::memcpy(bytes.get(), buffer.get(), static_cast<size_t>(got));
            tail->size = static_cast<int32_t>(got);
            tail->data = std::move(bytes);
            tail->from = from;
            queuedBytes.fetch_add(cost, std::memory_order_relaxed);
            queuedDatagrams.fetch_add(1, std::memory_order_relaxed);
            // The link last: it is what hands the node to the main thread.
            tail->next.store(next, std::memory_order_release);
            tail = next;
        }
    }

    // Drops are counted by the receiver and reported here, on the main thread
    // the log belongs to, once per socket.
    void ReportDrops() {
        if (dropsLogged || dropped.load(std::memory_order_relaxed) == 0) return;
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
    UDPLog("bla 2");
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

    record->head = new (std::nothrow) TNode;
    if (!record->head) {
        UDPLog(failed);
        return -1;
    }
    try {
        TSocket* socket = record.get();
        record->receiver = std::thread([socket, tail = record->head] { socket->Receive(tail); });
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
    // An empty datagram is sent as 0 bytes, which is success.
    if (sent < 0 || static_cast<size_t>(sent) != send_.size()) {
        UDPLog("Error sending");
        return false;
    }
    return true;
}

TNetData TUDP::Recv(int32_t socket) {
    TSocket* record = Find(socket);
    if (!record) return {};
    record->ReportDrops();
    TNode* head = record->head;
    TNode* next = head->next.load(std::memory_order_acquire);
    if (next && head->taken) {
        record->queuedBytes.fetch_sub(NodeCost(*head), std::memory_order_relaxed);
        record->queuedDatagrams.fetch_sub(1, std::memory_order_relaxed);
        delete head;
        record->head = head = next;
        next = head->next.load(std::memory_order_acquire);
    }
    if (!next) return {};
    head->taken = true;
    return {head->from.sin_addr.s_addr, ntohs(head->from.sin_port), head->size, head->data.get()};
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
