// The commands, wired to the library's classification kit: TextVectorizer turns texts into
// TermVectors, TextModel trains, merges, saves and loads, and ClassifyDocuments runs
// BayesClassifier; evaluation goes through ErrorMatrixVisitor, ErrorMatrix and ErrorPlotVisitor.
#include "Commands.h"

#include <qel/core/Exceptions.h>
#include <qel/core/IntrusivePtr.h>
#include <qel/kit/ClassModel.h>
#include <qel/kit/TermVector.h>
#include <qel/kit/TextModel.h>
#include <qel/kit/TextVectorizer.h>
#include <qel/learn/BayesClassifier.h>
#include <qel/learn/ErrorMatrix.h>
#include <qel/learn/ErrorMatrixVisitor.h>
#include <qel/learn/ErrorPlotVisitor.h>
#include <qel/model/DocumentNode.h>
#include <qel/model/SparseResult.h>
#include <qel/xml/QelXmlOutStream.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <future>
#include <iostream>
#include <map>
#include <mutex>
#include <thread>

#include "Data.h"
#include "Progress.h"
#include "Report.h"
#include "Tool.h"

namespace QelTool {

namespace {

// Documents evaluate vectorises and classifies together.
constexpr std::size_t kEvaluateBatch = 2048;

unsigned int Workers(unsigned int threads) {
  if (threads > 0) return threads;
  return std::max(1u, std::thread::hardware_concurrency());
}

// Calls work(i) for i in [0, count) on up to `threads` threads; rethrows the first exception.
template <class F>
void ParallelFor(std::size_t count, unsigned int threads, F&& work) {
  const unsigned int n = static_cast<unsigned int>(std::min<std::size_t>(Workers(threads), count));
  if (n <= 1) {
    for (std::size_t i = 0; i < count; ++i) work(i);
    return;
  }
  std::atomic<std::size_t> next{0};
  std::exception_ptr failure;
  std::mutex failureLock;
  auto run = [&] {
    try {
      for (std::size_t i = next++; i < count; i = next++) work(i);
    } catch (...) {
      std::lock_guard lock(failureLock);
      if (!failure) failure = std::current_exception();
      next = count;
    }
  };
  std::vector<std::thread> pool;
  for (unsigned int t = 1; t < n; ++t) pool.emplace_back(run);
  run();
  for (std::thread& t : pool) t.join();
  if (failure) std::rethrow_exception(failure);
}

std::string Describe(const Qel::BaseException& e) { return ToUtf8(e.GetErrorDescription()); }

Qel::IntrusivePtr<Qel::DocumentNode> ClassTree(const Qel::TextModel& model,
                                               const std::string& path) {
  try {
    return Qel::AdoptRef(model.CreateClassTree(0));
  } catch (const Qel::BaseException& e) {
    throw ToolError(kExitModel, path + ": not a usable model: " + Describe(e));
  }
}

void SaveModel(const Qel::TextModel& model, const std::string& path, bool gzip) {
  try {
    model.Save(FromUtf8(path), gzip, 0);
  } catch (const Qel::BaseException& e) {
    throw ToolError(kExitOutput, path + ": cannot write the model: " + Describe(e));
  }
}

std::vector<std::string> Labels(const Qel::TextModel& model) {
  std::vector<std::string> labels;
  for (const std::u16string& l : model.GetLabels()) labels.push_back(ToUtf8(l));
  return labels;
}

Qel::BayesControl Settings(unsigned int maxResults) {
  Qel::BayesControl settings;
  settings.SetDoClassify(true);
  settings.SetDoNormalize(true);
  settings.SetClassTag(Qel::ClassModel::DEFAULT_TAG);
  settings.SetDocumentTag(Qel::TermVector::DEFAULT_TAG);
  settings.SetResultTag(Qel::SparseResult::DEFAULT_TAG);
  settings.SetMaxResults(maxResults);
  return settings;
}

// A document node of class `classId` under `parent`, carrying `features`.
Qel::DocumentNode* AddDocument(Qel::DocumentNode* parent, std::uint32_t classId,
                               std::vector<Qel::TermEntry> features) {
  auto node = Qel::AdoptRef(Qel::DocumentNode::Create(classId, parent));
  auto vector = Qel::AdoptRef(Qel::TermVector::Create(std::move(features)));
  if (node->AddRepresentation(vector.get())) vector.release();
  parent->AddChild(node.get());
  return node.release();
}

Qel::ModelOptions MakeModelOptions(const TrainOptions& o) {
  Qel::ModelOptions m = o.model;
  m.kind = o.kind == "multinomial" ? Qel::ModelKind::MultinomialNB : Qel::ModelKind::ComplementNB;
  return m;
}

}  // namespace

std::unique_ptr<Qel::TextModel> LoadModel(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec))
    throw ToolError(kExitModel, path + ": no such model file");
  try {
    return Qel::TextModel::Load(FromUtf8(path));
  } catch (const Qel::BaseException& e) {
    throw ToolError(kExitModel, path + ": not a usable model: " + Describe(e));
  }
}

