// Finds and loads a driver module: a path as given, or a short name looked
// up beside the host and in the install's library folder.
#ifndef MOTIONSTAR_HOST_MODULE_LOADER_H
#define MOTIONSTAR_HOST_MODULE_LOADER_H

#include <string>
#include <vector>

#include "motionstar/host_abi.h"

class DriverModule {
 public:
  DriverModule() = default;
  ~DriverModule();
  DriverModule(const DriverModule&) = delete;
  DriverModule& operator=(const DriverModule&) = delete;

  // On failure *error names every place that was tried.
  bool load(const std::string& nameOrPath, std::string* error);
  CreateDevFn create = nullptr;
  DeleteDevFn destroy = nullptr;

 private:
  void* library_ = nullptr;
};

// The files a module name stands for, in the order they are tried.
std::vector<std::string> moduleCandidates(const std::string& nameOrPath,
                                          const std::string& executablePath);

#endif  // MOTIONSTAR_HOST_MODULE_LOADER_H
