// Kernel principal component analysis by simultaneous power iteration.
//
// The centred kernel does not change while the power iteration runs, so each learning step
// builds it once as a dense matrix over the active examples (divided by n) and every iteration
// is one dense pass over it; only when that matrix would be very large is it evaluated from the
// stored kernel triangle on the fly.
#include <qel/learn/PcaAnalyzer.h>
#include <qel/model/DocumentNode.h>
#include <qel/model/FullResult.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <istream>
#include <limits>
#include <new>
#include <ostream>

#include "core/Throw.h"
#include "model/DocumentWalk.h"
#include "util/LittleEndian.h"

namespace Qel {

namespace {

// The dense centred kernel is built while it needs at most this many entries (512 MB).
constexpr std::size_t kMaxDenseEntries = std::size_t{1} << 26;
// Bounds that a stored state must respect; they keep a damaged stream from claiming memory.
constexpr std::uint64_t kMaxStoredDimension = 0xFFFF;
constexpr std::uint64_t kMaxStoredExamples = std::uint64_t{1} << 28;
// Doubles read per step from a stream whose size is unknown, so that memory grows only with
// the data actually present.
constexpr std::size_t kReadChunk = 8192;

// The starting vector's generator: a linear congruential generator of the analyser's own
// (values 0 .. 32767), so that learning never touches the process's rand() state and two runs
// start from the same vector.
class StartGenerator {
 public:
  explicit StartGenerator(std::uint32_t seed) : m_state(seed) {}
  std::uint32_t operator()() {
    m_state = m_state * 214013u + 2531011u;
    return (m_state >> 16) & 0x7FFFu;
  }

