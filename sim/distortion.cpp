#include "sim/distortion.h"

#include <cmath>
#include <random>

namespace sim {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDegToRad = kPi / 180.0;
constexpr double kReferenceDistance = 5.0;  // feet: where the global field has its nominal size
constexpr double kReach = 1.5;              // feet: where a metal source's moment is its error
constexpr double kCore = 0.5;               // feet: about the metal's own size

using Matrix3 = std::array<Vec3, 3>;

// Uniform numbers from the raw engine output: the standard distributions may
// differ between libraries, and a seed must give the same room everywhere.
class Uniform {
 public:
  explicit Uniform(uint32_t seed) : engine_(seed) {}
  double operator()(double low, double high) {
    return low + (high - low) * (static_cast<double>(engine_()) / 4294967296.0);
  }
  Vec3 vector(double half) {
    return {(*this)(-half, half), (*this)(-half, half), (*this)(-half, half)};
  }
  // A vector of the given length in a random direction.
  Vec3 direction(double length) {
    for (;;) {
      const Vec3 v = vector(1.0);
      const double norm = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
      if (norm > 0.1 && norm <= 1.0) {
        return {length * v[0] / norm, length * v[1] / norm, length * v[2] / norm};
      }
    }
  }

 private:
  std::mt19937 engine_;
};

double dot(const Vec3& a, const Vec3& b) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// The pattern of a dipole's field at offset q from it, 3 (m.q) q / |q|^2 - m,
// falling off as (reach / |q|)^3: moment m is the size of the error at the
// distance reach. The core softens |q| so the field stays finite.
Vec3 dipole(const Vec3& moment, const Vec3& q, double reach, double core) {
  const double rho2 = dot(q, q) + core * core;
  const double scale = reach * reach * reach / (rho2 * std::sqrt(rho2));
  const double along = 3.0 * dot(moment, q) / rho2;
  return {scale * (along * q[0] - moment[0]), scale * (along * q[1] - moment[1]),
          scale * (along * q[2] - moment[2])};
}

// M = Ry(azimuth) Rx(elevation) Rz(roll), column-vector form.
Matrix3 orientation(double azimuth, double elevation, double roll) {
  const double sA = std::sin(azimuth * kDegToRad), cA = std::cos(azimuth * kDegToRad);
  const double sE = std::sin(elevation * kDegToRad), cE = std::cos(elevation * kDegToRad);
  const double sR = std::sin(roll * kDegToRad), cR = std::cos(roll * kDegToRad);
  return {{{cA * cR + sA * sE * sR, sA * sE * cR - cA * sR, sA * cE},
           {cE * sR, cE * cR, -sE},
           {cA * sE * sR - sA * cR, sA * sR + cA * sE * cR, cA * cE}}};
}

// Rodrigues: the rotation by |v| radians about v.
Matrix3 rotationMatrix(const Vec3& v) {
  const double angle = std::sqrt(dot(v, v));
  if (angle == 0.0) return {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
  const Vec3 k{v[0] / angle, v[1] / angle, v[2] / angle};
  const double s = std::sin(angle), u = 1.0 - std::cos(angle);
  return {{{1 - u * (k[1] * k[1] + k[2] * k[2]), u * k[0] * k[1] - s * k[2],
            u * k[0] * k[2] + s * k[1]},
           {u * k[0] * k[1] + s * k[2], 1 - u * (k[0] * k[0] + k[2] * k[2]),
            u * k[1] * k[2] - s * k[0]},
           {u * k[0] * k[2] - s * k[1], u * k[1] * k[2] + s * k[0],
            1 - u * (k[0] * k[0] + k[1] * k[1])}}};
}

Matrix3 multiply(const Matrix3& a, const Matrix3& b) {
  Matrix3 c{};
  for (int r = 0; r < 3; ++r) {
    for (int col = 0; col < 3; ++col) {
      c[r][col] = a[r][0] * b[0][col] + a[r][1] * b[1][col] + a[r][2] * b[2][col];
    }
  }
  return c;
}

// The angles of M, elevation within -90 .. 90. Straight up or down only the
// difference (or sum) of azimuth and roll is defined; roll is taken as 0.
void anglesOf(const Matrix3& m, Pose& pose) {
  const double cosElevation = std::sqrt(m[1][0] * m[1][0] + m[1][1] * m[1][1]);
  pose.elevation = std::atan2(-m[1][2], cosElevation) / kDegToRad;
  if (cosElevation > 1e-9) {
    pose.azimuth = std::atan2(m[0][2], m[2][2]) / kDegToRad;
    pose.roll = std::atan2(m[1][0], m[1][1]) / kDegToRad;
  } else {
    const double sign = m[1][2] < 0 ? 1.0 : -1.0;  // elevation +90 or -90
    pose.azimuth = std::atan2(sign * m[0][1], m[0][0]) / kDegToRad;
    pose.roll = 0.0;
  }
}

}  // namespace

FieldDistortion::FieldDistortion(uint32_t seed, double strength) : strength_(strength) {
  Uniform uniform(seed);
  // Sizes chosen so that, at 5 ft, positions move about 3 in and orientations
  // turn about 2 degrees on average, as measured rooms show.
  const auto makeGlobal = [&uniform](double linear, double wave) {
    GlobalField field{};
    for (auto& row : field.linear) row = uniform.vector(linear);
    for (int i = 0; i < 3; ++i) {
      // Wavelengths of 8 to 14 ft: smooth over a CAVE.
      const double length = uniform(8.0, 14.0);
      Wave w{};
      w.wavenumber = uniform.direction(2 * kPi / length);
      w.phase = uniform(0.0, 2 * kPi);
      w.amplitude = uniform.vector(wave);
      field.waves.push_back(w);
    }
    return field;
  };
  shift_ = makeGlobal(0.2, 0.1);
  twist_ = makeGlobal(1.6, 0.8);

  // A steel beam under the floor, and a projector behind one of the walls:
  // an inch or two and a degree or so at 1.5 ft from them, gone within a
  // few feet.
  const double beamX = uniform(-3.0, 3.0), beamZ = uniform(-3.0, 3.0);
  sources_.push_back({{beamX, uniform(-4.75, -4.25), beamZ},
                      uniform.direction(0.1),
                      uniform.direction(1.5),
                      kReach,
                      kCore});
  const double across = uniform(-3.0, 3.0), beyond = uniform(5.25, 5.75),
               height = uniform(-1.0, 2.0);
  const int wall = static_cast<int>(uniform(0.0, 4.0));  // +x, -x, +z, -z
  const double side = wall % 2 == 0 ? beyond : -beyond;
  const Vec3 projector = wall < 2 ? Vec3{side, height, across} : Vec3{across, height, side};
  sources_.push_back({projector, uniform.direction(0.08), uniform.direction(1.2), kReach, kCore});
}

Vec3 FieldDistortion::evaluate(const GlobalField& field, const Vec3& p) {
  const double growth = dot(p, p) / (kReferenceDistance * kReferenceDistance);
  Vec3 out{};
  for (int k = 0; k < 3; ++k) out[k] = dot(field.linear[k], p) / kReferenceDistance;
  for (const Wave& w : field.waves) {
    const double s = std::sin(dot(w.wavenumber, p) + w.phase);
    for (int k = 0; k < 3; ++k) out[k] += w.amplitude[k] * s;
  }
  for (double& v : out) v *= growth;
  return out;
}

Vec3 FieldDistortion::total(const GlobalField& global, Vec3 MetalSource::*moment, const Vec3& p,
                            double scale) const {
  Vec3 out = evaluate(global, p);
  for (const MetalSource& source : sources_) {
    const Vec3 q{p[0] - source.centre[0], p[1] - source.centre[1], p[2] - source.centre[2]};
    const Vec3 d = dipole(source.*moment, q, source.reach, source.core);
    for (int k = 0; k < 3; ++k) out[k] += d[k];
  }
  for (double& v : out) v *= strength_ * scale;
  return out;
}

Vec3 FieldDistortion::displacement(const Vec3& p) const {
  return total(shift_, &MetalSource::shift, p, 1.0);
}

Vec3 FieldDistortion::rotation(const Vec3& p) const {
  return total(twist_, &MetalSource::twist, p, kDegToRad);
}

Pose FieldDistortion::measure(const Pose& truePose) const {
  Pose measured{};
  const Vec3 shift = displacement(truePose.position);
  for (int k = 0; k < 3; ++k) measured.position[k] = truePose.position[k] + shift[k];
  // The room turns the field in the transmitter's frame: the error rotation
  // applies on the left of the sensor's orientation.
  const Matrix3 turned = multiply(rotationMatrix(rotation(truePose.position)),
                                  orientation(truePose.azimuth, truePose.elevation, truePose.roll));
  anglesOf(turned, measured);
  return measured;
}

}  // namespace sim
