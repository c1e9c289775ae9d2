// Feeds arbitrary bytes to PcaAnalyzer::Load. A load either fails and leaves the analyser as it
// was, or succeeds and then writes back exactly the bytes it read; a loaded state is then used
// for a projection, which must stay within the loaded arrays.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "qel/core/Node.h"
#include "qel/learn/PcaAnalyzer.h"
#include "qel/model/DocumentNode.h"
#include "qel/model/Representation.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

class Point : public Qel::Node, public Qel::Representation {
 public:
  static Point* Create(double x) {
    Point* p = new Point(x);
    p->AddRefCount();
    return p;
  }
  double dot(const Qel::Representation& other) const override {
    return m_x * static_cast<const Point&>(other).m_x;
  }
  bool IsValid() const override { return true; }

 private:
  explicit Point(double x) : m_x(x) {}
  double m_x;
};

std::string Saved(Qel::PcaAnalyzer& pca) {
  std::ostringstream os;
  pca.Save(&os);
  return os.str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  Qel::PcaAnalyzer pca;
  const std::string before = Saved(pca);
  std::istringstream is(input);
  if (!pca.Load(&is)) {
    Check(Saved(pca) == before);
    return 0;
  }
  // The relearn field is written back as read when it is 1 (kernel rows for the active
  // examples) or 2 (with more held rows than active examples), and as 0 otherwise.
  std::string expected = input.substr(0, static_cast<std::size_t>(is.tellg()));
  const std::string written = Saved(pca);
  if (expected.size() >= 20) {
    const bool kept = (expected[16] == 1 || expected[16] == 2) && expected[17] == 0 &&
                      expected[18] == 0 && expected[19] == 0;
    if (!kept) expected.replace(16, 4, std::string(4, '\0'));
  }
  Check(written == expected);

  std::vector<Point*> points;
  std::vector<Qel::Representation*> examples;
  for (int i = 0; i < 5; ++i) {
    points.push_back(Point::Create(i - 2.0));
    examples.push_back(points.back());
  }
  Qel::DocumentNode* doc = Qel::DocumentNode::Create();
  doc->AddRepresentation(Point::Create(0.5));
  Qel::PcaControl ctl;
  ctl.SetExampleVector(examples);
  ctl.SetActivityVector(std::vector<signed char>(5, 1));
  ctl.SetDoExamples(true);
  ctl.SetDoProject(true);
  ctl.SetSourceNode(doc);
  pca.DoAlgorithm(&ctl);
  doc->Release();
  for (Point* p : points) p->Release();
  return 0;
}
