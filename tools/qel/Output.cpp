#include "Output.h"

#include <fcntl.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "Tool.h"

namespace QelTool {

Sink::Sink(const std::string& path) : m_path(path == "-" ? std::string() : path) {
  if (m_path.empty()) {
    m_file = stdout;
    return;
  }
  const std::filesystem::path final(m_path);
  const std::filesystem::path folder =
      final.has_parent_path() ? final.parent_path() : std::filesystem::path(".");
  std::string pattern = (folder / ("." + final.filename().string() + ".tmp-XXXXXX")).string();
  const int fd = mkstemp(pattern.data());
  if (fd < 0) {
    throw ToolError(kExitOutput, m_path + ": cannot create: " + std::strerror(errno));
  }
  // mkstemp creates the file for its owner only; give it the permissions a new file gets.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  m_temporary = pattern;
  m_file = fdopen(fd, "wb");
  if (m_file == nullptr) {
    close(fd);
    std::remove(m_temporary.c_str());
    throw ToolError(kExitOutput, m_path + ": cannot create: " + std::strerror(errno));
  }
}

Sink::~Sink() {
  if (m_temporary.empty() || m_committed) return;
  if (m_file != nullptr) std::fclose(m_file);
  std::remove(m_temporary.c_str());
}

void Sink::Fail(const std::string& what) {
  const std::string name = m_path.empty() ? std::string("standard output") : m_path;
  throw ToolError(kExitOutput, name + ": " + what + ": " + std::strerror(errno));
}

void Sink::Write(std::string_view text) {
  if (!text.empty() && std::fwrite(text.data(), 1, text.size(), m_file) != text.size()) {
    Fail("cannot write");
  }
}

void Sink::Flush() {
  if (std::fflush(m_file) != 0) Fail("cannot write");
}

void Sink::Commit() {
  if (m_committed) return;
  Flush();
  if (m_temporary.empty()) {
    m_committed = true;
    return;
  }
  if (fsync(fileno(m_file)) != 0) Fail("cannot write");
  const int closed = std::fclose(m_file);
  m_file = nullptr;
  if (closed != 0) Fail("cannot write");
  if (std::rename(m_temporary.c_str(), m_path.c_str()) != 0) Fail("cannot rename into place");
  m_committed = true;
}

void WriteFileAtomically(const std::string& path, std::string_view text) {
  Sink sink(path);
  sink.Write(text);
  sink.Commit();
}

namespace {

class TsvWriter : public ResultWriter {
 public:
  explicit TsvWriter(Sink& sink) : m_sink(sink) {}
  // id, label (or "-" when rejected), score; then label and score of the next best classes.
  void Write(const Classified& d) override {
    std::string line = OneLine(d.id);
    if (d.best.empty()) {
      line += "\t-\t" + FormatFixed(0.0, 6);
    } else {
      for (std::size_t i = 0; i < d.best.size(); ++i) {
        const bool reject = i == 0 && d.rejected;
        line += "\t" + (reject ? std::string("-") : OneLine(d.best[i].label));
        line += "\t" + FormatFixed(d.best[i].score, 6);
      }
    }
    line += '\n';
    m_sink.Write(line);
  }

 private:
  Sink& m_sink;
};

class JsonLinesWriter : public ResultWriter {
 public:
  explicit JsonLinesWriter(Sink& sink) : m_sink(sink) {}
  // {"id":..,"label":..|null,"score":..,"rejected":..,"top":[{"label":..,"score":..},..]}
  void Write(const Classified& d) override {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> w(buffer);
    w.SetMaxDecimalPlaces(6);
    w.StartObject();
    w.Key("id");
    w.String(d.id.c_str(), static_cast<rapidjson::SizeType>(d.id.size()));
    w.Key("label");
    if (d.rejected || d.best.empty()) {
      w.Null();
    } else {
      w.String(d.best[0].label.c_str(), static_cast<rapidjson::SizeType>(d.best[0].label.size()));
    }
    w.Key("score");
    w.Double(d.best.empty() ? 0.0 : d.best[0].score);
    w.Key("rejected");
    w.Bool(d.rejected);
    w.Key("top");
    w.StartArray();
    for (const Ranked& r : d.best) {
      w.StartObject();
      w.Key("label");
      w.String(r.label.c_str(), static_cast<rapidjson::SizeType>(r.label.size()));
      w.Key("score");
      w.Double(r.score);
      w.EndObject();
    }
    w.EndArray();
    w.EndObject();
    m_sink.Write(std::string_view(buffer.GetString(), buffer.GetSize()));
    m_sink.Write("\n");
  }

 private:
  Sink& m_sink;
};

// <ClassificationResults><Document Id=".." Rejected="..">ClsResults</Document>...</...>
class XmlWriter : public ResultWriter {
 public:
  explicit XmlWriter(Sink& sink) : m_sink(sink) {}
  void Begin() override {
    m_sink.Write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ClassificationResults>\n");
  }
  void Write(const Classified& d) override {
    std::string text = "<Document Id=\"" + EscapeXml(d.id) + "\" Rejected=\"" +
                       (d.rejected ? "true" : "false") + "\">";
    text += d.resultXml;
    text += "</Document>\n";
    m_sink.Write(text);
  }
  void End() override { m_sink.Write("</ClassificationResults>\n"); }

 private:
  Sink& m_sink;
};

}  // namespace

std::unique_ptr<ResultWriter> ResultWriter::Create(OutputFormat format, Sink& sink) {
  switch (format) {
    case OutputFormat::JsonLines:
      return std::make_unique<JsonLinesWriter>(sink);
    case OutputFormat::Xml:
      return std::make_unique<XmlWriter>(sink);
    case OutputFormat::Tsv:
      break;
  }
  return std::make_unique<TsvWriter>(sink);
}

}  // namespace QelTool
