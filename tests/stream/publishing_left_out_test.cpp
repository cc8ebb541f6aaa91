// A build without ZeroMQ: the socket tests cannot run, and the host says
// that publishing is left out instead of pretending.
#include <gtest/gtest.h>

#include <string>

#include "host/publisher.h"

namespace {

TEST(PublishingLeftOut, SocketTestsAreSkipped) {
  GTEST_SKIP() << "publishing is left out of this build: " NO_ZMQ_REASON;
}

TEST(PublishingLeftOut, TheHostRefusesToPublishAndSaysWhy) {
  EXPECT_FALSE(publishingBuiltIn());
  EXPECT_NE(std::string(publishUsage()).find("is not available"), std::string::npos);
  PublishOptions options;
  std::string error;
  EXPECT_FALSE(parsePublishOption("--publish", "tcp://*:7700", &options, &error));
  EXPECT_EQ(error,
            "--publish: publishing is not available: this mstar-host was built without ZeroMQ "
            "(libzmq3-dev, cppzmq-dev)");
  options.endpoints = {"tcp://*:7700"};
  EXPECT_FALSE(Publisher::start(options, {"cave"}, &error));
}

}  // namespace
