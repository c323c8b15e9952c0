// The network module on real sockets on 127.0.0.1: its start-up lines, the
// send buffer's cap, datagrams in order and each once, sizes up to the largest
// IPv4 datagram, a bounded queue under a flood, and sockets closed while
// datagrams arrive.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "engine/engine.h"
#include "tests/test_support.h"

namespace {

const uint32_t kLoopback = htonl(INADDR_LOOPBACK);

uint16_t LocalPort(int32_t socket) {
    sockaddr_in address{};
    socklen_t size = sizeof address;
    if (::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &size) != 0) return 0;
    return ntohs(address.sin_port);
}

// Polls Recv until a datagram comes, or gives the empty one after a generous deadline.
qx::TNetData WaitRecv(int32_t socket) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        const qx::TNetData data = qx::net->UDP()->Recv(socket);
        if (data.IP != 0 || std::chrono::steady_clock::now() > deadline) return data;
        std::this_thread::yield();
    }
}

// Bytes waiting in the kernel for the socket: 0 once its receiver has taken them.
int KernelPending(int32_t socket) {
    int pending = 0;
    return ::ioctl(socket, FIONREAD, &pending) == 0 ? pending : -1;
}

std::string Text(const qx::TNetData& data) {
    return data.Data ? std::string(reinterpret_cast<const char*>(data.Data), static_cast<size_t>(data.Size)) : "";
}

class UDP : public testing::Test {
protected:
    void SetUp() override {
        udp = qx::net->UDP();
        ASSERT_NE(udp, nullptr);
        receiver = udp->InitSocket(0);
        sender = udp->InitSocket(0);
        ASSERT_GE(receiver, 0);
        ASSERT_GE(sender, 0);
        receiverPort = LocalPort(receiver);
        senderPort = LocalPort(sender);
        udp->ClearSend();
    }
    void TearDown() override {
        udp->CloseSocket(receiver);
        udp->CloseSocket(sender);
        udp->ClearSend();
    }
    bool Send(const std::string& bytes) {
        udp->ClearSend();
        udp->WriteSend(bytes.data(), static_cast<int32_t>(bytes.size()));
        return udp->SendTo(sender, kLoopback, receiverPort);
    }

    qx::TUDP* udp = nullptr;
    int32_t receiver = -1;
    int32_t sender = -1;
    uint16_t receiverPort = 0;
    uint16_t senderPort = 0;
};

TEST(Network, StartUpLinesGiveThisPlatformsValues) {
    const std::string log = TestLogText();
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
    const std::vector<std::string> lines = {
        "Network : Initialized\r\n", "Network : Description : POSIX sockets",
        "Network : MaxSockets  : " + qx::IntToStr(static_cast<int32_t>(limit.rlim_cur)) + "\r\n",
        "Network : MaxSize UDP : 65507\r\n"};
    size_t at = 0;
    for (const auto& line : lines) {
        const size_t found = log.find(line, at);
        ASSERT_NE(found, std::string::npos) << line << "\n" << log;
        at = found + line.size();
    }
    EXPECT_EQ(qx::net->Query(), 0);
}

TEST(Network, TcpDoesNothing) {
    qx::TTCP* tcp = qx::net->TCP();
    ASSERT_NE(tcp, nullptr);
    EXPECT_EQ(tcp->InitSocket(0), -1);
    EXPECT_EQ(tcp->Connect(0, kLoopback, 1), -1);
    EXPECT_EQ(tcp->Send(0), -1);
    EXPECT_EQ(tcp->Recv(0), -1);
    // Its send buffer is its own, with the same cap.
    const std::vector<char> big(70000, 'x');
    EXPECT_EQ(tcp->WriteSend(big.data(), 70000), 65536);
    tcp->ClearSend();
}