int RunTrain(const TrainOptions& o) {
  if (!o.model.vectorizer.words && o.model.vectorizer.charMax == 0) {
    throw ToolError(kExitUsage, "train: no features: --no-words needs --char-max of at least 1");
  }
  if (o.model.vectorizer.charMax > 0 && o.model.vectorizer.charMin > o.model.vectorizer.charMax) {
    throw ToolError(kExitUsage, "train: --char-min is above --char-max");
  }
  std::unique_ptr<Qel::TextModel> model;
  try {
    model = std::make_unique<Qel::TextModel>(MakeModelOptions(o));
  } catch (const Qel::BaseException& e) {
    throw ToolError(kExitUsage, "train: " + Describe(e));
  }
  const std::vector<LabeledText> docs = ReadData(o.data);
  if (docs.empty()) throw ToolError(kExitData, o.data.front() + ": no documents");

  // Class ids in label order, so that shards holding the same classes number them alike.
  std::vector<std::u16string> labels;
  for (const LabeledText& d : docs) labels.push_back(d.label);
  std::sort(labels.begin(), labels.end());
  labels.erase(std::unique(labels.begin(), labels.end()), labels.end());
  std::map<std::u16string, std::uint32_t> ids;
  for (const std::u16string& l : labels) ids[l] = model->AddClass(l);

  std::vector<std::uint32_t> classOf(docs.size());
  for (std::size_t i = 0; i < docs.size(); ++i) classOf[i] = ids.at(docs[i].label);

  std::vector<std::u16string_view> texts(docs.size());
  for (std::size_t i = 0; i < docs.size(); ++i) texts[i] = docs[i].text;
  Progress progress("features", docs.size(), o.quiet);
  model->Train(classOf, texts, o.threads, [&progress](std::size_t n) { progress.Add(n); });
  progress.Finish();
  SaveModel(*model, o.output, o.gzip);
  if (!o.quiet) {
    std::fprintf(stderr, "qel: trained on %zu documents of %zu classes; model written to %s\n",
                 docs.size(), labels.size(), o.output.c_str());
  }
  return kExitOk;
}

