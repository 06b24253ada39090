#include "mif/large_blocks.h"

#if defined(__linux__)
#include <sys/mman.h>

#include <array>
#include <mutex>
#endif

namespace gw::mif {

#if defined(__linux__)
namespace {
std::size_t RoundUp(std::size_t bytes) { return (bytes + kLargeBlockBytes - 1) & ~(kLargeBlockBytes - 1); }

// A walk frees one chapter's tree and builds the next of about the same size:
// keeping the last few blocks freed spares the system zeroing fresh pages for
// every chapter. Blocks beyond the bound go back to the system at once.
constexpr std::size_t kKeptBlocks = 2;
constexpr std::size_t kMaxKeptBytes = std::size_t{64} << 20;

struct KeptBlock {
  void* block = nullptr;
  std::size_t size = 0;
};

struct BlockCache {
  std::mutex mutex;
  std::array<KeptBlock, kKeptBlocks> kept{};
};

BlockCache& Cache() {
  static BlockCache* cache = new BlockCache;  // never destroyed: blocks may be freed during exit
  return *cache;
}

void* TakeKept(std::size_t size) {
  BlockCache& cache = Cache();
  std::lock_guard<std::mutex> lock(cache.mutex);
  for (KeptBlock& kept : cache.kept) {
    if (kept.block != nullptr && kept.size == size) {
      void* block = kept.block;
      kept = KeptBlock{};
      return block;
    }
  }
  return nullptr;
}

bool Keep(void* block, std::size_t size) {
  if (size > kMaxKeptBytes) return false;
  BlockCache& cache = Cache();
  std::lock_guard<std::mutex> lock(cache.mutex);
  for (KeptBlock& kept : cache.kept) {
    if (kept.block == nullptr) {
      kept = KeptBlock{block, size};
      return true;
    }
  }
  return false;
}
}  // namespace

void* MapLargeBlock(std::size_t bytes) {
  const std::size_t size = RoundUp(bytes);
  if (size < bytes) throw std::bad_alloc();
  if (void* kept = TakeKept(size)) return kept;
  void* block = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (block == MAP_FAILED) throw std::bad_alloc();
  // Only advice: where huge pages are off, the block works with small ones.
  (void)::madvise(block, size, MADV_HUGEPAGE);
  return block;
}

void UnmapLargeBlock(void* block, std::size_t bytes) noexcept {
  if (block == nullptr) return;
  const std::size_t size = RoundUp(bytes);
  if (!Keep(block, size)) (void)::munmap(block, size);
}
#else
void* MapLargeBlock(std::size_t bytes) { return ::operator new(bytes); }

void UnmapLargeBlock(void* block, std::size_t /*bytes*/) noexcept { ::operator delete(block); }
#endif

}  // namespace gw::mif
