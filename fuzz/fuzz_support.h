// What the fuzz targets share: a sink for standard output, quiet loggers,
// configuration entries built from fuzz bytes, storages whose untouched
// elements can be recognised, and loopback UDP and TCP peers.
#ifndef MOTIONSTAR_FUZZ_FUZZ_SUPPORT_H
#define MOTIONSTAR_FUZZ_FUZZ_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/storages.h"
#include "motionstar/host_abi.h"
#include "platform/socket.h"

namespace fuzz {

// Reports and fault lines go to standard output; the targets check memory
// and invariants, not texts, so the lines are dropped. The stream is marked
// failed, so nothing is even formatted (every data packet input brings a
// device up, and with it the report of its settings); a string handed to it
// is still measured, so an unterminated one is still found.
void silenceStandardOutput();

// A logger without date, time or thread id; with debug on every DEBUG line
// is formatted too.
CLogH quietLogger(bool debugOn);

// Loads a library for the whole run. The driver loads and frees the
// calibration library on every input; an instrumented library that left
// memory would take its coverage counters with it, under libFuzzer's feet.
void keepLibraryLoaded(const char* path);

// Ends the run as a finding: libFuzzer keeps the input that got here.
[[noreturn]] void fail(const char* what);

// A ConfigEntry made from text: the first line holds the device-line
// arguments, every further non-empty line an option name and its arguments,
// words split at blanks. The entry owns its texts.
class TextEntry {
 public:
  TextEntry(const uint8_t* data, size_t size, uint32_t maxOptions = kMaxOptions);
  TextEntry(const TextEntry&) = delete;
  TextEntry& operator=(const TextEntry&) = delete;

  ConfigEntry* entry() { return &entry_; }
  // Appends an option line (when a record is free).
  void addOption(const std::vector<std::string>& words);
  // Replaces one argument text, so a target can steer what the entry would
  // load.
  void replaceArgument(uint32_t option, uint32_t arg, const std::string& text);
  // Makes the option's name null, or pushes counts past the records, as a
  // careless host might.
  void nullName(uint32_t option);
  void setOptionCount(uint32_t count) { entry_.optionCount = count; }
  void setArgCount(uint32_t option, uint32_t count) { entry_.options[option].argCount = count; }

 private:
  const char* keep(const std::string& text);
  std::vector<std::unique_ptr<std::string>> texts_;
  ConfigEntry entry_{};
};

// Tracker and controller storages with real mutexes. Every element starts
// filled with a pattern, so an element the driver had no business writing
// is found by checkUntouched.
class PatternStorages {
 public:
  // trackerBase and controllerBase: slots taken by devices before this one.
  PatternStorages(uint32_t trackerBase, uint32_t controllerBase);
  PatternStorages(const PatternStorages&) = delete;
  PatternStorages& operator=(const PatternStorages&) = delete;

  InitInfo initInfo() { return storages_.initInfo(); }
  // Fails the run when an element outside first..last (1-based, inclusive)
  // no longer holds the pattern.
  void checkTrackersOutside(uint32_t first, uint32_t last);
  void checkControllersOutside(uint32_t first, uint32_t last);
  TraData tracker(uint32_t id) { return storages_.tracker(id); }
  ConData controller(uint32_t id) { return storages_.controller(id); }
  uint32_t trackerCount() { return storages_.trackerCount(); }
  uint32_t controllerCount() { return storages_.controllerCount(); }

 private:
  CLogH log_;
  HostStorages storages_;
};

// A UDP socket on a loopback address that plays the tracking system's side.
class LoopbackPeer {
 public:
  explicit LoopbackPeer(const char* address = "127.0.0.1");
  ~LoopbackPeer();
  LoopbackPeer(const LoopbackPeer&) = delete;
  LoopbackPeer& operator=(const LoopbackPeer&) = delete;

  bool ok() const { return socket_ != platform::kNoSocket; }
  uint16_t port() const { return port_; }
  void sendTo(uint16_t port, const uint8_t* data, size_t size);
  // One datagram, waiting up to a second; its length, or -1.
  long receive(uint8_t* buffer, size_t capacity);
  // Reads and drops whatever the driver sent.
  void drain();

 private:
  platform::SocketHandle socket_ = platform::kNoSocket;
  uint16_t port_ = 0;
};

// A listening TCP socket on 127.0.0.1 (port 0: one the system picks).
class LoopbackListener {
 public:
  explicit LoopbackListener(uint16_t port = 0);
  ~LoopbackListener();
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;

  uint16_t port() const { return port_; }
  // The next connection; kNoSocket when none came within a second.
  platform::SocketHandle accept();

 private:
  platform::SocketHandle socket_ = platform::kNoSocket;
  uint16_t port_ = 0;
};

// A local UDP port that was free a moment ago, for a driver that binds the
// port its options name; 0 when none could be found.
uint16_t freeUdpPort();

// Splits a fuzz input into pieces, each preceded by a 16-bit big-endian
// word: bit 15 a flag for the target, bits 14-0 the length (cut at what is
// left).
struct Piece {
  bool flag;
  std::vector<uint8_t> bytes;
};
std::vector<Piece> splitPieces(const uint8_t* data, size_t size, size_t maxPieces);

}  // namespace fuzz

#endif  // MOTIONSTAR_FUZZ_FUZZ_SUPPORT_H
