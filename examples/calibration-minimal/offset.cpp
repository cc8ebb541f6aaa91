// calib_offset: moves every tracker position by a fixed offset, the three
// library arguments of the calibration option (x y z in feet; missing ones
// are 0). The handle holds the offset, so devices sharing the library each
// keep their own.
#include <cstdio>
#include <cstdlib>

#include "motionstar/calibration.h"

struct Offset {
  float x, y, z;
};

void* calib_init(char** args, int32_t count) {
  float values[3] = {0, 0, 0};
  for (int32_t i = 0; i < count && i < 3; ++i) values[i] = std::strtof(args[i], nullptr);
  if (count > 3) std::fprintf(stderr, "calib_offset: arguments after the third ignored\n");
  return new Offset{values[0], values[1], values[2]};
}

int32_t calib_evaluate(void* handle, TraPose* pose) {
  const auto* offset = static_cast<const Offset*>(handle);
  pose->x += offset->x;
  pose->y += offset->y;
  pose->z += offset->z;
  return 1;
}

int32_t calib_exit(void* handle) {
  delete static_cast<Offset*>(handle);
  return 1;
}
