// Counts every global allocation of the test program that includes it, on any
// thread, while a CountAllocations body runs. Include it in exactly one file of
// a test program: it replaces the global allocation functions.
#pragma once

#include <atomic>
#include <cstdlib>
#include <new>

namespace alloc_counter {

// Atomic: the program's other threads (the GL driver's, SDL's) allocate too.
inline std::atomic<long> allocations{0};
inline std::atomic<bool> counting{false};

inline void Note() {
    if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1, std::memory_order_relaxed);
}

} // namespace alloc_counter

// The global allocations made while body runs.
template <typename Body>
long CountAllocations(Body&& body) {
    alloc_counter::allocations = 0;
    alloc_counter::counting = true;
    body();
    alloc_counter::counting = false;
    return alloc_counter::allocations;
}

// The replacements pair malloc with free themselves; an optimising compiler
// that inlines one into a caller sees only the free and the operator new it
// came from, and warns of a mismatch that is not there.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(std::size_t size) {
    alloc_counter::Note();
    if (void* memory = std::malloc(size ? size : 1)) return memory;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
// The other forms too, so no library pairs one of ours with a runtime's.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    alloc_counter::Note();
    return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void* operator new(std::size_t size, std::align_val_t align) {
    alloc_counter::Note();
    const auto alignment = static_cast<std::size_t>(align);
    if (void* memory = std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment)) return memory;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size, std::align_val_t align) { return operator new(size, align); }
void operator delete(void* memory, std::align_val_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::align_val_t) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t, std::align_val_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t, std::align_val_t) noexcept { std::free(memory); }

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
