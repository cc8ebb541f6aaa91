#include "tools/calibrate/plot.h"

#include <cstdio>
#include <fstream>

#include "platform/child_process.h"
#include "platform/process.h"

namespace calibrate {

#if defined(_WIN32)

bool plotAvailable() {
  return false;
}

const char* plotUnavailableReason() {
  return "the Windows build runs no child programs";
}

bool plotErrors(const std::string&, const std::string&, const std::vector<SurveyPair>&,
                const PoseErrors&, const PoseErrors&, std::string* error) {
  *error = plotUnavailableReason();
  return false;
}

#else

namespace {

// Debian's matplotlib imports under the system's interpreter only.
constexpr const char* kPython = "/usr/bin/python3";
constexpr const char* kScript = "field_errors.py";
constexpr int32_t kPlotTimeoutMs = 120000;

// Beside an install (share/motionstar next to bin), else in the source tree
// the program was built from.
std::string findScript() {
  const std::string program = platform::executablePath();
  const size_t slash = program.find_last_of("/\\");
  const std::string installed =
      (slash == std::string::npos ? std::string(".") : program.substr(0, slash)) +
      "/../share/motionstar/" + kScript;
  for (const std::string& candidate : {installed, std::string(MS_PLOT_SCRIPT_DIR "/") + kScript}) {
    if (std::ifstream(candidate)) return candidate;
  }
  return "";
}

bool writeData(const std::string& path, const std::vector<SurveyPair>& pairs,
               const PoseErrors& before, const PoseErrors& after) {
  std::ofstream out(path);
  out << "tx,ty,tz,bx,by,bz,ax,ay,az,bo,ao\n";
  for (size_t i = 0; i < pairs.size(); ++i) {
    const Vec3& t = pairs[i].truth.position;
    const Vec3& b = before.offset[i];
    const Vec3& a = after.offset[i];
    out << t[0] << ',' << t[1] << ',' << t[2] << ',' << b[0] << ',' << b[1] << ',' << b[2] << ','
        << a[0] << ',' << a[1] << ',' << a[2] << ',' << before.orientation[i] << ','
        << after.orientation[i] << '\n';
  }
  out.close();
  return static_cast<bool>(out);
}

}  // namespace

bool plotAvailable() {
  return true;
}

const char* plotUnavailableReason() {
  return "";
}

bool plotErrors(const std::string& png, const std::string& title,
                const std::vector<SurveyPair>& pairs, const PoseErrors& before,
                const PoseErrors& after, std::string* error) {
  const std::string script = findScript();
  if (script.empty()) {
    *error = std::string("the plot script ") + kScript + " is not installed";
    return false;
  }
  const std::string data = png + ".data.csv";
  if (!writeData(data, pairs, before, after)) {
    *error = data + ": cannot write the plot's data";
    return false;
  }
  platform::ChildProcess python;
  std::string output, line;
  int status = -1;
  if (python.start({kPython, script, data, png, title}, true)) {
    while (python.readLine(&line, kPlotTimeoutMs)) output = line;  // its last line says why
    status = python.wait(kPlotTimeoutMs);
  }
  std::remove(data.c_str());
  if (status != 0) {
    *error = std::string("plotting with ") + kPython + " failed" +
             (status == 127 ? " (cannot run it)" : "") + (output.empty() ? "" : ": " + output);
    return false;
  }
  return true;
}

#endif

}  // namespace calibrate
