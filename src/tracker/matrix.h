// 4 x 4 single-precision matrices of the tracker transforms and their
// builders. Positions are row vectors (p * M), so a combined matrix keeps its
// translation in row 3.
#ifndef MOTIONSTAR_TRACKER_MATRIX_H
#define MOTIONSTAR_TRACKER_MATRIX_H

#include "motionstar/pose.h"

// Row-major: m[r][c] is value number 4r + c.
struct Matrix4 {
  float m[4][4];
};

// Degrees to radians and back, in single precision.
constexpr float kDegToRad = 0.01745329f;
constexpr float kRadToDeg = 57.2957764f;

Matrix4 zeroMatrix();
Matrix4 identityMatrix();
// Zero everywhere except [0][3], [1][3], [2][3]; the diagonal stays zero too.
Matrix4 translationMatrix(float x, float y, float z);
// Turns a row vector by +angle (degrees) about the axis, right-hand rule.
// A zero axis gives the identity in rows 0-2; row 3 and column 3 are zero.
Matrix4 axisAngleMatrix(float ax, float ay, float az, float angle);
// [r][c] = e[3r + c] for r, c in 0-2; everything else zero.
Matrix4 rowMatrix3(const float e[9]);
// Rows 0-2 of the rotation; row 3 = the offset's translation column and 1.
Matrix4 combineTransform(const Matrix4& rotation, const Matrix4& offset);

// M(A, E, R) = Ry(A) * Rx(E) * Rz(R) (column-vector form) from the sines and
// cosines of azimuth, elevation and roll. Inline: it runs twice per pose.
inline void orientationMatrix(float sA, float cA, float sE, float cE, float sR, float cR,
                              float out[3][3]) {
  out[0][0] = cA * cR + sA * sE * sR;
  out[0][1] = sA * sE * cR - cA * sR;
  out[0][2] = sA * cE;
  out[1][0] = cE * sR;
  out[1][1] = cE * cR;
  out[1][2] = -sE;
  out[2][0] = cA * sE * sR - sA * cR;
  out[2][1] = sA * sR + cA * sE * cR;
  out[2][2] = cA * cE;
}

// Replaces the pose's angles by those of S3 * M^T * T3, where M is the
// orientation of the incoming angles and S3, T3 the rotation parts of the
// sensor and transmitter matrices.
void transformAngles(TraPose& pose, const Matrix4& transmitter, const Matrix4& sensor);

#endif  // MOTIONSTAR_TRACKER_MATRIX_H
