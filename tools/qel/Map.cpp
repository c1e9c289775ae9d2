#include "Map.h"

#include <qel/core/Exceptions.h>
#include <qel/core/IntrusivePtr.h>
#include <qel/kit/TermVector.h>
#include <qel/kit/TextModel.h>
#include <qel/kit/TextVectorizer.h>
#include <qel/learn/PcaAnalyzer.h>
#include <qel/model/DocumentNode.h>
#include <qel/model/FullResult.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <random>

#include "Commands.h"
#include "Data.h"
#include "Output.h"
#include "Progress.h"
#include "Report.h"

namespace QelTool {

namespace {

constexpr Qel::Representation::RepTag kProjectionTag{Qel::Detail::TagIdFromName("Qmap")};

std::string Num(double v, int decimals) { return FormatFixed(v, decimals); }

std::string Percent(double share) { return FormatFixed(100.0 * share, 1) + "%"; }

// Distinct colours for the first twelve classes; further ones walk the hue circle.
std::string Colour(std::size_t i) {
  static const char* const palette[] = {"#e6194b", "#3cb44b", "#4363d8", "#f58231",
                                        "#911eb4", "#42d4f4", "#f032e6", "#9a6324",
                                        "#000075", "#808000", "#469990", "#800000"};
  constexpr std::size_t kPalette = sizeof palette / sizeof palette[0];
  if (i < kPalette) return palette[i];
  const int hue = static_cast<int>((i * 137) % 360);
  return "hsl(" + std::to_string(hue) + ",65%,45%)";
}

// Round tick steps (1, 2 or 5 times a power of ten) giving about `wanted` ticks over the range.
double TickStep(double low, double high, int wanted) {
  const double raw = (high - low) / wanted;
  if (!(raw > 0.0)) return 1.0;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 5.0}) {
    if (m * power >= raw) return m * power;
  }
  return 10.0 * power;
}

int Decimals(double step) {
  return std::clamp(static_cast<int>(-std::floor(std::log10(step))), 0, 6);
}

}  // namespace

double VarianceShare(const MapFigures& f, std::size_t k) {
  if (k >= f.eigenValues.size() || !(f.totalVariance > 0.0)) return 0.0;
  return f.eigenValues[k] / f.totalVariance;
}

std::vector<std::vector<std::size_t>> SampleEvenly(const std::vector<std::size_t>& groupSizes,
                                                   std::size_t count, std::uint64_t seed) {
  std::mt19937_64 random(seed);
  std::vector<std::vector<std::size_t>> order(groupSizes.size());
  for (std::size_t g = 0; g < groupSizes.size(); ++g) {
    order[g].resize(groupSizes[g]);
    for (std::size_t i = 0; i < groupSizes[g]; ++i) order[g][i] = i;
    // Fisher-Yates with the generator's raw output, which the standard fixes, unlike its
    // distributions.
    for (std::size_t i = groupSizes[g]; i > 1; --i)
      std::swap(order[g][i - 1], order[g][random() % i]);
  }
  std::vector<std::vector<std::size_t>> drawn(groupSizes.size());
  std::size_t total = 0;
  for (std::size_t turn = 0; total < count; ++turn) {
    bool any = false;
    for (std::size_t g = 0; g < groupSizes.size() && total < count; ++g) {
      if (turn >= order[g].size()) continue;
      drawn[g].push_back(order[g][turn]);
      ++total;
      any = true;
    }
    if (!any) break;
  }
  return drawn;
}

std::string FormatMapText(const MapFigures& f) {
  std::string out = "component  eigenvalue  variance\n";
  for (std::size_t k = 0; k < f.eigenValues.size(); ++k) {
    std::string number = std::to_string(k + 1);
    std::string value = Num(f.eigenValues[k], 6);
    std::string share = Percent(VarianceShare(f, k));
    out += std::string(9 - std::min<std::size_t>(9, number.size()), ' ') + number;
    out += std::string(12 - std::min<std::size_t>(12, value.size()), ' ') + value;
    out += std::string(10 - std::min<std::size_t>(10, share.size()), ' ') + share + "\n";
  }
  out += "total variance " + Num(f.totalVariance, 6) + "\n";
  out += "documents " + std::to_string(f.points.size()) + " drawn of " +
         std::to_string(f.documents) + ", classes " + std::to_string(f.labels.size()) + "\n";
  return out;
}

