// Representations for the learning tests: a point in the plane whose dot is a Gaussian kernel,
// and a document tree helper.
#pragma once

#include <qel/core/Node.h>
#include <qel/model/DocumentNode.h>
#include <qel/model/Representation.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace Qel::Testing {

// A vector whose dot with another is exp(-|a - b|^2 / 2) (full-rank kernel) or, with
// `linear`, the plain scalar product. A node, so it can hang on a document.
class PointRep : public Node, public Representation {
 public:
  static PointRep* Create(std::vector<double> x, bool linear = false,
                          const RepTag& tag = Representation::DefaultTag) {
    PointRep* p = new PointRep(std::move(x), linear, tag);
    p->AddRefCount();
    return p;
  }
  double dot(const Representation& other) const override {
    const PointRep& o = static_cast<const PointRep&>(other);
    double s = 0.0;
    if (m_linear) {
      for (std::size_t i = 0; i < m_x.size(); ++i) s += m_x[i] * o.m_x[i];
      return s;
    }
    for (std::size_t i = 0; i < m_x.size(); ++i) s += (m_x[i] - o.m_x[i]) * (m_x[i] - o.m_x[i]);
    return std::exp(-s / 2.0);
  }
  bool IsValid() const override { return true; }
  const std::vector<double>& Values() const { return m_x; }

 private:
  PointRep(std::vector<double> x, bool linear, const RepTag& tag)
      : Representation(tag), m_x(std::move(x)), m_linear(linear) {}
  std::vector<double> m_x;
  bool m_linear;
};

// Eigenvalues and eigenvectors of a dense symmetric matrix by cyclic Jacobi rotations.
// Returns the eigenvalues in descending order; vectors[k] is the unit eigenvector of value k.
inline std::vector<double> JacobiEigen(std::vector<std::vector<double>> a,
                                       std::vector<std::vector<double>>& vectors) {
  const std::size_t n = a.size();
  std::vector<std::vector<double>> v(n, std::vector<double>(n, 0.0));
  for (std::size_t i = 0; i < n; ++i) v[i][i] = 1.0;
  for (int sweep = 0; sweep < 100; ++sweep) {
    double off = 0.0;
    for (std::size_t p = 0; p < n; ++p)
      for (std::size_t q = p + 1; q < n; ++q) off += a[p][q] * a[p][q];
    if (off < 1e-30) break;
    for (std::size_t p = 0; p < n; ++p) {
      for (std::size_t q = p + 1; q < n; ++q) {
        if (std::fabs(a[p][q]) < 1e-300) continue;
        const double theta = (a[q][q] - a[p][p]) / (2.0 * a[p][q]);
        const double t =
            (theta >= 0 ? 1.0 : -1.0) / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
        const double c = 1.0 / std::sqrt(t * t + 1.0);
        const double s = t * c;
        for (std::size_t k = 0; k < n; ++k) {
          const double akp = a[k][p], akq = a[k][q];
          a[k][p] = c * akp - s * akq;
          a[k][q] = s * akp + c * akq;
        }
        for (std::size_t k = 0; k < n; ++k) {
          const double apk = a[p][k], aqk = a[q][k];
          a[p][k] = c * apk - s * aqk;
          a[q][k] = s * apk + c * aqk;
        }
        for (std::size_t k = 0; k < n; ++k) {
          const double vkp = v[k][p], vkq = v[k][q];
          v[k][p] = c * vkp - s * vkq;
          v[k][q] = s * vkp + c * vkq;
        }
      }
    }
  }
  std::vector<std::size_t> order(n);
  for (std::size_t i = 0; i < n; ++i) order[i] = i;
  std::sort(order.begin(), order.end(),
            [&](std::size_t x, std::size_t y) { return a[x][x] > a[y][y]; });
  std::vector<double> values;
  vectors.assign(n, std::vector<double>(n));
  for (std::size_t k = 0; k < n; ++k) {
    values.push_back(a[order[k]][order[k]]);
    for (std::size_t i = 0; i < n; ++i) vectors[k][i] = v[i][order[k]];
  }
  return values;
}

// Row-major n x n product.
inline std::vector<double> MatMul(const std::vector<double>& a, const std::vector<double>& b,
                                  std::size_t n) {
  std::vector<double> c(n * n, 0.0);
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t l = 0; l < n; ++l)
      for (std::size_t j = 0; j < n; ++j) c[i * n + j] += a[i * n + l] * b[l * n + j];
  return c;
}

// The centred kernel H K H / n of `examples` (H = I - 11'/n), built by matrix products.
inline std::vector<std::vector<double>> CentredKernelOverN(
    const std::vector<Representation*>& examples) {
  const std::size_t n = examples.size();
  std::vector<double> k(n * n), h(n * n, -1.0 / static_cast<double>(n));
  for (std::size_t i = 0; i < n; ++i) {
    h[i * n + i] += 1.0;
    for (std::size_t j = 0; j < n; ++j) k[i * n + j] = examples[i]->dot(*examples[j]);
  }
  const std::vector<double> c = MatMul(MatMul(h, k, n), h, n);
  std::vector<std::vector<double>> out(n, std::vector<double>(n));
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < n; ++j) out[i][j] = c[i * n + j] / static_cast<double>(n);
  return out;
}

}  // namespace Qel::Testing
