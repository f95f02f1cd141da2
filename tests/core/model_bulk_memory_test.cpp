// Bulk memory: blocks of every size route (C heap, each pool, mapped alone)
// never overlap and keep their contents; emptied pools give their regions
// back; blocks may be freed on other threads; and a fork while other threads
// allocate leaves the child able to allocate.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "model/bulk_memory.hpp"

namespace {

namespace bulk = corvane::bulk_memory;

struct Block {
  unsigned char* bytes;
  std::size_t size;
};

Block make(std::size_t size, std::size_t index) {
  auto* bytes = static_cast<unsigned char*>(bulk::allocate(size));
  // Only the edges: filling megabytes per block would make the test slow.
  bytes[0] = bytes[size - 1] = static_cast<unsigned char>(index % 251);
  return {bytes, size};
}

bool intact(const Block& block, std::size_t index) {
  const auto mark = static_cast<unsigned char>(index % 251);
  return block.bytes[0] == mark && block.bytes[block.size - 1] == mark;
}

class BulkMemoryTest : public testing::TestWithParam<std::size_t> {};

TEST_P(BulkMemoryTest, BlocksStayIntactAndRegionsAreGivenBack) {
  const std::size_t size = GetParam();
  const std::size_t regions_before = bulk::pooled_regions();
  std::vector<Block> blocks;
  // More than a region's worth for every pooled size.
  const std::size_t count = size > (std::size_t{512} << 10) ? 5 : (std::size_t{6} << 20) / size + 3;
  for (std::size_t i = 0; i < count; ++i) {
    blocks.push_back(make(size, i));
    ASSERT_EQ(reinterpret_cast<std::uintptr_t>(blocks.back().bytes) % 16, 0u);
  }
  // Every other block freed and made again: the rest must be untouched.
  for (std::size_t i = 0; i < count; i += 2) bulk::deallocate(blocks[i].bytes, size);
  for (std::size_t i = 0; i < count; i += 2) blocks[i] = make(size, i);
  for (std::size_t i = 0; i < count; ++i) ASSERT_TRUE(intact(blocks[i], i)) << "block " << i;
  for (const Block& block : blocks) bulk::deallocate(block.bytes, size);
  // A pool keeps one empty region.
  EXPECT_LE(bulk::pooled_regions(), regions_before + 1);
}

INSTANTIATE_TEST_SUITE_P(Sizes, BulkMemoryTest,
                         testing::Values(100, 8 << 10, (8 << 10) + 1, 16 << 10, 100'000,
                                         512 << 10, (512 << 10) + 1, 3 << 20));

TEST(BulkMemory, BlocksFreedOnOtherThreads) {
  constexpr std::size_t kSize = 16 << 10;
  std::vector<Block> blocks;
  for (std::size_t i = 0; i < 4000; ++i) blocks.push_back(make(kSize, i));
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (std::size_t i = t; i < blocks.size(); i += 4) {
        if (!intact(blocks[i], i)) std::abort();
        bulk::deallocate(blocks[i].bytes, kSize);
      }
    });
  }
  // Allocating meanwhile, from the pool the threads free into.
  for (std::size_t i = 0; i < 4000; ++i) bulk::deallocate(make(kSize, i).bytes, kSize);
  for (std::thread& thread : threads) thread.join();
}

TEST(BulkMemory, ForkWhileOtherThreadsAllocate) {
  std::atomic<bool> stop = false;
  std::thread churn([&] {
    while (!stop) bulk::deallocate(make(32 << 10, 0).bytes, 32 << 10);
  });
  for (int i = 0; i < 50; ++i) {
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
      alarm(10);  // a lock left held would hang the child: let it die instead
      bulk::deallocate(make(32 << 10, 0).bytes, 32 << 10);
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
  }
  stop = true;
  churn.join();
}

}  // namespace
