// init reserves the device's slots in the host's storages; slots it cannot
// reserve (past the 32 a storage holds) fail init, or the next device would
// be given the same slots and two devices would write the same elements.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "driver/motionstar.h"
#include "host/config_file.h"
#include "host/host_entry.h"
#include "platform/platform.h"
#include "support/plain_log.h"

namespace {

// A host's two storages whose counts a test can preset, as if devices of
// other modules had taken slots before.
struct Storages {
  explicit Storages(CLogH* log) {
    for (CMutexH* mutex : {&trackerMutex, &controllerMutex}) {
      mutex->handle = platform::mutexCreate();
      mutex->logger = log;
    }
    trackerStorage.trackerList = trackers;
    trackerStorage.logger = log;
    trackerStorage.mutex = &trackerMutex;
    trackerStorage.countCell = &trackerCount;
    controllerStorage.controllerList = controllers;
    controllerStorage.logger = log;
    controllerStorage.mutex = &controllerMutex;
    controllerStorage.countCell = &controllerCount;
  }
  ~Storages() {
    platform::mutexDestroy(trackerMutex.handle);
    platform::mutexDestroy(controllerMutex.handle);
  }
  InitInfo initInfo() {
    InitInfo info{};
    info.trackerStorage = &trackerStorage;
    info.controllerStorage = &controllerStorage;
    return info;
  }

  CMutexH trackerMutex{}, controllerMutex{};
  TraData trackers[kMaxElements]{};
  ConData controllers[kMaxElements]{};
  uint32_t trackerCount = 0, controllerCount = 0;
  CDataStorage trackerStorage{}, controllerStorage{};
};

class Reservation : public ::testing::Test {
 protected:
  // init of a UDP device with the given device line and options; its report
  // is dropped, everything else it printed lands in *printed.
  int32_t init(const std::string& lines, std::string* printed = nullptr) {
    ConfigFile file;
    std::string error;
    EXPECT_TRUE(parseConfigText(lines + "motionstaraddress 127.0.0.1\nprotocol udp\nport 0\n",
                                "test.conf", &file, &error))
        << error;
    entries.push_back(std::make_unique<HostEntry>(file.devices.front()));
    devices.push_back(std::make_unique<CMotionStar>(entries.back()->entry(), &deviceLog));
    InitInfo info = storages.initInfo();
    testing::internal::CaptureStdout();
    const int32_t result = devices.back()->init(&info);
    const std::string out = testing::internal::GetCapturedStdout();
    if (printed != nullptr) *printed = out;
    return result;
  }

  CLogH hostLog = plainLog("host");
  CLogH deviceLog = plainLog("ms");
  Storages storages{&hostLog};
  std::vector<std::unique_ptr<HostEntry>> entries;
  std::vector<std::unique_ptr<CMotionStar>> devices;
};

TEST_F(Reservation, TrackersPastTheStorageFailInitAndLeaveTheSlotsToTheNextDevice) {
  ASSERT_EQ(init("device a motionstar 2\n"), 1);
  std::string printed;
  EXPECT_EQ(init("device b motionstar 31\n", &printed), -1);
  EXPECT_EQ(printed, "host: ERROR: CDataStorage: The new number is too big.\n");
  EXPECT_EQ(storages.trackerCount, 2u);
  ASSERT_EQ(init("device c motionstar 30\n"), 1);  // exactly fills the storage
  EXPECT_EQ(storages.trackerCount, 32u);
}

TEST_F(Reservation, WandPastTheControllerStorageFailsInit) {
  storages.controllerCount = 32;  // every controller slot taken
  std::string printed;
  EXPECT_EQ(init("device w motionstar 1\nwanda 1\n", &printed), -1);
  EXPECT_EQ(printed, "host: ERROR: CDataStorage: The new number is too big.\n");
  EXPECT_EQ(storages.controllerCount, 32u);
  storages.controllerCount = 31;
  EXPECT_EQ(init("device v motionstar 1\nwanda 1\n"), 1);
  EXPECT_EQ(storages.controllerCount, 32u);
}

}  // namespace
