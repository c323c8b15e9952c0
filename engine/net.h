// UDP networking: broadcast-capable IPv4 datagram sockets, each with a receiver
// thread that queues what arrives, and one send buffer shared by the sockets of
// a protocol object. TCP is declared with the same interface and does nothing.
//
// Words: a "socket" is the handle InitSocket returns (-1 for none); the "send
// buffer" holds up to 65536 bytes that SendTo sends whole as one datagram.
// Addresses are IPv4 in network byte order; ports are in host order.
// Failures are reported by result and one "Network : " line ("Network : UDP > "
// for the UDP object). Operations belong to the main thread; the receiver
// threads touch nothing but their own socket's queue.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace qx {

// One datagram handed out by TUDP::Recv; all zero when nothing is waiting.
struct TNetData {
    uint32_t IP = 0;             // sender's IPv4 address, network byte order
    uint16_t Port = 0;           // sender's port, host byte order
    int32_t Size = 0;            // bytes at Data
    const uint8_t* Data = nullptr; // valid until the next Recv or CloseSocket of the socket
};

// The send buffer and the socket table shared by both protocols.
class TProtocol {
public:
    static constexpr size_t kSendBufferSize = 65536;

    TProtocol() = default;
    virtual ~TProtocol() = default;
    TProtocol(const TProtocol&) = delete;
    TProtocol& operator=(const TProtocol&) = delete;

    virtual void CloseSocket(int32_t socket) = 0;    // unknown sockets are ignored
    void ClearSend();                                // empties the send buffer
    int32_t WriteSend(const void* data, int32_t size); // appends; bytes taken (the buffer never exceeds 65536)

protected:
    std::vector<uint8_t> send_; // reserved once, so appending never reallocates
};

class TUDP final : public TProtocol {
public:
    // Datagrams a socket's queue holds before it drops what arrives: about
    // 16 MiB of queued bytes, or this many datagrams, whichever comes first.
    static constexpr size_t kQueueBytes = 16u << 20;
    static constexpr size_t kQueueDatagrams = 16384;

    TUDP();
    ~TUDP() override; // closes every socket

    void CloseSocket(int32_t socket) override; // stops and joins its receiver, frees its queue
    // Opens a broadcast-capable socket bound to any address on port (0: one the
    // system picks) and starts its receiver; -1 on failure.
    int32_t InitSocket(int32_t port);
    // Sends the whole send buffer as one datagram (empty is allowed); false on failure.
    bool SendTo(int32_t socket, uint32_t ip, uint16_t port);
    // The next datagram in arrival order, each once; frees the one returned before.
    // All zero when nothing is waiting or the socket is not open.
    TNetData Recv(int32_t socket);

private:
    struct TSocket;
    TSocket* Find(int32_t socket) const;

    std::vector<std::unique_ptr<TSocket>> sockets_;
};

// TCP is not implemented: every operation but the send buffer's returns -1.
class TTCP final : public TProtocol {
public:
    void CloseSocket(int32_t socket) override;
    int32_t InitSocket(int32_t port);
    int32_t Connect(int32_t socket, uint32_t ip, uint16_t port);
    int32_t Send(int32_t socket);
    int32_t Recv(int32_t socket);
};

class TNet {
public:
    TNet();  // logs the socket layer's start-up lines and makes both protocols
    ~TNet(); // frees both protocols, closing their sockets
    TNet(const TNet&) = delete;
    TNet& operator=(const TNet&) = delete;

    int32_t Query() const; // reserved; always 0
    TUDP* UDP() const;     // owned by this object
    TTCP* TCP() const;     // owned by this object

private:
    std::unique_ptr<TUDP> udp_;
    std::unique_ptr<TTCP> tcp_;
};

} // namespace qx
