// The host ABI of the MotionStar plug-in module.
//
// Implemented by the module (libmotionstar.so, motionstar.dll), which exports
// createDev and deleteDev and nothing else; called by a tracking host that
// loads the module at run time (dlopen, LoadLibraryA). The host needs this
// header and nothing else: it fills a ConfigEntry, optionally a CLogH, builds
// two CDataStorage records with their CMutexH, calls createDev, then the
// virtual operations of CBase in the order createDev, init, configure, start,
// recvData..., stop, deleteDev, and reads the TraData / ConData elements of its
// storages under their mutexes.
//
// Threads: the module starts no thread and keeps no lock between calls. Call
// the operations of one device object one at a time, from any thread (a
// reader thread per device is usual). Devices on different threads share
// only the host's storages, which the module locks through their CMutexH for
// each element it reserves or writes.
//
// Blocking: createDev, deleteDev, printInfo and sendData return at once.
// init resolves the device's address and, over TCP, connects: as long as the
// system's name look-up and connect take. configure waits up to 15 s for the
// tracking system to wake and up to 5 s for each further reply (a status
// and a setup reply for the system and for each unit); start waits up to 5 s
// for its reply, stop up to 5 s for each of its two. recvData returns 1 with
// nothing published after about a second without data, so a host loop can
// always stop.
//
// After a failure (every one is reported on the device's logger first):
// createDev null: nothing to release. init -1: only deleteDev may follow.
// configure 0 or start false: call stop, which leaves a woken system stopped
// and shut down, then deleteDev. recvData -1: records published before the
// failure are in the storages and flagged in the masks; call recvData again
// or stop. stop false: the system may still be awake; call deleteDev, which
// closes the connection.
//
// Every record is a plain struct in host byte order. On a 32-bit build the
// layout is the one fixed for these records (4-byte pointers); on a 64-bit
// build pointers widen to 8 bytes and the rest follows natural alignment:
//
//   record         32-bit size   64-bit size   fields at (64-bit)
//   OptionRecord   272           536           lineNumber 0, name 8, args 16,
//                                              argCount 528, recognised 532
//   ConfigEntry    8984          17704         lineNumber 0, deviceName 8,
//                                              secondText 16, deviceArgs 24,
//                                              deviceArgCount 536, reserved 540,
//                                              options 544, optionCount 17696
//   InitInfo       48            96            word 0 tracker storage,
//                                              word 1 controller storage
//   CDataStorage   36            72            trackerList 8, controllerList 16,
//                                              logger 24, mutex 40, countCell 64
//   CMutexH        84            96            handle 72, logger 88
//   CLogH          516           516           (no pointers)
//   TraData        56            56            (no pointers)
//   ConData        184           184           (no pointers)
//
// The records TraData and ConData carry their integer fields in network byte
// order (big-endian): read them with ntohl. Reals are scaled integers (poses
// x 100000, valuators x 1000).
#ifndef MOTIONSTAR_HOST_ABI_H
#define MOTIONSTAR_HOST_ABI_H

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define MOTIONSTAR_EXPORT __declspec(dllexport)
#else
#define MOTIONSTAR_EXPORT __attribute__((visibility("default")))
#endif

// ---------------------------------------------------------------- configuration

constexpr int kMaxOptionArgs = 64;
constexpr int kMaxOptions = 32;

// One option line of the host's configuration file.
struct OptionRecord {
  uint32_t lineNumber;               // line in the host's file
  const char* name;                  // keyword as written (any letter case)
  const char* args[kMaxOptionArgs];  // argument texts, in order
  uint32_t argCount;                 // valid entries of args
  uint8_t recognised;                // 0 from the host; a parser that accepts the option sets 1
};

// One device's configuration: its device line and its option lines.
struct ConfigEntry {
  uint32_t lineNumber;                     // line of the device line
  const char* deviceName;                  // copied by the device
  const char* secondText;                  // not read by the driver
  const char* deviceArgs[kMaxOptionArgs];  // device-line arguments
  uint32_t deviceArgCount;
  uint32_t reserved;
  OptionRecord options[kMaxOptions];  // in file order
  uint32_t optionCount;               // 0 to 32
};

// ---------------------------------------------------------------- logger

// The logger record. The host may hand its own to createDev; the driver
// copies it byte for byte and never writes the host's record.
struct CLogH {
  uint8_t showDate;          // prefix carries the date
  uint8_t showTime;          // prefix carries the time
  uint8_t showThreadId;      // prefix carries the thread id
  uint8_t enabled;           // 0: nothing is written at all
  char name[100];            // NUL-terminated
  char levelLabels[4][100];  // INFO, ERROR, WARNING, DEBUG
  int32_t debugThreshold;    // a level at or above it shows every owner's DEBUG lines
  int32_t debugLevel;        // chosen by the host; 0 silences DEBUG lines
  int32_t ownerLevel;        // level of the object owning this copy
};

