// qel: trains, applies, evaluates and merges text classifiers built with QelBase.
// Command line parsing and the error handling shared by all commands.
#include <qel/core/Exceptions.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <map>

#include "Commands.h"
#include "Map.h"
#include "Records.h"
#include "TextCommands.h"
#include "Tool.h"
#include "Xml.h"

#ifndef QEL_TOOL_VERSION
#define QEL_TOOL_VERSION "unknown"
#endif

namespace {

using namespace QelTool;

const char* const kExitCodes =
    "Exit codes:\n"
    "  0  success\n"
    "  1  other failure\n"
    "  2  bad command line\n"
    "  3  DATA or INPUT cannot be read (missing or unreadable file, empty class, bad TSV line,\n"
    "     XML that is not well-formed)\n"
    "  4  the model cannot be read (missing, of another version, truncated or damaged)\n"
    "  5  an output file cannot be written\n"
    "  6  done, but some input was left out or replaced (records refused, text not in ANSI)\n";

void AddFeatureOptions(CLI::App* c, Qel::VectorizerOptions& f) {
  c->add_flag("!--no-words", f.words, "Leave out word features");
  c->add_option("--min-word-length", f.minWordLength, "Shortest word kept (1-255)")
      ->check(CLI::Range(1u, 255u))
      ->capture_default_str();
  c->add_flag("--digits", f.digits, "Keep digits in words");
  c->add_option("--char-min", f.charMin, "Shortest character n-gram")
      ->check(CLI::Range(1u, 8u))
      ->capture_default_str();
  c->add_option("--char-max", f.charMax, "Longest character n-gram (0: none)")
      ->check(CLI::Range(0u, 8u))
      ->capture_default_str();
  c->add_option("--hash-bits", f.hashBits, "Feature ids hash into 2^BITS buckets (8-26)")
      ->check(CLI::Range(8u, 26u))
      ->capture_default_str();
  c->add_flag("--sublinear-tf,!--no-sublinear-tf", f.sublinearTf,
              "Weight a feature by 1 + ln(count), or by the count")
      ->capture_default_str();
}

// The error matrix visitor's two rejection thresholds and the worker threads, shared by classify
// and evaluate.
void AddRunOptions(CLI::App* c, double& minScore, double& minDistance, unsigned int& threads) {
  c->add_option("--min-score", minScore, "Reject when the best score is below S")
      ->capture_default_str();
  c->add_option("--min-distance", minDistance,
                "Reject when the best score is less than D above the second")
      ->capture_default_str();
  c->add_option("-j,--threads", threads, "Worker threads (0: all cores)")->capture_default_str();
}

}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  CLI::App app{
      "qel: train, apply, evaluate and merge text classifiers; prepare records, text files and "
      "XML.",
      "qel"};
  app.footer(kExitCodes);
  app.require_subcommand(1);
  app.set_version_flag("--version", "qel " QEL_TOOL_VERSION);

  TrainOptions train;
  CLI::App* t = app.add_subcommand(
      "train",
      "Train a model on DATA: folders whose subfolders name the classes and hold text files, "
      "or TSV files of label<TAB>text.");
  t->add_option("DATA", train.data, "Class folders' parent folder, or TSV file")->required();
  t->add_option("-o,--output", train.output, "Model file to write")->required();
  AddFeatureOptions(t, train.model.vectorizer);
  t->add_option("--kind", train.kind, "Model kind")
      ->check(CLI::IsMember({"multinomial", "complement"}))
      ->capture_default_str();
  t->add_option("--alpha", train.model.alpha, "Lidstone smoothing (> 0)")
      ->check(CLI::PositiveNumber)
      ->capture_default_str();
  t->add_flag("--idf", train.model.idf, "Weight features by inverse document frequency");
  t->add_flag("--gzip", train.gzip, "Compress the model file");
  t->add_option("-j,--threads", train.threads, "Worker threads (0: all cores)")
      ->capture_default_str();
  t->add_flag("-q,--quiet", train.quiet, "No progress bar");
  t->footer(kExitCodes);

  ClassifyOptions classify;
  std::string format = "tsv";
  CLI::App* c = app.add_subcommand(
      "classify",
      "Classify INPUT: files, folders (walked recursively), TSV files of id<TAB>text (.tsv), "
      "or - for standard input, one text per line (id<TAB>text when the line holds a tab).");
  c->add_option("-m,--model", classify.model, "Model file")->required();
  c->add_option("INPUT", classify.inputs, "Files, folders, TSV files or -")->required();
  c->add_option("-o,--output", classify.output, "Write the results to FILE (default: stdout)");
  c->add_option("-f,--format", format,
                "tsv: id<TAB>label<TAB>score (label - when rejected); jsonl: one JSON object a "
                "line; xml: the library's result XML")
      ->check(CLI::IsMember({"tsv", "jsonl", "xml"}))
      ->capture_default_str();
  c->add_option("-k,--top", classify.top, "Report the K best classes")
      ->check(CLI::Range(1u, 1000u))
      ->capture_default_str();
  AddRunOptions(c, classify.minScore, classify.minDistance, classify.threads);
  c->add_option("--batch", classify.batch, "Documents classified together")
      ->check(CLI::Range(1u, 1000000u))
      ->capture_default_str();
  c->add_flag("-q,--quiet", classify.quiet, "No progress bar");
  c->footer(kExitCodes);

  EvaluateOptions evaluate;
  CLI::App* e = app.add_subcommand(
      "evaluate",
      "Classify labelled DATA and print the error matrix, the accuracy, per-class precision, "
      "recall and F1, the macro F1 and the rejected count.");
  e->add_option("-m,--model", evaluate.model, "Model file")->required();
  e->add_option("DATA", evaluate.data, "Class folders' parent folder, or TSV file")->required();
  e->add_option("--report", evaluate.report, "Write an HTML report to FILE.html");
  e->add_option("--plot", evaluate.plot, "Write the error plot to FILE.svg");
  e->add_flag("--json", evaluate.json, "Print the figures as JSON");
  AddRunOptions(e, evaluate.minScore, evaluate.minDistance, evaluate.threads);
  e->add_flag("-q,--quiet", evaluate.quiet, "No progress bar");
  e->footer(kExitCodes);

  MergeOptions merge;
  CLI::App* m = app.add_subcommand(
      "merge", "Sum models trained with the same options on shards of the data into one model.");
  m->add_option("MODEL", merge.models, "Models to merge")->required();
  m->add_option("-o,--output", merge.output, "Model file to write")->required();
  m->add_flag("--gzip", merge.gzip, "Compress the model file");
  m->footer(kExitCodes);

  // Commands kept in files of their own.
  Runners runners;
  AddRecordsCommand(app, runners);
  AddTextCommands(app, runners);
  AddXmlCommands(app, runners);
  AddMapCommand(app, runners);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& help) {
    return app.exit(help);
  } catch (const CLI::CallForAllHelp& help) {
    return app.exit(help);
  } catch (const CLI::CallForVersion& version) {
    return app.exit(version);
  } catch (const CLI::ParseError& error) {
    app.exit(error);
    return kExitUsage;
  }

  try {
    if (t->parsed()) return RunTrain(train);
    if (c->parsed()) {
      static const std::map<std::string, OutputFormat> formats = {
          {"tsv", OutputFormat::Tsv},
          {"jsonl", OutputFormat::JsonLines},
          {"xml", OutputFormat::Xml}};
      classify.format = formats.at(format);
      return RunClassify(classify);
    }
    if (e->parsed()) return RunEvaluate(evaluate);
    if (m->parsed()) return RunMerge(merge);
    for (const Runner& r : runners) {
      if (r.command->parsed()) return r.run();
    }
  } catch (const ToolError& error) {
    std::fflush(stdout);
    std::fprintf(stderr, "qel: %s\n", OneLine(error.what()).c_str());
    return error.ExitCode();
  } catch (const Qel::BaseException& error) {
    std::fflush(stdout);
    std::fprintf(stderr, "qel: %s\n", OneLine(ToUtf8(error.GetErrorDescription())).c_str());
    return kExitFailure;
  } catch (const std::exception& error) {
    std::fflush(stdout);
    std::fprintf(stderr, "qel: %s\n", OneLine(error.what()).c_str());
    return kExitFailure;
  }
  return kExitUsage;
}
