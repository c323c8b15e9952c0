// Heap made ready ahead of need.
#include "engine/heap_warmer_internal.h"

#include <unistd.h>

#include <cstdlib>
#include <system_error>

namespace qx {

namespace {

// Under the C library's smallest mmap threshold (128 KiB): each block comes
// from the heap, and the freed blocks stay there for later allocations.
constexpr size_t kBlockBytes = 64 << 10;

} // namespace

THeapWarmer::THeapWarmer(size_t bytes) {
    const size_t count = bytes / kBlockBytes;
    if (count == 0) return;
    try {
        blocks_.reserve(count);
        for (size_t i = 0; i < count; ++i) {
            void* block = std::malloc(kBlockBytes);
            if (!block) break;
            blocks_.push_back(block);
        }
        toucher_ = std::thread([blocks = blocks_.data(), count = blocks_.size()] {
            const long page = ::sysconf(_SC_PAGESIZE);
            const size_t stride = page > 0 ? static_cast<size_t>(page) : 4096;
            for (size_t i = 0; i < count; ++i) {
                auto* bytes = static_cast<volatile unsigned char*>(blocks[i]);
                for (size_t at = 0; at < kBlockBytes; at += stride) bytes[at] = 0;
            }
        });
    } catch (const std::exception&) {
        // No thread or no memory to spare: the warming is an optimisation only.
        Release();
    }
}

THeapWarmer::~THeapWarmer() { Release(); }

void THeapWarmer::Release() {
    if (toucher_.joinable()) toucher_.join();
    for (void* block : blocks_) std::free(block);
    blocks_.clear();
    blocks_.shrink_to_fit();
}

} // namespace qx
