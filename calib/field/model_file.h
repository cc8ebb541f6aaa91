// The model file of the field correction: plain text, one item a line,
// numbers in C notation, lengths in feet and rotations in radians.
//
//   motionstar-field-model 1          format name and version, first line
//   volume XMIN YMIN ZMIN XMAX YMAX ZMAX
//                                     measured positions the survey covered;
//                                     each MAX above its MIN
//   position METHOD                   offset added to the measured position
//   ...payload of METHOD...
//   orientation METHOD                rotation vector (axis times angle) that
//   ...payload of METHOD...           turns the measured orientation into the
//                                     true one, in the transmitter's frame
//   end
//
// Each field is a function of the position u normalised to -1 .. 1 across
// the volume (u = (p - centre) / half-size, clamped). Payloads:
//
//   lut:  "counts NX NY NZ" (each 2 .. 64), then NX*NY*NZ lines of three
//         values, one per grid node, x fastest, then y, then z; nodes span
//         -1 .. 1 evenly; trilinear interpolation between them.
//   poly: "terms T", then T lines "I J K C0 C1 C2": the value is the sum of
//         (C0, C1, C2) * ux^I uy^J uz^K (exponents 0 .. 12).
//   rbf:  "shape C centres N" (C > 0, N 1 .. 20000), then N lines
//         "UX UY UZ W0 W1 W2", then "tail" and four lines of three values
//         A0, A1, A2, A3: the value is A0 + A1 ux + A2 uy + A3 uz plus the
//         sum of W * sqrt(|u - centre|^2 + C^2) over the centres.
//
// Blank lines and lines starting with # are ignored anywhere.
#ifndef MOTIONSTAR_CALIB_FIELD_MODEL_FILE_H
#define MOTIONSTAR_CALIB_FIELD_MODEL_FILE_H

#include <iosfwd>
#include <string>

#include "calib/field/field_model.h"

namespace field {

constexpr int kModelVersion = 1;

// Reads the model in path. On failure *error says why, with the line number
// where one applies ("model.txt:7: ..."), and *model is left as it was.
bool readModel(const std::string& path, FieldModel* model, std::string* error);

// Writes the model with a comment head that names the survey and the fit.
void writeModel(std::ostream& out, const FieldModel& model, const std::string& comment);

}  // namespace field

#endif  // MOTIONSTAR_CALIB_FIELD_MODEL_FILE_H
