// Survey plans: the true poses at which to place the sensor.
#ifndef MOTIONSTAR_TOOLS_CALIBRATE_SURVEY_PLAN_H
#define MOTIONSTAR_TOOLS_CALIBRATE_SURVEY_PLAN_H

#include <array>
#include <cstdint>
#include <vector>

#include "calib/field/field_model.h"
#include "tools/calibrate/survey_table.h"

namespace calibrate {

// The orientation of every pose of a plan: one fixed set of angles, or
// random ones (azimuth and roll anywhere, elevation within +-60 degrees).
struct PlanAngles {
  bool random = false;
  Vec3 fixed{0, 0, 0};
};

// counts[a] evenly spaced positions along each axis of the box, corners
// included (a count of 1 takes the middle); x fastest, then y, then z.
std::vector<PoseRow> gridPlan(const field::Box& box, const std::array<int, 3>& counts,
                              const PlanAngles& angles, uint32_t seed);

// count positions spread over the box without gaps or clusters: the box is
// cut into at least count cells of about equal sides, count of them are
// picked at random and each gets one point placed at random inside it.
std::vector<PoseRow> scatteredPlan(const field::Box& box, int count, const PlanAngles& angles,
                                   uint32_t seed);

}  // namespace calibrate

#endif  // MOTIONSTAR_TOOLS_CALIBRATE_SURVEY_PLAN_H
