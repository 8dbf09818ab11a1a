// Storage for the big arrays that live as long as a stream (unwrap tables,
// gather plans, panoramas). Their first touch is a large part of a short
// video's cost: every 4 KiB page faults once, and a 4K stream's tables and
// panoramas are tens of megabytes. Blocks of LargeBufferAllocator that are
// at least one huge page long are aligned to it and offered to the kernel's
// transparent huge pages (madvise) before anything touches them, so that
// one fault maps 2 MiB where the kernel allows it (Linux; elsewhere, or
// with transparent huge pages off, they behave like any allocation).
// Plain C++ and the C library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace hv {

inline constexpr size_t kHugePageBytes = size_t{2} << 20;

template <class T>
struct LargeBufferAllocator {
    using value_type = T;

    LargeBufferAllocator() = default;
    template <class U>
    LargeBufferAllocator(const LargeBufferAllocator<U>&) noexcept {}

    T* allocate(size_t n) {
        if (n > SIZE_MAX / sizeof(T)) throw std::bad_array_new_length();
        const size_t bytes = n * sizeof(T);
        if (bytes < kHugePageBytes) return static_cast<T*>(::operator new(bytes));
        // Whole huge pages, so that the last one is not left to small pages.
        const size_t rounded = (bytes + kHugePageBytes - 1) / kHugePageBytes * kHugePageBytes;
        void* p = std::aligned_alloc(kHugePageBytes, rounded);
        if (p == nullptr) throw std::bad_alloc();
#if defined(__linux__) && defined(MADV_HUGEPAGE)
        // Advice only: refused advice leaves ordinary pages.
        ::madvise(p, rounded, MADV_HUGEPAGE);
#endif
        return static_cast<T*>(p);
    }

    // The block's size decides, as it did in allocate, where it came from.
    void deallocate(T* p, size_t n) noexcept {
        if (n * sizeof(T) < kHugePageBytes) {
            ::operator delete(p);
        } else {
            std::free(p);
        }
    }

    template <class U>
    bool operator==(const LargeBufferAllocator<U>&) const noexcept {
        return true;
    }
};

template <class T>
using LargeVector = std::vector<T, LargeBufferAllocator<T>>;

}  // namespace hv
