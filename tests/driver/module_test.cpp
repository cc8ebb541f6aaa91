// Drives the built module exactly as a host would: loaded by path, records
// built from the ABI header alone.
#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <string>

#include "motionstar/host_abi.h"
#include "platform/platform.h"

namespace {

class Module : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    library = platform::libraryLoad(MODULE_PATH);
    ASSERT_NE(library, nullptr) << MODULE_PATH;
    create = reinterpret_cast<CreateDevFn>(platform::librarySymbol(library, "createDev"));
    destroy = reinterpret_cast<DeleteDevFn>(platform::librarySymbol(library, "deleteDev"));
  }
  static void TearDownTestSuite() { platform::libraryFree(library); }

  void SetUp() override {
    ASSERT_NE(create, nullptr);
    ASSERT_NE(destroy, nullptr);
    std::memset(&entry, 0, sizeof entry);
    entry.deviceName = "motionstar";
    std::memset(&host, 0, sizeof host);
    std::strcpy(host.name, "X");
    const char* labels[] = {"INFO", "ERROR", "WARNING", "DEBUG"};
    for (int i = 0; i < 4; ++i) std::strcpy(host.levelLabels[i], labels[i]);
    host.enabled = 1;
    host.debugThreshold = 5;
  }

  static std::string captured(void (*body)(Module&), Module& self) {
    testing::internal::CaptureStdout();
    body(self);
    return testing::internal::GetCapturedStdout();
  }

  static void* library;
  static CreateDevFn create;
  static DeleteDevFn destroy;
  ConfigEntry entry;
  CLogH host;
};

void* Module::library = nullptr;
CreateDevFn Module::create = nullptr;
DeleteDevFn Module::destroy = nullptr;

TEST_F(Module, OwnLoggerCarriesTheDeviceNameAndNoDebugLines) {
  testing::internal::CaptureStdout();
  CBase* device = create(&entry, nullptr);
  ASSERT_NE(device, nullptr);
  EXPECT_EQ(device->sendData(nullptr, nullptr), -1);
  EXPECT_TRUE(destroy(device));
  std::string out = testing::internal::GetCapturedStdout();
  // Date, time, name and thread id, then the WARNING line; nothing else.
  std::regex line(
      "[A-Z][a-z]{2} [0-9]{2} [0-9:]{8} CMotionStar\\[[0-9]+\\]: WARNING: CMotionStar: Can not "
      "send any data\\.\n");
  EXPECT_TRUE(std::regex_match(out, line)) << out;
}

TEST_F(Module, HostLoggerIsCopied) {
  testing::internal::CaptureStdout();
  CBase* device = create(&entry, &host);
  std::strcpy(host.name, "CHANGED");
  host.enabled = 0;
  EXPECT_EQ(device->sendData(nullptr, nullptr), -1);
  EXPECT_TRUE(destroy(device));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "X: WARNING: CMotionStar: Can not send any data.\n");
}

TEST_F(Module, DebugFilterSelectsTheDeviceByItsOwnerLevel) {
  host.debugLevel = 1;  // the device object's level
  testing::internal::CaptureStdout();
  EXPECT_TRUE(destroy(create(&entry, &host)));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "X: DEBUG: CMotionStar: \"constructor\" called.\n"
            "X: DEBUG: CMotionStar: \"destructor\" called.\n");

  host.debugLevel = 3;  // components only
  testing::internal::CaptureStdout();
  EXPECT_TRUE(destroy(create(&entry, &host)));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

  host.debugLevel = 7;  // at or above the threshold: everybody
  testing::internal::CaptureStdout();
  EXPECT_TRUE(destroy(create(&entry, &host)));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "X: DEBUG: CMotionStar: \"constructor\" called.\n"
            "X: DEBUG: CMotionStar: \"destructor\" called.\n");
}

TEST_F(Module, DeleteDevRefusesNull) {
  EXPECT_FALSE(destroy(nullptr));
}

// A host that passed no configuration entry: init refuses, once and for good.
TEST_F(Module, InitWithoutAConfigEntryIsRefused) {
  testing::internal::CaptureStdout();
  CBase* device = create(nullptr, &host);
  ASSERT_NE(device, nullptr);
  InitInfo info{};
  EXPECT_EQ(device->init(&info), -1);
  EXPECT_EQ(device->init(&info), -1);
  EXPECT_TRUE(destroy(device));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "X: ERROR: CMotionStar: Config entry is empty.\n"
            "X: ERROR: CMotionStar: The device has already been initialised.\n");
}

}  // namespace
