// The soak run's memory figure: resident memory follows what the process
// really touches.
#include <gtest/gtest.h>

#include <vector>

#include "platform/process.h"

namespace faults {
namespace {

// Where the block's address goes, so that the compiler keeps the block:
// clang drops an allocation that nothing outside the function can see.
char* volatile escaped = nullptr;

TEST(ResidentMemory, GrowsWithTouchedPages) {
  const uint64_t before = platform::residentMemoryBytes();
  ASSERT_GT(before, 0u);
  constexpr size_t kBlock = 64u << 20;
  std::vector<char> block(kBlock, 1);  // every page written
  escaped = block.data();
  EXPECT_GE(platform::residentMemoryBytes(), before + kBlock / 2);
  EXPECT_EQ(block[kBlock - 1], 1);
}

}  // namespace
}  // namespace faults
