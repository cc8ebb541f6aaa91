// What the simulator's worker thread and its public functions share: the
// rooms (device model, stream, faults, sockets), the lock over them, and the
// hand-over of requests. The worker's side is in worker.cpp.
#ifndef MOTIONSTAR_SIM_SIMULATOR_STATE_H
#define MOTIONSTAR_SIM_SIMULATOR_STATE_H

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sim/device_model.h"
#include "sim/faults.h"
#include "sim/simulator.h"
#include "sim/stream.h"
#include "sim/transport.h"

namespace sim {

struct Simulator::State : Sockets::Listener {
  using Clock = std::chrono::steady_clock;

  // Work the worker does for a caller, who waits for its result.
  struct Request {
    uint64_t id;
    enum class Kind { kEmit, kReset, kPowerCycle, kNetworkDown } kind;
    int count;                         // kEmit
    std::chrono::milliseconds length;  // kPowerCycle, kNetworkDown
  };

  explicit State(Config c) : config(std::move(c)), stream(config, &device), sockets(*this) {}

  const Config config;

  // Guards everything below but the sockets.
  mutable std::mutex mutex;
  std::condition_variable wake;            // the worker waits on it
  mutable std::condition_variable events;  // observers wait on it
  std::thread worker;
  bool running = false;
  bool stopping = false;

  DeviceModel device;
  DataStream stream;
  Faults faults;
  Outages outages;
  Clock::time_point poweredOff{};
  Clock::time_point networkLost{};
  uint64_t sent = 0;

  std::deque<Request> requests;
  std::map<uint64_t, int> results;
  uint64_t nextRequestId = 0;

  std::vector<Received> log;
  std::map<uint8_t, int> codeCounts;
  std::vector<std::string> lines;  // log lines waiting to leave (outside the lock)

  // The worker's alone while it runs (interrupt() aside); start() and stop()
  // use them while it does not.
  Sockets sockets;

  // The worker thread's loop.
  void run();
  // Under the lock: hands a request to the worker and waits for its result;
  // 0 when the simulator stops first or the worker does not answer in time.
  int handOver(std::unique_lock<std::mutex>& lock, Request request);

  // Sockets::Listener, on the worker thread.
  void onCommand(const Peer& from, std::vector<uint8_t> bytes) override;
  void onEvent(const std::string& line) override;
  void onConnectionClosed() override;

 private:
  // Under the lock: queues what answers one command and carries it out.
  void answer(const Peer& from, const std::vector<uint8_t>& command, std::vector<Outgoing>* out);
  // Under the lock: the stream's next packet, or nothing when a fault or
  // UDP silence keeps it back.
  std::optional<Outgoing> nextDataPacket();
  // Each returns whether it did anything.
  bool serveRequests();
  // Carries out the power cycles and outages that began or ended by now.
  void applyOutages();
  void powerOff();
  void powerOn();
  void sendDuePackets();
  bool send(const Outgoing& out);
  void flushLines();
};

}  // namespace sim

#endif  // MOTIONSTAR_SIM_SIMULATOR_STATE_H
