// Heap made ready ahead of need: what the warmer touched and gave back is
// what later allocations land on, without a page fault each.
#include <gtest/gtest.h>

#include <malloc.h>
#include <sys/resource.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/heap_warmer_internal.h"

namespace {

[[maybe_unused]] long MinorFaultsOfThisThread() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_minflt;
}

TEST(HeapWarmer, LaterAllocationsLandOnTheTouchedHeap) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's allocator keeps freed blocks aside instead of reusing them";
#else
    constexpr size_t kBytes = 8 << 20;
    constexpr size_t kBlock = 64 << 10;
    constexpr long kPages = kBytes / 4096;
    qx::THeapWarmer warmer(kBytes);
    // As the main loop does before it releases: freed blocks that end up at
    // the heap's top stay in place instead of going back to the kernel.
    mallopt(M_TOP_PAD, 16 << 20);
    warmer.Release();
    warmer.Release(); // a second release has nothing left to give back

    // The blocks a first frame would take: fresh heap would fault once a page.
    const long before = MinorFaultsOfThisThread();
    std::vector<void*> blocks;
    for (size_t taken = 0; taken + kBlock <= kBytes; taken += kBlock) {
        void* block = std::malloc(kBlock);
        ASSERT_NE(block, nullptr);
        std::memset(block, 1, kBlock);
        blocks.push_back(block);
    }
    const long faults = MinorFaultsOfThisThread() - before;
    for (void* block : blocks) std::free(block);
    EXPECT_LT(faults, kPages / 8) << "of " << kPages << " pages";
#endif
}

} // namespace
