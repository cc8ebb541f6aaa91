// CDynamicLibH: one run-time library, its entry points looked up by name and
// remembered in a cache addressed by the caller's slot numbers.
#ifndef MOTIONSTAR_COMMON_DYNAMIC_LIB_H
#define MOTIONSTAR_COMMON_DYNAMIC_LIB_H

#include <cstdint>
#include <vector>

#include "common/logger.h"

class CDynamicLibH {
 public:
  // Loads the library when a name is given (an empty name is reported).
  CDynamicLibH(const char* libraryName, const CLogH* log);
  virtual ~CDynamicLibH();
  CDynamicLibH(const CDynamicLibH&) = delete;
  CDynamicLibH& operator=(const CDynamicLibH&) = delete;

  // True when this call loaded the library.
  bool load(const char* libraryName);
  void* getProcAddr(const char* name);
  // The address remembered for the slot, looked up on first use. A failed
  // lookup is remembered too, until unload.
  void* getProcAddrCached(const char* name, uint32_t slot);
  bool unload();

  bool isLoaded() const { return moduleHandle_ != nullptr; }
  size_t cacheSize() const { return procCache_.size(); }

 protected:
  Logger& logger() { return logger_; }

 private:
  struct CacheEntry {
    void* address = nullptr;
    int32_t tried = 0;
  };

  void* moduleHandle_ = nullptr;
  std::vector<CacheEntry> procCache_;
  Logger logger_;
};

#endif  // MOTIONSTAR_COMMON_DYNAMIC_LIB_H
