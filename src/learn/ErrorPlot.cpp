// The error plot and the visitor that fills one plot per class.
#include <qel/learn/ErrorPlot.h>
#include <qel/learn/ErrorPlotVisitor.h>
#include <qel/model/DocumentNode.h>
#include <qel/model/Result.h>

#include <new>

#include "core/Throw.h"

namespace Qel {

ErrorPlot* ErrorPlot::Create(unsigned int classId) {
  ErrorPlot* plot = nullptr;
  try {
    plot = new ErrorPlot(classId);
  } catch (const std::bad_alloc&) {
    Detail::ThrowOutOfMemory(u"[791]");
  }
  plot->AddRefCount();
  return plot;
}

const Representation::RepTag& ErrorPlot::GetDefaultTag() {
  static constexpr RepTag tag = DefaultTag;
  return tag;
}

bool ErrorPlot::IsValid() const { return m_count > 0; }

void ErrorPlot::IncrGood(unsigned int bin) {
  if (bin >= BinCount) return;
  ++m_good[bin];
  ++m_count;
}

void ErrorPlot::IncrBad(unsigned int bin) {
  if (bin >= BinCount) return;
  ++m_bad[bin];
  ++m_count;
}

void ErrorPlot::add(const Representation& other) {
  const ErrorPlot* plot = dynamic_cast<const ErrorPlot*>(&other);
  if (plot == nullptr || !plot->IsValid()) return;
  m_count += plot->m_count;
  for (unsigned int i = 0; i < BinCount; ++i) {
    m_good[i] += plot->m_good[i];
    m_bad[i] += plot->m_bad[i];
  }
}

std::vector<float> ErrorPlot::cumulative(const std::vector<std::uint32_t>& bins) const {
  std::vector<float> h(BinCount, 0.0f);
  if (!IsValid()) return h;
  const float count = static_cast<float>(m_count);
  for (unsigned int i = 0; i < BinCount; ++i) h[i] = static_cast<float>(bins[i]) / count;
  for (int i = static_cast<int>(BinCount) - 2; i >= 0; --i) h[i] += h[i + 1];
  return h;
}

std::vector<float> ErrorPlot::GetGoodHistogram() const { return cumulative(m_good); }
std::vector<float> ErrorPlot::GetBadHistogram() const { return cumulative(m_bad); }

ErrorPlot* ErrorPlotVisitor::GetPlot(unsigned int classId) const {
  auto it = m_plots.find(classId);
  return it != m_plots.end() ? it->second : nullptr;
}

void ErrorPlotVisitor::DoVisit(Node* node) {
  if (DocumentNode* d = dynamic_cast<DocumentNode*>(node)) DoVisit(d);
}

void ErrorPlotVisitor::DoVisit(DocumentNode* d) {
  const unsigned int classId = d->GetClassId();
  ErrorPlot* plot = GetPlot(classId);
  Result* r = dynamic_cast<Result*>(d->GetRepresentation(m_resultTag));
  if (r == nullptr) {
    if (plot == nullptr) {
      plot = ErrorPlot::Create(classId);
      d->AddFeature(plot);
      m_plots[classId] = plot;
    }
    return;
  }
  if (plot == nullptr || !r->IsValid()) return;
  const std::vector<IndexedResult>& best = r->GetBestResults(1);
  if (best.empty()) return;
  // Scores are expected in [0, 1]; a negative or NaN score falls into bin 0.
  const float scaled = best[0].GetValue() * 100.0f;
  unsigned int bin = 0;
  if (scaled >= static_cast<float>(ErrorPlot::BinCount - 1)) {
    bin = ErrorPlot::BinCount - 1;
  } else if (scaled > 0.0f) {
    bin = static_cast<unsigned int>(scaled);
  }
  if (best[0].GetIndex() == classId) {
    plot->IncrGood(bin);
  } else {
    plot->IncrBad(bin);
  }
}

}  // namespace Qel
