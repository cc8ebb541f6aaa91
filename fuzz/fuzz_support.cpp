#include "fuzz_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <streambuf>
#include <vector>

#include "platform/platform.h"

namespace fuzz {
namespace {

class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

const uint8_t kPattern = 0xA5;

// One comparison per element rather than a loop over its bytes.
bool holdsPattern(const void* element, size_t size) {
  static const std::vector<uint8_t> pattern(std::max(sizeof(TraData), sizeof(ConData)), kPattern);
  return size <= pattern.size() && std::memcmp(element, pattern.data(), size) == 0;
}

}  // namespace

void silenceStandardOutput() {
  static NullBuffer sink;
  std::cout.rdbuf(&sink);
  std::cout.setstate(std::ios::badbit);
}

CLogH quietLogger(bool debugOn) {
  CLogH log{};
  log.enabled = 1;
  std::strcpy(log.name, "fuzz");
  const char* labels[] = {"INFO", "ERROR", "WARNING", "DEBUG"};
  for (int i = 0; i < 4; ++i) std::strcpy(log.levelLabels[i], labels[i]);
  log.debugThreshold = 1;
  log.debugLevel = debugOn ? 5 : 0;
  return log;
}

void keepLibraryLoaded(const char* path) {
  if (platform::libraryLoad(path) == nullptr) fail("the calibration library does not load");
}

void fail(const char* what) {
  std::fprintf(stderr, "fuzz finding: %s\n", what);
  std::abort();
}

TextEntry::TextEntry(const uint8_t* data, size_t size, uint32_t maxOptions) {
  entry_.deviceName = keep("fuzzed");
  entry_.secondText = keep("motionstar");
  entry_.lineNumber = 1;
  if (maxOptions > kMaxOptions) maxOptions = kMaxOptions;
  uint32_t line = 1;
  size_t at = 0;
  bool deviceLine = true;
  while (at <= size) {
    size_t end = at;
    while (end < size && data[end] != '\n') ++end;
    std::vector<std::string> words;
    for (size_t i = at; i < end;) {
      while (i < end && (data[i] == ' ' || data[i] == '\t')) ++i;
      size_t start = i;
      while (i < end && data[i] != ' ' && data[i] != '\t') ++i;
      if (i > start) words.emplace_back(reinterpret_cast<const char*>(data + start), i - start);
    }
    if (deviceLine) {
      for (size_t i = 0; i < words.size() && i < size_t{kMaxOptionArgs}; ++i) {
        entry_.deviceArgs[entry_.deviceArgCount++] = keep(words[i]);
      }
      deviceLine = false;
    } else if (!words.empty() && entry_.optionCount < maxOptions) {
      OptionRecord& option = entry_.options[entry_.optionCount++];
      option.lineNumber = line;
      option.name = keep(words[0]);
      for (size_t i = 1; i < words.size() && option.argCount < uint32_t{kMaxOptionArgs}; ++i) {
        option.args[option.argCount++] = keep(words[i]);
      }
    }
    ++line;
    at = end + 1;
  }
}

void TextEntry::addOption(const std::vector<std::string>& words) {
  if (words.empty() || entry_.optionCount >= uint32_t{kMaxOptions}) return;
  OptionRecord& option = entry_.options[entry_.optionCount];
  option = OptionRecord{};
  option.lineNumber = 1000 + entry_.optionCount;
  option.name = keep(words[0]);
  for (size_t i = 1; i < words.size() && option.argCount < uint32_t{kMaxOptionArgs}; ++i) {
    option.args[option.argCount++] = keep(words[i]);
  }
  ++entry_.optionCount;
}

void TextEntry::replaceArgument(uint32_t option, uint32_t arg, const std::string& text) {
  entry_.options[option].args[arg] = keep(text);
}

void TextEntry::nullName(uint32_t option) {
  entry_.options[option].name = nullptr;
}

const char* TextEntry::keep(const std::string& text) {
  texts_.push_back(std::make_unique<std::string>(text));
  return texts_.back()->c_str();
}

PatternStorages::PatternStorages(uint32_t trackerBase, uint32_t controllerBase)
    : log_(quietLogger(false)), storages_(log_) {
  storages_.preset(trackerBase, controllerBase, kPattern);
}

void PatternStorages::checkTrackersOutside(uint32_t first, uint32_t last) {
  for (uint32_t id = 1; id <= kMaxElements; ++id) {
    if (id >= first && id <= last) continue;
    const TraData element = storages_.tracker(id);
    if (!holdsPattern(&element, sizeof element))
      fail("a tracker element of another device changed");
  }
}

void PatternStorages::checkControllersOutside(uint32_t first, uint32_t last) {
  for (uint32_t id = 1; id <= kMaxElements; ++id) {
    if (id >= first && id <= last) continue;
    const ConData element = storages_.controller(id);
    if (!holdsPattern(&element, sizeof element)) {
      fail("a controller element of another device changed");
    }
  }
}

LoopbackPeer::LoopbackPeer(const char* address) {
  socket_ = platform::openSocket(platform::kDatagram);
  if (socket_ == platform::kNoSocket) return;
  platform::Ipv4Address local = platform::makeIpv4Address(platform::inetAddr(address), 0);
  if (platform::bindSocket(socket_, local) != 0 || !platform::localAddress(socket_, &local)) {
    platform::closeSocket(socket_);
    socket_ = platform::kNoSocket;
    return;
  }
  port_ = platform::portOf(local);
}

LoopbackPeer::~LoopbackPeer() {
  if (socket_ != platform::kNoSocket) platform::closeSocket(socket_);
}

void LoopbackPeer::sendTo(uint16_t port, const uint8_t* data, size_t size) {
  const platform::Ipv4Address to = platform::makeIpv4Address(platform::inetAddr("127.0.0.1"), port);
  platform::sendTo(socket_, data, size, &to);
}

long LoopbackPeer::receive(uint8_t* buffer, size_t capacity) {
  if (platform::waitReadable(socket_, 1, 0) != 1) return -1;
  return platform::recvFrom(socket_, buffer, capacity, nullptr);
}

void LoopbackPeer::drain() {
  uint8_t buffer[512];
  while (platform::waitReadable(socket_, 0, 0) == 1) {
    if (platform::recvFrom(socket_, buffer, sizeof buffer, nullptr) < 0) return;
  }
}

LoopbackListener::LoopbackListener(uint16_t port) {
  socket_ = platform::openSocket(platform::kStream);
  platform::Ipv4Address local = platform::makeIpv4Address(platform::inetAddr("127.0.0.1"), port);
  if (socket_ == platform::kNoSocket || !platform::setReuseAddress(socket_) ||
      platform::bindSocket(socket_, local) != 0 || platform::listenSocket(socket_, 4) != 0 ||
      !platform::localAddress(socket_, &local)) {
    fail("no loopback listener");
  }
  port_ = platform::portOf(local);
}

LoopbackListener::~LoopbackListener() {
  platform::closeSocket(socket_);
}

platform::SocketHandle LoopbackListener::accept() {
  if (platform::waitReadable(socket_, 1, 0) != 1) return platform::kNoSocket;
  return platform::acceptSocket(socket_, nullptr);
}

uint16_t freeUdpPort() {
  LoopbackPeer probe;
  return probe.ok() ? probe.port() : 0;
}

std::vector<Piece> splitPieces(const uint8_t* data, size_t size, size_t maxPieces) {
  std::vector<Piece> pieces;
  size_t at = 0;
  while (at + 2 <= size && pieces.size() < maxPieces) {
    const bool flag = (data[at] & 0x80) != 0;
    size_t length = (size_t{data[at] & 0x7Fu} << 8) | data[at + 1];
    at += 2;
    if (length > size - at) length = size - at;
    pieces.push_back(Piece{flag, std::vector<uint8_t>(data + at, data + at + length)});
    at += length;
  }
  return pieces;
}

}  // namespace fuzz
