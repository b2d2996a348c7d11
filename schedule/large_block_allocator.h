#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdlib>
#include <limits>
#include <new>

namespace larkspan::schedule {

// An allocator for the schedule's big arrays (tens of megabytes for a large
// profile). Blocks of 2 MiB and more are aligned to 2 MiB and offered to the
// kernel for transparent huge pages: filling such an array then costs a fault
// per 2 MiB instead of one per 4 KiB, which on virtual machines made a cold
// profile load several times slower than copying the file. Where huge pages are
// off, the advice is ignored and nothing else changes.
template <typename T>
class LargeBlockAllocator {
 public:
  using value_type = T;

  LargeBlockAllocator() = default;
  template <typename U>
  LargeBlockAllocator(const LargeBlockAllocator<U>&) noexcept {}

  T* allocate(std::size_t n) {
    if (n > std::numeric_limits<std::size_t>::max() / sizeof(T) - kHugePage) {
      throw std::bad_array_new_length();
    }
    const std::size_t bytes = n * sizeof(T);
    if (bytes < kHugePage) return static_cast<T*>(::operator new(bytes));
    const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void* block = std::aligned_alloc(kHugePage, rounded);
    if (block == nullptr) throw std::bad_alloc();
    ::madvise(block, rounded, MADV_HUGEPAGE);
    return static_cast<T*>(block);
  }

  void deallocate(T* block, std::size_t n) noexcept {
    if (n * sizeof(T) < kHugePage) {
      ::operator delete(block);
    } else {
      std::free(block);
    }
  }

  template <typename U>
  bool operator==(const LargeBlockAllocator<U>&) const noexcept {
    return true;
  }

 private:
  static constexpr std::size_t kHugePage = std::size_t{2} << 20;
};

}  // namespace larkspan::schedule