std::string MapSvg(const MapFigures& f, const std::string& title) {
  constexpr int kLeft = 70, kTop = 40, kPlot = 560, kLegendW = 190, kBottom = 60;
  constexpr int kWidth = kLeft + kPlot + 20 + kLegendW, kHeight = kTop + kPlot + kBottom;
  double lowX = 0.0, highX = 0.0, lowY = 0.0, highY = 0.0;
  for (std::size_t i = 0; i < f.points.size(); ++i) {
    const MapPoint& p = f.points[i];
    lowX = i == 0 ? p.x : std::min(lowX, p.x);
    highX = i == 0 ? p.x : std::max(highX, p.x);
    lowY = i == 0 ? p.y : std::min(lowY, p.y);
    highY = i == 0 ? p.y : std::max(highY, p.y);
  }
  // A margin of 4% so that no point sits on the frame; a range of nothing gets a unit one.
  const auto widen = [](double& low, double& high) {
    const double margin = high > low ? 0.04 * (high - low) : 0.5;
    low -= margin;
    high += margin;
  };
  widen(lowX, highX);
  widen(lowY, highY);
  const auto sx = [&](double x) { return kLeft + kPlot * (x - lowX) / (highX - lowX); };
  const auto sy = [&](double y) { return kTop + kPlot * (1.0 - (y - lowY) / (highY - lowY)); };

  std::string s = SvgStart(kWidth, kHeight, title, true);
  s += "<rect width=\"100%\" height=\"100%\" fill=\"#fff\"/>\n";
  s += "<text x=\"" + std::to_string(kLeft) + "\" y=\"24\" font-size=\"14\" font-weight=\"bold\">" +
       EscapeXml(title) + "</text>\n";
  // Grid, ticks and their values.
  s += "<g stroke=\"#e4e4e4\">\n";
  std::string values;
  const double stepX = TickStep(lowX, highX, 8), stepY = TickStep(lowY, highY, 8);
  for (double t = std::ceil(lowX / stepX) * stepX; t <= highX; t += stepX) {
    const std::string x = Num(sx(t), 2);
    s += "<line x1=\"" + x + "\" y1=\"" + std::to_string(kTop) + "\" x2=\"" + x + "\" y2=\"" +
         std::to_string(kTop + kPlot) + "\"/>\n";
    values += "<text x=\"" + x + "\" y=\"" + std::to_string(kTop + kPlot + 16) +
              "\" text-anchor=\"middle\">" +
              Num(std::abs(t) < stepX / 2 ? 0.0 : t, Decimals(stepX)) + "</text>\n";
  }
  for (double t = std::ceil(lowY / stepY) * stepY; t <= highY; t += stepY) {
    const std::string y = Num(sy(t), 2);
    s += "<line x1=\"" + std::to_string(kLeft) + "\" y1=\"" + y + "\" x2=\"" +
         std::to_string(kLeft + kPlot) + "\" y2=\"" + y + "\"/>\n";
    values += "<text x=\"" + std::to_string(kLeft - 6) + "\" y=\"" + Num(sy(t) + 4, 2) +
              "\" text-anchor=\"end\">" + Num(std::abs(t) < stepY / 2 ? 0.0 : t, Decimals(stepY)) +
              "</text>\n";
  }
  s += "</g>\n" + values;
  s += "<rect x=\"" + std::to_string(kLeft) + "\" y=\"" + std::to_string(kTop) + "\" width=\"" +
       std::to_string(kPlot) + "\" height=\"" + std::to_string(kPlot) +
       "\" fill=\"none\" stroke=\"#888\"/>\n";
  s += "<text x=\"" + std::to_string(kLeft + kPlot / 2) + "\" y=\"" +
       std::to_string(kTop + kPlot + 40) +
       "\" text-anchor=\"middle\" font-size=\"13\">component 1 (" + Percent(VarianceShare(f, 0)) +
       " of the variance)</text>\n";
  const int yLabelX = 22, yLabelY = kTop + kPlot / 2;
  s += "<text x=\"" + std::to_string(yLabelX) + "\" y=\"" + std::to_string(yLabelY) +
       "\" text-anchor=\"middle\" font-size=\"13\" transform=\"rotate(-90 " +
       std::to_string(yLabelX) + " " + std::to_string(yLabelY) + ")\">component 2 (" +
       Percent(VarianceShare(f, 1)) + " of the variance)</text>\n";

  // The points, one group per class, drawn class by class.
  for (std::size_t c = 0; c < f.labels.size(); ++c) {
    s += "<g fill=\"" + Colour(c) + "\" fill-opacity=\"0.65\">\n<title>" + EscapeXml(f.labels[c]) +
         "</title>\n";
    for (const MapPoint& p : f.points) {
      if (p.classIndex != c) continue;
      s += "<circle cx=\"" + Num(sx(p.x), 2) + "\" cy=\"" + Num(sy(p.y), 2) + "\" r=\"2.5\"/>";
    }
    s += "\n</g>\n";
  }

  // The legend.
  const int legendX = kLeft + kPlot + 20;
  s += "<g>\n";
  for (std::size_t c = 0; c < f.labels.size(); ++c) {
    const int y = kTop + 10 + static_cast<int>(c) * 20;
    s += "<rect x=\"" + std::to_string(legendX) + "\" y=\"" + std::to_string(y - 9) +
         "\" width=\"12\" height=\"12\" fill=\"" + Colour(c) + "\"/>";
    s += "<text x=\"" + std::to_string(legendX + 18) + "\" y=\"" + std::to_string(y + 1) +
         "\" font-size=\"12\">" + EscapeXml(f.labels[c]) + " (" + std::to_string(f.counts[c]) +
         ")</text>\n";
  }
  s += "</g>\n</svg>\n";
  return s;
}

