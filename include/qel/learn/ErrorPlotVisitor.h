// ErrorPlotVisitor: walks a classified tree and fills one ErrorPlot per class. The plots are
// created on the first node of a class that carries no result (a class node) and are owned by
// the node they hang on; used by the thread that runs the walk.
#pragma once

#include <qel/core/Export.h>
#include <qel/core/Visitor.h>
#include <qel/model/Representation.h>
#include <qel/model/SparseResult.h>

#include <map>

namespace Qel {

class DocumentNode;
class ErrorPlot;

class QEL_API ErrorPlotVisitor : public Visitor {
 public:
  ErrorPlotVisitor() = default;

  // Tag of the results to read ("Sres").
  Representation::RepTag GetResultTag() const { return m_resultTag; }
  void SetResultTag(Representation::RepTag tag) { m_resultTag = tag; }
  // The plot of `classId`, or null when none was created (not owned).
  ErrorPlot* GetPlot(unsigned int classId) const;
  // Every plot created, by class id (not owned).
  const std::map<unsigned int, ErrorPlot*>& GetPlots() const { return m_plots; }

  // Documents are handled by DoVisit(DocumentNode*); other nodes are ignored.
  void DoVisit(Node* node) override;
  // Without a result: creates and attaches the plot of the document's class if it has none
  // yet. With a valid result: counts its best score as good or bad in that plot, if it exists.
  void DoVisit(DocumentNode* document);

 private:
  Representation::RepTag m_resultTag = SparseResult::DEFAULT_TAG;
  std::map<unsigned int, ErrorPlot*> m_plots;
};

}  // namespace Qel
