#include "host/module_loader.h"

#include "platform/platform.h"
#include "platform/process.h"

std::vector<std::string> moduleCandidates(const std::string& nameOrPath,
                                          const std::string& executablePath) {
  if (nameOrPath.find_first_of("/\\") != std::string::npos) return {nameOrPath};
  const std::string file = platform::moduleFileName(nameOrPath);
  const size_t slash = executablePath.find_last_of("/\\");
  const std::string folder = slash == std::string::npos ? "." : executablePath.substr(0, slash);
  // Beside the host (the build tree, Windows installs), then where the install
  // puts modules relative to its programs (lib/, or lib/<multiarch>/ on Debian).
  std::vector<std::string> candidates{folder + "/" + file};
  const std::string installed = MOTIONSTAR_MODULE_DIR_FROM_PROGRAMS;
  if (!installed.empty()) candidates.push_back(folder + "/" + installed + "/" + file);
  return candidates;
}

DriverModule::~DriverModule() {
  platform::libraryFree(library_);
}

bool DriverModule::load(const std::string& nameOrPath, std::string* error) {
  std::string tried;
  for (const std::string& candidate : moduleCandidates(nameOrPath, platform::executablePath())) {
    library_ = platform::libraryLoad(candidate.c_str());
    if (library_ != nullptr) break;
    tried += (tried.empty() ? "" : ", ") + candidate;
  }
  if (library_ == nullptr) {
    *error = "cannot load module \"" + nameOrPath + "\" (tried " + tried + ")";
    return false;
  }
  create = reinterpret_cast<CreateDevFn>(platform::librarySymbol(library_, "createDev"));
  destroy = reinterpret_cast<DeleteDevFn>(platform::librarySymbol(library_, "deleteDev"));
  if (create == nullptr || destroy == nullptr) {
    *error = "module \"" + nameOrPath + "\" does not export createDev and deleteDev";
    return false;
  }
  return true;
}
