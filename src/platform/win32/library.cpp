#include <windows.h>

#include "platform/platform.h"

namespace platform {

void* libraryLoad(const char* name) {
  return LoadLibraryA(name);
}

void* librarySymbol(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void libraryFree(void* library) {
  if (library != nullptr) FreeLibrary(static_cast<HMODULE>(library));
}

}  // namespace platform
