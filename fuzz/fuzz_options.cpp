// The three option parsers on configuration entries made from fuzz bytes:
// the device options through init (with a real ConfigEntry and storages,
// over the in-memory loopback network), CTraCommonH::parseOptions and
// CConCommonH::parseOptions on their own. Checked: the marks, slots and
// maps stay within their records, every real an option stored is finite,
// and init leaves no socket open.
//
// Input: one byte choosing the parser and its set-up, one byte of sizes,
// then configuration text (first line: device-line arguments).
//
// Calibration options name libraries; a fuzzed name would load whatever the
// system holds, so every name that the parser could take is replaced by the
// pass-through library or a missing one. init always ends with its own
// address, protocol and port lines, so the connection stays on loopback.
#include <cmath>
#include <cstring>
#include <string>

#include "common/config.h"
#include "controller/con_common.h"
#include "driver/motionstar.h"
#include "fuzz_support.h"
#include "platform/memory/memory_socket.h"
#include "tracker/tra_common.h"

namespace {

// Keeps the calibration options on known libraries: names short enough to
// be taken become the pass-through library, or a missing one.
void steerCalibration(fuzz::TextEntry& text) {
  ConfigEntry& entry = *text.entry();
  for (uint32_t i = 0; i < entry.optionCount && i < uint32_t{kMaxOptions}; ++i) {
    const OptionRecord& option = entry.options[i];
    if (option.name == nullptr || option.argCount == 0) continue;
    if (compareNoCase(option.name, "calibration") != 0 &&
        compareNoCase(option.name, "calib") != 0) {
      continue;
    }
    if (std::strlen(option.args[0]) > 255) continue;  // refused by its length
    text.replaceArgument(
        i, 0, option.args[0][0] % 2 == 0 ? CALIB_PASSTHROUGH : "/nonexistent/libcalib.so");
  }
}

// Every real an option stored is a finite number: the transforms and scales
// reach the published records.
void checkFinite(const float* values, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (!std::isfinite(values[i])) fuzz::fail("an option stored a real that is no finite number");
  }
}
void checkFinite(const Matrix4& matrix) {
  checkFinite(&matrix.m[0][0], 16);
}

// The recognised mark is 0 or 1 whatever a parser did.
void checkMarks(const ConfigEntry& entry) {
  for (uint32_t i = 0; i < entry.optionCount && i < uint32_t{kMaxOptions}; ++i) {
    if (entry.options[i].recognised > 1) fuzz::fail("an option marked with another value");
  }
}

void fuzzDeviceInit(uint8_t setup, uint8_t sizes, const uint8_t* text, size_t size) {
  // Three records stay free for the lines that keep init on loopback.
  fuzz::TextEntry entry(text, size, kMaxOptions - 3);
  steerCalibration(entry);
  entry.addOption({"motionstaraddress", "127.0.0.1"});
  entry.addOption({"protocol", "udp"});
  entry.addOption({"port", "0"});
  // A careless host: an option without a name, counts past the records.
  if ((setup & 0x30) == 0x10 && entry.entry()->optionCount > 3) entry.nullName(sizes % 3);
  if ((setup & 0x30) == 0x20) entry.setOptionCount(kMaxOptions + 1 + sizes % 8);
  if ((setup & 0x30) == 0x30 && entry.entry()->optionCount > 3) {
    entry.setArgCount(sizes % 3, kMaxOptionArgs + 1);
  }
  fuzz::PatternStorages storages(sizes % 4, (sizes >> 2) % 2);
  CLogH log = fuzz::quietLogger((setup & 0x40) != 0);
  auto* device = new CMotionStar(entry.entry(), &log);
  InitInfo info = storages.initInfo();
  const int32_t result = device->init(&info);
  if (result != 1 && result != -1) fuzz::fail("init returned neither 1 nor -1");
  if (result == 1) {
    if (storages.trackerCount() <= sizes % 4) fuzz::fail("init took no tracker slot");
    device->printInfo();
  }
  if (device->init(&info) != -1) fuzz::fail("a second init was not refused");
  delete device;
  if (platform::memory::openSocketCount() != 0) fuzz::fail("a socket left open");
}

