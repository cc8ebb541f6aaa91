#include "host/capture_setup.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

std::string CaptureSetup::fileName(const std::string& device) {
  std::string name;
  for (char c : device) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '_' || c == '.';
    name += plain ? c : '_';
  }
  if (name.empty() || name.front() == '.') name.insert(0, "device");
  return name + ".pcap";
}

bool CaptureSetup::apply(const std::string& device, sim::Config* config, std::string* error) {
  namespace fs = std::filesystem;
  if (!recordDir.empty()) {
    std::error_code failure;
    fs::create_directories(recordDir, failure);
    if (failure) {
      *error = "cannot make the folder " + recordDir + ": " + failure.message();
      return false;
    }
    config->recordPath = (fs::path(recordDir) / fileName(device)).string();
  }
  if (replayPath.empty()) return true;
  std::error_code ignored;
  const std::string path = fs::is_directory(replayPath, ignored)
                               ? (fs::path(replayPath) / fileName(device)).string()
                               : replayPath;
  std::shared_ptr<const sim::ReplayScript>& script = loaded_[path];
  if (!script) {
    if (!sim::loadReplayScript(path, &script, error)) {
      loaded_.erase(path);
      return false;
    }
    std::fprintf(stderr, "mstar-host: replaying %s: %s\n", path.c_str(),
                 sim::replaySummary(*script).c_str());
    for (const std::string& note : script->notes) {
      std::fprintf(stderr, "mstar-host: replay: %s\n", note.c_str());
    }
  }
  config->replay = script;
  config->replaySpeed = speed;
  return true;
}