int RunMap(const MapOptions& o) {
  const std::unique_ptr<Qel::TextModel> model = LoadModel(o.model);
  const std::vector<LabeledText> docs = ReadData(o.data);
  if (docs.empty()) throw ToolError(kExitData, o.data.front() + ": no documents");

  MapFigures f;
  f.documents = docs.size();
  std::map<std::u16string, std::size_t> classOf;
  std::vector<std::vector<std::size_t>> members;
  for (std::size_t i = 0; i < docs.size(); ++i) {
    auto [it, added] = classOf.try_emplace(docs[i].label, f.labels.size());
    if (added) {
      f.labels.push_back(ToUtf8(docs[i].label));
      members.emplace_back();
    }
    members[it->second].push_back(i);
  }
  std::vector<std::size_t> sizes;
  for (const auto& m : members) sizes.push_back(m.size());
  const auto drawn = SampleEvenly(sizes, o.maxExamples, o.seed);

  // The drawn documents as unit vectors under one root, in class order.
  const Qel::TextVectorizer& vectorizer = model->GetVectorizer();
  const auto root = Qel::AdoptRef(Qel::DocumentNode::Create());
  std::vector<Qel::DocumentNode*> nodes;
  std::vector<std::size_t> nodeClass;
  std::vector<Qel::Representation*> examples;
  f.counts.assign(f.labels.size(), 0);
  std::size_t empty = 0;
  Progress progress("features", o.maxExamples < docs.size() ? o.maxExamples : docs.size(), o.quiet);
  std::vector<Qel::TermEntry> features;
  for (std::size_t c = 0; c < drawn.size(); ++c) {
    for (std::size_t index : drawn[c]) {
      progress.Add(1);
      vectorizer.Vectorize(docs[members[c][index]].text, features);
      double norm = 0.0;
      for (const Qel::TermEntry& e : features) norm += double{e.weight} * e.weight;
      if (features.empty() || !(norm > 0.0)) {
        ++empty;
        continue;
      }
      const double scale = 1.0 / std::sqrt(norm);
      for (Qel::TermEntry& e : features) e.weight = static_cast<float>(e.weight * scale);
      auto node =
          Qel::AdoptRef(Qel::DocumentNode::Create(static_cast<std::uint32_t>(c + 1), root.get()));
      auto vector = Qel::AdoptRef(Qel::TermVector::Create(features));
      if (!node->AddRepresentation(vector.get()))
        throw ToolError(kExitFailure, "map: cannot attach a vector");
      examples.push_back(vector.release());
      root->AddChild(node.get());
      nodes.push_back(node.release());
      nodeClass.push_back(c);
      ++f.counts[c];
    }
  }
  progress.Finish();
  // The analyser learns from four examples or more.
  if (nodes.size() < 4) {
    throw ToolError(kExitData, o.data.front() + ": " + std::to_string(nodes.size()) +
                                   " documents with features; a map needs at least 4");
  }

  Qel::PcaAnalyzer analyser;
  Qel::PcaControl control;
  control.SetDoExamples(true);
  control.SetDoLearn(true);
  control.SetDoProject(true);
  control.SetDimension(o.components);
  control.SetMaxExamples(static_cast<std::uint32_t>(examples.size()));
  control.SetExampleVector(examples);
  control.SetActivityVector(std::vector<signed char>(examples.size(), 1));
  control.SetRepresentationTag(Qel::TermVector::DEFAULT_TAG);
  control.SetResultTag(kProjectionTag);
  control.SetSourceNode(root.get());
  if (!o.quiet)
    std::fprintf(stderr, "qel: learning %u components of %zu documents\n", o.components,
                 examples.size());
  analyser.DoAlgorithm(&control);

  f.eigenValues = analyser.GetEigenValues();
  f.eigenValues.resize(std::min<std::size_t>(f.eigenValues.size(), o.components));
  // The variance of the unit vectors around their mean: the trace of the centred kernel over n.
  const double n = static_cast<double>(examples.size());
  double trace = 0.0;
  for (const Qel::Representation* x : examples) trace += x->dot(*x);
  f.totalVariance = (trace - analyser.GetTotal() / n) / n;

  for (std::size_t i = 0; i < nodes.size(); ++i) {
    auto* result = dynamic_cast<Qel::FullResult*>(nodes[i]->GetRepresentation(kProjectionTag));
    if (result == nullptr) throw ToolError(kExitFailure, "map: a document was not projected");
    const std::vector<Qel::FullResultItem> y = result->GetResults();
    if (y.size() < 2)
      throw ToolError(kExitFailure, "map: a projection has fewer than 2 components");
    f.points.push_back({nodeClass[i], y[0].GetValue(), y[1].GetValue()});
  }
  if (!o.quiet && empty > 0)
    std::fprintf(stderr, "qel: %zu drawn documents without features left out\n", empty);

  WriteFileAtomically(
      o.svg, MapSvg(f, "qel map: " + std::filesystem::path(o.model).filename().string() + ", " +
                           std::to_string(f.points.size()) + " documents"));
  const std::string printout = FormatMapText(f);
  std::fwrite(printout.data(), 1, printout.size(), stdout);
  std::fflush(stdout);
  if (!o.quiet) std::fprintf(stderr, "qel: map written to %s\n", o.svg.c_str());
  return kExitOk;
}

