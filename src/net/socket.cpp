#include "net/socket.h"

#include <cstdio>
#include <iostream>

namespace {

constexpr size_t kMessageBytes = 256;

// The "%s: %s" messages are built in a fixed buffer; a longer text is cut.
std::string format2(const char* format, const char* first, const char* second) {
  char message[kMessageBytes] = {};
  std::snprintf(message, sizeof message, format, first, second);
  return message;
}

}  // namespace

CSocketH::CSocketH(const CLogH* log) : logger(log, "CSocketH", logh::kComponentOwnerLevel) {
  if (!platform::hostName(&localHostName)) localHostName = "localhost";
  logger.debug("CSocketH: \"constructor\" called.");
}

CSocketH::~CSocketH() {
  logger.debug("CSocketH: \"destructor\" called.");
  if (hasSocket()) closeSocket();
  for (size_t n = peers.size(); n > 0; --n) closePeer(peers.front().socket);
  localHostName.clear();
  destinationName.reset();
  if (!platform::socketLibraryEnd()) logger.error("WSACleanup error");
  peers.clear();
}

bool CSocketH::openSocket(Kind kind) {
  logger.debug("CSocketH: \"openSocket\" called.");
  if (kind == kUdp) {
    socketType = platform::kDatagram;
  } else if (kind == kTcp) {
    socketType = platform::kStream;
  } else {
    return false;
  }
  if (!platform::socketLibraryStart()) {
    logger.error("CSocketH: WSAStartup error");
    return false;
  }
  // A socket still held would otherwise be lost with its descriptor.
  if (hasSocket()) {
    platform::closeSocket(socket);
    socket = platform::kNoSocket;
  }
  socket = platform::openSocket(static_cast<platform::SocketType>(socketType));
  if (socket == platform::kNoSocket) {
    int code = platform::lastSocketError();
    logger.error("CSocketH: Creating socket: ", false);
    std::cout << platform::socketErrorText(code) << std::flush;
    return false;
  }
  logger.debug("CSocketH: Created a socket.");
  return true;
}

bool CSocketH::bindLocal(uint16_t port) {
  localPort = port;
  local = platform::makeIpv4Address(0, localPort);
  local.family = static_cast<uint16_t>(addressFamily);
  if (platform::bindSocket(socket, local) != 0) {
    int code = platform::lastSocketError();
    logger.error("CSocketH: Binding local address: ", false);
    std::cout << platform::socketErrorText(code) << std::flush;
    return false;
  }
  if (logger.isDebugOn()) {
    logger.debug("CSocketH: Binded local address ", false);
    std::cout << localHostName << " to the socket." << std::endl;
  }
  return true;
}

bool CSocketH::closeSocket() {
  if (!hasSocket()) return false;
  if (platform::closeSocket(socket) != 0) {
    logger.error("CSocketH: Closing socket fd");
    return false;
  }
  logger.debug("CSocketH: Closed the socket.");
  socket = platform::kNoSocket;
  return true;
}

bool CSocketH::setDestAddr(const char* ipAddress, uint16_t port) {
  if (ipAddress == nullptr || ipAddress[0] == '\0') {
    logger.error("CSocketH: The IP address is empty.");
    return false;
  }
  uint32_t address = platform::inetAddr(ipAddress);
  if (address == 0xFFFFFFFFu) {
    logger.error("CSocketH: The format of IP address (", false);
    std::cout << ipAddress << ") is wrong." << std::endl;
    return false;
  }
  destination = platform::makeIpv4Address(address, port);
  destination.family = static_cast<uint16_t>(addressFamily);
  destinationLength = sizeof(platform::Ipv4Address);
  destinationName = "unknown";
  return true;
}

bool CSocketH::setDestHost(const char* hostName, uint16_t port) {
  if (hostName == nullptr || hostName[0] == '\0') {
    logger.error("The hostname is empty.");
    return false;
  }
  std::optional<std::string> address = hostToAddr(hostName);
  if (!address) return false;
  return setDestAddr(address->c_str(), port);
}

std::optional<std::string> CSocketH::hostToAddr(const char* hostName) {
  if (hostName == nullptr || hostName[0] == '\0') {
    logger.warning("CSocketH: The hostname is empty.");
    return std::nullopt;
  }
  uint32_t address = 0;
  switch (platform::resolveIpv4(hostName, &address)) {
    case platform::Resolution::kFailed:
      logger.warning("CSocketH: gethostbyname error");
      return std::nullopt;
    case platform::Resolution::kNoAddress:
      logger.warning("CSocketH: Host information is empty.");
      return std::nullopt;
    case platform::Resolution::kOk:
      break;
  }
  return platform::inetNtoa(address);
}

std::optional<std::string> CSocketH::addrToHost(const char* ipAddress) {
  if (ipAddress == nullptr || ipAddress[0] == '\0') {
    logger.warning("CSocketH: The IP address is empty.");
    return std::nullopt;
  }
  uint32_t address = platform::inetAddr(ipAddress);
  if (address == 0xFFFFFFFFu) {
    logger.warning("CSocketH: The format of IP address (", false);
    std::cout << ipAddress << ") is wrong." << std::endl;
    return std::nullopt;
  }
  std::string name;
  if (!platform::reverseLookup(address, &name)) {
    logger.warning("CSocketH: gethostbyaddr error");
    return std::nullopt;
  }
  return name;
}

