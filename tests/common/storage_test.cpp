#include "common/storage.h"

#include <gtest/gtest.h>

#include <cstring>

#include "common/logger.h"
#include "platform/platform.h"
#include "support/capture.h"
#include "support/plain_log.h"

namespace {

// A host-side storage as the driver expects it: a list with room for 32
// elements, a shared count and a real mutex.
class StorageFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memset(&mutex, 0, sizeof mutex);
    mutex.handle = platform::mutexCreate();
    mutex.logger = &log;
    std::memset(&tracker, 0, sizeof tracker);
    tracker.trackerList = traList;
    tracker.logger = &log;
    tracker.mutex = &mutex;
    tracker.countCell = &trackerCountCell;
    std::memset(&controller, 0, sizeof controller);
    controller.controllerList = conList;
    controller.logger = &log;
    controller.mutex = &mutex;
    controller.countCell = &controllerCountCell;
  }
  void TearDown() override { platform::mutexDestroy(mutex.handle); }

  std::string refusal(bool (*set)(CDataStorage&, uint32_t), CDataStorage& s, uint32_t n) {
    CoutCapture out;
    EXPECT_FALSE(set(s, n));
    return out.text();
  }

  CLogH log = plainLog("S");
  CMutexH mutex;
  TraData traList[32];
  ConData conList[32];
  uint32_t trackerCountCell = 0;
  uint32_t controllerCountCell = 0;
  CDataStorage tracker, controller;
};

using namespace CDataStorageOps;

TEST_F(StorageFixture, CountSettersCheckInOrder) {
  CDataStorage bare{};
  // Without a logger of its own the storage still reports, with the defaults.
  {
    CoutCapture out;
    EXPECT_FALSE(setTrackerCount(bare, 33));
    EXPECT_NE(out.text().find("MESSAGE["), std::string::npos);
    EXPECT_NE(out.text().find("ERROR: CDataStorage: The new number is too big.\n"),
              std::string::npos);
  }
  EXPECT_EQ(refusal(setTrackerCount, tracker, 33),
            "S: ERROR: CDataStorage: The new number is too big.\n");
  EXPECT_EQ(refusal(setTrackerCount, controller, 5),
            "S: ERROR: Delete controller data list first.\n");
  EXPECT_EQ(refusal(setControllerCount, tracker, 5),
            "S: ERROR: CDataStorage: Delete tracker data list first.\n");
  tracker.mutex = nullptr;
  controller.mutex = nullptr;
  EXPECT_EQ(refusal(setTrackerCount, tracker, 5),
            "S: ERROR: CDataStorage: Mutex has not been set up yet.\n");
  EXPECT_EQ(refusal(setControllerCount, controller, 5),
            "S: ERROR: CDataStorage: Mutex has not been set up yet.\n");
  tracker.mutex = &mutex;
  EXPECT_EQ(refusal(setTrackerCount, tracker, 0),
            "S: ERROR: CDataStorage: the number of data is zero.\n");
  EXPECT_EQ(trackerCountCell, 0u);
  tracker.trackerList = nullptr;
  EXPECT_EQ(refusal(setTrackerCount, tracker, 3),
            "S: ERROR: CDataStorage: Data storage has not been created yet.\n");
  controller.controllerList = nullptr;
  EXPECT_EQ(refusal(setControllerCount, controller, 3),
            "S: ERROR: CDataStorage: Datt Storage has not been created yet.\n");
}

TEST_F(StorageFixture, ElementsAreAddressedWithinTheSharedCount) {
  EXPECT_TRUE(setTrackerCount(tracker, 32));
  EXPECT_TRUE(setTrackerCount(tracker, 3));
  EXPECT_EQ(trackerCount(tracker), 3u);
  EXPECT_EQ(trackerAt(tracker, 3), &traList[2]);
  EXPECT_EQ(trackerAt(tracker, 4), nullptr);
  EXPECT_EQ(trackerAt(tracker, 0), nullptr);
  EXPECT_EQ(controllerCount(tracker), 0u);
  EXPECT_EQ(controllerAt(tracker, 1), nullptr);
  EXPECT_TRUE(setControllerCount(controller, 1));
  EXPECT_EQ(controllerAt(controller, 1), &conList[0]);
  EXPECT_EQ(controllerAt(controller, 2), nullptr);
}

TEST_F(StorageFixture, LockAndUnlockPair) {
  CoutCapture out;
  EXPECT_TRUE(lock(tracker));
  EXPECT_TRUE(unlock(tracker));
  EXPECT_EQ(out.text(), "");
}

TEST_F(StorageFixture, LockFailuresCarryTheSystemText) {
  auto expectFailureLine = [](const std::string& text, const std::string& start) {
    EXPECT_EQ(text.rfind(start, 0), 0u) << text;
    EXPECT_EQ(text.back(), '\n');
    EXPECT_GT(text.size(), start.size() + 1) << text;
  };
  {
    CoutCapture out;
    EXPECT_FALSE(unlock(tracker));  // by a thread that does not hold it
    expectFailureLine(out.text(), "S: ERROR: CMutexH: Unlocking mutex: ");
  }
#if !defined(_WIN32)
  // The storages' POSIX mutex checks errors: a second lock by its holder is
  // refused (a Windows mutex is recursive and takes it).
  ASSERT_TRUE(lock(tracker));
  {
    CoutCapture out;
    EXPECT_FALSE(lock(controller));
    expectFailureLine(out.text(), "S: ERROR: CMutexH: Locking mutex: ");
  }
  EXPECT_TRUE(unlock(tracker));
#endif
}

TEST_F(StorageFixture, NoMutexMeansNoLock) {
  tracker.mutex = nullptr;
  CoutCapture out;
  EXPECT_FALSE(lock(tracker));
  EXPECT_FALSE(unlock(tracker));
  EXPECT_EQ(out.text(), "");
}

}  // namespace
