// The Windows side of the platform layer: system texts from FormatMessageA,
// Win32 mutexes as the storages' locks, and Winsock's differences from BSD
// sockets that the layer smooths over.
// winsock2.h must come before windows.h.
#include <winsock2.h>

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "common/logger.h"
#include "common/storage.h"
#include "net/socket.h"
#include "platform/platform.h"
#include "platform/process.h"
#include "platform/socket.h"
#include "support/capture.h"
#include "support/plain_log.h"

namespace {

using Lines = std::vector<std::string>;

// The system's own text for a code, asked for here independently of the layer.
std::string formatMessage(DWORD code) {
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&text), 0,
      nullptr);
  std::string result = length > 0 && text != nullptr ? std::string(text, length) : std::string();
  if (text != nullptr) LocalFree(text);
  return result;
}

std::string withoutLineEnd(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

TEST(Win32Texts, SystemTextsComeFromTheMessageTableWithTheirLineEnd) {
  for (DWORD code : {DWORD{ERROR_ACCESS_DENIED}, DWORD{WSAECONNREFUSED}, DWORD{ERROR_NOT_OWNER}}) {
    const std::string expected = formatMessage(code);
    ASSERT_FALSE(expected.empty()) << "no system text for " << code;
    EXPECT_EQ(platform::systemErrorText(static_cast<int>(code)), expected);
    EXPECT_EQ(platform::socketErrorText(static_cast<int>(code)), expected);
    // The send, receive and connect messages take the text without its line end.
    EXPECT_EQ(platform::errnoText(static_cast<int>(code)), withoutLineEnd(expected));
  }
  EXPECT_TRUE(platform::isTransientErrno(WSAEINTR));
  EXPECT_TRUE(platform::isTransientErrno(WSAEWOULDBLOCK));
  EXPECT_FALSE(platform::isTransientErrno(WSAECONNREFUSED));
}

TEST(Win32Texts, ACodeWithoutATextStillNamesItselfAndEndsTheLine) {
  const DWORD unknown = 0x2000FFFF;  // a customer code: never in the system's table
  ASSERT_EQ(formatMessage(unknown), "");
  EXPECT_EQ(platform::systemErrorText(static_cast<int>(unknown)), "Unknown error 536936447\r\n");
  EXPECT_EQ(platform::errnoText(static_cast<int>(unknown)), "Unknown error 536936447");
}

TEST(Win32Sockets, ARefusedConnectionIsReportedWithTheSystemText) {
  CLogH log = plainLog("S");
  uint16_t closedPort;
  {
    CSocketH probe(&log);
    ASSERT_TRUE(probe.openSocket(CSocketH::kTcp));
    ASSERT_TRUE(probe.bindLocal(0));
    closedPort = probe.boundPort();
  }
  CSocketH tcp(&log);
  ASSERT_TRUE(tcp.openSocket(CSocketH::kTcp));
  ASSERT_TRUE(tcp.setDestAddr("127.0.0.1", closedPort));
  std::string name;
  if (!platform::reverseLookup(platform::inetAddr("127.0.0.1"), &name)) name = "127.0.0.1";
  CoutCapture out;
  EXPECT_FALSE(tcp.connectDest());
  ASSERT_FALSE(out.lines().empty());
  EXPECT_EQ(out.lines().back(), "S: ERROR: Connecting to " + name + ": " +
                                    withoutLineEnd(formatMessage(WSAECONNREFUSED)));
}

TEST(Win32Sockets, ACleanupWithoutAStartLeavesOtherUsersOfWinsockAlone) {
  CLogH log = plainLog("S");
  {
    CoutCapture out;
    // Wrappers that never opened a socket still end the library use when
    // destroyed; none of that may end a start somebody else made.
    for (int i = 0; i < 4; ++i) CSocketH unopened(&log);
    EXPECT_TRUE(platform::socketLibraryEnd());
    EXPECT_EQ(out.text(), "");
  }
  // Sockets opened without the wrapper's start still work end to end.
  platform::SocketHandle receiver = platform::openSocket(platform::kDatagram);
  platform::SocketHandle sender = platform::openSocket(platform::kDatagram);
  ASSERT_NE(receiver, platform::kNoSocket) << WSAGetLastError();
  ASSERT_NE(sender, platform::kNoSocket);
  const uint32_t loopback = platform::inetAddr("127.0.0.1");
  ASSERT_EQ(platform::bindSocket(receiver, platform::makeIpv4Address(loopback, 0)), 0);
  platform::Ipv4Address bound{};
  ASSERT_TRUE(platform::localAddress(receiver, &bound));
  const char payload[] = "ping";
  ASSERT_EQ(platform::sendTo(sender, payload, 4, &bound), 4);
  ASSERT_EQ(platform::waitReadable(receiver, 10, 0), 1);
  char buffer[8] = {};
  EXPECT_EQ(platform::recvFrom(receiver, buffer, sizeof buffer, nullptr), 4);
  EXPECT_STREQ(buffer, "ping");
  platform::closeSocket(sender);
  platform::closeSocket(receiver);
}

TEST(Win32Sockets, AnOversizedDatagramFillsTheBufferAsOnBsdSockets) {
  platform::SocketHandle receiver = platform::openSocket(platform::kDatagram);
  platform::SocketHandle sender = platform::openSocket(platform::kDatagram);
  ASSERT_NE(receiver, platform::kNoSocket);
  ASSERT_NE(sender, platform::kNoSocket);
  ASSERT_EQ(
      platform::bindSocket(receiver, platform::makeIpv4Address(platform::inetAddr("127.0.0.1"), 0)),
      0);
  platform::Ipv4Address bound{};
  ASSERT_TRUE(platform::localAddress(receiver, &bound));
  std::vector<uint8_t> datagram(100);
  for (size_t i = 0; i < datagram.size(); ++i) datagram[i] = static_cast<uint8_t>(i);
  ASSERT_EQ(platform::sendTo(sender, datagram.data(), datagram.size(), &bound), 100);
  ASSERT_EQ(platform::waitReadable(receiver, 10, 0), 1);
  uint8_t buffer[16] = {};
  platform::Ipv4Address source{};
  EXPECT_EQ(platform::recvFrom(receiver, buffer, sizeof buffer, &source), 16);
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 16),
            std::vector<uint8_t>(datagram.begin(), datagram.begin() + 16));
  platform::Ipv4Address senderAddress{};
  ASSERT_TRUE(platform::localAddress(sender, &senderAddress));
  EXPECT_EQ(source.portNetwork, senderAddress.portNetwork);
  // The rest of that datagram is gone: nothing more is waiting.
  EXPECT_EQ(platform::waitReadable(receiver, 0, 0), 0);
  platform::closeSocket(sender);
  platform::closeSocket(receiver);
}

