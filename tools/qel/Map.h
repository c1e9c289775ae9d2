// qel map: a picture of labelled documents. The model's vectoriser turns each text into the
// kit's TermVector, scaled to unit length; PcaAnalyzer learns the leading components of their
// centred kernel (the dot product of the vectors, so the cosine of the texts) and projects every
// document onto them; the first two make a scatter plot in SVG. One thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Runners.h"
#include "Tool.h"

namespace CLI {
class App;
}

namespace QelTool {

struct MapOptions {
  std::string model;
  std::vector<std::string> data;
  std::string svg;
  unsigned int maxExamples = 1200;  // documents drawn, sampled evenly per class
  unsigned int components = 2;      // components learnt and reported (the plot shows two)
  std::uint64_t seed = 1;           // of the sampling
  bool quiet = false;
};

// One point of the map.
struct MapPoint {
  std::size_t classIndex = 0;
  double x = 0.0;
  double y = 0.0;
};

struct MapFigures {
  std::vector<std::string> labels;  // classes, in the order of the DATA
  std::vector<std::size_t> counts;  // documents drawn per class
  std::vector<MapPoint> points;
  std::vector<double> eigenValues;  // per component, largest first
  double totalVariance = 0.0;       // of the unit vectors around their mean
  std::size_t documents = 0;        // in the DATA
};

// The share of the variance component `k` explains (0 when there is no variance).
double VarianceShare(const MapFigures& figures, std::size_t k);

// Draws up to `count` indices from groups of the given sizes: one from each group in turn, each
// group taken in an order shuffled with `seed`, until `count` are drawn or none is left. Returns
// the drawn indices of each group. The same on every platform.
std::vector<std::vector<std::size_t>> SampleEvenly(const std::vector<std::size_t>& groupSizes,
                                                   std::size_t count, std::uint64_t seed);

// The scatter plot: one colour per class, a legend with the counts, axes named with their share
// of the variance. `title` heads it.
std::string MapSvg(const MapFigures& figures, const std::string& title);
// The eigenvalues and shares as printed on standard output.
std::string FormatMapText(const MapFigures& figures);

int RunMap(const MapOptions& options);

// Adds "map" to `app`.
void AddMapCommand(CLI::App& app, Runners& runners);

}  // namespace QelTool
