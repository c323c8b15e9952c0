// Heap made ready ahead of need. The kernel gives a process its heap a page
// at a time, zero-filled on the first touch; on a virtual machine each such
// fault costs microseconds. A software GL driver takes megabytes of fresh heap
// for the shader compiles of its first frame, so that frame paid thousands of
// faults. The engine takes that much heap at its start and a thread touches
// it while the window and the driver are made; given back before the first
// frame, it is what the frame's allocations reuse.
#pragma once

#include <cstddef>
#include <thread>
#include <vector>

namespace qx {

class THeapWarmer {
public:
    // Takes `bytes` of heap, in blocks small enough to come from the heap
    // itself rather than from mappings of their own, and starts touching
    // every page of them on a thread. Takes nothing when that fails.
    explicit THeapWarmer(size_t bytes);
    ~THeapWarmer();
    THeapWarmer(const THeapWarmer&) = delete;
    THeapWarmer& operator=(const THeapWarmer&) = delete;

    // Waits for the touching and frees the blocks; later calls do nothing.
    // Blocks freed at the heap's top stay only within the top slack
    // (M_TOP_PAD), which the caller sets first.
    void Release();

private:
    std::vector<void*> blocks_;
    std::thread toucher_;
};

} // namespace qx
