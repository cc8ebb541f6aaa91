// mstar-calibrate plan grid|scattered: true poses to survey.
#include <fstream>
#include <iostream>

#include "tools/calibrate/arguments.h"
#include "tools/calibrate/commands.h"
#include "tools/calibrate/survey_plan.h"

namespace calibrate {

int runPlan(const std::vector<std::string>& words) {
  Arguments args(words);
  if (args.done()) return usageError("plan needs a kind: grid or scattered");
  const std::string kind = args.take();
  if (kind != "grid" && kind != "scattered") {
    return usageError("unknown plan \"" + kind + "\" (grid or scattered)");
  }
  field::Box box{};
  bool haveBox = false;
  std::array<int, 3> counts{0, 0, 0};
  long points = 0, seed = 1;
  PlanAngles angles;
  std::string output, value;
  while (!args.done()) {
    const std::string option = args.take();
    double numbers[6];
    if (option == "--box") {
      if (!args.valueOf(option, &value) || !args.numbers(option, value, 6, numbers)) break;
      box = {{numbers[0], numbers[1], numbers[2]}, {numbers[3], numbers[4], numbers[5]}};
      haveBox = true;
    } else if (option == "--counts" && kind == "grid") {
      long n[3];
      if (!args.valueOf(option, &value) || !args.wholes(option, value, 3, 1, 100, n)) break;
      counts = {static_cast<int>(n[0]), static_cast<int>(n[1]), static_cast<int>(n[2])};
    } else if (option == "--points" && kind == "scattered") {
      if (!args.valueOf(option, &value) || !args.whole(option, value, 1, 100000, &points)) break;
    } else if (option == "--angles") {
      if (!args.valueOf(option, &value) || !args.numbers(option, value, 3, numbers)) break;
      angles.fixed = {numbers[0], numbers[1], numbers[2]};
    } else if (option == "--random-angles") {
      angles.random = true;
    } else if (option == "--seed") {
      if (!args.valueOf(option, &value) || !args.whole(option, value, 0, 2147483647, &seed)) break;
    } else if (option == "-o" || option == "--output") {
      if (!args.valueOf(option, &output)) break;
    } else {
      args.fail("unknown option \"" + option + "\" for plan " + kind);
      break;
    }
  }
  if (!args.error().empty()) return usageError(args.error());
  if (!haveBox) return usageError("plan " + kind + " needs --box XMIN,YMIN,ZMIN,XMAX,YMAX,ZMAX");
  for (int a = 0; a < 3; ++a) {
    if (!(box.max[a] > box.min[a]))
      return usageError("--box: each maximum must exceed its minimum");
  }
  if (kind == "grid" && counts[0] == 0) return usageError("plan grid needs --counts NX,NY,NZ");
  if (kind == "scattered" && points == 0) return usageError("plan scattered needs --points N");

  const std::vector<PoseRow> plan =
      kind == "grid"
          ? gridPlan(box, counts, angles, static_cast<uint32_t>(seed))
          : scatteredPlan(box, static_cast<int>(points), angles, static_cast<uint32_t>(seed));
  std::ofstream file;
  if (!output.empty()) {
    file.open(output);
    if (!file) return failure(output + ": cannot write the file");
  }
  std::ostream& out = output.empty() ? std::cout : file;
  out << "# survey plan: " << plan.size() << " true poses (" << kind << "), feet and degrees\n";
  writePlan(out, plan);
  out.flush();
  if (!out) return failure((output.empty() ? "standard output" : output) + ": writing failed");
  return kExitDone;
}

}  // namespace calibrate
