// The XML commands. check drives XmlSaxParser with a callback that swallows every element, so it
// costs the reader's scan and nothing more; format reads through XmlTree::Read, which takes
// plain or gzip input alike, and writes with XmlTree.
#include "Xml.h"

#include <qel/core/Exceptions.h>
#include <qel/xml/XmlSaxParser.h>
#include <qel/xml/XmlTree.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>

#include "Output.h"
#include "Progress.h"

namespace QelTool {

namespace {

// Standard input is read through its device, so that the library reads it like a file.
std::u16string InputPath(const std::string& argument) {
  return FromUtf8(argument == "-" ? std::string("/dev/stdin") : argument);
}

// Receives the root element and leaves the rest to the parser's default callback.
class Ignore : public Qel::XmlSaxCallback {
 public:
  void OnStartElement(Qel::XmlSaxParser*, const unsigned char*, const unsigned char**) override {}
  void OnEndElement(Qel::XmlSaxParser*, const unsigned char*) override {}
};

std::string Where(const Qel::XmlParseError& error) {
  if (error.line <= 0) return "";
  std::string where = "line " + std::to_string(error.line);
  if (error.column > 0) where += ", column " + std::to_string(error.column);
  return where + ": ";
}

// The problem of a failed read as one line, for `name`.
std::string Problem(const Qel::BaseException& e) {
  const std::string description = ToUtf8(e.GetErrorDescription());
  if (dynamic_cast<const Qel::XMLFormatException*>(&e) != nullptr)
    return "beyond a safety bound: " + description;
  return "cannot read: " + description;
}

}  // namespace

int RunXmlCheck(const XmlCheckOptions& o) {
  Qel::XmlSaxParser parser;
  Ignore ignore;
  Progress progress("check", o.files.size(), o.quiet);
  std::size_t bad = 0;
  for (const std::string& file : o.files) {
    std::string problem;
    try {
      parser.ParseFile(InputPath(file), &ignore);
      const Qel::XmlParseError& error = parser.GetParseError();
      if (error.found) problem = "not well-formed: " + Where(error) + error.message;
    } catch (const Qel::BaseException& e) {
      problem = Problem(e);
    }
    if (!problem.empty()) {
      ++bad;
      std::fflush(stdout);
      std::fprintf(stderr, "qel: %s: %s\n", file.c_str(), OneLine(problem).c_str());
    }
    progress.Add(1);
  }
  progress.Finish();
  if (!o.quiet && o.files.size() > 1) {
    std::fprintf(stderr, "qel: %zu files checked, %zu well-formed, %zu not\n", o.files.size(),
                 o.files.size() - bad, bad);
  }
  return bad == 0 ? kExitOk : kExitData;
}

int RunXmlFormat(const XmlFormatOptions& o) {
  Qel::XmlTree tree;
  try {
    tree.Read(InputPath(o.input));
  } catch (const Qel::BaseException& e) {
    throw ToolError(kExitData, o.input + ": " + Problem(e));
  }
  const Qel::XmlParseError& error = tree.GetReadError();
  if (error.found)
    throw ToolError(kExitData, o.input + ": not well-formed: " + Where(error) + error.message);
  if (tree.GetRoot() == nullptr) throw ToolError(kExitData, o.input + ": no root element");

  const bool toFile = !o.output.empty() && o.output != "-";
  try {
    if (toFile && o.output.ends_with(".gz")) {
      // The tree writes the compressed file itself, under the sink's temporary name.
      Sink sink(o.output);
      tree.SetCompression(9);
      tree.Write(FromUtf8(sink.TemporaryPath()));
      sink.Commit();
    } else {
      Sink sink(o.output);
      sink.Write(tree.WriteIndentedBuffer());
      sink.Commit();
    }
  } catch (const Qel::BaseException& e) {
    const std::string name = toFile ? o.output : std::string("standard output");
    throw ToolError(kExitOutput, name + ": cannot write: " + ToUtf8(e.GetErrorDescription()));
  }
  return kExitOk;
}

void AddXmlCommands(CLI::App& app, Runners& runners) {
  CLI::App* xml = app.add_subcommand(
      "xml", "Check XML files or write them indented. External entities and DTDs are never read.");
  xml->require_subcommand(1);
  xml->footer(app.get_footer());

  auto check = std::make_shared<XmlCheckOptions>();
  CLI::App* c = xml->add_subcommand(
      "check",
      "Read each FILE (plain or gzip) with the SAX reader under the library's work bounds; print "
      "one line on stderr for each file that cannot be read or is not well-formed, with the "
      "line of its first error.");
  c->add_option("FILE", check->files, "XML files, or - for standard input")->required();
  c->add_flag("-q,--quiet", check->quiet, "No progress bar and no summary");
  c->footer(app.get_footer());

  auto format = std::make_shared<XmlFormatOptions>();
  CLI::App* f = xml->add_subcommand(
      "format", "Read FILE (plain or gzip) into a tree and write it indented, as UTF-8.");
  f->add_option("FILE", format->input, "XML file, or - for standard input")->required();
  f->add_option("-o,--output", format->output,
                "Write to FILE (default: stdout); a name ending in .gz is compressed");
  f->footer(app.get_footer());

  runners.push_back({c, [check] { return RunXmlCheck(*check); }});
  runners.push_back({f, [format] { return RunXmlFormat(*format); }});
}

}  // namespace QelTool
