// host-minimal: loads the MotionStar module, hands it one device entry and the
// two storages, and runs createDev, init, configure, start, PACKETS x recvData,
// stop and deleteDev against a MotionStar system (or mstar-sim) at ADDRESS
// over TCP. Prints each published tracker pose; exits 0 when poses arrived.
//   host-minimal [PACKETS [ADDRESS]]        defaults: 100 127.0.0.1
#include <cstdio>
#include <cstdlib>
#include <initializer_list>

#include "motionstar/host_abi.h"

// What differs between Windows and POSIX: loading the module, the mutexes.
#if defined(_WIN32)
#include <windows.h>
struct System {
  static void* open(const char* path) { return LoadLibraryA(path); }
  static void* symbol(void* module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
  }
  static void* newMutex() { return CreateMutexA(nullptr, FALSE, nullptr); }
  static void lock(void* mutex) { WaitForSingleObject(mutex, INFINITE); }
  static void unlock(void* mutex) { ReleaseMutex(mutex); }
};
#else
#include <dlfcn.h>
#include <pthread.h>
struct System {
  static void* open(const char* path) { return dlopen(path, RTLD_NOW); }
  static void* symbol(void* module, const char* name) { return dlsym(module, name); }
  static void* newMutex() {
    auto* mutex = new pthread_mutex_t;
    pthread_mutex_init(mutex, nullptr);
    return mutex;
  }
  static void lock(void* mutex) { pthread_mutex_lock(static_cast<pthread_mutex_t*>(mutex)); }
  static void unlock(void* mutex) { pthread_mutex_unlock(static_cast<pthread_mutex_t*>(mutex)); }
};
#endif

// The published records carry big-endian integers.
static int32_t fromBigEndian(int32_t value) {
  const auto* b = reinterpret_cast<const uint8_t*>(&value);
  return static_cast<int32_t>(uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 |
                              uint32_t{b[3]});
}

// One storage of the host: 32 elements, the count of elements in use, a mutex.
struct Storage {
  TraData trackers[kMaxElements] = {};
  ConData controllers[kMaxElements] = {};
  uint32_t count = 0;
  CMutexH mutex = {};
  CDataStorage record = {};
};

int main(int argc, char** argv) {
  const long packets = argc > 1 ? std::atol(argv[1]) : 100;
  const char* address = argc > 2 ? argv[2] : "127.0.0.1";

  void* module = System::open(MOTIONSTAR_MODULE);
  auto createDev =
      module ? reinterpret_cast<CreateDevFn>(System::symbol(module, "createDev")) : nullptr;
  auto deleteDev =
      module ? reinterpret_cast<DeleteDevFn>(System::symbol(module, "deleteDev")) : nullptr;
  if (createDev == nullptr || deleteDev == nullptr) {
    std::fprintf(stderr, "host-minimal: cannot load the MotionStar module %s\n", MOTIONSTAR_MODULE);
    return 1;
  }

  // As if the host's file said:  device minimal motionstar 2
  //                              motionstaraddress ADDRESS
  //                              protocol tcp
  static ConfigEntry entry = {};
  entry.lineNumber = 1;
  entry.deviceName = "minimal";
  entry.secondText = "motionstar";
  entry.deviceArgs[0] = "2";
  entry.deviceArgCount = 1;
  const char* options[][2] = {{"motionstaraddress", address}, {"protocol", "tcp"}};
  for (const auto& option : options) {
    OptionRecord& record = entry.options[entry.optionCount++];
    record.lineNumber = entry.optionCount + 1;
    record.name = option[0];
    record.args[0] = option[1];
    record.argCount = 1;
  }

  static Storage trackers, controllers;
  for (Storage* storage : {&trackers, &controllers}) {
    storage->mutex.handle = System::newMutex();
    storage->record.mutex = &storage->mutex;
    storage->record.countCell = &storage->count;
  }
  trackers.record.trackerList = trackers.trackers;
  controllers.record.controllerList = controllers.controllers;
  InitInfo info = {};
  info.trackerStorage = &trackers.record;
  info.controllerStorage = &controllers.record;

  long poses = 0;
  CBase* device = createDev(&entry, nullptr);
  if (device != nullptr && device->init(&info) == 1) {
    if (device->configure() != 0 && device->start()) {
      for (long n = 0; n < packets; ++n) {
        UpdatedMasks masks = {};
        if (device->recvData(&masks, nullptr) != 1) continue;
        for (uint32_t id = 1; id <= kMaxElements; ++id) {
          if (!(masks.tracker[3 - (id - 1) / 8] & (1u << ((id - 1) % 8)))) continue;
          System::lock(trackers.mutex.handle);
          const TraData pose = trackers.trackers[id - 1];
          System::unlock(trackers.mutex.handle);
          std::printf(
              "tracker %u: x %.3f y %.3f z %.3f feet\n", id, fromBigEndian(pose.pose[0]) / 100000.0,
              fromBigEndian(pose.pose[1]) / 100000.0, fromBigEndian(pose.pose[2]) / 100000.0);
          ++poses;
        }
      }
    }
    device->stop();  // also after a failed configure or start: leaves the system shut down
  }
  if (device != nullptr) deleteDev(device);
  std::printf("%ld poses published in %ld packets\n", poses, packets);
  return poses > 0 ? 0 : 1;
}
