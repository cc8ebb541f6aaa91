// One device read through the driver module with the reference host's
// loop (module loader, storages, supervision): the poses the module
// publishes for one tracker, averaged over a number of readings, and the
// presses of the wand's buttons.
#ifndef MOTIONSTAR_TOOLS_CALIBRATE_SURVEY_READER_H
#define MOTIONSTAR_TOOLS_CALIBRATE_SURVEY_READER_H

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "host/config_file.h"
#include "host/messages.h"
#include "host/module_loader.h"
#include "host/output.h"
#include "host/storages.h"
#include "tools/calibrate/survey_table.h"

class Supervision;

namespace calibrate {

// The mean of a number of readings and how far they spread around it.
struct AveragedPose {
  PoseRow mean{};
  double positionSpread = 0;     // inches: RMS distance of the readings from the mean
  double orientationSpread = 0;  // degrees: RMS angle of the readings from the mean
  size_t readings = 0;
};

// The mean position, and the mean orientation of unit quaternions (signs
// aligned with the first), with their spreads.
AveragedPose averagePoses(const std::vector<PoseRow>& readings);

class SurveyReader : public RecordSink {
 public:
  // `tracker`: the device's tracker ID to read; `button`: the wand button
  // (1..) whose press counts, 0 for none.
  SurveyReader(uint32_t tracker, int button);
  ~SurveyReader() override;

  // Loads the block's module, brings the device up and starts reading; a
  // device that goes silent is brought up again as mstar-host does.
  bool start(const DeviceBlock& block, std::string* error);
  // Stops the device and shuts it down.
  void stop();

  // The readings of the tracker so far.
  uint64_t readingCount();
  // Averages `count` readings that come after the first `skip` ones. False
  // (with *error) when no reading came for `silenceMs`.
  bool average(uint64_t skip, size_t count, int32_t silenceMs, AveragedPose* pose,
               std::string* error);

  // Enter on standard input (read from a thread of its own from the first
  // call) or a press of the button. False when standard input ended and no
  // button can be pressed.
  bool waitForSignal();

  // RecordSink: called on the device's reading thread.
  void publish(const Publication& publication) override;
  void status(const StatusRecord&) override {}

 private:
  // What the user does: Enter lines and button presses. Shared with the
  // thread that reads standard input, which may outlive the reader.
  struct Signals {
    std::mutex mutex;
    std::condition_variable changed;
    uint64_t count = 0;
    bool inputStarted = false;
    bool inputEnded = false;
  };
  static void readStandardInput(std::shared_ptr<Signals> signals);

  const uint32_t tracker_;
  const int button_;
  CLogH log_{};
  DriverModule module_;
  std::unique_ptr<HostStorages> storages_;
  std::unique_ptr<Output> output_;
  Messages messages_{true, "mstar-calibrate"};
  std::unique_ptr<Supervision> supervision_;

  std::mutex mutex_;
  std::condition_variable changed_;
  uint64_t readings_ = 0;
  uint64_t skip_ = 0;
  std::vector<PoseRow> gathered_;
  bool buttonDown_ = false;
  std::shared_ptr<Signals> signals_ = std::make_shared<Signals>();
};

}  // namespace calibrate

#endif  // MOTIONSTAR_TOOLS_CALIBRATE_SURVEY_READER_H
