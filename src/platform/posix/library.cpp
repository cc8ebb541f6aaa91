#include <dlfcn.h>

#include <cstring>
#include <string>

#include "platform/platform.h"

namespace platform {

namespace {

// The folder this module was loaded from, with its trailing slash; empty when
// the loader cannot say.
std::string moduleFolder() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&libraryLoad), &info) == 0 || info.dli_fname == nullptr)
    return {};
  const char* slash = std::strrchr(info.dli_fname, '/');
  return slash == nullptr ? std::string() : std::string(info.dli_fname, slash + 1);
}

}  // namespace

// A name without a folder is looked for beside the module first, then where
// the loader looks. The module's RUNPATH says the same, but the loader reads
// the RUNPATH of dlopen's caller, and a sanitizer's interceptor takes that
// place.
void* libraryLoad(const char* name) {
  if (std::strchr(name, '/') == nullptr) {
    const std::string folder = moduleFolder();
    if (!folder.empty()) {
      if (void* library = dlopen((folder + name).c_str(), RTLD_NOW | RTLD_LOCAL)) return library;
    }
  }
  return dlopen(name, RTLD_NOW | RTLD_LOCAL);
}

void* librarySymbol(void* library, const char* name) {
  return dlsym(library, name);
}

void libraryFree(void* library) {
  if (library != nullptr) dlclose(library);
}

}  // namespace platform
