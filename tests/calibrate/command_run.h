// Runs an mstar-calibrate command in the test process, as its words would
// come from the command line, and keeps what it printed.
#ifndef MOTIONSTAR_TESTS_CALIBRATE_COMMAND_RUN_H
#define MOTIONSTAR_TESTS_CALIBRATE_COMMAND_RUN_H

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

template <typename Command>
Outcome run(Command command, const std::vector<std::string>& words) {
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  const int status = command(words);
  std::fflush(stdout);
  Outcome result{status, ::testing::internal::GetCapturedStdout(), ""};
  result.err = ::testing::internal::GetCapturedStderr();
  return result;
}

inline std::string tempPath(const std::string& name) {
  return ::testing::TempDir() + "calibrate_" + name;
}

#endif  // MOTIONSTAR_TESTS_CALIBRATE_COMMAND_RUN_H
