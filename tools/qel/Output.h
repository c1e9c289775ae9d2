// Where results go: standard output, or a file written under a temporary name in the same
// folder and renamed once complete, so that no half-written file is ever seen under the final
// name. The result writers (TSV, JSON Lines, the library's result XML) write to such a sink.
// One thread at a time.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace QelTool {

class Sink {
 public:
  // `path` empty or "-" means standard output.
  explicit Sink(const std::string& path);
  ~Sink();  // removes the temporary file unless Commit was called
  Sink(const Sink&) = delete;
  Sink& operator=(const Sink&) = delete;

  void Write(std::string_view text);
  void Flush();
  // Closes the temporary file and renames it to the final name (standard output: flushes).
  // Throws ToolError(kExitOutput) naming the file when anything failed.
  void Commit();
  const std::string& Path() const { return m_path; }
  // The temporary file's name (empty for standard output), for writers that write the file
  // themselves before Commit.
  const std::string& TemporaryPath() const { return m_temporary; }
  // The open stream, for writers that take a FILE* (failures surface in Commit or their own).
  std::FILE* Stream() const { return m_file; }

 private:
  void Fail(const std::string& what);
  std::string m_path;
  std::string m_temporary;
  std::FILE* m_file = nullptr;
  bool m_committed = false;
};

// Writes `text` to `path` through a temporary file and a rename.
void WriteFileAtomically(const std::string& path, std::string_view text);

// One classified document as the writers see it.
struct Ranked {
  std::string label;  // UTF-8
  double score = 0.0;
};
struct Classified {
  std::string id;            // UTF-8
  bool rejected = true;      // no accepted class (below the thresholds, or no result)
  std::vector<Ranked> best;  // best first, at most --top entries
  std::string resultXml;     // the library's "ClsResults" element (XML format only)
};

enum class OutputFormat { Tsv, JsonLines, Xml };

class ResultWriter {
 public:
  virtual ~ResultWriter() = default;
  virtual void Begin() {}
  virtual void Write(const Classified& document) = 0;
  virtual void End() {}
  static std::unique_ptr<ResultWriter> Create(OutputFormat format, Sink& sink);
};

}  // namespace QelTool
