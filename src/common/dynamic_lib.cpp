#include "common/dynamic_lib.h"

#include <iostream>

#include "platform/platform.h"

CDynamicLibH::CDynamicLibH(const char* libraryName, const CLogH* log)
    : logger_(log, "CDynamicLibH", logh::kComponentOwnerLevel) {
  logger_.debug("CDynamicLibH: \"constructor\" called.");
  logger_.debug("CDynamicLibH: \"init\" called.");
  if (libraryName != nullptr) load(libraryName);
}

CDynamicLibH::~CDynamicLibH() {
  logger_.debug("CDynamicLibH: \"destructor\" called.");
  unload();
}

bool CDynamicLibH::load(const char* libraryName) {
  logger_.debug("CDynamicLibH: \"load\" called.");
  if (libraryName == nullptr || libraryName[0] == '\0') {
    logger_.error("CDynamicLibH: Library name is empty.");
    return false;
  }
  if (moduleHandle_ != nullptr) return false;
  moduleHandle_ = platform::libraryLoad(libraryName);
  if (moduleHandle_ == nullptr) {
    logger_.error("CDynamicLibH: Can not load the library ", false);
    std::cout << libraryName << std::endl;
    return false;
  }
  if (logger_.isDebugOn()) {
    logger_.debug("CDynamicLibH: ", false);
    std::cout << libraryName << " library loaded." << std::endl;
  }
  return true;
}

void* CDynamicLibH::getProcAddr(const char* name) {
  logger_.debug("CDynamicLibH: \"getProcAddr\" called.");
  if (moduleHandle_ == nullptr) {
    logger_.error("CDynamicLibH: Library has not been loaded.");
    return nullptr;
  }
  return platform::librarySymbol(moduleHandle_, name);
}

void* CDynamicLibH::getProcAddrCached(const char* name, uint32_t slot) {
  logger_.debug("CDynamicLibH: \"getProcAddrCached\" called.");
  if (moduleHandle_ == nullptr) {
    logger_.error("CDynamicLibH: Library has not been loaded.");
    return nullptr;
  }
  if (procCache_.size() < size_t{slot} + 1) procCache_.resize(size_t{slot} + 1);
  CacheEntry& entry = procCache_[slot];
  if (entry.address == nullptr && entry.tried == 0) {
    entry.tried = 1;
    entry.address = getProcAddr(name);
  }
  return entry.address;
}

bool CDynamicLibH::unload() {
  logger_.debug("CDynamicLibH: \"unload\" called.");
  if (moduleHandle_ != nullptr) platform::libraryFree(moduleHandle_);
  moduleHandle_ = nullptr;
  procCache_.clear();
  procCache_.shrink_to_fit();
  return true;
}
