#include <dlfcn.h>

#include "platform/platform.h"

namespace platform {

void* libraryLoad(const char* name) {
  return dlopen(name, RTLD_NOW | RTLD_LOCAL);
}

void* librarySymbol(void* library, const char* name) {
  return dlsym(library, name);
}

void libraryFree(void* library) {
  if (library != nullptr) dlclose(library);
}

}  // namespace platform
