// Captures what the code under test writes to std::cout, line by line.
#ifndef MOTIONSTAR_TESTS_SUPPORT_CAPTURE_H
#define MOTIONSTAR_TESTS_SUPPORT_CAPTURE_H

#include <iostream>
#include <sstream>
#include <string>
#include <vector>

class CoutCapture {
 public:
  CoutCapture();
  ~CoutCapture();
  CoutCapture(const CoutCapture&) = delete;
  CoutCapture& operator=(const CoutCapture&) = delete;

  std::string text() const { return buffer_.str(); }
  std::vector<std::string> lines() const;
  // Forgets what was captured so far.
  void clear() { buffer_.str(""); }

 private:
  std::ostringstream buffer_;
  std::streambuf* saved_;
  std::ios_base::fmtflags savedFlags_;
  std::streamsize savedPrecision_;
};

#endif  // MOTIONSTAR_TESTS_SUPPORT_CAPTURE_H
