// qel xml check and qel xml format: the library's SAX reader and XmlTree under the library's
// work bounds. Neither ever loads an external entity or DTD. One thread.
#pragma once

#include <string>
#include <vector>

#include "Runners.h"
#include "Tool.h"

namespace CLI {
class App;
}

namespace QelTool {

struct XmlCheckOptions {
  std::vector<std::string> files;  // "-" reads standard input
  bool quiet = false;
};

struct XmlFormatOptions {
  std::string input;   // "-" reads standard input
  std::string output;  // empty or "-": standard output; a name ending in .gz is compressed
};

// Every file is read whole; each one that cannot be read or is not well-formed gets one line on
// standard error naming it, with the line and column of its first error. kExitData when any
// file failed, kExitOk otherwise.
int RunXmlCheck(const XmlCheckOptions& options);
// Reads the input into a tree and writes it indented. A file that is not well-formed is an error
// (kExitData) and nothing is written.
int RunXmlFormat(const XmlFormatOptions& options);

// Adds "xml" with its subcommands "check" and "format" to `app`.
void AddXmlCommands(CLI::App& app, Runners& runners);

}  // namespace QelTool
