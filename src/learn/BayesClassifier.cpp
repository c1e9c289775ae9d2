// The Bayes classifier: class models collected from a class tree, documents scored by the
// models' dot product with their representation.
#include <qel/core/Exceptions.h>
//
// Both tree walks keep their own stack of child iterators, so that trees of any depth are
// walked without exhausting the thread's stack; the order is the pre-order of a recursive walk.
#include <qel/learn/BayesClassifier.h>
#include <qel/learn/CallBack.h>
#include <qel/model/DocumentNode.h>
#include <qel/model/FullResult.h>
#include <qel/model/SparseResult.h>

#include <cmath>
#include <limits>
#include <new>

#include "core/Throw.h"
#include "model/DocumentWalk.h"

namespace Qel {

namespace {

// The result for one document: the full result of `scores`, or its `maxResults` best entries
// as a sparse result. One reference for the caller.
Result* makeResult(const std::vector<float>& scores, std::uint32_t maxResults) {
  FullResult* full = FullResult::Create();
  SparseResult* sparse = nullptr;
  try {
    full->SetResults(scores);
    if (maxResults == 0) return full;
    sparse = SparseResult::Create();
    sparse->SetResults(full->GetBestResults(maxResults));
  } catch (...) {
    full->Release();
    if (sparse != nullptr) sparse->Release();
    throw;
  }
  full->Release();
  return sparse;
}

}  // namespace

Control* BayesClassifier::CreateController() { return new (std::nothrow) BayesControl(); }

bool BayesClassifier::Save(std::ostream* /*os*/) { return true; }
bool BayesClassifier::Load(std::istream* /*is*/) { return true; }

void BayesClassifier::DoAlgorithm(Control* control) {
  BayesControl* ctl = dynamic_cast<BayesControl*>(control);
  if (ctl == nullptr) return;
  if (ctl->GetDoLearn()) {
    m_currentTag = ctl->GetClassTag();
    m_classModels.clear();
    m_classIds.clear();
    getClassNodes(ctl->GetRootClass());
  }
  if (ctl->GetDoClassify()) {
    m_currentTag = ctl->GetDocumentTag();
    m_resultTag = ctl->GetResultTag();
    m_batch = ctl->GetDoBatch();
    m_normalize = ctl->GetDoNormalize();
    m_maxResults = ctl->GetMaxResults();
    if (!m_classModels.empty()) classifyNode(ctl->GetRootDocument());
  }
}

void BayesClassifier::getClassNodes(Node* node) {
  Detail::ForEachDocument(node, true, [this](DocumentNode* d) {
    Representation* model = dynamic_cast<Representation*>(d);
    if (model != nullptr && model->IsValid() && model->GetTag() == m_currentTag) {
      m_classModels.push_back(model);
      m_classIds.push_back(d->GetClassId());
      if (d->GetClassId() > m_highestClassId) m_highestClassId = d->GetClassId();
    }
  });
}

void BayesClassifier::classifyNode(Node* node) {
  std::vector<float> scores;
  std::vector<bool> scaled;
  Detail::ForEachDocument(node, m_batch, [this, &scores, &scaled](DocumentNode* d) {
    const Representation* doc = d->GetRepresentation(m_currentTag);
    if (doc == nullptr || !doc->IsValid()) return;

    if (m_callback != nullptr) {
      bool cancel = false;
      m_callback->Increment(1, &cancel);
      if (cancel) Detail::Throw<UserCanceledException>(ErrorId::ClassificationCanceled);
    }

    try {
      scores.assign(static_cast<std::size_t>(m_highestClassId) + 1, 0.0f);
      scaled.assign(scores.size(), false);
    } catch (const std::bad_alloc&) {
      Detail::ThrowOutOfMemory(u"[classify]");
    }
    double bestScore = std::numeric_limits<double>::lowest();
    std::size_t bestPosition = 0;
    for (std::size_t i = 0; i < m_classModels.size(); ++i) {
      if (m_classIds[i] == 0) continue;
      const double s = m_classModels[i]->dot(*doc);
      if (s > bestScore) {
        bestScore = s;
        bestPosition = i;
      }
      scores[m_classIds[i]] = static_cast<float>(s);
    }
    if (m_normalize) {
      const double lo = m_classModels[bestPosition]->GetMinimum();
      const double hi = m_classModels[bestPosition]->GetMaximum();
      if (!(lo == hi)) {
        const double scale = 1.0 / (hi - lo);
        for (std::uint32_t id : m_classIds) {
          // Two models may share a class id; its entry is scaled once.
          if (id == 0 || scaled[id]) continue;
          scaled[id] = true;
          scores[id] = static_cast<float>((static_cast<double>(scores[id]) - lo) * scale);
        }
      }
    }

    Result* result = makeResult(scores, m_maxResults);
    Node* old = d->RemoveRepresentation(m_resultTag);
    // What the document held under the result tag is replaced; the document owned it, so it
    // is released whether or not it is a result.
    if (old != nullptr) old->Release();
    result->SetTag(m_resultTag);
    d->AddRepresentation(result);
  });
}

}  // namespace Qel