void fuzzTrackerOptions(uint8_t setup, uint8_t sizes, const uint8_t* text, size_t size) {
  fuzz::TextEntry entry(text, size);
  steerCalibration(entry);
  if ((setup & 0x30) == 0x10 && entry.entry()->optionCount > 0) entry.nullName(0);
  if ((setup & 0x30) == 0x20) entry.setOptionCount(kMaxOptions + 1 + sizes % 8);
  const CLogH log = fuzz::quietLogger((setup & 0x40) != 0);
  CTraCommonH tracker(&log);
  const uint32_t devices = 1 + sizes % 33;
  const uint32_t erc = 1 + (sizes >> 3) % devices;
  tracker.isInputConnector = (setup & 0x08) != 0;
  tracker.maxOutputCount = devices > 1 ? devices - 1 : 1;
  tracker.caveCoordinates = true;
  if ((setup & 0x80) == 0) {
    tracker.allocTrackers(devices);
    uint32_t number = 1;
    for (uint32_t id = 1; id <= devices; ++id) {
      if (id != erc) tracker.setTracker(id, number++, nullptr, nullptr, nullptr);
    }
  }
  tracker.parseOptions(entry.entry());
  checkMarks(*entry.entry());
  checkFinite(tracker.transmitterOffset);
  checkFinite(tracker.transmitterRotation);
  checkFinite(tracker.transmitterTransform);
  for (uint32_t id = 1; id <= tracker.trackerCount; ++id) {
    const TrackerRec& rec = tracker.trackers[id - 1];
    checkFinite(rec.sensorOffset);
    checkFinite(rec.sensorRotation);
    checkFinite(rec.sensorTransform);
    checkFinite(rec.sensorTranslation, 3);
  }
  if (tracker.trackerCount > 0) tracker.printSettings((setup & 0x04) != 0);
  for (uint32_t id = 1; id <= tracker.trackerCount; ++id) {
    if (tracker.trackers[id - 1].outputIndex > tracker.maxOutputCount) {
      fuzz::fail("a tracker slot past the device's outputs");
    }
  }
}

void fuzzControllerOptions(uint8_t setup, uint8_t sizes, const uint8_t* text, size_t size) {
  fuzz::TextEntry entry(text, size);
  if ((setup & 0x30) == 0x10 && entry.entry()->optionCount > 0) entry.nullName(0);
  if ((setup & 0x30) == 0x20) entry.setOptionCount(kMaxOptions + 1 + sizes % 8);
  const CLogH log = fuzz::quietLogger((setup & 0x40) != 0);
  CConCommonH controller(&log);
  const uint32_t count = 1 + sizes % 4;
  controller.isInputConnector = (setup & 0x08) != 0;
  controller.maxOutputCount = 1 + (sizes >> 2) % 4;
  if ((setup & 0x80) == 0) {
    controller.createTable(count, (setup & 0x04) != 0);
    for (uint32_t id = 1; id <= count; ++id) {
      controller.setupController(id, id, (sizes >> 4) * 3 % 40, (sizes >> 4) * 5 % 40);
    }
  }
  controller.parseOptions(entry.entry());
  checkMarks(*entry.entry());
  for (uint32_t id = 1; id <= controller.tableSize; ++id) {
    const ControllerSetup* setupRecord = controller.controller(id);
    if (setupRecord->valuatorCount > 32 || setupRecord->buttonCount > 32) {
      fuzz::fail("a controller count past the record's 32 inputs");
    }
    for (uint32_t k = 0; k < 32; ++k) {
      if (setupRecord->valuatorMap[k] > 32 || setupRecord->buttonMap[k] > 32) {
        fuzz::fail("an input mapped past the record's 32");
      }
      checkFinite(setupRecord->valuatorScale[k], 4);
    }
    if (setupRecord->emulation) checkFinite(setupRecord->emulation->values, 6);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::silenceStandardOutput();
  fuzz::keepLibraryLoaded(CALIB_PASSTHROUGH);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t setup = data[0];
  const uint8_t sizes = data[1];
  switch (setup % 3) {
    case 0:
      fuzzDeviceInit(setup, sizes, data + 2, size - 2);
      break;
    case 1:
      fuzzTrackerOptions(setup, sizes, data + 2, size - 2);
      break;
    default:
      fuzzControllerOptions(setup, sizes, data + 2, size - 2);
      break;
  }
  return 0;
}