// ---------------------------------------------------------------- storages

// The host's mutex. On POSIX the handle is a pthread_mutex_t*, on Windows a
// mutex HANDLE.
struct CMutexH {
  uint8_t reserved0[68];
  void* handle;
  uint8_t reserved1[8];
  CLogH* logger;
};

struct TraData;
struct ConData;

// A host data storage: a tracker storage has trackerList set and
// controllerList null, a controller storage the reverse. Lists hold room for
// 32 elements; *countCell is the number of elements in use, shared by all
// devices of the host.
struct CDataStorage {
  void* reserved0;
  TraData* trackerList;
  ConData* controllerList;
  CLogH* logger;
  void* reserved1;
  CMutexH* mutex;
  void* reserved2[2];
  uint32_t* countCell;
};

// The block handed to init: word 0 the tracker storage, word 1 the
// controller storage (either may be null); the other words are not used.
struct InitInfo {
  CDataStorage* trackerStorage;
  CDataStorage* controllerStorage;
  void* reserved[10];
};

// ---------------------------------------------------------------- records

constexpr uint32_t kMaxElements = 32;

// Time stamp in host form (host byte order), as _ftime gives it.
struct HostTimeStamp {
  uint32_t seconds;
  uint16_t milliseconds;
  int16_t timezoneMinutes;  // minutes west of UTC
  int16_t dstFlag;
  uint16_t alignment;
};

// Common header of TraData and ConData; all fields big-endian.
struct RecordHeader {
  uint32_t id;            // 1 to 32
  uint32_t reserved0;     // always 0
  uint32_t seconds;       // since 1970-01-01 UTC
  uint32_t microseconds;  // milliseconds x 1000
  uint32_t reserved1;     // always 0
};

// One tracker pose. pose[] is x, y, z (feet), azimuth, elevation, roll
// (degrees), each value x 100000, big-endian.
struct TraData {
  RecordHeader header;
  int32_t pose[6];
  HostTimeStamp stamp;
};

// One controller state; every integer field but buttonByteCount is big-endian.
struct ConData {
  RecordHeader header;
  uint32_t valuatorCount;    // 0 to 32
  uint32_t buttonCount;      // 0 to 32
  uint32_t headerSize;       // always 36
  uint32_t valuatorEnd;      // 36 + 4 x valuator count
  int32_t valuators[32];     // value x 1000
  uint8_t buttons[4];        // button b is bit (b-1)%8 of byte (b-1)/8
  uint32_t buttonByteCount;  // always 4, host byte order
  HostTimeStamp stamp;
};

// The updated-ID masks handed to recvData: ID n (1 to 32) is bit n-1 of a
// big-endian 32-bit word. Tracker mask first, controller mask 4 bytes later.
struct UpdatedMasks {
  uint8_t tracker[4];
  uint8_t controller[4];
};

// ---------------------------------------------------------------- device

// The device interface. Seven virtual slots in this order, no virtual
// destructor: release the object with deleteDev of the same module.
class CBase {
 public:
  virtual int32_t init(InitInfo* info) = 0;                    // 1 success, -1 failure
  virtual bool start() = 0;                                    // starts the data stream
  virtual int32_t configure() = 0;                             // 0 failure, else the data kind
  virtual bool stop() = 0;                                     // stops, shuts down, closes
  virtual bool printInfo() = 0;                                // settings report, always true
  virtual int32_t recvData(void* masks, void* unused) = 0;     // 1 success, -1 failure
  virtual int32_t sendData(void* unused1, void* unused2) = 0;  // always -1

 protected:
  CBase() = default;
  ~CBase() = default;

  int32_t statusWord = 0;
  uint8_t ownsLogger = 1;
  CLogH* logger = nullptr;
  uint8_t isInputConnector = 1;
  int32_t dataKind = 1;
};

extern "C" {
// Builds one device object for the entry (kept for the object's life) with a
// copy of the logger, or with its own when logger is null. Null on failure.
MOTIONSTAR_EXPORT CBase* createDev(ConfigEntry* entry, CLogH* logger);
// Destroys an object made by createDev; false for null.
MOTIONSTAR_EXPORT bool deleteDev(CBase* device);
}

using CreateDevFn = CBase* (*)(ConfigEntry*, CLogH*);
using DeleteDevFn = bool (*)(CBase*);

// ---------------------------------------------------------------- layout proof