bool CSocketH::connectDest() {
  if (!isStream()) {
    logger.error("This instance is not for TCP.");
    return false;
  }
  if (platform::connectSocket(socket, destination) == 0) return true;
  // The look-up below may change the error number; keep the connect's.
  int code = platform::lastErrno();
  std::string dotted = platform::inetNtoa(destination.addressNetwork);
  std::optional<std::string> host = addrToHost(dotted.c_str());
  logger.error(format2("Connecting to %s: %s", host ? host->c_str() : dotted.c_str(),
                       platform::errnoText(code).c_str())
                   .c_str());
  return false;
}

int32_t CSocketH::sendBytes(const void* data, int32_t length, platform::SocketHandle peer) {
  size_t count = length > 0 ? static_cast<size_t>(length) : 0;
  if (!isStream()) {
    if (destinationLength == 0) {
      logger.error("Destination has not been set yet.");
      return -1;
    }
    long sent = platform::sendTo(socket, data, count, &destination);
    if (sent < 0) {
      int code = platform::lastErrno();
      reportTransfer("Sending to %s: %s", transferName(socket).c_str(), code);
    }
    return static_cast<int32_t>(sent);
  }
  platform::SocketHandle target = peer == platform::kNoSocket ? socket : peer;
  long sent = platform::sendTo(target, data, count, nullptr);
  if (sent < 0) {
    int code = platform::lastErrno();
    reportTransfer("Writing to %s: %s", transferName(target).c_str(), code);
  }
  return static_cast<int32_t>(sent);
}

int32_t CSocketH::recvBytes(void* buffer, int32_t capacity, platform::SocketHandle peer) {
  size_t count = capacity > 0 ? static_cast<size_t>(capacity) : 0;
  platform::SocketHandle target = !isStream() || peer == platform::kNoSocket ? socket : peer;
  // Without a socket there is nothing to wait for; the receive below
  // reports the failure.
  if (receiveWaitOn && target != platform::kNoSocket &&
      platform::waitReadable(target, receiveWaitSeconds, receiveWaitMicroseconds) <= 0) {
    return 0;
  }
  long got;
  if (!isStream()) {
    got = platform::recvFrom(target, buffer, count, &source);
    sourceLength = sizeof source;
    if (got < 0) {
      int code = platform::lastErrno();
      reportTransfer("Receiving from %s: %s", transferName(target).c_str(), code);
    }
  } else {
    got = platform::recvFrom(target, buffer, count, nullptr);
    if (got < 0) {
      int code = platform::lastErrno();
      reportTransfer("Reading from %s: %s", transferName(target).c_str(), code);
    }
  }
  return static_cast<int32_t>(got);
}

void CSocketH::setReceiveWait(bool on, int32_t seconds, int32_t microseconds) {
  receiveWaitOn = on;
  receiveWaitSeconds = seconds;
  receiveWaitMicroseconds = microseconds;
}

bool CSocketH::closePeer(platform::SocketHandle peer) {
  if (!isStream()) {
    logger.warning("CSocketH: This instance is not for TCP.");
    return false;
  }
  auto entry = findPeer(peer);
  if (entry == peers.end()) {
    logger.error("CSocketH: There is not such a socket available.");
    return false;
  }
  if (platform::closeSocket(entry->socket) != 0) {
    logger.error("CSocketH: Closing socket fd");
    return false;
  }
  peers.erase(entry);
  return true;
}

std::optional<std::string> CSocketH::peerAddr(platform::SocketHandle peer) {
  if (!isStream()) {
    logger.warning("This instance is not for TCP.");
    return std::nullopt;
  }
  auto entry = findPeer(peer);
  if (entry == peers.end()) {
    logger.warning("There is not such a socket available.");
    return std::nullopt;
  }
  return platform::inetNtoa(entry->address.addressNetwork);
}

std::optional<std::string> CSocketH::peerHost(platform::SocketHandle peer) {
  std::optional<std::string> address = peerAddr(peer);
  if (!address) return std::nullopt;
  return addrToHost(address->c_str());
}

uint16_t CSocketH::boundPort() const {
  platform::Ipv4Address address{};
  if (!hasSocket() || !platform::localAddress(socket, &address)) return 0;
  return platform::portOf(address);
}

std::list<CSocketH::Peer>::iterator CSocketH::findPeer(platform::SocketHandle peer) {
  for (auto it = peers.begin(); it != peers.end(); ++it) {
    if (it->socket == peer) return it;
  }
  return peers.end();
}

void CSocketH::reportTransfer(const char* format, const char* name, int errorNumber) const {
  std::string message = format2(format, name, platform::errnoText(errorNumber).c_str());
  if (platform::isTransientErrno(errorNumber)) {
    if (reportTransientErrors) logger.warning(message.c_str());
  } else {
    logger.error(message.c_str());
  }
}

std::string CSocketH::transferName(platform::SocketHandle target) {
  if (target == socket) return destinationName.value_or("unknown");
  return peerHost(target).value_or("unknown");
}