 private:
  std::uint32_t m_state;
};

// Relearn states whose Gram rows outnumber the active count (after a removal) are stored with
// this relearn value and the number of rows written; other states keep the plain layout.
constexpr std::uint32_t kRelearnWithHeldRows = 2;

double dotProduct(const double* a, const double* b, std::size_t size) {
  double sum = 0.0;
  for (std::size_t i = 0; i < size; ++i) sum += a[i] * b[i];
  return sum;
}

// ---- The kernel times the iterated vectors ----------------------------------------------------
// Each pass reads two kernel rows and up to four vectors and keeps the 2 x 4 sums in lanes of
// four (GCC vector extensions: two SSE2 registers each, one AVX register in the AVX2 build), so
// a kernel row is read once for all vectors instead of once per vector, and the sums no longer
// wait on one another. Both builds add in the same order and give the same bits.
// The helpers pass lanes by value; they are always inlined (also without optimisation), so the
// note that AVX changes how such values are passed between separately built functions does not
// apply.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"
using Lanes = double __attribute__((vector_size(32)));

__attribute__((always_inline)) inline Lanes loadLanes(const double* p) {
  Lanes v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

__attribute__((always_inline)) inline double sumLanes(Lanes v) {
  return (v[0] + v[1]) + (v[2] + v[3]);
}

// out[k][r] for rows r0 and r0 + 1 (only r0 when `two` is false) and vectors first to
// first + K.
template <int K>
__attribute__((always_inline)) inline void rowsTimesVectors(const double* kernel, std::size_t a,
                                                            std::size_t r0, bool two,
                                                            const double* const* vectors,
                                                            double* const* out) {
  const double* row0 = kernel + r0 * a;
  const double* row1 = two ? row0 + a : row0;
  Lanes sum0[K] = {};
  Lanes sum1[K] = {};
  std::size_t c = 0;
  for (; c + 4 <= a; c += 4) {
    const Lanes x0 = loadLanes(row0 + c);
    const Lanes x1 = loadLanes(row1 + c);
    for (int k = 0; k < K; ++k) {
      const Lanes y = loadLanes(vectors[k] + c);
      sum0[k] += x0 * y;
      sum1[k] += x1 * y;
    }
  }
  for (int k = 0; k < K; ++k) {
    double t0 = sumLanes(sum0[k]);
    double t1 = sumLanes(sum1[k]);
    for (std::size_t j = c; j < a; ++j) {
      t0 += row0[j] * vectors[k][j];
      t1 += row1[j] * vectors[k][j];
    }
    out[k][r0] = t0;
    if (two) out[k][r0 + 1] = t1;
  }
}

__attribute__((always_inline)) inline void kernelTimesVectorsBody(const double* kernel,
                                                                  std::size_t a,
                                                                  const double* const* vectors,
                                                                  double* const* out,
                                                                  std::size_t d) {
  for (std::size_t r = 0; r < a; r += 2) {
    const bool two = r + 1 < a;
    std::size_t k = 0;
    for (; k + 4 <= d; k += 4) rowsTimesVectors<4>(kernel, a, r, two, vectors + k, out + k);
    switch (d - k) {
      case 3:
        rowsTimesVectors<3>(kernel, a, r, two, vectors + k, out + k);
        break;
      case 2:
        rowsTimesVectors<2>(kernel, a, r, two, vectors + k, out + k);
        break;
      case 1:
        rowsTimesVectors<1>(kernel, a, r, two, vectors + k, out + k);
        break;
      default:
        break;
    }
  }
}

void kernelTimesVectorsDefault(const double* kernel, std::size_t a, const double* const* vectors,
                               double* const* out, std::size_t d) {
  kernelTimesVectorsBody(kernel, a, vectors, out, d);
}

#if defined(__x86_64__)
__attribute__((target("avx2"))) void kernelTimesVectorsAvx2(const double* kernel, std::size_t a,
                                                            const double* const* vectors,
                                                            double* const* out, std::size_t d) {
  kernelTimesVectorsBody(kernel, a, vectors, out, d);
}
#endif

#pragma GCC diagnostic pop

using KernelTimesVectors = void (*)(const double*, std::size_t, const double* const*,
                                    double* const*, std::size_t);

KernelTimesVectors pickKernelTimesVectors() {
#if defined(__x86_64__)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) return kernelTimesVectorsAvx2;
#endif
  return kernelTimesVectorsDefault;
}

const KernelTimesVectors kKernelTimesVectors = pickKernelTimesVectors();

// The stored state's fields, little-endian whatever the host. A failed stream is reported by
// the stream (writes) or by false (reads).
void writeU32(std::ostream& os, std::uint32_t value) { Detail::WriteLittleEndian(os, value); }
void writeF64(std::ostream& os, double value) { Detail::WriteLittleEndian(os, value); }
bool readU32(std::istream& is, std::uint32_t& value) { return Detail::ReadLittleEndian(is, value); }
bool readF64(std::istream& is, double& value) { return Detail::ReadLittleEndian(is, value); }

// Writes `count` values of `v`, zeros beyond its end.
void writeF64s(std::ostream& os, const std::vector<double>& v, std::uint64_t count) {
  for (std::uint64_t i = 0; i < count && os; ++i) writeF64(os, i < v.size() ? v[i] : 0.0);
}

// Reads `count` doubles into `out`, growing it chunk by chunk.
bool readF64s(std::istream& is, std::uint64_t count, std::vector<double>& out) {
  out.clear();
  while (count > 0) {
    const std::size_t step = static_cast<std::size_t>(std::min<std::uint64_t>(count, kReadChunk));
    const std::size_t old = out.size();
    out.resize(old + step);
    if (!Detail::ReadLittleEndian(is, out.data() + old, step)) return false;
    count -= step;
  }
  return true;
}

// The bytes left in `is` from its position, or -1 when the stream cannot tell.
std::int64_t remainingBytes(std::istream& is) {
  const std::istream::pos_type here = is.tellg();
  if (here == std::istream::pos_type(-1)) return -1;
  is.seekg(0, std::ios::end);
  const std::istream::pos_type end = is.tellg();
  is.seekg(here);
  if (end == std::istream::pos_type(-1) || !is) {
    is.clear();
    is.seekg(here);
    return -1;
  }
  return static_cast<std::int64_t>(end - here);
}

// a * b, or false when it overflows.
bool mulChecked(std::uint64_t a, std::uint64_t b, std::uint64_t& out) {
  return !__builtin_mul_overflow(a, b, &out);
}
bool addChecked(std::uint64_t a, std::uint64_t b, std::uint64_t& out) {
  return !__builtin_add_overflow(a, b, &out);
}

}  // namespace

Control* PcaAnalyzer::CreateController() { return new (std::nothrow) PcaControl(); }

void PcaAnalyzer::DoAlgorithm(Control* control) {
  PcaControl* ctl = dynamic_cast<PcaControl*>(control);
  if (ctl == nullptr) return;
  m_representationTag = ctl->GetRepresentationTag();
  try {
    if (ctl->GetDoExamples()) setExamples(ctl);
    if (ctl->GetDoLearn()) {
      m_dimension = ctl->GetDimension();
      m_maxIterations = ctl->GetMaxIterations();
      m_maxExamples = std::max(m_maxExamples, ctl->GetMaxExamples());
      m_epsilon = ctl->GetEpsilon();
      m_relearn = ctl->GetEnableRelearn();
      if (prepare()) learn();
    }
    if (ctl->GetDoInsert() && prepareInsert()) learn();
    if (ctl->GetDoRemove() && prepareRemove()) learn();
  } catch (const std::bad_alloc&) {
    Detail::ThrowOutOfMemory(u"[pca]");
  }
  if (ctl->GetDoProject()) {
    m_batch = ctl->GetDoBatch();
    m_resultTag = ctl->GetResultTag();
    project(ctl->GetSourceNode());
  }
}

void PcaAnalyzer::setExamples(PcaControl* ctl) {
  if (!ctl->m_examples.empty() && ctl->m_activity.size() == ctl->m_examples.size()) {
    m_examples = std::move(ctl->m_examples);
    m_activity = std::move(ctl->m_activity);
    ctl->m_examples.clear();
    ctl->m_activity.clear();
    // More examples than the capacity: the storage grows with them.
    if (m_examples.size() > m_maxExamples) {
      m_maxExamples = static_cast<std::uint32_t>(
          std::min<std::size_t>(m_examples.size(), std::numeric_limits<std::uint32_t>::max()));
    }
  }
  m_targetActivity = ctl->GetTargetActivity();
  m_n = 0;
  for (signed char a : m_activity) {
    if (a == m_targetActivity) ++m_n;
  }
}

void PcaAnalyzer::allocate() {
  // The storage always covers every held example (after a Load the stored capacity may be
  // smaller than the examples handed over since).
  if (m_examples.size() > m_maxExamples) {
    m_maxExamples = static_cast<std::uint32_t>(
        std::min<std::size_t>(m_examples.size(), std::numeric_limits<std::uint32_t>::max()));
  }
  const std::size_t d = static_cast<std::size_t>(m_dimension) + 1;
  m_rowSums.resize(m_maxExamples, 0.0);
  m_eigenValues.resize(d, 0.0);
  // Kernel rows are filled as examples come; only the rows of held examples exist.
  if (m_gram.size() < m_examples.size()) m_gram.resize(m_examples.size());
  m_eigenVectors.resize(d);
  for (std::vector<double>& v : m_eigenVectors) v.resize(m_maxExamples, 0.0);
}

void PcaAnalyzer::deallocate() {
  m_rowSums.clear();
  m_eigenValues.clear();
  m_gram.clear();
  m_eigenVectors.clear();
  m_centred.clear();
  m_centred.shrink_to_fit();
}

bool PcaAnalyzer::prepare() {
  deallocate();
  m_iterations = 0;
  allocate();
  const std::size_t count = m_examples.size();
  m_n = static_cast<std::uint32_t>(count);
  if (count < 4) return false;
  for (const Representation* e : m_examples) {
    if (e == nullptr) return false;
  }

  for (std::size_t i = 0; i < count; ++i) {
    m_gram[i].resize(i + 1);
    for (std::size_t j = 0; j <= i; ++j) m_gram[i][j] = m_examples[i]->dot(*m_examples[j]);
  }
  m_total = 0.0;
  for (std::size_t k = 0; k < count; ++k) {
    double sum = 0.0;
    for (std::size_t j = 0; j <= k; ++j) sum += m_gram[k][j];
    for (std::size_t i = k + 1; i < count; ++i) sum += m_gram[i][k];
    m_rowSums[k] = sum;
    m_total += sum;
  }

  StartGenerator random(764321);
  std::vector<double>& first = m_eigenVectors[0];
  double norm = 0.0;
  for (std::size_t i = 0; i < count; ++i) {
    first[i] = random() * (1.0 / 32768.0);
    norm += first[i] * first[i];
  }
  const double c = 1.0 / std::sqrt(norm);
  for (std::size_t i = 0; i < count; ++i) first[i] *= c;
  const double twoPi = 2.0 * 3.14159265358979323846;
  for (std::size_t k = 1; k < m_eigenVectors.size(); ++k) {
    std::vector<double>& v = m_eigenVectors[k];
    v[0] = c;
    for (std::size_t i = 1; i < count; ++i) {
      v[i] = c * std::cos(static_cast<double>(i) * static_cast<double>(k) * twoPi /
                          static_cast<double>(count));
    }
  }
  return true;
}

bool PcaAnalyzer::gramComplete() const {
  for (std::size_t i = 0; i < m_activity.size() && i < m_examples.size(); ++i) {
    if (m_activity[i] > 0 || m_activity[i] == -1) {
      if (i >= m_gram.size() || m_gram[i].size() < i + 1) return false;
    }
  }
  return true;
}

void PcaAnalyzer::buildCentredKernel() {
  const std::size_t a = m_active.size();
  m_centred.clear();
  if (a * a > kMaxDenseEntries) return;
  m_centred.resize(a * a);
  const double n = static_cast<double>(m_n);
  const double meanTotal = m_total / n;
  for (std::size_t r = 0; r < a; ++r) {
    const std::size_t i = m_active[r];
    for (std::size_t c = 0; c <= r; ++c) {
      const std::size_t j = m_active[c];
      double value = 0.0;
      if (m_activity[i] == m_activity[j]) {
        value = (gram(i, j) - (m_rowSums[i] + m_rowSums[j] - meanTotal) / n) / n;
      }
      m_centred[r * a + c] = value;
      m_centred[c * a + r] = value;
    }
  }
}

void PcaAnalyzer::gramTimesEigenVectors(Matrix& out) {
  // `out` and the eigenvectors are compact here: one entry per active example.
  const std::size_t a = m_active.size();
  const std::size_t d = out.size();
  if (!m_centred.empty()) {
    std::vector<const double*> vectors(d);
    std::vector<double*> results(d);
    for (std::size_t k = 0; k < d; ++k) {
      vectors[k] = m_work[k].data();
      results[k] = out[k].data();
    }
    kKernelTimesVectors(m_centred.data(), a, vectors.data(), results.data(), d);
    return;
  }
  const double n = static_cast<double>(m_n);
  const double meanTotal = m_total / n;
  for (std::size_t r = 0; r < a; ++r) {
    const std::size_t i = m_active[r];
    for (std::size_t k = 0; k < d; ++k) out[k][r] = 0.0;
    for (std::size_t c = 0; c < a; ++c) {
      const std::size_t j = m_active[c];
      if (m_activity[i] != m_activity[j]) continue;
      const double kc = gram(i, j) - (m_rowSums[i] + m_rowSums[j] - meanTotal) / n;
      for (std::size_t k = 0; k < d; ++k) out[k][r] += kc * m_work[k][c];
    }
    for (std::size_t k = 0; k < d; ++k) out[k][r] /= n;
  }
}

void PcaAnalyzer::learn() {
  m_iterations = 0;
  if (m_n == 0 || !gramComplete()) return;
  const std::size_t count = std::min(m_examples.size(), m_activity.size());
  m_active.clear();
  for (std::size_t i = 0; i < count; ++i) {
    if (m_activity[i] > 0 && i < m_rowSums.size()) m_active.push_back(i);
  }
  const std::size_t a = m_active.size();
  const std::size_t d = m_eigenVectors.size();
  if (a == 0 || d == 0) return;
  buildCentredKernel();

  // Step 1: the active entries of every vector, scaled to unit length.
  m_work.assign(d, std::vector<double>(a));
  for (std::size_t k = 0; k < d; ++k) {
    for (std::size_t r = 0; r < a; ++r) m_work[k][r] = m_eigenVectors[k][m_active[r]];
    const double norm2 = dotProduct(m_work[k].data(), m_work[k].data(), a);
    if (norm2 > 0.0) {
      const double scale = 1.0 / std::sqrt(norm2);
      for (double& x : m_work[k]) x *= scale;
    }
  }

  Matrix t(d, std::vector<double>(a));
  Matrix rr(d, std::vector<double>(d, 0.0));
  // A vector normalised from T at least once has zeros for every inactive example, since T
  // is zero there; one whose T always vanished keeps its inactive entries.
  std::vector<bool> normalised(d, false);
  for (;;) {
    gramTimesEigenVectors(t);
    double off = 0.0;
    double diag = 0.0;
    for (std::size_t k = 0; k < d; ++k) {
      for (std::size_t j = 0; j < k; ++j) {
        rr[k][j] = dotProduct(t[j].data(), t[k].data(), a);
        off += std::fabs(rr[k][j]);
      }
      rr[k][k] = dotProduct(t[k].data(), t[k].data(), a);
      diag += rr[k][k];
    }
    // A zero kernel has nothing left to converge.
    const double ratio = diag > 0.0 ? off / diag : 0.0;

    for (std::size_t k = 0; k + 1 < d; ++k) {
      if (!(std::fabs(rr[k][k]) > 1e-12)) continue;
      for (std::size_t m = k + 1; m < d; ++m) {
        const double f = rr[m][k] / rr[k][k];
        for (std::size_t r = 0; r < a; ++r) t[m][r] -= f * t[k][r];
      }
      for (std::size_t m = k + 1; m < d; ++m) {
        for (std::size_t c = k + 1; c <= m; ++c) {
          rr[m][c] = dotProduct(t[c].data(), t[m].data(), a);
        }
      }
    }

    for (std::size_t k = 0; k < d; ++k) {
      const double norm2 = dotProduct(t[k].data(), t[k].data(), a);
      if (norm2 >= 1e-12) {
        const double scale = 1.0 / std::sqrt(norm2);
        for (std::size_t r = 0; r < a; ++r) m_work[k][r] = t[k][r] * scale;
        normalised[k] = true;
      } else {
        std::fill(m_work[k].begin(), m_work[k].end(), 0.0);
      }
    }

    ++m_iterations;
    if (ratio < m_epsilon || m_iterations == m_maxIterations) break;
    // Kernel values that are not numbers never converge; stop instead of iterating forever.
    if (std::isnan(ratio)) break;
  }

  for (std::size_t k = 0; k < d; ++k) {
    m_eigenValues[k] = rr[k][k] > 1e-12 ? std::sqrt(rr[k][k]) : 0.0;
    if (normalised[k]) std::fill(m_eigenVectors[k].begin(), m_eigenVectors[k].end(), 0.0);
    for (std::size_t r = 0; r < a; ++r) m_eigenVectors[k][m_active[r]] = m_work[k][r];
    const double scale = m_eigenValues[k] > 1e-12
                             ? std::sqrt(std::sqrt(static_cast<double>(m_n)) / m_eigenValues[k])
                             : 0.0;
    std::vector<double>& v = m_eigenVectors[k];
    const std::size_t end = std::min(m_examples.size(), v.size());
    for (std::size_t i = 0; i < end; ++i) v[i] *= scale;
  }
  m_work.clear();
  m_centred.clear();
}

bool PcaAnalyzer::prepareInsert() {
  const std::size_t count = std::min(m_examples.size(), m_activity.size());
  if (!gramComplete()) return false;
  allocate();
  if (count == 0) {
    m_n = 0;
    return false;
  }
  for (std::size_t i = count; i-- > 0;) {
    if (m_examples[i] == nullptr || m_activity[i] != 0) continue;
    if (m_gram[i].size() < i + 1) m_gram[i].resize(i + 1, 0.0);
    for (std::size_t j = 0; j < count; ++j) {
      if (m_activity[j] < 0 || m_examples[j] == nullptr) continue;
      const double value = m_examples[i]->dot(*m_examples[j]);
      if (j <= i) {
        m_gram[i][j] = value;
      } else {
        if (m_gram[j].size() < j + 1) m_gram[j].resize(j + 1, 0.0);
        m_gram[j][i] = value;
      }
    }
  }
  bool changed = false;
  m_n = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (m_activity[i] >= 0) ++m_n;
    if (m_examples[i] == nullptr || m_activity[i] != 0) continue;
    double s = m_gram[i][i];
    for (std::size_t j = 0; j < count; ++j) {
      if (j == i || m_activity[j] <= 0) continue;
      const double g = gram(i, j);
      s += g;
      m_rowSums[j] += g;
    }
    m_rowSums[i] = s;
    m_total += 2.0 * s - m_gram[i][i];
    m_activity[i] = 1;
    changed = true;
  }
  return changed;
}

bool PcaAnalyzer::prepareRemove() {
  m_n = 0;
  const std::size_t count = std::min(m_examples.size(), m_activity.size());
  if (count == 0 || !gramComplete()) return false;
  allocate();
  bool changed = false;
  for (std::size_t i = 0; i < count; ++i) {
    if (m_activity[i] >= 0) ++m_n;
    if (m_activity[i] != -1) continue;
    double s = 0.0;
    for (std::size_t j = 0; j < count; ++j) {
      if (j == i || m_activity[j] <= 0) continue;
      const double g = gram(i, j);
      s += g;
      m_rowSums[j] -= g;
    }
    m_total -= 2.0 * s + m_gram[i][i];
    m_rowSums[i] = 0.0;
    changed = true;
  }
  return changed;
}

void PcaAnalyzer::project(Node* node) {
  if (m_n == 0 || m_eigenVectors.size() < m_dimension) return;
  DocumentNode* root = dynamic_cast<DocumentNode*>(node);
  if (root == nullptr) return;

  const std::size_t count = std::min({m_examples.size(), m_activity.size(), m_rowSums.size()});
  const double n = static_cast<double>(m_n);
  std::vector<double> k(count);
  std::vector<float> y(m_dimension);
  auto projectOne = [&](DocumentNode* d) {
    const Representation* x = d->GetRepresentation(m_representationTag);
    if (x == nullptr || !x->IsValid()) return;
    double sk = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
      k[i] = 0.0;
      if (m_activity[i] > 0 && m_examples[i] != nullptr) {
        k[i] = x->dot(*m_examples[i]);
        sk += k[i];
      }
    }
    for (std::uint32_t c = 0; c < m_dimension; ++c) {
      const std::vector<double>& e = m_eigenVectors[c];
      double sum = 0.0;
      for (std::size_t i = 0; i < count && i < e.size(); ++i) {
        if (m_activity[i] <= 0) continue;
        sum += (k[i] - (sk + m_rowSums[i] - m_total / n) / n) * e[i];
      }
      y[c] = static_cast<float>(sum / n);
    }
    FullResult* result = nullptr;
    try {
      result = FullResult::Create();
      result->SetResults(y);
    } catch (const std::bad_alloc&) {
      if (result != nullptr) result->Release();
      Detail::ThrowOutOfMemory(u"[978]");
    } catch (const BaseException&) {
      Detail::ThrowOutOfMemory(u"[978]");
    }
    result->SetTag(m_resultTag);
    if (Node* old = d->RemoveRepresentation(m_resultTag)) old->Release();
    d->AddRepresentation(result);
  };