int RunClassify(const ClassifyOptions& o) {
  const std::unique_ptr<Qel::TextModel> model = LoadModel(o.model);
  const auto classTree = ClassTree(*model, o.model);
  const std::vector<std::string> labels = Labels(*model);
  std::map<unsigned int, std::u16string> identifiers;
  for (std::size_t i = 0; i < labels.size(); ++i) identifiers[i + 1] = model->GetLabels()[i];
  Qel::Result::SetClassIdentifiers(identifiers);
  const Qel::BayesControl settings = Settings(std::max(o.top, 2u));
  const Qel::TextVectorizer& vectorizer = model->GetVectorizer();

  Sink sink(o.output);
  const std::unique_ptr<ResultWriter> writer = ResultWriter::Create(o.format, sink);
  writer->Begin();
  InputReader reader(o.inputs, std::cin);
  Progress progress("classify", 0, o.quiet);
  std::vector<InputText> batch;
  std::vector<std::vector<Qel::TermEntry>> features;
  while (reader.Next(batch, o.batch)) {
    features.assign(batch.size(), {});
    ParallelFor(batch.size(), o.threads,
                [&](std::size_t i) { vectorizer.Vectorize(batch[i].text, features[i]); });
    const auto root = Qel::AdoptRef(Qel::DocumentNode::Create());
    std::vector<Qel::DocumentNode*> nodes;
    for (auto& f : features) nodes.push_back(AddDocument(root.get(), 0, std::move(f)));
    Qel::ClassifyDocuments(classTree.get(), root.get(), settings, o.threads);

    for (std::size_t i = 0; i < batch.size(); ++i) {
      Classified c;
      c.id = batch[i].id;
      // The error matrix visitor's acceptance rule, applied to this document alone.
      Qel::ErrorMatrixVisitor acceptance(nullptr, o.minScore, o.minDistance);
      acceptance.DoVisit(nodes[i]);
      const std::vector<Qel::classResult> records = acceptance.GetClassResults();
      c.rejected = records.empty() || records.front().assignedClassId == 0;
      auto* result =
          dynamic_cast<Qel::Result*>(nodes[i]->GetRepresentation(Qel::SparseResult::DEFAULT_TAG));
      if (result != nullptr && result->IsValid()) {
        // A sparse result hands back all its entries: rank them here, best first.
        std::vector<Qel::IndexedResult> ranked = result->GetBestResults(o.top);
        std::stable_sort(ranked.begin(), ranked.end(),
                         [](const auto& a, const auto& b) { return a.GetValue() > b.GetValue(); });
        for (const Qel::IndexedResult& r : ranked) {
          if (c.best.size() >= o.top) break;
          if (r.GetIndex() == 0 || r.GetIndex() > labels.size()) continue;
          c.best.push_back({labels[r.GetIndex() - 1], r.GetValue()});
        }
      }
      if (o.format == OutputFormat::Xml) {
        Qel::QelXmlOutStream xml(Qel::StorageString, 256);
        if (result != nullptr) {
          result->Save("ClsResults", &xml);
        } else {
          xml.CreateNode("ClsResults");
          xml.AddProperty("ClsCount", 0u);
          xml.CloseNode("ClsResults");
        }
        xml.Close();
        // The element alone, without the declaration the stream starts every document with.
        c.resultXml = xml.getXmlString();
        if (c.resultXml.starts_with("<?xml")) c.resultXml.erase(0, c.resultXml.find('\n') + 1);
        while (!c.resultXml.empty() && c.resultXml.back() == '\n') c.resultXml.pop_back();
      }
      writer->Write(c);
    }
    sink.Flush();
    progress.Add(batch.size());
  }
  progress.Finish();
  writer->End();
  sink.Commit();
  return kExitOk;
}

