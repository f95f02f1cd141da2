// The pool behind the module's objects: blocks never overlap and keep their
// contents while held, whatever order they are released in; released
// blocks are handed out again; and slabs go back to the heap as they empty,
// all but one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "model/block_pool.hpp"

namespace {

using corvane::BlockPool;

enum class Order { kFirstToLast, kLastToFirst, kOddsThenEvens };

struct Case {
  std::size_t object_size;
  Order order;
};

class BlockPoolTest : public testing::TestWithParam<Case> {};

std::vector<std::size_t> release_order(std::size_t count, Order order) {
  std::vector<std::size_t> indices;
  if (order == Order::kOddsThenEvens) {
    for (std::size_t i = 1; i < count; i += 2) indices.push_back(i);
    for (std::size_t i = 0; i < count; i += 2) indices.push_back(i);
    return indices;
  }
  for (std::size_t i = 0; i < count; ++i) indices.push_back(i);
  if (order == Order::kLastToFirst) std::reverse(indices.begin(), indices.end());
  return indices;
}

// Fills each block with its own index, so a block handed out twice or
// overlapping another shows as a wrong byte.
void fill(void* block, std::size_t size, std::size_t index) {
  std::memset(block, static_cast<int>(index % 251), size);
}

bool holds(const void* block, std::size_t size, std::size_t index) {
  const auto* bytes = static_cast<const unsigned char*>(block);
  return std::all_of(bytes, bytes + size,
                     [&](unsigned char b) { return b == static_cast<unsigned char>(index % 251); });
}

TEST_P(BlockPoolTest, BlocksStayIntactAndSlabsAreGivenBack) {
  const Case& c = GetParam();
  BlockPool pool(c.object_size);
  // Enough blocks for several slabs.
  const std::size_t count = 4 * corvane::kHeapSlabBytes / c.object_size + 7;
  std::vector<void*> blocks;
  for (std::size_t i = 0; i < count; ++i) {
    void* block = pool.allocate();
    ASSERT_NE(block, nullptr);
    ASSERT_EQ(reinterpret_cast<std::uintptr_t>(block) % BlockPool::kAlign, 0u);
    fill(block, c.object_size, i);
    blocks.push_back(block);
  }
  const std::size_t slabs_when_full = pool.slabs();
  EXPECT_GE(slabs_when_full, 4u);

  // Half released, in the case's order; the rest must be untouched.
  std::vector<std::size_t> order = release_order(count, c.order);
  std::vector<bool> released(count, false);
  for (std::size_t n = 0; n < count / 2; ++n) {
    BlockPool::release(blocks[order[n]]);
    released[order[n]] = true;
  }
  for (std::size_t i = 0; i < count; ++i) {
    if (released[i]) continue;
    ASSERT_TRUE(holds(blocks[i], c.object_size, i)) << "block " << i;
  }
  // Refilled: the released blocks come back before any new slab is taken.
  for (std::size_t i = 0; i < count; ++i) {
    if (!released[i]) continue;
    blocks[i] = pool.allocate();
    ASSERT_NE(blocks[i], nullptr);
    fill(blocks[i], c.object_size, i);
  }
  EXPECT_EQ(pool.slabs(), slabs_when_full);
  for (std::size_t i = 0; i < count; ++i) {
    ASSERT_TRUE(holds(blocks[i], c.object_size, i)) << "block " << i;
  }

  for (std::size_t i : order) BlockPool::release(blocks[i]);
  EXPECT_EQ(pool.slabs(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    SizesAndOrders, BlockPoolTest,
    testing::Values(Case{8, Order::kFirstToLast}, Case{32, Order::kOddsThenEvens},
                    Case{192, Order::kFirstToLast}, Case{192, Order::kLastToFirst},
                    Case{192, Order::kOddsThenEvens}, Case{1000, Order::kOddsThenEvens}));

// Making and dropping one object where a slab just filled up keeps the
// spare slab instead of taking a new one each time.
TEST(BlockPool, OneObjectAtASlabEdgeReusesTheKeptSlab) {
  BlockPool pool(192);
  std::vector<void*> blocks;
  while (pool.slabs() < 2) blocks.push_back(pool.allocate());
  for (int i = 0; i < 100; ++i) {
    BlockPool::release(blocks.back());
    EXPECT_EQ(pool.slabs(), 2u);
    blocks.back() = pool.allocate();
  }
  for (void* block : blocks) BlockPool::release(block);
  EXPECT_EQ(pool.slabs(), 1u);
}

}  // namespace
