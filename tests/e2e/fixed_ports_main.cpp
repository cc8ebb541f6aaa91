// main() of the suites whose simulators listen on the tracking system's
// fixed ports. When another process holds one of them, every test would
// fail at its first bind; the suite says why once and skips instead.
// (Defined here, this main keeps GoogleTest's own out of the link.)
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "e2e/harness.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Only whether the ports are free; fails when they are not, so that one
  // test of a run reports the reason.
  if (argc > 1 && std::strcmp(argv[1], "--check-fixed-ports") == 0) {
    const std::string& taken = e2e::fixedPortsTaken();
    std::puts(taken.empty() ? "the fixed ports are free" : taken.c_str());
    return taken.empty() ? 0 : 1;
  }
  if (!GTEST_FLAG_GET(list_tests)) {
    const std::string& taken = e2e::fixedPortsTaken();
    if (!taken.empty()) {
      // The marker by which ctest counts a GoogleTest run as skipped.
      std::printf("[  SKIPPED ] every test: %s\n", taken.c_str());
      return 0;
    }
  }
  return RUN_ALL_TESTS();
}
