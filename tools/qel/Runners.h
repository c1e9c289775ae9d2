// The commands a registration function adds to the command line, each with what runs it once
// the command line names it. main() tries them in order after parsing.
#pragma once

#include <functional>
#include <vector>

namespace CLI {
class App;
}

namespace QelTool {

struct Runner {
  CLI::App* command = nullptr;
  std::function<int()> run;
};
using Runners = std::vector<Runner>;

}  // namespace QelTool
