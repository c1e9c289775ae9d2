// Parallel classification: the documents of a tree split into ranges, each range scored by a
// BayesClassifier of its own on a worker of a task scheduler.
#include <qel/kit/TextModel.h>
#include <qel/learn/BayesClassifier.h>
#include <qel/model/DocumentNode.h>

#include <algorithm>
#include <vector>

#include "kit/Parallel.h"
#include "model/DocumentWalk.h"

namespace Qel {

void ClassifyDocuments(DocumentNode* classTree, DocumentNode* root, const BayesControl& settings,
                       unsigned threads) {
  if (classTree == nullptr || root == nullptr) return;
  std::vector<DocumentNode*> documents;
  const Representation::RepTag tag = settings.GetDocumentTag();
  Detail::ForEachDocument(root, true, [&documents, &tag](DocumentNode* d) {
    const Representation* r = d->GetRepresentation(tag);
    if (r != nullptr && r->IsValid()) documents.push_back(d);
  });
  if (documents.empty()) return;

  // A few ranges per worker, so that a slow range does not leave the others idle; each range
  // has a BayesClassifier of its own that scores document by document.
  const std::size_t workers = Detail::WorkerCount(threads);
  const std::size_t ranges = std::min(documents.size(), workers == 1 ? 1 : workers * 4);
  Detail::RunRanges(ranges, threads, [&](std::size_t r) {
    BayesClassifier bayes;
    BayesControl ctl = settings;
    ctl.SetDoLearn(true);
    ctl.SetDoClassify(false);
    ctl.SetRootClass(classTree);
    bayes.DoAlgorithm(&ctl);
    ctl.SetDoLearn(false);
    ctl.SetDoClassify(true);
    ctl.SetDoBatch(false);
    for (std::size_t d = documents.size() * r / ranges; d < documents.size() * (r + 1) / ranges;
         ++d) {
      ctl.SetRootDocument(documents[d]);
      bayes.DoAlgorithm(&ctl);
    }
  });
}

}  // namespace Qel
