// ClassModel: a class node of a text model's class tree that is its own class model; its dot with
// a document's TermVector is the class's score, what BayesClassifier calls. Made by
// TextModel::CreateClassTree (one reference to the caller); read-only, so any number of threads
// may score with it at once.
#pragma once

#include <qel/core/Export.h>
#include <qel/model/DocumentNode.h>
#include <qel/model/Representation.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Qel {

enum class ModelKind : std::int32_t { MultinomialNB = 1, ComplementNB = 2 };

class QEL_API ClassModel final : public DocumentNode, public Representation {
 public:
  // "Tmdl".
  static constexpr RepTag DEFAULT_TAG{Detail::TagIdFromName("Tmdl")};
  static const RepTag& GetDefaultTag() { return DEFAULT_TAG; }

  // A class model for class `classId` named `label`. `table` holds `rows` rows of `stride`
  // floats, one per feature, shared by the classes of a model: in the row of feature f, [column]
  // is what one
  // unit of weight of f adds to this class's score (log θ for MultinomialNB, −log θ̃ for
  // ComplementNB), and the last entry multiplies the document's weight of f (the idf, or 1; 0
  // for a feature no training document had, which then does not count at all). `prior` is added
  // once per document (log P(c), or 0), and [minimum, maximum] are the score bounds shared by
  // every class of the model. InvalidArgument unless column < stride - 1. One reference for the
  // caller.
  static ClassModel* Create(std::uint32_t classId, std::u16string label,
                            std::shared_ptr<const float[]> table, std::size_t rows,
                            std::size_t stride, std::size_t column, double prior, double minimum,
                            double maximum);

  const std::u16string& GetLabel() const { return m_label; }
  // The score of a TermVector document: (prior + Σ w·score_f) / max(Σ w, 1) with the document's
  // weights w multiplied by the feature weights, clamped into [GetMinimum(), GetMaximum()]; the
  // minimum for any other representation or an empty document. The ranking of the classes of a
  // model for a document is that of its joint log-likelihood.
  double dot(const Representation& other) const override;
  bool IsValid() const override { return m_features != 0; }
  double GetMinimum() const override { return m_minimum; }
  double GetMaximum() const override { return m_maximum; }

 private:
  ClassModel(std::uint32_t classId, std::u16string label, std::shared_ptr<const float[]> table,
             std::size_t rows, std::size_t stride, std::size_t column, double prior, double minimum,
             double maximum);
  ~ClassModel() override = default;

  std::u16string m_label;
  std::shared_ptr<const float[]> m_table;
  std::size_t m_features;  // rows
  std::size_t m_stride;
  std::size_t m_column;
  double m_prior;
  double m_minimum;
  double m_maximum;
};

}  // namespace Qel
