// A text model's class node and class model.
#include <qel/kit/ClassModel.h>
#include <qel/kit/TermVector.h>

#include <algorithm>
#include <new>
#include <typeinfo>

#include "core/Throw.h"

namespace Qel {

ClassModel::ClassModel(std::uint32_t classId, std::u16string label,
                       std::shared_ptr<const float[]> table, std::size_t rows, std::size_t stride,
                       std::size_t column, double prior, double minimum, double maximum)
    : DocumentNode(classId, nullptr),
      Representation(DEFAULT_TAG),
      m_label(std::move(label)),
      m_table(std::move(table)),
      m_features(rows),
      m_stride(stride),
      m_column(column),
      m_prior(prior),
      m_minimum(minimum),
      m_maximum(maximum) {}

ClassModel* ClassModel::Create(std::uint32_t classId, std::u16string label,
                               std::shared_ptr<const float[]> table, std::size_t rows,
                               std::size_t stride, std::size_t column, double prior, double minimum,
                               double maximum) {
  if ((table == nullptr && rows != 0) || stride < 2 || column + 1 >= stride) {
    Detail::ThrowInvalidArgument(u"ClassModel table");
  }
  ClassModel* m = new (std::nothrow) ClassModel(classId, std::move(label), std::move(table), rows,
                                                stride, column, prior, minimum, maximum);
  if (m == nullptr) Detail::ThrowOutOfMemory(u"[ClassModel]");
  m->AddRefCount();
  return m;
}

double ClassModel::dot(const Representation& other) const {
  // TermVector is final: comparing the dynamic type is exact and cheaper than a cross cast.
  if (typeid(other) != typeid(TermVector)) return m_minimum;
  const std::vector<TermEntry>& entries = static_cast<const TermVector&>(other).GetEntries();
  const float* rows = m_table.get();
  const std::size_t weight = m_stride - 1;
  double sum = 0.0;
  double total = 0.0;
  for (const TermEntry& e : entries) {
    if (e.id >= m_features) continue;
    const float* row = rows + static_cast<std::size_t>(e.id) * m_stride;
    const double w = static_cast<double>(e.weight) * row[weight];
    sum += w * row[m_column];
    total += w;
  }
  if (!(total > 0.0)) return m_minimum;
  const double score = (m_prior + sum) / std::max(total, 1.0);
  return std::clamp(score, m_minimum, m_maximum);
}

}  // namespace Qel
