// Pointer lists.
#include "app/list.h"

#include <algorithm>

#include "engine/engine.h"

namespace {
constexpr int32_t kMaxCapacity = 134217727;

void LogListError(const char* what, int32_t value) {
    if (qx::log) qx::log->Print(std::string(what) + " (" + qx::IntToStr(value) + ")");
}
} // namespace

TList::~TList() { TList::Clear(); }

int32_t TList::Add(void* item) {
    if (count_ == capacity_) Grow();
    if (count_ == capacity_) return -1; // growth refused (capacity limit)
    list_[count_] = item;
    return count_++;
}

void* TList::Get(int32_t index) const {
    if (index < 0 || index >= count_) {
        LogListError("List index out of bounds", index);
        return nullptr;
    }
    return list_[index];
}

int32_t TList::IndexOf(void* item) const {
    for (int32_t i = 0; i < count_; ++i)
        if (list_[i] == item) return i;
    return -1;
}

void* TList::Remove(void* item) {
    const int32_t i = IndexOf(item);
    if (i < 0) return nullptr;
    list_[i] = nullptr;
    Delete(i);
    return item;
}

void TList::Delete(int32_t index) {
    if (index < 0 || index >= count_) {
        LogListError("List index out of bounds", index);
        return;
    }
    std::copy(list_ + index + 1, list_ + count_, list_ + index);
    --count_;
}

void TList::Grow() {
    const int32_t delta = capacity_ > 64 ? capacity_ / 4 : (capacity_ > 8 ? 16 : 4);
    SetCapacity(capacity_ + delta);
}

void TList::SetCapacity(int32_t capacity) {
    if (capacity < count_ || capacity > kMaxCapacity) {
        LogListError("List capacity out of bounds", capacity);
        return;
    }
    void** storage = capacity > 0 ? new void*[static_cast<size_t>(capacity)] : nullptr;
    std::copy(list_, list_ + count_, storage);
    delete[] list_;
    list_ = storage;
    capacity_ = capacity;
}

void TList::Clear() {
    delete[] list_;
    list_ = nullptr;
    count_ = 0;
    capacity_ = 0;
}

void TQuickList::Delete(int32_t index) {
    if (index < 0 || index >= count_) {
        LogListError("List index out of bounds", index);
        return;
    }
    list_[index] = list_[count_ - 1];
    --count_;
}

void TAccessObject::Release() {
    if (RefCount-- == 1) delete this;
}
