// The receive queue of one UDP socket, apart from the socket: the receiver
// thread pushes each datagram it reads, the main thread takes them in arrival
// order. Internal to the network module.
//
// The queue is a singly linked list that always ends with one empty node. The
// receiver fills that tail node, then publishes a fresh empty node as its
// successor with a release store; the main thread reads a node only once it
// sees the successor (acquire), so it always sees the node's contents whole.
// The main thread frees nodes, the receiver allocates them; neither touches
// the other's end of the list, so no lock is needed.
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "engine/net.h"

namespace qx {

class TDatagramQueue {
public:
    // Beyond maxBytes (each datagram counting its size and its node's) or
    // maxDatagrams queued, what arrives is dropped rather than held.
    explicit TDatagramQueue(size_t maxBytes = TUDP::kQueueBytes, size_t maxDatagrams = TUDP::kQueueDatagrams);
    ~TDatagramQueue(); // frees every node still queued
    TDatagramQueue(const TDatagramQueue&) = delete;
    TDatagramQueue& operator=(const TDatagramQueue&) = delete;

    bool Ready() const { return head_ != nullptr; } // false when the first node could not be allocated

    // Receiver side: queues a copy of the datagram; false, counted as dropped,
    // when the budget is spent or memory is short.
    bool Push(const sockaddr_in& from, const uint8_t* data, size_t size);
    // Main side: the next datagram, each once, freeing the one returned before;
    // all zero when nothing is waiting. Data stays valid until the next call.
    TNetData Next();

    uint32_t Dropped() const { return dropped_.load(std::memory_order_relaxed); }
    size_t QueuedBytes() const { return queuedBytes_.load(std::memory_order_relaxed); }
    size_t QueuedDatagrams() const { return queuedDatagrams_.load(std::memory_order_relaxed); }

private:
    struct TNode;
    static size_t Cost(size_t size); // what a datagram counts against the byte budget

    const size_t maxBytes_;
    const size_t maxDatagrams_;
    TNode* head_ = nullptr; // main thread only
    TNode* tail_ = nullptr; // receiver only (set before the receiver starts)
    std::atomic<size_t> queuedBytes_{0};
    std::atomic<size_t> queuedDatagrams_{0};
    std::atomic<uint32_t> dropped_{0};
};

} // namespace qx
