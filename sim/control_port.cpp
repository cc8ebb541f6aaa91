#include "sim/control_port.h"

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <vector>

namespace sim {
namespace {

constexpr int32_t kPollMicroseconds = 100000;
constexpr size_t kMaxCommand = 512;

// Whole words that are all numbers; false when one is not.
bool numbers(const std::vector<std::string>& words, size_t first, std::vector<double>* values) {
  for (size_t i = first; i < words.size(); ++i) {
    char* end = nullptr;
    const double v = std::strtod(words[i].c_str(), &end);
    if (*end != '\0' || !std::isfinite(v)) return false;
    values->push_back(v);
  }
  return true;
}

bool unitAddress(const std::string& word, int* unit) {
  char* end = nullptr;
  const long value = std::strtol(word.c_str(), &end, 10);
  if (word.empty() || *end != '\0' || value < 1 || value > 126) return false;
  *unit = static_cast<int>(value);
  return true;
}

}  // namespace

std::string controlReply(Simulator& simulator, const std::string& command) {
  std::istringstream in(command);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  int unit = 0;
  if (!words.empty() && words[0] == "place") {
    std::vector<double> v;
    if (words.size() != 8 || !unitAddress(words[1], &unit) || !numbers(words, 2, &v)) {
      return "error usage: place UNIT X Y Z AZIMUTH ELEVATION ROLL";
    }
    uint64_t first = 0;
    std::string why;
    if (!simulator.placeSensor(unit, {{v[0], v[1], v[2]}, v[3], v[4], v[5]}, &first, &why)) {
      return "error " + why;
    }
    return "ok placed " + std::to_string(unit) + " from packet " + std::to_string(first);
  }
  if (!words.empty() && words[0] == "release") {
    if (words.size() != 2 || !unitAddress(words[1], &unit)) return "error usage: release UNIT";
    simulator.releaseSensor(unit);
    return "ok released " + std::to_string(unit);
  }
  return "error unknown command (place UNIT X Y Z AZIMUTH ELEVATION ROLL, or release UNIT)";
}

bool ControlPort::start(uint16_t port, std::string* error) {
  stop();
  socket_ = platform::openSocket(platform::kDatagram);
  if (socket_ == platform::kNoSocket) {
    *error = "cannot open the control port's socket: " + platform::errnoText(platform::lastErrno());
    return false;
  }
  uint32_t loopback = 0;
  platform::resolveIpv4("127.0.0.1", &loopback);
  platform::Ipv4Address bound = platform::makeIpv4Address(loopback, port);
  if (platform::bindSocket(socket_, bound) != 0) {
    *error = "cannot bind the control port 127.0.0.1:" + std::to_string(port) + ": " +
             platform::errnoText(platform::lastErrno());
    platform::closeSocket(socket_);
    socket_ = platform::kNoSocket;
    return false;
  }
  platform::localAddress(socket_, &bound);
  port_ = platform::portOf(bound);
  stopping_ = false;
  thread_ = std::thread([this] { serve(); });
  return true;
}

void ControlPort::stop() {
  if (thread_.joinable()) {
    stopping_ = true;
    thread_.join();
  }
  if (socket_ != platform::kNoSocket) platform::closeSocket(socket_);
  socket_ = platform::kNoSocket;
  port_ = 0;
}

void ControlPort::serve() {
  char buffer[kMaxCommand];
  while (!stopping_) {
    if (platform::waitReadable(socket_, 0, kPollMicroseconds) <= 0) continue;
    platform::Ipv4Address from{};
    const long length = platform::recvFrom(socket_, buffer, sizeof buffer, &from);
    if (length < 0) continue;
    const std::string reply = controlReply(simulator_, std::string(buffer, size_t(length)));
    platform::sendTo(socket_, reply.data(), reply.size(), &from);
  }
}

}  // namespace sim
