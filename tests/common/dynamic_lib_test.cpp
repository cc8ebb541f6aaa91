#include "common/dynamic_lib.h"

#include <gtest/gtest.h>

#include "support/capture.h"
#include "support/plain_log.h"

namespace {

TEST(DynamicLib, EmptyNameLeavesNoLibrary) {
  CLogH log = plainLog("L", 0);
  CoutCapture out;
  CDynamicLibH lib("", &log);
  EXPECT_FALSE(lib.isLoaded());
  EXPECT_EQ(lib.getProcAddrCached("sample_entry", 0), nullptr);
  EXPECT_EQ(lib.getProcAddr("sample_entry"), nullptr);
  EXPECT_EQ(out.lines(),
            (std::vector<std::string>{"L: ERROR: CDynamicLibH: Library name is empty.",
                                      "L: ERROR: CDynamicLibH: Library has not been loaded.",
                                      "L: ERROR: CDynamicLibH: Library has not been loaded."}));
}

TEST(DynamicLib, UnloadableNameIsReported) {
  CLogH log = plainLog("L", 0);
  CoutCapture out;
  CDynamicLibH lib("/nonexistent/libnothing.so", &log);
  EXPECT_FALSE(lib.isLoaded());
  EXPECT_EQ(out.text(),
            "L: ERROR: CDynamicLibH: Can not load the library /nonexistent/libnothing.so\n");
}

TEST(DynamicLib, LoadsLooksUpAndCaches) {
  CLogH log = plainLog("L", 3);  // component owner level: DEBUG lines on
  CoutCapture out;
  CDynamicLibH lib(SAMPLE_LIB_PATH, &log);
  ASSERT_TRUE(lib.isLoaded());
  EXPECT_NE(out.text().find(std::string("L: DEBUG: CDynamicLibH: ") + SAMPLE_LIB_PATH +
                            " library loaded.\n"),
            std::string::npos);
  EXPECT_FALSE(lib.load(SAMPLE_LIB_PATH));  // already loaded

  auto entry = reinterpret_cast<int (*)(int)>(lib.getProcAddrCached("sample_entry", 3));
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry(41), 42);
  EXPECT_EQ(lib.cacheSize(), 4u);
  EXPECT_EQ(lib.getProcAddrCached("calib_evaluate", 1), nullptr);
  EXPECT_EQ(lib.cacheSize(), 4u);

  // A failed lookup is remembered: the second call looks nothing up.
  out.clear();
  EXPECT_EQ(lib.getProcAddrCached("calib_evaluate", 1), nullptr);
  EXPECT_EQ(out.text(), "L: DEBUG: CDynamicLibH: \"getProcAddrCached\" called.\n");

  EXPECT_TRUE(lib.unload());
  EXPECT_EQ(lib.cacheSize(), 0u);
  out.clear();
  EXPECT_EQ(lib.getProcAddrCached("sample_entry", 3), nullptr);
  EXPECT_NE(out.text().find("L: ERROR: CDynamicLibH: Library has not been loaded."),
            std::string::npos);
}

}  // namespace
