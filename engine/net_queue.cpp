// The receive queue: a list the receiver appends to and the main thread takes from.
#include "engine/net_queue_internal.h"

#include <arpa/inet.h>

#include <cstring>
#include <memory>
#include <new>

namespace qx {

struct TDatagramQueue::TNode {
    int32_t size = 0;
    std::unique_ptr<uint8_t[]> data;
    sockaddr_in from{};
    std::atomic<TNode*> next{nullptr};
    bool taken = false; // main thread only
};

size_t TDatagramQueue::Cost(size_t size) { return sizeof(TNode) + size; }

TDatagramQueue::TDatagramQueue(size_t maxBytes, size_t maxDatagrams)
    : maxBytes_(maxBytes), maxDatagrams_(maxDatagrams) {
    head_ = new (std::nothrow) TNode;
    tail_ = head_;
}

TDatagramQueue::~TDatagramQueue() {
    for (TNode* node = head_; node;) {
        TNode* next = node->next.load(std::memory_order_acquire);
        delete node;
        node = next;
    }
}

bool TDatagramQueue::Push(const sockaddr_in& from, const uint8_t* data, size_t size) {
    if (!tail_) return false;
    const size_t cost = Cost(size);
    if (queuedDatagrams_.load(std::memory_order_relaxed) >= maxDatagrams_ ||
        queuedBytes_.load(std::memory_order_relaxed) + cost > maxBytes_ || size > INT32_MAX) {
        dropped_.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    auto* next = new (std::nothrow) TNode;
    std::unique_ptr<uint8_t[]> bytes;
    if (size > 0) bytes.reset(new (std::nothrow) uint8_t[size]);
    if (!next || (size > 0 && !bytes)) {
        delete next;
        dropped_.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    if (size > 0) std::memcpy(bytes.get(), data, size);
    tail_->size = static_cast<int32_t>(size);
    tail_->data = std::move(bytes);
    tail_->from = from;
    queuedBytes_.fetch_add(cost, std::memory_order_relaxed);
    queuedDatagrams_.fetch_add(1, std::memory_order_relaxed);
    // The link last: it is what hands the node to the main thread.
    tail_->next.store(next, std::memory_order_release);
    tail_ = next;
    return true;
}

TNetData TDatagramQueue::Next() {
    if (!head_) return {};
    TNode* head = head_;
    TNode* next = head->next.load(std::memory_order_acquire);
    if (next && head->taken) {
        queuedBytes_.fetch_sub(Cost(static_cast<size_t>(head->size)), std::memory_order_relaxed);
        queuedDatagrams_.fetch_sub(1, std::memory_order_relaxed);
        delete head;
        head_ = head = next;
        next = head->next.load(std::memory_order_acquire);
    }
    if (!next) return {};
    head->taken = true;
    return {head->from.sin_addr.s_addr, ntohs(head->from.sin_port), head->size, head->data.get()};
}

} // namespace qx
