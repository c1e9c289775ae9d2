// The four commands of the qel program and their options. Each returns an exit code or throws
// ToolError; main.cpp parses the command line into these structures.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <qel/kit/TextModel.h>

#include "Output.h"

namespace QelTool {

// The defaults are the kit's own.
struct TrainOptions {
  std::vector<std::string> data;
  std::string output;
  Qel::ModelOptions model;
  std::string kind =  // multinomial | complement
      model.kind == Qel::ModelKind::MultinomialNB ? "multinomial" : "complement";
  bool gzip = false;
  unsigned int threads = 0;
  bool quiet = false;
};

struct ClassifyOptions {
  std::string model;
  std::vector<std::string> inputs;
  std::string output;  // empty: standard output
  OutputFormat format = OutputFormat::Tsv;
  unsigned int top = 1;
  double minScore = 0.0;
  double minDistance = 0.0;
  unsigned int threads = 0;
  unsigned int batch = 4096;
  bool quiet = false;
};

struct EvaluateOptions {
  std::string model;
  std::vector<std::string> data;
  std::string report;  // .html
  std::string plot;    // .svg
  bool json = false;
  double minScore = 0.0;
  double minDistance = 0.0;
  unsigned int threads = 0;
  bool quiet = false;
};

struct MergeOptions {
  std::vector<std::string> models;
  std::string output;
  bool gzip = false;
};

// The model file at `path`; ToolError(kExitModel) naming it when it is missing or unusable.
std::unique_ptr<Qel::TextModel> LoadModel(const std::string& path);

int RunTrain(const TrainOptions& options);
int RunClassify(const ClassifyOptions& options);
int RunEvaluate(const EvaluateOptions& options);
int RunMerge(const MergeOptions& options);

}  // namespace QelTool
