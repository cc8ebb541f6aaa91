// mstar-calibrate: survey plans, fits and checks of the field-distortion
// correction that the calibration library field_correction applies.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "tools/calibrate/commands.h"
#include "tools/calibrate/plot.h"

namespace calibrate {

namespace {

void printUsage() {
  std::printf(
      "Usage: mstar-calibrate COMMAND [ARG]...\n"
      "Correct the static field distortion of a room: plan a survey of true poses,\n"
      "fit a correction to measured/true pairs, check it on other pairs, and name\n"
      "the model in the tracker options:  calibration field_correction MODEL\n"
      "Poses are in feet and degrees (azimuth, elevation, roll), in the transmitter's\n"
      "frame.\n"
      "\n"
      "  plan grid --box XMIN,YMIN,ZMIN,XMAX,YMAX,ZMAX --counts NX,NY,NZ [OPTION]...\n"
      "  plan scattered --box XMIN,YMIN,ZMIN,XMAX,YMAX,ZMAX --points N [OPTION]...\n"
      "      a plan of true poses (CSV x,y,z,az,el,roll): a regular grid with its\n"
      "      corners, or N points spread evenly at random (a jittered grid)\n"
      "      --angles AZ,EL,ROLL  the orientation of every pose (default 0,0,0)\n"
      "      --random-angles      random orientations (elevation within +-60)\n"
      "      --seed N             seed of the random choices (default 1)\n"
      "      -o, --output FILE    write the plan to FILE, not standard output\n"
      "\n"
      "  collect PLAN -o PAIRS --config FILE [--device NAME] [OPTION]...\n"
      "  collect PLAN -o PAIRS --simulate [--distortion SEED[,STRENGTH]] [OPTION]...\n"
      "      a survey through the driver: for each true pose of the plan (x,y,z,az,\n"
      "      el,roll) it waits for Enter (or --button B of the wand, 1..3), averages\n"
      "      the next N readings of the tracker and writes the pair with the spread\n"
      "      of the readings (columns spos inches, sang degrees, n). FILE is a\n"
      "      mstar-host configuration; its first device (or NAME) is run alone,\n"
      "      without its calibration and transform lines\n"
      "      --tracker ID         the device's tracker to survey (default 1)\n"
      "      --readings N         readings averaged a pose (default 30)\n"
      "      --simulate           run unattended on a simulated system on loopback\n"
      "                           (on the device's fixed ports) whose room bends the\n"
      "                           field (--distortion, default 1,1; a device line\n"
      "                           simulatordistortion gives it too); the sensor is\n"
      "                           placed at each pose and reported in every hemisphere\n"
      "      --rate HZ            packets a second of the simulator (default 500)\n"
      "      --simulator-address ADDR  where it listens (default 127.0.0.31)\n"
      "\n"
      "  fit PAIRS -o MODEL [--method lut|poly|rbf] [--folds K] [--seed N]\n"
      "      fits a correction of position and orientation to the pairs (CSV header\n"
      "      mx,my,mz,maz,mel,mro,tx,ty,tz,taz,tel,tro; further columns ignored) and\n"
      "      prints each method's K-fold cross-validated errors (default 5 folds):\n"
      "      lut (trilinear look-up table), poly (polynomial, degree chosen by\n"
      "      cross-validation), rbf (multiquadric radial basis functions). Without\n"
      "      --method, position and orientation each take the method with the\n"
      "      smallest RMS error.\n"
      "\n"
      "  check MODEL PAIRS [--plot PNG]\n"
      "      errors of the pairs before and after the correction; use pairs the fit\n"
      "      did not see. --plot draws error vectors in three slices and histograms\n"
      "      with %s\n"
      "\n"
      "Errors: position in inches, orientation in degrees (the angle of the\n"
      "rotation between measured and true orientation).\n"
      "Exit status: 0 done, 1 a file could not be read or written, a fit failed or\n"
      "a survey could not go on (device, readings), 2 usage error.\n",
      plotAvailable() ? "/usr/bin/python3 and matplotlib (python3-matplotlib)."
                      : "matplotlib: not in this build.");
}

}  // namespace

}  // namespace calibrate

int main(int argc, char** argv) {
  using namespace calibrate;
  if (argc < 2) return usageError("a command is needed: plan, collect, fit or check");
  const std::string command = argv[1];
  if (command == "-h" || command == "--help") {
    printUsage();
    return kExitDone;
  }
  const std::vector<std::string> words(argv + 2, argv + argc);
  try {
    if (command == "plan") return runPlan(words);
    if (command == "collect") return runCollect(words);
    if (command == "fit") return runFit(words);
    if (command == "check") return runCheck(words);
  } catch (const std::exception& e) {  // out of memory, most likely
    return failure(command + " failed: " + e.what());
  }
  return usageError("unknown command \"" + command + "\" (plan, collect, fit or check)");
}
