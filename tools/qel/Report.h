// The outcome of an evaluation, taken from the library's ErrorMatrix and ErrorPlot, and its
// forms: the printout, JSON, the error plot as SVG, and the self-contained HTML report. All
// numbers are written the same way whatever the locale. Plain values; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Qel {
class ErrorMatrix;
class ErrorPlotVisitor;
}  // namespace Qel

namespace QelTool {

struct ClassFigures {
  std::string label;
  unsigned int support = 0;    // documents of the class
  unsigned int predicted = 0;  // documents assigned to the class
  unsigned int correct = 0;
  double precision = 0.0;
  double recall = 0.0;
  double f1 = 0.0;
};

struct ClassPlot {
  std::string label;
  unsigned int count = 0;
  std::vector<std::uint32_t> goodBins;  // documents per score bin i/100, classified correctly
  std::vector<std::uint32_t> badBins;   // ... wrongly
  std::vector<float> goodCurve;         // share of the class correct with a score >= i/100
  std::vector<float> badCurve;          // share of the class wrong with a score >= i/100
};

struct Evaluation {
  std::vector<std::string> labels;               // class id - 1
  std::vector<std::vector<unsigned int>> cells;  // [true id][assigned id]; id 0 = rejected
  unsigned int documents = 0;
  unsigned int correct = 0;
  unsigned int incorrect = 0;
  unsigned int rejected = 0;
  double accuracy = 0.0;
  double macroF1 = 0.0;
  std::vector<ClassFigures> classes;
  std::vector<ClassPlot> plots;
  double minScore = 0.0;
  double minDistance = 0.0;
};

// `labels[i]` names class id i + 1; the matrix has labels.size() + 1 classes.
Evaluation Summarise(const std::vector<std::string>& labels, const Qel::ErrorMatrix& matrix,
                     const Qel::ErrorPlotVisitor& plots);

std::string FormatText(const Evaluation& e);
std::string FormatJson(const Evaluation& e);
// The error plot: per class, the histogram of best scores and the cumulative good and bad
// curves. `standalone` adds the XML declaration of an .svg file.
std::string PlotSvg(const Evaluation& e, bool standalone);
// The opening <svg> tag of a drawing `width` by `height` pixels in sans-serif 11 px, with its
// <title>; `standalone` puts the XML declaration of an .svg file first.
std::string SvgStart(int width, int height, const std::string& title, bool standalone);
// One XHTML page: figures, the error matrix as a heat map, the error plot inline.
std::string ReportHtml(const Evaluation& e, const std::string& title);

}  // namespace QelTool
