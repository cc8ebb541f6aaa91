#include "tools/calibrate/linear_algebra.h"

#include <algorithm>

#include <Eigen/Dense>
#include <Eigen/Sparse>
#include <Eigen/SparseCholesky>

namespace calibrate {

namespace {

using RowMajor = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;

Eigen::Map<const RowMajor> view(const Matrix& m) {
  return Eigen::Map<const RowMajor>(m.values.data(), static_cast<Eigen::Index>(m.rows),
                                    static_cast<Eigen::Index>(m.cols));
}

Matrix fromEigen(const RowMajor& m) {
  Matrix result(static_cast<size_t>(m.rows()), static_cast<size_t>(m.cols()));
  Eigen::Map<RowMajor>(result.values.data(), m.rows(), m.cols()) = m;
  return result;
}

// rows 0: as many as the entries need.
Eigen::SparseMatrix<double> sparse(size_t rows, size_t cols,
                                   const std::vector<SparseEntry>& entries) {
  std::vector<Eigen::Triplet<double>> triplets;
  triplets.reserve(entries.size());
  for (const SparseEntry& e : entries) {
    rows = std::max(rows, e.row + 1);
    triplets.emplace_back(static_cast<Eigen::Index>(e.row), static_cast<Eigen::Index>(e.col),
                          e.value);
  }
  Eigen::SparseMatrix<double> m(static_cast<Eigen::Index>(rows), static_cast<Eigen::Index>(cols));
  m.setFromTriplets(triplets.begin(), triplets.end());
  return m;
}

}  // namespace

Matrix leastSquares(const Matrix& a, const Matrix& b) {
  const RowMajor x = view(a).completeOrthogonalDecomposition().solve(view(b));
  return fromEigen(x);
}

bool solveSquare(const Matrix& a, const Matrix& b, Matrix* x) {
  const Eigen::PartialPivLU<RowMajor> lu(view(a));
  if (!(lu.rcond() > 1e-15)) return false;
  const RowMajor solution = lu.solve(view(b));
  if (!solution.allFinite()) return false;
  *x = fromEigen(solution);
  return true;
}

bool regularisedLeastSquares(size_t unknowns, const std::vector<SparseEntry>& a, const Matrix& b,
                             const std::vector<SparseEntry>& l, double weight, Matrix* x) {
  const Eigen::SparseMatrix<double> sa = sparse(b.rows, unknowns, a);
  const Eigen::SparseMatrix<double> sl = sparse(0, unknowns, l);
  if (static_cast<size_t>(sa.rows()) != b.rows) return false;
  const Eigen::SparseMatrix<double> normal =
      Eigen::SparseMatrix<double>(sa.transpose() * sa) +
      weight * Eigen::SparseMatrix<double>(sl.transpose() * sl);
  Eigen::SimplicialLDLT<Eigen::SparseMatrix<double>> solver(normal);
  if (solver.info() != Eigen::Success) return false;
  const RowMajor rhs = sa.transpose() * view(b);
  const RowMajor solution = solver.solve(rhs);
  if (solver.info() != Eigen::Success || !solution.allFinite()) return false;
  *x = fromEigen(solution);
  return true;
}

}  // namespace calibrate