#define MOTIONSTAR_LAYOUT(expr32, expr64) (sizeof(void*) == 4 ? (expr32) : (expr64))
static_assert(sizeof(OptionRecord) == MOTIONSTAR_LAYOUT(272, 536), "OptionRecord size");
static_assert(offsetof(OptionRecord, name) == MOTIONSTAR_LAYOUT(4, 8), "OptionRecord.name");
static_assert(offsetof(OptionRecord, args) == MOTIONSTAR_LAYOUT(8, 16), "OptionRecord.args");
static_assert(offsetof(OptionRecord, argCount) == MOTIONSTAR_LAYOUT(264, 528), "argCount");
static_assert(offsetof(OptionRecord, recognised) == MOTIONSTAR_LAYOUT(268, 532), "recognised");
static_assert(sizeof(ConfigEntry) == MOTIONSTAR_LAYOUT(8984, 17704), "ConfigEntry size");
static_assert(offsetof(ConfigEntry, deviceName) == MOTIONSTAR_LAYOUT(4, 8), "deviceName");
static_assert(offsetof(ConfigEntry, secondText) == MOTIONSTAR_LAYOUT(8, 16), "secondText");
static_assert(offsetof(ConfigEntry, deviceArgs) == MOTIONSTAR_LAYOUT(12, 24), "deviceArgs");
static_assert(offsetof(ConfigEntry, deviceArgCount) == MOTIONSTAR_LAYOUT(268, 536), "argc");
static_assert(offsetof(ConfigEntry, reserved) == MOTIONSTAR_LAYOUT(272, 540), "reserved");
static_assert(offsetof(ConfigEntry, options) == MOTIONSTAR_LAYOUT(276, 544), "options");
static_assert(offsetof(ConfigEntry, optionCount) == MOTIONSTAR_LAYOUT(8980, 17696), "count");
static_assert(sizeof(CLogH) == 516, "CLogH size");
static_assert(offsetof(CLogH, name) == 4, "CLogH.name");
static_assert(offsetof(CLogH, levelLabels) == 104, "CLogH.levelLabels");
static_assert(offsetof(CLogH, debugThreshold) == 504, "CLogH.debugThreshold");
static_assert(offsetof(CLogH, debugLevel) == 508, "CLogH.debugLevel");
static_assert(offsetof(CLogH, ownerLevel) == 512, "CLogH.ownerLevel");
static_assert(sizeof(CMutexH) == MOTIONSTAR_LAYOUT(84, 96), "CMutexH size");
static_assert(offsetof(CMutexH, handle) == MOTIONSTAR_LAYOUT(68, 72), "CMutexH.handle");
static_assert(offsetof(CMutexH, logger) == MOTIONSTAR_LAYOUT(80, 88), "CMutexH.logger");
static_assert(sizeof(CDataStorage) == MOTIONSTAR_LAYOUT(36, 72), "CDataStorage size");
static_assert(offsetof(CDataStorage, trackerList) == MOTIONSTAR_LAYOUT(4, 8), "trackerList");
static_assert(offsetof(CDataStorage, controllerList) == MOTIONSTAR_LAYOUT(8, 16), "list");
static_assert(offsetof(CDataStorage, logger) == MOTIONSTAR_LAYOUT(12, 24), "storage logger");
static_assert(offsetof(CDataStorage, mutex) == MOTIONSTAR_LAYOUT(20, 40), "storage mutex");
static_assert(offsetof(CDataStorage, countCell) == MOTIONSTAR_LAYOUT(32, 64), "countCell");
static_assert(sizeof(InitInfo) == MOTIONSTAR_LAYOUT(48, 96), "InitInfo size");
static_assert(sizeof(HostTimeStamp) == 12, "HostTimeStamp size");
static_assert(sizeof(RecordHeader) == 20, "RecordHeader size");
static_assert(sizeof(TraData) == 56, "TraData size");
static_assert(offsetof(TraData, pose) == 20, "TraData.pose");
static_assert(offsetof(TraData, stamp) == 44, "TraData.stamp");
static_assert(sizeof(ConData) == 184, "ConData size");
static_assert(offsetof(ConData, valuatorCount) == 20, "ConData.valuatorCount");
static_assert(offsetof(ConData, headerSize) == 28, "ConData.headerSize");
static_assert(offsetof(ConData, valuators) == 36, "ConData.valuators");
static_assert(offsetof(ConData, buttons) == 164, "ConData.buttons");
static_assert(offsetof(ConData, buttonByteCount) == 168, "ConData.buttonByteCount");
static_assert(offsetof(ConData, stamp) == 172, "ConData.stamp");
static_assert(sizeof(UpdatedMasks) == 8, "UpdatedMasks size");
#undef MOTIONSTAR_LAYOUT

#endif  // MOTIONSTAR_HOST_ABI_H
