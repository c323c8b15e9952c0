// Growable pointer lists and the small intrusively counted object base.
//
// TList keeps order on deletion; TQuickList moves the last entry into the hole.
// Bad indices and capacities are logged ("List index out of bounds (n)") and
// change nothing: the program goes on.
#pragma once

#include <cstdint>

class TList {
public:
    TList() = default;
    virtual ~TList();
    TList(const TList&) = delete;
    TList& operator=(const TList&) = delete;

    int32_t Add(void* item);          // index of the new entry
    [[nodiscard]] void* Get(int32_t index) const;    // nullptr (and a log line) when out of range
    [[nodiscard]] int32_t IndexOf(void* item) const; // first index, -1 when absent
    void* Remove(void* item);         // the item, or nullptr when absent
    virtual void Delete(int32_t index);
    virtual void Grow();
    void SetCapacity(int32_t capacity);
    virtual void Clear();             // frees the storage

    int32_t Count() const { return count_; }
    int32_t Capacity() const { return capacity_; }

protected:
    void** list_ = nullptr;
    int32_t count_ = 0;
    int32_t capacity_ = 0;
};

class TQuickList : public TList {
public:
    void Delete(int32_t index) override; // the last entry fills the hole
};

// Counts references; Release frees the object when the count was 1.
class TAccessObject {
public:
    TAccessObject() = default;
    virtual ~TAccessObject() = default;
    TAccessObject(const TAccessObject&) = delete;
    TAccessObject& operator=(const TAccessObject&) = delete;

    virtual void Touch() {}
    void AddRef() { ++RefCount; }
    void Release();

    int32_t RefCount = 0;
};
