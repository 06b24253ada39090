// An allocator for the few very large arrays of a document (its syntax tree's
// nodes): blocks of 2 MiB and more are mapped straight from the system with
// transparent huge pages asked for, and unmapped in one step when freed.
// Filling a 200 MB tree through 4 KiB pages costs more in page faults than the
// parse itself; huge pages take 512 times fewer. Smaller blocks, and systems
// without huge pages, use the ordinary heap.
#pragma once

#include <cstddef>
#include <new>

namespace gw::mif {

inline constexpr std::size_t kLargeBlockBytes = std::size_t{2} << 20;

// Raw blocks: MapLargeBlock throws std::bad_alloc when the system refuses.
[[nodiscard]] void* MapLargeBlock(std::size_t bytes);
void UnmapLargeBlock(void* block, std::size_t bytes) noexcept;

template <class T>
struct LargeBlockAllocator {
  using value_type = T;

  LargeBlockAllocator() = default;
  template <class U>
  LargeBlockAllocator(const LargeBlockAllocator<U>& /*other*/) noexcept {}  // NOLINT(google-explicit-constructor)

  [[nodiscard]] T* allocate(std::size_t count) {
    if (count > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_alloc();
    const std::size_t bytes = count * sizeof(T);
    if (bytes >= kLargeBlockBytes) return static_cast<T*>(MapLargeBlock(bytes));
    return static_cast<T*>(::operator new(bytes));
  }
  void deallocate(T* block, std::size_t count) noexcept {
    const std::size_t bytes = count * sizeof(T);
    if (bytes >= kLargeBlockBytes) {
      UnmapLargeBlock(block, bytes);
    } else {
      ::operator delete(block);
    }
  }
  template <class U>
  bool operator==(const LargeBlockAllocator<U>& /*other*/) const noexcept {
    return true;
  }
};

}  // namespace gw::mif
