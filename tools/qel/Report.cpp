#include "Report.h"

#include <qel/learn/ErrorMatrix.h>
#include <qel/learn/ErrorPlot.h>
#include <qel/learn/ErrorPlotVisitor.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <cmath>

#include "Tool.h"

namespace QelTool {

namespace {

double Ratio(double a, double b) { return b > 0.0 ? a / b : 0.0; }

std::string Pad(const std::string& text, std::size_t width, bool right) {
  // Width in code points, so that labels in any script line up as far as a terminal allows.
  std::size_t points = 0;
  for (unsigned char c : text) points += (c & 0xC0) != 0x80;
  if (points >= width) return text;
  const std::string fill(width - points, ' ');
  return right ? fill + text : text + fill;
}

std::string Num(double v, int decimals = 2) { return FormatFixed(v, decimals); }

}  // namespace

Evaluation Summarise(const std::vector<std::string>& labels, const Qel::ErrorMatrix& matrix,
                     const Qel::ErrorPlotVisitor& plots) {
  Evaluation e;
  e.labels = labels;
  const std::size_t n = labels.size() + 1;
  e.cells.assign(n, std::vector<unsigned int>(n, 0));
  for (unsigned int t = 1; t < n; ++t) {
    for (unsigned int a = 0; a < n; ++a) e.cells[t][a] = matrix.GetResult(t, a).count;
  }
  e.documents = matrix.GetDocCount();
  e.correct = matrix.GetCorrect();
  e.incorrect = matrix.GetIncorrect();
  e.rejected = matrix.GetRejected();
  e.accuracy = Ratio(e.correct, e.documents);
  double f1Sum = 0.0;
  for (unsigned int c = 1; c < n; ++c) {
    ClassFigures f;
    f.label = labels[c - 1];
    f.correct = e.cells[c][c];
    for (unsigned int a = 0; a < n; ++a) f.support += e.cells[c][a];
    for (unsigned int t = 1; t < n; ++t) f.predicted += e.cells[t][c];
    f.precision = Ratio(f.correct, f.predicted);
    f.recall = Ratio(f.correct, f.support);
    f.f1 = Ratio(2.0 * f.precision * f.recall, f.precision + f.recall);
    f1Sum += f.f1;
    e.classes.push_back(f);

    ClassPlot p;
    p.label = f.label;
    const Qel::ErrorPlot* plot = plots.GetPlot(c);
    if (plot != nullptr && plot->IsValid()) {
      p.count = plot->GetCount();
      p.goodCurve = plot->GetGoodHistogram();
      p.badCurve = plot->GetBadHistogram();
      // The curves are cumulative from the top; their differences are the bins.
      for (const auto* curve : {&p.goodCurve, &p.badCurve}) {
        auto& bins = curve == &p.goodCurve ? p.goodBins : p.badBins;
        bins.resize(curve->size());
        for (std::size_t i = 0; i < curve->size(); ++i) {
          const double next = i + 1 < curve->size() ? (*curve)[i + 1] : 0.0;
          bins[i] = static_cast<std::uint32_t>(std::lround(((*curve)[i] - next) * p.count));
        }
      }
    }
    e.plots.push_back(std::move(p));
  }
  e.macroF1 = labels.empty() ? 0.0 : f1Sum / static_cast<double>(labels.size());
  return e;
}

std::string FormatText(const Evaluation& e) {
  const std::size_t n = e.labels.size() + 1;
  std::size_t width = 6;
  for (const std::string& l : e.labels) width = std::max(width, l.size() + 1);
  for (std::size_t t = 1; t < n; ++t) {
    for (std::size_t a = 0; a < n; ++a)
      width = std::max(width, std::to_string(e.cells[t][a]).size() + 1);
  }
  std::string out = "Error matrix (rows: true class, columns: assigned class, - = rejected)\n";
  out += Pad("", width, false);
  for (std::size_t a = 1; a < n; ++a) out += Pad(e.labels[a - 1], width, true);
  out += Pad("-", width, true) + "\n";
  for (std::size_t t = 1; t < n; ++t) {
    out += Pad(e.labels[t - 1], width, false);
    for (std::size_t a = 1; a < n; ++a) out += Pad(std::to_string(e.cells[t][a]), width, true);
    out += Pad(std::to_string(e.cells[t][0]), width, true) + "\n";
  }
  out += "\n" + Pad("class", width, false) + "  precision     recall         F1    support\n";
  for (const ClassFigures& f : e.classes) {
    out += Pad(f.label, width, false) + Pad(Num(f.precision, 4), 11, true) +
           Pad(Num(f.recall, 4), 11, true) + Pad(Num(f.f1, 4), 11, true) +
           Pad(std::to_string(f.support), 11, true) + "\n";
  }
  out += "\ndocuments " + std::to_string(e.documents) + ", correct " + std::to_string(e.correct) +
         ", incorrect " + std::to_string(e.incorrect) + ", rejected " + std::to_string(e.rejected) +
         "\n";
  out += "accuracy " + Num(e.accuracy, 4) + "\n";
  out += "macro F1 " + Num(e.macroF1, 4) + "\n";
  return out;
}

std::string FormatJson(const Evaluation& e) {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> w(buffer);
  w.SetMaxDecimalPlaces(6);
  w.StartObject();
  w.Key("documents");
  w.Uint(e.documents);
  w.Key("correct");
  w.Uint(e.correct);
  w.Key("incorrect");
  w.Uint(e.incorrect);
  w.Key("rejected");
  w.Uint(e.rejected);
  w.Key("accuracy");
  w.Double(e.accuracy);
  w.Key("macro_f1");
  w.Double(e.macroF1);
  w.Key("classes");
  w.StartArray();
  for (const ClassFigures& f : e.classes) {
    w.StartObject();
    w.Key("label");
    w.String(f.label.c_str(), static_cast<rapidjson::SizeType>(f.label.size()));
    w.Key("precision");
    w.Double(f.precision);
    w.Key("recall");
    w.Double(f.recall);
    w.Key("f1");
    w.Double(f.f1);
    w.Key("support");
    w.Uint(f.support);
    w.EndObject();
  }
  w.EndArray();
  // Rows are true classes, columns assigned classes; the last column counts rejections.
  w.Key("matrix");
  w.StartArray();
  for (std::size_t t = 1; t < e.cells.size(); ++t) {
    w.StartArray();
    for (std::size_t a = 1; a < e.cells.size(); ++a) w.Uint(e.cells[t][a]);
    w.Uint(e.cells[t][0]);
    w.EndArray();
  }
  w.EndArray();
  w.EndObject();
  return std::string(buffer.GetString(), buffer.GetSize()) + "\n";
}

std::string SvgStart(int width, int height, const std::string& title, bool standalone) {
  std::string s;
  if (standalone) s += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  s += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(width) +
       "\" height=\"" + std::to_string(height) + "\" viewBox=\"0 0 " + std::to_string(width) + " " +
       std::to_string(height) + "\" font-family=\"sans-serif\" font-size=\"11\">\n";
  s += "<title>" + EscapeXml(title) + "</title>\n";
  return s;
}

std::string PlotSvg(const Evaluation& e, bool standalone) {
  constexpr int kPanelW = 320, kPanelH = 200, kPad = 30, kColumns = 3;
  constexpr int kPlotW = kPanelW - 2 * kPad, kPlotH = kPanelH - 2 * kPad;
  const int count = static_cast<int>(e.plots.size());
  const int rows = std::max(1, (count + kColumns - 1) / kColumns);
  const int width = kPanelW * std::min(std::max(count, 1), kColumns);
  const int height = kPanelH * rows + 24;
  std::string s = SvgStart(width, height, "Error plot: best scores per class", standalone);
  s += "<text x=\"8\" y=\"16\">Best score per class: bars count documents (green correct, red "
       "wrong); lines show the share correct (green) and wrong (red) at or above each "
       "score.</text>\n";
  for (int i = 0; i < count; ++i) {
    const ClassPlot& p = e.plots[i];
    const int x0 = (i % kColumns) * kPanelW + kPad;
    const int y0 = (i / kColumns) * kPanelH + 24 + kPad;
    s += "<g>\n<text x=\"" + std::to_string(x0) + "\" y=\"" + std::to_string(y0 - 8) +
         "\" font-weight=\"bold\">" + EscapeXml(p.label) + " (" + std::to_string(p.count) +
         ")</text>\n";
    s += "<rect x=\"" + std::to_string(x0) + "\" y=\"" + std::to_string(y0) + "\" width=\"" +
         std::to_string(kPlotW) + "\" height=\"" + std::to_string(kPlotH) +
         "\" fill=\"none\" stroke=\"#888\"/>\n";
    s += "<text x=\"" + std::to_string(x0) + "\" y=\"" + std::to_string(y0 + kPlotH + 14) +
         "\">0</text><text x=\"" + std::to_string(x0 + kPlotW - 6) + "\" y=\"" +
         std::to_string(y0 + kPlotH + 14) + "\">1</text>\n";
    if (p.goodBins.empty()) {
      s += "</g>\n";
      continue;
    }
    std::uint32_t peak = 1;
    for (std::size_t b = 0; b < p.goodBins.size(); ++b)
      peak = std::max(peak, p.goodBins[b] + p.badBins[b]);
    const double barW = static_cast<double>(kPlotW) / p.goodBins.size();
    for (std::size_t b = 0; b < p.goodBins.size(); ++b) {
      const double good = kPlotH * static_cast<double>(p.goodBins[b]) / peak;
      const double bad = kPlotH * static_cast<double>(p.badBins[b]) / peak;
      const double x = x0 + b * barW;
      if (good > 0.0) {
        s += "<rect x=\"" + Num(x) + "\" y=\"" + Num(y0 + kPlotH - good) + "\" width=\"" +
             Num(barW) + "\" height=\"" + Num(good) + "\" fill=\"#4a4\"/>";
      }
      if (bad > 0.0) {
        s += "<rect x=\"" + Num(x) + "\" y=\"" + Num(y0 + kPlotH - good - bad) + "\" width=\"" +
             Num(barW) + "\" height=\"" + Num(bad) + "\" fill=\"#c33\"/>";
      }
    }
    s += "\n";
    for (const auto* curve : {&p.goodCurve, &p.badCurve}) {
      s += "<polyline fill=\"none\" stroke=\"" +
           std::string(curve == &p.goodCurve ? "#060" : "#900") + "\" points=\"";
      for (std::size_t b = 0; b < curve->size(); ++b) {
        if (b > 0) s += ' ';
        s += Num(x0 + (b + 0.5) * barW) + "," + Num(y0 + kPlotH * (1.0 - (*curve)[b]));
      }
      s += "\"/>\n";
    }
    s += "</g>\n";
  }
  s += "</svg>\n";
  return s;
}

std::string ReportHtml(const Evaluation& e, const std::string& title) {
  std::string h = "<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"en\">\n";
  h += "<head>\n<meta charset=\"utf-8\"/>\n<title>" + EscapeXml(title) + "</title>\n";
  h += "<style>\nbody { font-family: sans-serif; margin: 2em; }\n"
       "table { border-collapse: collapse; margin: 1em 0; }\n"
       "td, th { border: 1px solid #ccc; padding: 0.2em 0.5em; text-align: right; }\n"
       "th { background: #eee; }\n"
       "</style>\n</head>\n<body>\n";
  h += "<h1>" + EscapeXml(title) + "</h1>\n";
  h += "<p>Documents " + std::to_string(e.documents) + ", correct " + std::to_string(e.correct) +
       ", incorrect " + std::to_string(e.incorrect) + ", rejected " + std::to_string(e.rejected) +
       ". Accuracy <b>" + Num(e.accuracy, 4) + "</b>, macro F1 <b>" + Num(e.macroF1, 4) +
       "</b>. Rejection thresholds: score " + Num(e.minScore, 3) + ", distance " +
       Num(e.minDistance, 3) + ".</p>\n";

  h += "<h2>Error matrix</h2>\n<p>Rows: true class; columns: assigned class; the last column "
       "counts rejected documents. The shade is the share of the row.</p>\n<table>\n<tr><th/>";
  for (const std::string& l : e.labels) h += "<th>" + EscapeXml(l) + "</th>";
  h += "<th>rejected</th></tr>\n";
  const std::size_t n = e.labels.size() + 1;
  for (std::size_t t = 1; t < n; ++t) {
    unsigned int row = 0;
    for (std::size_t a = 0; a < n; ++a) row += e.cells[t][a];
    h += "<tr><th>" + EscapeXml(e.labels[t - 1]) + "</th>";
    for (std::size_t k = 1; k <= n; ++k) {
      const std::size_t a = k % n;  // the classes, then the rejected column
      const double share = row > 0 ? static_cast<double>(e.cells[t][a]) / row : 0.0;
      // Correct cells shade to blue, errors to red.
      const int fade = static_cast<int>(std::lround(255.0 * (1.0 - share)));
      const std::string colour =
          a == t ? "rgb(" + std::to_string(fade) + "," + std::to_string(fade) + ",255)"
                 : "rgb(255," + std::to_string(fade) + "," + std::to_string(fade) + ")";
      const char* text = share > 0.6 ? "#fff" : "#000";
      h += "<td style=\"background:" + colour + ";color:" + text + "\" title=\"" +
           Num(100.0 * share, 1) + "%\">" + std::to_string(e.cells[t][a]) + "</td>";
    }
    h += "</tr>\n";
  }
  h += "</table>\n";

  h += "<h2>Per class</h2>\n<table>\n<tr><th>class</th><th>precision</th><th>recall</th>"
       "<th>F1</th><th>support</th></tr>\n";
  for (const ClassFigures& f : e.classes) {
    h += "<tr><th>" + EscapeXml(f.label) + "</th><td>" + Num(f.precision, 4) + "</td><td>" +
         Num(f.recall, 4) + "</td><td>" + Num(f.f1, 4) + "</td><td>" + std::to_string(f.support) +
         "</td></tr>\n";
  }
  h += "</table>\n<h2>Error plot</h2>\n";
  h += PlotSvg(e, false);
  h += "</body>\n</html>\n";
  return h;
}

}  // namespace QelTool