void AddMapCommand(CLI::App& app, Runners& runners) {
  auto o = std::make_shared<MapOptions>();
  CLI::App* m = app.add_subcommand(
      "map",
      "Project labelled DATA onto the first principal components of kernel PCA over the "
      "model's feature vectors (unit length: the kernel is their cosine); write the scatter plot "
      "of the first two as SVG and print the eigenvalues and the share of the variance of each.");
  m->add_option("-m,--model", o->model, "Model file (its vectoriser makes the features)")
      ->required();
  m->add_option("DATA", o->data, "Class folders' parent folder, or TSV file")->required();
  m->add_option("--svg", o->svg, "Scatter plot to write, FILE.svg")->required();
  m->add_option("-n,--max-examples", o->maxExamples,
                "Documents drawn, evenly per class (the kernel matrix grows with the square)")
      ->check(CLI::Range(4u, 5000u))
      ->capture_default_str();
  m->add_option("--components", o->components, "Components learnt and printed")
      ->check(CLI::Range(2u, 20u))
      ->capture_default_str();
  m->add_option("--seed", o->seed, "Seed of the sampling")->capture_default_str();
  m->add_flag("-q,--quiet", o->quiet, "No progress bar and no messages");
  m->footer(app.get_footer());
  runners.push_back({m, [o] { return RunMap(*o); }});
}

}  // namespace QelTool
