// CConCommonH: the device-independent half of controller handling. Keeps, per
// controller, where it stands among the device's published controllers and
// how its raw valuators and buttons are renumbered, scaled and used for
// tracker emulation, and reads the controller options into that table.
#ifndef MOTIONSTAR_CONTROLLER_CON_COMMON_H
#define MOTIONSTAR_CONTROLLER_CON_COMMON_H

#include <cstdint>
#include <memory>

#include "common/logger.h"
#include "motionstar/host_abi.h"

// Valuator and button IDs are 1-based and at most this many per controller.
constexpr uint32_t kMaxControllerInputs = 32;

struct TrackerEmulation {
  uint32_t mode = 0;
  float values[6] = {};
  uint32_t valuators[6] = {};  // valuator IDs; 0 = none
  uint32_t button = 0;         // button ID; 0 = none
  double state = 0.0;
};

struct ControllerSetup {
  ControllerSetup();

  uint32_t outputIndex = 0;  // 1-based place among the published controllers; 0 = not placed
  uint32_t valuatorCount = 0;
  uint32_t buttonCount = 0;
  // Entry r - 1: the output number raw input r goes to; 0 drops it.
  uint32_t valuatorMap[kMaxControllerInputs] = {};
  uint32_t buttonMap[kMaxControllerInputs] = {};
  float valuatorScale[kMaxControllerInputs][4];  // per raw valuator; 0, 0, 1, 0 by default
  std::unique_ptr<TrackerEmulation> emulation;   // null when none was configured
};

class CConCommonH {
 public:
  // Copies the given logger, or makes a default one named "CConCommonH".
  explicit CConCommonH(const CLogH* log);
  ~CConCommonH();
  CConCommonH(const CConCommonH&) = delete;
  CConCommonH& operator=(const CConCommonH&) = delete;

  // Replaces any table with count fresh records; false for a count of 0 or
  // when the records cannot be allocated.
  bool createTable(uint32_t count, bool limitToCounts);
  // Describes controller id with identity maps for its inputs. Counts above
  // 32 are refused: the maps hold 32 entries.
  bool setupController(uint32_t id, uint32_t outputIndex, uint32_t valuators, uint32_t buttons);
  bool setEmulation(uint32_t id, uint32_t mode, const float values[6], const uint32_t valuators[6],
                    uint32_t button);
  bool destroyTable();
  // Applies every controller option of the entry, marking those accepted.
  // Goes on after a fault so that one run lists them all; false if any.
  bool parseOptions(ConfigEntry* entry);

  // 1-based; null outside the table.
  const ControllerSetup* controller(uint32_t id) const;

  bool isInputConnector = true;  // unit order fixed: the order keywords are not ours
  uint32_t maxOutputCount = 0;   // controllers the device publishes
  int32_t outputIdBase = 0;      // controller slots taken by devices before this one
  uint32_t tableSize = 0;
  bool limitToCounts = true;  // order lists may name only IDs up to the current count

 private:
  class OptionParser;  // the keyword handlers of parseOptions

  ControllerSetup* find(uint32_t id);

  std::unique_ptr<ControllerSetup[]> table_;
  uint32_t allocated_ = 0;  // records in table_, whatever tableSize is set to
  Logger logger_;
};

#endif  // MOTIONSTAR_CONTROLLER_CON_COMMON_H
