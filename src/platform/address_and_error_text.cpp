// The parts of socket.h that are the same on every system and for every
// socket library (the kernel's, Winsock, the in-memory network): building and
// printing IPv4 addresses, and the error texts, which come from
// systemErrorText. Byte order is spelled out byte by byte, so no system
// header is needed.
#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "platform/socket.h"

namespace platform {

Ipv4Address makeIpv4Address(uint32_t addressNetwork, uint16_t portHost) {
  Ipv4Address out{};
  out.family = kAfInet;
  const uint8_t port[2] = {static_cast<uint8_t>(portHost >> 8), static_cast<uint8_t>(portHost)};
  std::memcpy(&out.portNetwork, port, sizeof port);
  out.addressNetwork = addressNetwork;
  return out;
}

uint16_t portOf(const Ipv4Address& address) {
  uint8_t port[2];
  std::memcpy(port, &address.portNetwork, sizeof port);
  return static_cast<uint16_t>(port[0] << 8 | port[1]);
}

std::string inetNtoa(uint32_t addressNetwork) {
  uint8_t bytes[4];
  std::memcpy(bytes, &addressNetwork, sizeof bytes);
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
  return text;
}

std::string socketErrorText(int code) {
  return systemErrorText(code);
}

// Without the line end: "\n" from strerror's side, "\r\n" from Windows'.
std::string errnoText(int code) {
  std::string text = systemErrorText(code);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

}  // namespace platform