TEST_F(UDP, SendBufferTakesAtMost65536BytesUntilCleared) {
    const std::vector<char> big(70000, 'x');
    EXPECT_EQ(udp->WriteSend(big.data(), 70000), 65536);
    EXPECT_EQ(udp->WriteSend(big.data(), 1), 0);
    udp->ClearSend();
    EXPECT_EQ(udp->WriteSend(big.data(), 65000), 65000);
    EXPECT_EQ(udp->WriteSend(big.data(), 1000), 536);
    EXPECT_EQ(udp->WriteSend(nullptr, 10), 0);
    EXPECT_EQ(udp->WriteSend(big.data(), -5), 0);
    // 65536 bytes are more than one IPv4 datagram carries: the send fails and says so.
    EXPECT_FALSE(udp->SendTo(sender, kLoopback, receiverPort));
    EXPECT_NE(TestLogText().find("Network : UDP > Error sending\r\n"), std::string::npos);
}

TEST_F(UDP, DatagramsComeInOrderEachOnceThenNothing) {
    ASSERT_TRUE(Send("first"));
    ASSERT_TRUE(Send("second"));
    // Both are queued before the first Recv takes one.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (KernelPending(receiver) != 0 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();

    const qx::TNetData first = WaitRecv(receiver);
    EXPECT_EQ(Text(first), "first");
    EXPECT_EQ(first.IP, kLoopback);
    EXPECT_EQ(first.Port, senderPort);
    const qx::TNetData second = WaitRecv(receiver);
    EXPECT_EQ(Text(second), "second");
    const qx::TNetData third = udp->Recv(receiver);
    EXPECT_EQ(third.IP, 0u);
    EXPECT_EQ(third.Port, 0);
    EXPECT_EQ(third.Size, 0);
    EXPECT_EQ(third.Data, nullptr);
    // The send buffer is not cleared by sending: the same bytes go again.
    ASSERT_TRUE(udp->SendTo(sender, kLoopback, receiverPort));
    EXPECT_EQ(Text(WaitRecv(receiver)), "second");
}

TEST_F(UDP, AnEmptySendBufferSendsAnEmptyDatagramAndReportsAFailure) {
    const size_t before = TestLogText().size();
    EXPECT_FALSE(Send(""));
    EXPECT_NE(TestLogText().find("Network : UDP > Error sending\r\n", before), std::string::npos);
    const qx::TNetData data = WaitRecv(receiver);
    EXPECT_EQ(data.IP, kLoopback);
    EXPECT_EQ(data.Port, senderPort);
    EXPECT_EQ(data.Size, 0);
}

TEST_F(UDP, EverySizeUpToTheLargestDatagramArrivesWhole) {
    std::vector<int32_t> sizes = {1, 2, 3, 255, 256, 1471, 1472, 1473, 4096, 8193, 65506, 65507};
    for (int32_t size = 5; size < 65507; size += 4099) sizes.push_back(size);
    for (const int32_t size : sizes) {
        std::string bytes(static_cast<size_t>(size), '\0');
        for (int32_t i = 0; i < size; ++i) bytes[static_cast<size_t>(i)] = static_cast<char>(i * 7 + size);
        ASSERT_TRUE(Send(bytes)) << size;
        const qx::TNetData data = WaitRecv(receiver);
        ASSERT_EQ(data.Size, size);
        EXPECT_TRUE(Text(data) == bytes) << size;
    }
}

TEST_F(UDP, OpeningASocketLogsItsStepsInTheirFixedWords) {
    const size_t before = TestLogText().size();
    const int32_t socket = udp->InitSocket(0);
    ASSERT_GE(socket, 0);
    udp->CloseSocket(socket);
    const std::string log = TestLogText().substr(before);
    size_t at = 0;
    for (const char* line : {"] Network : UDP > bla\r\n", "] Network : UDP > bla 2\r\n",
                             "] Network : UDP > Socket has been initialized on port (0)\r\n"}) {
        const size_t found = log.find(line, at);
        ASSERT_NE(found, std::string::npos) << line << "\n" << log;
        at = found + std::string(line).size();
    }
}

