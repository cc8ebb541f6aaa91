#include "support/capture.h"

CoutCapture::CoutCapture()
    : saved_(std::cout.rdbuf(buffer_.rdbuf())),
      savedFlags_(std::cout.flags()),
      savedPrecision_(std::cout.precision()) {}

CoutCapture::~CoutCapture() {
  std::cout.rdbuf(saved_);
  // Reports leave number formats in force on standard output; tests start clean.
  std::cout.flags(savedFlags_);
  std::cout.precision(savedPrecision_);
}

std::vector<std::string> CoutCapture::lines() const {
  std::vector<std::string> result;
  std::istringstream in(buffer_.str());
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}
