// The linear algebra of the fits, done by Eigen: this file's source is the
// only one that includes it. Matrices are plain row-major arrays here.
#ifndef MOTIONSTAR_TOOLS_CALIBRATE_LINEAR_ALGEBRA_H
#define MOTIONSTAR_TOOLS_CALIBRATE_LINEAR_ALGEBRA_H

#include <cstddef>
#include <vector>

namespace calibrate {

struct Matrix {
  Matrix(size_t rowCount, size_t columnCount)
      : rows(rowCount), cols(columnCount), values(rowCount * columnCount, 0.0) {}
  double& operator()(size_t r, size_t c) { return values[r * cols + c]; }
  double operator()(size_t r, size_t c) const { return values[r * cols + c]; }

  size_t rows;
  size_t cols;
  std::vector<double> values;
};

struct SparseEntry {
  size_t row;
  size_t col;
  double value;
};

// X minimising |A X - B| column by column; of several such X the smallest
// (complete orthogonal decomposition, so a rank-deficient A is fine).
Matrix leastSquares(const Matrix& a, const Matrix& b);

// X with A X = B for a square A (LU with partial pivoting). False when A is
// singular or too badly conditioned to trust the result.
bool solveSquare(const Matrix& a, const Matrix& b, Matrix* x);

// X (unknowns x B.cols) minimising |A X - B|^2 + weight |L X|^2, with A
// (B.rows rows) and L sparse, given by their entries. Solved on the normal equations by a sparse
// Cholesky (LDL^T) factorisation; false when they are not positive definite.
bool regularisedLeastSquares(size_t unknowns, const std::vector<SparseEntry>& a, const Matrix& b,
                             const std::vector<SparseEntry>& l, double weight, Matrix* x);

}  // namespace calibrate

#endif  // MOTIONSTAR_TOOLS_CALIBRATE_LINEAR_ALGEBRA_H
