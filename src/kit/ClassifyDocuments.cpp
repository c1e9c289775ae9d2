// Parallel classification: the documents of a tree split into ranges, each range scored by a
// BayesClassifier of its own on a worker of a task scheduler.
#include <qel/kit/TextModel.h>
#include <qel/learn/BayesClassifier.h>
#include <qel/model/DocumentNode.h>
#include <qel/task/TaskBase.h>
#include <qel/task/TaskScheduler.h>

#include <algorithm>
#include <exception>
#include <memory>
#include <vector>

#include "model/DocumentWalk.h"

namespace Qel {

namespace {

class ClassifyRange : public TaskBase {
 public:
  ClassifyRange(const BayesControl& settings, DocumentNode* classTree, DocumentNode* const* first,
                DocumentNode* const* last)
      : m_settings(settings), m_classTree(classTree), m_first(first), m_last(last) {}

  void Run() override {
    try {
      BayesClassifier bayes;
      BayesControl ctl = m_settings;
      ctl.SetDoLearn(true);
      ctl.SetDoClassify(false);
      ctl.SetRootClass(m_classTree);
      bayes.DoAlgorithm(&ctl);
      ctl.SetDoLearn(false);
      ctl.SetDoClassify(true);
      ctl.SetDoBatch(false);
      for (DocumentNode* const* d = m_first; d != m_last; ++d) {
        ctl.SetRootDocument(*d);
        bayes.DoAlgorithm(&ctl);
      }
    } catch (...) {
      m_error = std::current_exception();
    }
  }
  const std::exception_ptr& Error() const { return m_error; }

 private:
  BayesControl m_settings;
  DocumentNode* m_classTree;
  DocumentNode* const* m_first;
  DocumentNode* const* m_last;
  std::exception_ptr m_error;
};

}  // namespace

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

  std::unique_ptr<TaskScheduler> pool =
      threads == 0
          ? std::make_unique<TaskScheduler>()
          : std::make_unique<TaskScheduler>(static_cast<std::int32_t>(std::min(threads, 64u)));
  // A few ranges per worker, so that a slow range does not leave the others idle.
  const std::size_t workers = static_cast<std::size_t>(pool->GetMaxThreadCount());
  const std::size_t ranges = std::min(documents.size(), workers == 1 ? 1 : workers * 4);
  std::vector<std::unique_ptr<ClassifyRange>> tasks;
  std::vector<TaskBase*> started;
  tasks.reserve(ranges);
  for (std::size_t r = 0; r < ranges; ++r) {
    const std::size_t begin = documents.size() * r / ranges;
    const std::size_t end = documents.size() * (r + 1) / ranges;
    tasks.push_back(std::make_unique<ClassifyRange>(settings, classTree, documents.data() + begin,
                                                    documents.data() + end));
  }
  std::exception_ptr scheduleError;
  try {
    for (auto& t : tasks) {
      pool->ScheduleTask(t.get());
      started.push_back(t.get());
    }
  } catch (...) {
    scheduleError = std::current_exception();
  }
  TaskBase::WaitAll(started);
  if (scheduleError) std::rethrow_exception(scheduleError);
  for (auto& t : tasks) {
    if (t->Error()) std::rethrow_exception(t->Error());
  }
}

}  // namespace Qel
