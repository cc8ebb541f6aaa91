// CTraCommonH: the tracker processing that does not depend on the device
// model: the tracker table with its output slots, transmitter and sensor
// transforms, CAVE coordinates, the calibration library, their options and
// their report.
#ifndef MOTIONSTAR_TRACKER_TRA_COMMON_H
#define MOTIONSTAR_TRACKER_TRA_COMMON_H

#include <cstdint>
#include <memory>

#include "common/logger.h"
#include "motionstar/host_abi.h"
#include "motionstar/pose.h"
#include "tracker/calib.h"
#include "tracker/matrix.h"

struct TrackerRec {
  uint32_t outputIndex;  // 1-based output slot; 0 = no slot
  Matrix4 sensorOffset;  // translation-only
  Matrix4 sensorRotation;
  Matrix4 sensorTransform;     // combineTransform(sensorRotation, sensorOffset)
  float sensorTranslation[3];  // added after all rotations
  bool hasSensorOffset;
  bool hasSensorRotation;
  bool hasSensorTranslation;
};

// The calibration library's arguments: owned copies, usable as the char**
// that calibInit takes.
class CalibArgList {
 public:
  static constexpr uint32_t kCapacity = 10;

  CalibArgList() = default;
  CalibArgList(const CalibArgList&) = delete;
  CalibArgList& operator=(const CalibArgList&) = delete;

  // Replaces the list by copies of the texts (at most kCapacity).
  void assign(const char* const* texts, uint32_t count);
  void clear();
  char** data() { return items_; }
  operator char**() { return items_; }

 private:
  std::unique_ptr<char[]> storage_[kCapacity];
  char* items_[kCapacity + 1] = {};  // null after the last
};

class CTraCommonH {
 public:
  explicit CTraCommonH(const CLogH* log);
  ~CTraCommonH();
  CTraCommonH(const CTraCommonH&) = delete;
  CTraCommonH& operator=(const CTraCommonH&) = delete;

  // A fresh table of n default records (no slot, no transforms); false for 0.
  bool allocTrackers(uint32_t n);
  // Tracker id (1 to trackerCount): its slot, and the given offset, rotation
  // and translation or the defaults for those given as null.
  bool setTracker(uint32_t id, uint32_t outputIndex, const Matrix4* offset, const Matrix4* rotation,
                  const float* translation);

  // Reads the tracker options of the entry; false when any failed.
  bool parseOptions(ConfigEntry* entry);
  // The tracker settings report; always true.
  bool printSettings(bool printCaveLine);

  static void clearUpdated(uint8_t mask[4]);
  // Sets the bit of output ID 1 to 32; false otherwise.
  static bool markUpdated(uint8_t mask[4], uint32_t outputId);
  // The transform step: transmitter matrix, measured orientation and sensor
  // matrix, then the sensor offset turned by the result, then the sensor
  // translation. With a matrix missing the pose stays as it is.
  static void applyTransforms(TraPose& pose, const Matrix4* transmitter, const Matrix4* sensor,
                              const float* translation);

  const Logger& logger() const { return logger_; }

 private:
  Logger logger_;

 public:
  uint32_t trackerCount = 0;
  std::unique_ptr<TrackerRec[]> trackers;  // indexed by tracker ID - 1
  bool isInputConnector = true;
  Matrix4 transmitterOffset = zeroMatrix();
  Matrix4 transmitterRotation = identityMatrix();
  Matrix4 transmitterTransform = identityMatrix();
  bool hasTransmitterOffset = false;
  bool hasTransmitterRotation = false;
  bool caveCoordinates = false;
  uint32_t maxOutputCount = 0;
  uint32_t outputIdBase = 0;
  std::unique_ptr<CCalibH> calib;
  char calibLibName[256] = {};
  CalibArgList calibArgs;
  uint32_t calibArgCount = 0;
};

#endif  // MOTIONSTAR_TRACKER_TRA_COMMON_H
