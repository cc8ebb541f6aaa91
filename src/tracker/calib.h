// CCalibH: an external calibration library, loaded by name, whose
// calib_init / calib_evaluate / calib_exit run once at device init, once per
// tracker pose and once at device stop.
#ifndef MOTIONSTAR_TRACKER_CALIB_H
#define MOTIONSTAR_TRACKER_CALIB_H

#include <cstdint>
#include <memory>
#include <vector>

#include "common/dynamic_lib.h"
#include "motionstar/pose.h"

class CCalibH : public CDynamicLibH {
 public:
  // Loads the library; a logger made here (log null) is named "CCalibH".
  CCalibH(const char* libraryName, const CLogH* log);
  ~CCalibH() override;

  // Copies the count strings (kept until calibExit) and hands the copies to
  // calib_init; false when the library lacks calib_init.
  bool calibInit(char** args, uint32_t count);
  // Lets calib_evaluate change the pose in place; false when it is missing.
  bool calibEvaluate(TraPose* pose);
  // Releases the argument copies, then calls calib_exit; false when missing.
  bool calibExit();

  // What calib_init returned, passed back unchanged to the other two.
  void* calibHandle = nullptr;

  uint32_t argumentCount() const { return argCount_; }
  // The copies handed to calib_init (null-terminated), or null once released.
  char** arguments() { return argPointers_.empty() ? nullptr : argPointers_.data(); }

 private:
  // Cache slots of the three entry points; slot 2 is not used.
  enum Slot : uint32_t { kInitSlot = 0, kEvaluateSlot = 1, kExitSlot = 3 };

  void releaseArguments();

  std::vector<std::unique_ptr<char[]>> argCopies_;
  std::vector<char*> argPointers_;
  uint32_t argCount_ = 0;
};

#endif  // MOTIONSTAR_TRACKER_CALIB_H
