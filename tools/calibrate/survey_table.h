// Survey files as CSV: a header line naming the columns, one pose (plan) or
// one pair of poses (pairs) a line, lines starting with # ignored. Feet and
// degrees (azimuth, elevation, roll as the tracker transforms use them), in
// the transmitter's frame.
//
//   plan:  x,y,z,az,el,roll                          true poses to survey
//   pairs: mx,my,mz,maz,mel,mro,tx,ty,tz,taz,tel,tro  measured, then true
//
// Further columns after these (the spread of the readings, say) are allowed
// and ignored.
#ifndef MOTIONSTAR_TOOLS_CALIBRATE_SURVEY_TABLE_H
#define MOTIONSTAR_TOOLS_CALIBRATE_SURVEY_TABLE_H

#include <iosfwd>
#include <string>
#include <vector>

#include "calib/field/rotation.h"

namespace calibrate {

using field::Vec3;

struct PoseRow {
  Vec3 position;  // feet
  Vec3 angles;    // azimuth, elevation, roll in degrees
};

struct SurveyPair {
  PoseRow measured;
  PoseRow truth;
};

// Reads the pairs in path. On failure *error names the file and, for a bad
// line, its number ("pairs.csv:12: ...").
bool readPairs(const std::string& path, std::vector<SurveyPair>* pairs, std::string* error);
void writePairs(std::ostream& out, const std::vector<SurveyPair>& pairs);
// The same a line at a time, with further columns after the twelve.
void writePairsHeader(std::ostream& out, const std::vector<std::string>& furtherColumns = {});
void writePairRow(std::ostream& out, const SurveyPair& pair,
                  const std::vector<double>& further = {});
// Reads a plan's true poses, with errors as readPairs gives them.
bool readPlan(const std::string& path, std::vector<PoseRow>* poses, std::string* error);
void writePlan(std::ostream& out, const std::vector<PoseRow>& poses);

// The CSV reader under both: the header's first names must be columns, in
// this order; every data line then holds at least that many fields, and the
// first columns.size() of them are finite numbers.
bool readCsvTable(std::istream& in, const std::string& path,
                  const std::vector<std::string>& columns, std::vector<std::vector<double>>* rows,
                  std::string* error);

}  // namespace calibrate

#endif  // MOTIONSTAR_TOOLS_CALIBRATE_SURVEY_TABLE_H
