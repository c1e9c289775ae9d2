// A text model's class node and class model.
#include <qel/kit/ClassModel.h>
#include <qel/kit/TermVector.h>

#include <algorithm>
#include <new>
#include <typeinfo>

#include "core/Throw.h"

namespace Qel {

ClassModel::ClassModel(std::uint32_t classId, std::u16string label,
                       std::shared_ptr<const std::vector<float>> featureScores,
                       std::shared_ptr<const std::vector<float>> featureWeights, double prior,
                       double minimum, double maximum)
    : DocumentNode(classId, nullptr),
      Representation(DEFAULT_TAG),
      m_label(std::move(label)),
      m_scores(std::move(featureScores)),
      m_weights(std::move(featureWeights)),
      m_prior(prior),
      m_minimum(minimum),
      m_maximum(maximum) {}

ClassModel* ClassModel::Create(std::uint32_t classId, std::u16string label,
                               std::shared_ptr<const std::vector<float>> featureScores,
                               std::shared_ptr<const std::vector<float>> featureWeights,
                               double prior, double minimum, double maximum) {
  if (featureScores == nullptr || featureWeights == nullptr ||
      featureScores->size() != featureWeights->size()) {
    Detail::ThrowInvalidArgument(u"ClassModel tables");
  }
  ClassModel* m = new (std::nothrow) ClassModel(classId, std::move(label), std::move(featureScores),
                                                std::move(featureWeights), prior, minimum, maximum);
  if (m == nullptr) Detail::ThrowOutOfMemory(u"[ClassModel]");
  m->AddRefCount();
  return m;
}

double ClassModel::dot(const Representation& other) const {
  // TermVector is final: comparing the dynamic type is exact and cheaper than a cross cast.
  if (typeid(other) != typeid(TermVector)) return m_minimum;
  const std::vector<TermEntry>& entries = static_cast<const TermVector&>(other).GetEntries();
  const float* scores = m_scores->data();
  const float* weights = m_weights->data();
  const std::size_t size = m_scores->size();
  double sum = 0.0;
  double total = 0.0;
  for (const TermEntry& e : entries) {
    if (e.id >= size) continue;
    const double w = static_cast<double>(e.weight) * weights[e.id];
    sum += w * scores[e.id];
    total += w;
  }
  if (!(total > 0.0)) return m_minimum;
  const double score = (m_prior + sum) / std::max(total, 1.0);
  return std::clamp(score, m_minimum, m_maximum);
}

}  // namespace Qel