TEST_F(UDP, BindingABoundPortFailsWithItsLines) {
    EXPECT_EQ(udp->InitSocket(receiverPort), -1);
    const std::string log = TestLogText();
    const std::string port = qx::IntToStr(receiverPort);
    const size_t binding = log.rfind("Network : UDP > Error binding socket on port\r\n");
    ASSERT_NE(binding, std::string::npos);
    EXPECT_NE(log.find("Network : UDP > Can't create socket on port (" + port + ")\r\n", binding), std::string::npos);
    // The socket that holds the port still works.
    ASSERT_TRUE(Send("still here"));
    EXPECT_EQ(Text(WaitRecv(receiver)), "still here");
    EXPECT_NE(log.find("Network : UDP > Socket has been initialized on port (0)\r\n"), std::string::npos);
}

TEST_F(UDP, UnknownAndClosedSocketsGiveNothing) {
    const int32_t closed = udp->InitSocket(0);
    ASSERT_GE(closed, 0);
    const uint16_t closedPort = LocalPort(closed);
    udp->CloseSocket(closed);
    udp->CloseSocket(closed); // twice is harmless
    for (const int32_t socket : {closed, -1, 123456}) {
        const qx::TNetData data = udp->Recv(socket);
        EXPECT_EQ(data.IP, 0u);
        EXPECT_EQ(data.Data, nullptr);
        EXPECT_FALSE(udp->SendTo(socket, kLoopback, receiverPort));
    }
    // The port is free again once its socket is closed.
    const int32_t again = udp->InitSocket(closedPort);
    EXPECT_GE(again, 0);
    udp->CloseSocket(again);
    EXPECT_EQ(udp->InitSocket(70000), -1);
}

TEST_F(UDP, AFloodIsCutAtTheQueueBudgetAndLoggedOnce) {
    const std::string bytes(65000, 'f');
    const int sends = 400; // well over the byte budget of about 257 such datagrams
    for (int i = 0; i < sends; ++i) {
        ASSERT_TRUE(Send(bytes));
        // Waiting for the receiver to take each one keeps the kernel from dropping any.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (KernelPending(receiver) != 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
    }
    int received = 0;
    while (udp->Recv(receiver).Size == 65000) ++received;
    EXPECT_LE(static_cast<size_t>(received), qx::TUDP::kQueueBytes / 65000);
    EXPECT_GE(static_cast<size_t>(received), qx::TUDP::kQueueBytes / 65000 - 2);
    udp->Recv(receiver);
    EXPECT_EQ(Occurrences(TestLogText(), "Network : UDP > Receive queue full on port (0): datagrams dropped\r\n"), 1u);
    // Once read, the queue takes datagrams again.
    ASSERT_TRUE(Send("after"));
    EXPECT_EQ(Text(WaitRecv(receiver)), "after");
}

TEST_F(UDP, ClosingWhileDatagramsArriveNeverHangs) {
    for (int round = 0; round < 20; ++round) {
        const int32_t target = udp->InitSocket(0);
        ASSERT_GE(target, 0);
        const uint16_t port = LocalPort(target);
        std::atomic<bool> stop{false};
        std::atomic<int> sent{0};
        // A socket of the test's own floods the target from another thread.
        const int flooder = ::socket(AF_INET, SOCK_DGRAM, 0);
        ASSERT_GE(flooder, 0);
        std::thread flood([&] {
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_port = htons(port);
            to.sin_addr.s_addr = kLoopback;
            const char bytes[512] = {};
            while (!stop.load()) {
                ::sendto(flooder, bytes, sizeof bytes, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
                sent.fetch_add(1);
            }
        });
        while (sent.load() < 50) std::this_thread::yield();
        if (round % 2 == 0) WaitRecv(target); // half the rounds hold a datagram taken
        udp->CloseSocket(target);
        stop.store(true);
        flood.join();
        ::close(flooder);
        EXPECT_EQ(udp->Recv(target).Data, nullptr);
    }
}

} // namespace