int RunEvaluate(const EvaluateOptions& o) {
  // The data is read while the model loads; a model that cannot be read is still reported first.
  std::future<std::vector<LabeledText>> reading =
      std::async(std::launch::async, [&o] { return ReadData(o.data); });
  const std::unique_ptr<Qel::TextModel> model = LoadModel(o.model);
  const auto classTree = ClassTree(*model, o.model);
  const std::vector<std::string> labels = Labels(*model);
  std::map<std::u16string, std::uint32_t> ids;
  for (std::size_t i = 0; i < labels.size(); ++i) {
    ids[model->GetLabels()[i]] = static_cast<std::uint32_t>(i + 1);
  }
  const std::vector<LabeledText> docs = reading.get();
  if (docs.empty()) throw ToolError(kExitData, o.data.front() + ": no documents");
  for (const LabeledText& d : docs) {
    if (!ids.contains(d.label)) {
      throw ToolError(kExitData, d.source + ": class \"" + ToUtf8(d.label) +
                                     "\" is not a class of the model " + o.model);
    }
  }

  // One node per class under the root, the documents under their class: the error plot visitor
  // hangs each class's plot on its node.
  const auto root = Qel::AdoptRef(Qel::DocumentNode::Create());
  std::vector<Qel::DocumentNode*> groups(labels.size() + 1, nullptr);
  for (std::uint32_t c = 1; c <= labels.size(); ++c) {
    auto group = Qel::AdoptRef(Qel::DocumentNode::Create(c, root.get()));
    root->AddChild(group.get());
    groups[c] = group.release();
  }
  // In batches: each batch's documents are vectorised, hung under their class node, classified,
  // and then lose their vectors, so that memory holds one batch of vectors at a time.
  const Qel::BayesControl settings = Settings(2);
  Progress progress("classify", docs.size(), o.quiet);
  const Qel::TextVectorizer& vectorizer = model->GetVectorizer();
  std::vector<std::vector<Qel::TermEntry>> features;
  std::vector<Qel::DocumentNode*> nodes;
  for (std::size_t begin = 0; begin < docs.size(); begin += kEvaluateBatch) {
    const std::size_t count = std::min(kEvaluateBatch, docs.size() - begin);
    features.resize(count);
    ParallelFor(count, o.threads,
                [&](std::size_t i) { vectorizer.Vectorize(docs[begin + i].text, features[i]); });
    nodes.clear();
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint32_t c = ids[docs[begin + i].label];
      nodes.push_back(AddDocument(groups[c], c, std::move(features[i])));
    }
    // Only documents that still carry a vector are classified: this batch's.
    Qel::ClassifyDocuments(classTree.get(), root.get(), settings, o.threads);
    for (Qel::DocumentNode* node : nodes) {
      if (Qel::Node* vector = node->RemoveRepresentation(Qel::TermVector::DEFAULT_TAG)) {
        vector->Release();
      }
    }
    progress.Add(count);
  }
  progress.Finish();

  const auto matrix =
      Qel::AdoptRef(Qel::ErrorMatrix::Create(static_cast<unsigned int>(labels.size() + 1)));
  Qel::ErrorMatrixVisitor matrixVisitor(matrix.get(), o.minScore, o.minDistance);
  root->Visit(&matrixVisitor);
  for (const Qel::classResult& r : matrixVisitor.GetClassResults()) {
    matrix->Increase(r.classId, r.assignedClassId, Qel::MatrixStatusNormal, r.type);
  }
  // After the matrix: the plots hang on the class nodes as features.
  Qel::ErrorPlotVisitor plotVisitor;
  root->Visit(&plotVisitor);

  Evaluation e = Summarise(labels, *matrix, plotVisitor);
  e.minScore = o.minScore;
  e.minDistance = o.minDistance;
  const std::string title = "qel evaluate: " + o.model;
  if (!o.plot.empty()) WriteFileAtomically(o.plot, PlotSvg(e, true));
  if (!o.report.empty()) WriteFileAtomically(o.report, ReportHtml(e, title));
  const std::string printout = o.json ? FormatJson(e) : FormatText(e);
  std::fwrite(printout.data(), 1, printout.size(), stdout);
  std::fflush(stdout);
  if (!o.quiet && !o.report.empty())
    std::fprintf(stderr, "qel: report written to %s\n", o.report.c_str());
  if (!o.quiet && !o.plot.empty())
    std::fprintf(stderr, "qel: plot written to %s\n", o.plot.c_str());
  return kExitOk;
}

int RunMerge(const MergeOptions& o) {
  std::unique_ptr<Qel::TextModel> merged = LoadModel(o.models.front());
  for (std::size_t i = 1; i < o.models.size(); ++i) {
    const std::unique_ptr<Qel::TextModel> shard = LoadModel(o.models[i]);
    try {
      merged->Merge(*shard);
    } catch (const Qel::BaseException& e) {
      throw ToolError(kExitModel,
                      o.models[i] + ": cannot merge into " + o.models.front() + ": " + Describe(e));
    }
  }
  SaveModel(*merged, o.output, o.gzip);
  return kExitOk;
}

}  // namespace QelTool
