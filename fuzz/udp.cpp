// The UDP receive queue fed with datagrams, as the receiver thread feeds it,
// and read back as the main thread reads it. The input is a run of commands:
// a byte whose low bit chooses between taking the next datagram and pushing
// one, the push's length in the next byte (times 64 with the byte's second
// bit), then its bytes. The queue's budget is small, so the drop path runs;
// what comes out must be what went in, in order, each datagram once.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <vector>

#include "engine/net_queue_internal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qx::TDatagramQueue queue(8192, 16);
    if (!queue.Ready()) return 0;
    std::deque<std::vector<uint8_t>> expected;
    size_t at = 0;
    uint16_t port = 1;
    while (at < size) {
        const uint8_t command = data[at++];
        if (command & 1) {
            const qx::TNetData got = queue.Next();
            if (expected.empty()) {
                if (got.Data || got.Size != 0) std::abort();
                continue;
            }
            const std::vector<uint8_t>& want = expected.front();
            if (got.Size != static_cast<int32_t>(want.size())) std::abort();
            if (!want.empty() && std::memcmp(got.Data, want.data(), want.size()) != 0) std::abort();
            expected.pop_front();
            continue;
        }
        const size_t length = at < size ? size_t{data[at++]} * (command & 2 ? 64 : 1) : 0;
        const size_t present = std::min(length, size - at);
        std::vector<uint8_t> datagram(data + at, data + at + present);
        datagram.resize(length, 0); // a long datagram is padded with zeros
        at += present;
        sockaddr_in from{};
        from.sin_port = htons(port++);
        if (queue.Push(from, datagram.data(), datagram.size())) expected.push_back(std::move(datagram));
    }
    // Everything still queued comes out in order, then nothing.
    while (!expected.empty()) {
        const qx::TNetData got = queue.Next();
        if (got.Size != static_cast<int32_t>(expected.front().size())) std::abort();
        expected.pop_front();
    }
    if (queue.Next().Size != 0 || queue.QueuedDatagrams() != 0 || queue.QueuedBytes() != 0) std::abort();
    return 0;
}