  Detail::ForEachDocument(root, m_batch, projectOne);
}

bool PcaAnalyzer::Save(std::ostream* os) {
  if (os == nullptr || !*os) return false;
  const std::uint64_t d = static_cast<std::uint64_t>(m_dimension) + 1;
  const std::uint64_t m = m_maxExamples;
  // Every held Gram row is written, so that a reloaded analyser can still insert and remove.
  const std::uint32_t rows = static_cast<std::uint32_t>(
      std::min<std::size_t>(std::max<std::size_t>(m_n, m_gram.size()), m_maxExamples));
  const bool heldRows = m_relearn && rows > m_n;
  writeU32(*os, m_dimension);
  writeU32(*os, m_maxIterations);
  writeU32(*os, m_maxExamples);
  writeU32(*os, m_n);
  writeU32(*os, heldRows ? kRelearnWithHeldRows : m_relearn ? 1 : 0);
  writeF64(*os, m_total);
  writeF64(*os, m_epsilon);
  writeF64s(*os, m_rowSums, m);
  writeF64s(*os, m_eigenValues, d);
  static const std::vector<double> kNone;
  for (std::uint64_t k = 0; k < d && *os; ++k) {
    writeF64s(*os, k < m_eigenVectors.size() ? m_eigenVectors[k] : kNone, m);
  }
  if (heldRows) writeU32(*os, rows);
  if (m_relearn) {
    for (std::uint32_t i = 0; i < (heldRows ? rows : m_n) && *os; ++i) {
      writeF64s(*os, i < m_gram.size() ? m_gram[i] : kNone, std::uint64_t{i} + 1);
    }
  }
  return static_cast<bool>(*os);
}