// A host storage whose lock is a Win32 mutex.
class Win32Storage : public ::testing::Test {
 protected:
  void SetUp() override {
    log = plainLog("S");
    std::memset(&mutex, 0, sizeof mutex);
    mutex.handle = platform::mutexCreate();
    ASSERT_NE(mutex.handle, nullptr);
    mutex.logger = &log;
    std::memset(&storage, 0, sizeof storage);
    storage.trackerList = list;
    storage.logger = &log;
    storage.mutex = &mutex;
    storage.countCell = &count;
  }
  void TearDown() override { platform::mutexDestroy(mutex.handle); }

  CLogH log;
  CMutexH mutex;
  TraData list[32];
  uint32_t count = 0;
  CDataStorage storage;
};

TEST_F(Win32Storage, AMutexAbandonedByAnEndedThreadFailsTheLockWithTheSystemText) {
  bool lockedThere = false;
  std::thread owner([&] { lockedThere = CDataStorageOps::lock(storage); });  // never unlocks
  owner.join();
  ASSERT_TRUE(lockedThere);

  const std::string text = formatMessage(ERROR_SEM_OWNER_DIED);
  ASSERT_FALSE(text.empty());
  {
    CoutCapture out;
    EXPECT_FALSE(CDataStorageOps::lock(storage));
    EXPECT_EQ(out.text(), "S: ERROR: CMutexH: Locking mutex: " + text);
  }
  // The failed wait still handed the mutex over: the caller's unlock, which
  // follows every lock, releases it, and the storage locks normally again.
  CoutCapture out;
  EXPECT_TRUE(CDataStorageOps::unlock(storage));
  EXPECT_TRUE(CDataStorageOps::lock(storage));
  EXPECT_TRUE(CDataStorageOps::setTrackerCount(storage, 3));
  EXPECT_TRUE(CDataStorageOps::unlock(storage));
  EXPECT_EQ(out.text(), "");
  EXPECT_EQ(count, 3u);
}

TEST_F(Win32Storage, UnlockingAMutexNotHeldFailsWithTheSystemText) {
  CoutCapture out;
  EXPECT_FALSE(CDataStorageOps::unlock(storage));
  EXPECT_EQ(out.text(), "S: ERROR: CMutexH: Unlocking mutex: " + formatMessage(ERROR_NOT_OWNER));
}

TEST_F(Win32Storage, AnInvalidHandleFailsTheLockWithTheSystemText) {
  platform::mutexDestroy(mutex.handle);
  mutex.handle = nullptr;
  CoutCapture out;
  EXPECT_FALSE(CDataStorageOps::lock(storage));
  EXPECT_EQ(out.text(), "S: ERROR: CMutexH: Locking mutex: " + formatMessage(ERROR_INVALID_HANDLE));
}

TEST(Win32Process, ModulesAndTheRunningProgramHaveWindowsNames) {
  EXPECT_EQ(platform::moduleFileName("motionstar"), "motionstar.dll");
  const std::string path = platform::executablePath();
  const std::string file = "platform_win32_tests.exe";
  ASSERT_GT(path.size(), file.size());
  EXPECT_EQ(path.substr(path.size() - file.size()), file);
  EXPECT_EQ(path[path.size() - file.size() - 1], '\\');
}

}  // namespace
