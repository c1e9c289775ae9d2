// The Bayes classifier: class models collected from a class tree, documents scored by the
// models' dot product with their representation.
#include <qel/core/Exceptions.h>
#include <qel/core/IntrusivePtr.h>
//
// Both tree walks keep their own stack of child iterators, so that trees of any depth are
// walked without exhausting the thread's stack; the order is the pre-order of a recursive walk.
#include <qel/learn/BayesClassifier.h>
#include <qel/learn/CallBack.h>
#include <qel/model/DocumentNode.h>
#include <qel/model/FullResult.h>
#include <qel/model/SparseResult.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <typeinfo>

#include "core/Throw.h"
#include "model/DocumentWalk.h"
#include "model/FeatureChain.h"

namespace Qel {

namespace {

// The entries of the sparse result of `scores` into `best`: the same selection
// FullResult::GetBestResults makes (entries above zero, largest first, partially sorted the same
// way; the single entry {0, 0, new} when none is), so that no full result is built per document.
void selectBest(const std::vector<float>& scores, std::uint32_t maxResults,
                std::vector<IndexedResult>& best) {
  best.clear();
  for (std::size_t i = 0; i < scores.size(); ++i) {
    if (scores[i] > 0.0f) best.emplace_back(static_cast<unsigned int>(i), scores[i], ResTypeNew);
  }
  const std::size_t k = std::min<std::size_t>(maxResults, best.size());
  if (k > 0) {
    std::partial_sort(
        best.begin(), best.begin() + static_cast<std::ptrdiff_t>(k), best.end(),
        [](const IndexedResult& a, const IndexedResult& b) { return a.GetValue() > b.GetValue(); });
    best.resize(k);
  } else {
    best.assign(1, IndexedResult(0, 0.0f, ResTypeNew));
  }
}

// A new result for one document, one reference for the caller: the full result of `scores`
// when `maxResults` is 0, else the sparse result holding `best`.
Result* newResult(const std::vector<float>& scores, std::uint32_t maxResults,
                  const std::vector<IndexedResult>& best) {
  if (maxResults == 0) {
    IntrusivePtr<FullResult> full = AdoptRef(FullResult::Create());
    full->SetResults(scores);
    return full.release();
  }
  IntrusivePtr<SparseResult> sparse = AdoptRef(SparseResult::Create());
  sparse->SetResults(best);
  return sparse.release();
}

// The sparse result detached from a document can take the next document's entries instead of a
// new one when nobody else holds it and it is exactly a SparseResult: it then holds nothing but
// its tag and entries, so refilling it is indistinguishable from replacing it.
bool isReusableSparse(Node* old) {
  return old != nullptr && old->GetRefCount() == 1 && typeid(*old) == typeid(SparseResult);
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
  std::vector<IndexedResult> best;
  // The documents of a tree carry features of few types: their casts are remembered.
  Detail::RepresentationCast asRepresentation;
  Detail::ForEachDocument(node, m_batch, [&](DocumentNode* d) {
    const Representation* doc =
        Detail::FindRepresentation(d, m_currentTag, asRepresentation).second;
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

    if (m_maxResults != 0) selectBest(scores, m_maxResults, best);
    Node* old = Detail::FindRepresentation(d, m_resultTag, asRepresentation).first;
    if (m_maxResults != 0 && isReusableSparse(old)) {
      // Filled before it is moved, so that a failure leaves the document as it was.
      static_cast<SparseResult*>(old)->SetResults(best);
      // Moved to the end of the chain, where a new result would be attached.
      if (old->GetFeature() != nullptr) d->AddFeature(Detail::DetachFeature(d, old));
      return;
    }
    Result* result = newResult(scores, m_maxResults, best);
    // What the document held under the result tag is replaced; the document owned it, so it
    // is released whether or not it is a result.
    if (Node* detached = Detail::DetachFeature(d, old)) detached->Release();
    result->SetTag(m_resultTag);
    d->AddFeature(result);
  });
}

}  // namespace Qel
