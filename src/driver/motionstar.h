// CMotionStar: the driver for one networked MotionStar system with an
// optional wanda. The host reaches it only through the slots of CBase.
#ifndef MOTIONSTAR_DRIVER_MOTIONSTAR_H
#define MOTIONSTAR_DRIVER_MOTIONSTAR_H

#include <cstdint>
#include <memory>

#include "driver/device_settings.h"
#include "driver/wanda.h"
#include "motionstar/host_abi.h"
#include "protocol/data_reader.h"

class CSocketH;
class CTraCommonH;
class CConCommonH;

class CMotionStar final : public CBase {
 public:
  CMotionStar(ConfigEntry* entry, const CLogH* hostLogger);
  ~CMotionStar();
  CMotionStar(const CMotionStar&) = delete;
  CMotionStar& operator=(const CMotionStar&) = delete;

  int32_t init(InitInfo* info) override;
  bool start() override;
  int32_t configure() override;
  bool stop() override;
  bool printInfo() override;
  int32_t recvData(void* masks, void* unused) override;
  int32_t sendData(void* unused1, void* unused2) override;

  // Protocol exchanges with the tracking system.
  bool prepareConnection();
  bool wakeUp();
  // Reply length, 0 on failure; buffer holds at least 256 bytes.
  int32_t getStatus(uint8_t* buffer, uint8_t unitAddress);
  bool sendSystemSetup();
  bool sendUnitSetup(uint8_t unitAddress);
  bool printSystemStatus();
  bool printUnitSetup(uint8_t unitAddress);
  bool runContinuous();
  bool stopData();
  bool shutDown();

 private:
  // The device line: the number of trackers, and the defaults for the rest.
  bool parseDeviceLine();
  // The device options; false after any fault (every fault is reported).
  bool parseDeviceOptions();
  // The initialisation sequence after the options: init's result.
  int32_t initialise();
  // Decodes one unit record and publishes it when it changed; false on a
  // fault that fails the packet.
  bool publishTracker(const uint8_t* record, UpdatedMasks& masks);
  void publishWanda(const WandaState& wand, UpdatedMasks& masks);
  const CLogH& log() const { return *logger; }
  // CAVE coordinates of the tracker processing: sign change of the decoded
  // angles and the alignment words of every unit setup.
  bool usesCaveCoordinates() const;

  std::unique_ptr<CSocketH> connection;
  DataPacketReader dataReader;  // one data packet per recvData call
  std::unique_ptr<char[]> deviceName;
  DeviceSettings settings;
  std::unique_ptr<float[]> positionScale;
  InitInfo initInfo = {};
  std::unique_ptr<TraData[]> lastTraData;
  TraData traScratch = {};
  std::unique_ptr<ConData[]> lastConData;
  ConData conScratch = {};
  std::unique_ptr<uint8_t[]> packetBuffer;
  ConfigEntry* configEntry = nullptr;
  std::unique_ptr<CTraCommonH> trackerHelper;
  std::unique_ptr<CConCommonH> controllerHelper;

  WandaAssembler wanda;     // per device, so two devices never mix their bytes
  bool initCalled = false;  // a second init is refused
};

#endif  // MOTIONSTAR_DRIVER_MOTIONSTAR_H