bool PcaAnalyzer::Load(std::istream* is) {
  if (is == nullptr || !*is) return false;
  std::uint32_t dimension = 0, maxIterations = 0, maxExamples = 0, count = 0, relearnValue = 0;
  double total = 0.0, epsilon = 0.0;
  if (!readU32(*is, dimension) || !readU32(*is, maxIterations) || !readU32(*is, maxExamples) ||
      !readU32(*is, count) || !readU32(*is, relearnValue) || !readF64(*is, total) ||
      !readF64(*is, epsilon)) {
    return false;
  }
  const bool heldRows = relearnValue == kRelearnWithHeldRows;
  const bool relearn = relearnValue == 1 || heldRows;
  const std::uint64_t d = std::uint64_t{dimension} + 1;
  const std::uint64_t m = maxExamples;
  if (d > kMaxStoredDimension + 1 || m > kMaxStoredExamples || count > m) return false;

  // Everything the header announces must be there before anything is allocated.
  std::uint64_t needed = 0, vectors = 0, triangle = 0;
  if (!mulChecked(d, m, vectors) || !addChecked(m + d, vectors, needed)) return false;
  // The number of Gram rows comes after the vectors; the size check below covers it once read.
  std::uint32_t rows = count;
  if (relearn) {
    triangle = std::uint64_t{count} * (std::uint64_t{count} + 1) / 2;
    if (!addChecked(needed, triangle, needed)) return false;
  }
  std::uint64_t neededBytes = 0;
  if (!mulChecked(needed, sizeof(double), neededBytes)) return false;
  const std::int64_t available = remainingBytes(*is);
  if (available >= 0 && static_cast<std::uint64_t>(available) < neededBytes) return false;

  try {
    std::vector<double> rowSums, eigenValues;
    Matrix eigenVectors, gramRows;
    if (!readF64s(*is, m, rowSums) || !readF64s(*is, d, eigenValues)) return false;
    for (std::uint64_t k = 0; k < d; ++k) {
      std::vector<double> v;
      if (!readF64s(*is, m, v)) return false;
      eigenVectors.push_back(std::move(v));
    }
    if (heldRows) {
      if (!readU32(*is, rows) || rows <= count || rows > m) return false;
      const std::int64_t left = remainingBytes(*is);
      const std::uint64_t rowBytes = std::uint64_t{rows} * (std::uint64_t{rows} + 1) / 2 * 8;
      if (left >= 0 && static_cast<std::uint64_t>(left) < rowBytes) return false;
    }
    if (relearn) {
      for (std::uint32_t i = 0; i < rows; ++i) {
        std::vector<double> row;
        if (!readF64s(*is, std::uint64_t{i} + 1, row)) return false;
        gramRows.push_back(std::move(row));
      }
    }
    m_dimension = dimension;
    m_maxIterations = maxIterations;
    m_maxExamples = maxExamples;
    m_n = count;
    m_relearn = relearn;
    m_total = total;
    m_epsilon = epsilon;
    m_rowSums.swap(rowSums);
    m_eigenValues.swap(eigenValues);
    m_eigenVectors.swap(eigenVectors);
    m_gram.swap(gramRows);
    m_centred.clear();
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace Qel
