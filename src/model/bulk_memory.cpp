#include "model/bulk_memory.hpp"

#include <pthread.h>
#include <sys/mman.h>

#include <bit>
#include <iterator>
#include <limits>
#include <mutex>
#include <new>

#include "model/block_pool.hpp"
#include "model/mapped_region.hpp"

namespace corvane::bulk_memory {
namespace {

constexpr std::size_t kSmallest = std::size_t{8} << 10;
constexpr std::size_t kLargestPooled = std::size_t{512} << 10;
// Built for memory checkers, every block comes from the C heap, where the
// checker sees each one.
#ifdef CORVANE_OBJECTS_IN_C_HEAP
constexpr std::size_t kLargestFromHeap = std::numeric_limits<std::size_t>::max();
#else
constexpr std::size_t kLargestFromHeap = kSmallest;
#endif
// One pool per power of two from 16 KiB (what holds more than 8) to 512 KiB.
constexpr std::size_t kPools = std::countr_zero(kLargestPooled) - std::countr_zero(kSmallest);

// Empty regions, kept for the pools' next blocks. When a dropped report's
// memory went back to the system (as the C heap does with the free top of
// its heap), the first writes to fresh pages took a third of the time of
// the next large read. A kept region is marked free to the system, which
// takes its pages back only when memory runs short; until then, reusing it
// costs nothing. Bounded, so a process that once read a huge document keeps
// at most this much mapped.
class RegionCache {
 public:
  void* take() noexcept {
    {
      std::lock_guard lock(mutex_);
      if (kept_ != 0) return regions_[--kept_];
    }
    return mapped_region::map(mapped_region::kBytes);
  }
  void give_back(void* region) noexcept {
#ifdef MADV_FREE
    madvise(region, mapped_region::kBytes, MADV_FREE);
#endif
    {
      std::lock_guard lock(mutex_);
      if (kept_ != kMaxKept) {
        regions_[kept_++] = region;
        return;
      }
    }
    mapped_region::unmap(region, mapped_region::kBytes);
  }
  std::mutex& mutex() noexcept { return mutex_; }

 private:
  static constexpr std::size_t kMaxKept = 512;  // 1 GiB
  std::mutex mutex_;
  void* regions_[kMaxKept] = {};
  std::size_t kept_ = 0;
};

constinit RegionCache empty_regions;

constexpr SlabSource kRegions{
    mapped_region::kBytes, []() noexcept { return empty_regions.take(); },
    [](void* region) noexcept { empty_regions.give_back(region); }};

// A block may be freed on any thread, so each pool has its lock.
struct LockedPool {
  constexpr explicit LockedPool(std::size_t block_bytes) noexcept
      : pool(block_bytes, kRegions) {}
  std::mutex mutex;
  BlockPool pool;
};

// Static pools are left empty and usable when destroyed at exit (see
// BlockPool), where a block may still be freed.
constinit LockedPool pools[] = {
    LockedPool(kSmallest << 1), LockedPool(kSmallest << 2), LockedPool(kSmallest << 3),
    LockedPool(kSmallest << 4), LockedPool(kSmallest << 5), LockedPool(kSmallest << 6)};
static_assert(std::size(pools) == kPools);

static_assert(BlockPool::largest_object(mapped_region::kBytes) >= kLargestPooled);

LockedPool& pool_for(std::size_t bytes) noexcept {
  // bytes in (kSmallest, kLargestPooled]: the pool of the power of two at or above.
  const std::size_t index = std::bit_width(bytes - 1) - std::countr_zero(kSmallest) - 1;
  return pools[index];
}

// A fork while another thread holds a pool's lock would leave the child
// with a lock no thread can release: hold them all across the fork.
// A pool's lock is taken before the cache's, in this order.
void lock_all() noexcept {
  for (LockedPool& p : pools) p.mutex.lock();
  empty_regions.mutex().lock();
}
void unlock_all() noexcept {
  empty_regions.mutex().unlock();
  for (auto p = std::rbegin(pools); p != std::rend(pools); ++p) p->mutex.unlock();
}
[[maybe_unused]] const bool registered = pthread_atfork(lock_all, unlock_all, unlock_all) == 0;

}  // namespace

void* allocate(std::size_t bytes) {
  if (bytes <= kLargestFromHeap) return ::operator new(bytes);
  void* memory;
  if (bytes > kLargestPooled) {
    memory = mapped_region::map(bytes);
  } else {
    LockedPool& p = pool_for(bytes);
    std::lock_guard lock(p.mutex);
    memory = p.pool.allocate();
  }
  if (memory == nullptr) throw std::bad_alloc();
  return memory;
}

void deallocate(void* memory, std::size_t bytes) noexcept {
  if (bytes <= kLargestFromHeap) {
    ::operator delete(memory);
  } else if (bytes > kLargestPooled) {
    mapped_region::unmap(memory, bytes);
  } else {
    LockedPool& p = pool_for(bytes);
    std::lock_guard lock(p.mutex);
    BlockPool::release(memory);
  }
}

std::size_t pooled_regions() noexcept {
  std::size_t regions = 0;
  for (LockedPool& p : pools) {
    std::lock_guard lock(p.mutex);
    regions += p.pool.slabs();
  }
  return regions;
}

}  // namespace corvane::bulk_memory
