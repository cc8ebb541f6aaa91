// The soak run's memory figure: resident memory follows what the process
// really touches.
#include <gtest/gtest.h>

#include <vector>

#include "platform/process.h"

namespace faults {
namespace {

TEST(ResidentMemory, GrowsWithTouchedPages) {
  const uint64_t before = platform::residentMemoryBytes();
  ASSERT_GT(before, 0u);
  constexpr size_t kBlock = 64u << 20;
  std::vector<char> block(kBlock);
  // Written through a volatile pointer: an optimiser may otherwise drop a
  // block that nothing reads, and the pages with it (clang does).
  volatile char* pages = block.data();
  for (size_t at = 0; at < kBlock; at += 4096) pages[at] = 1;
  EXPECT_GE(platform::residentMemoryBytes(), before + kBlock / 2);
}

}  // namespace
}  // namespace faults
