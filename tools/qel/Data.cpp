#include "Data.h"

#include <qel/core/Exceptions.h>
#include <qel/core/IntrusivePtr.h>
#include <qel/util/TextReader.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "Tool.h"

namespace fs = std::filesystem;

namespace QelTool {

namespace {

[[noreturn]] void DataError(const std::string& path, const std::string& problem) {
  throw ToolError(kExitData, path + ": " + problem);
}

// Calls `line` for every non-empty line of `path`, read through TextReader.
template <class F>
void ForEachLine(const std::string& path, F&& line) {
  auto reader = Qel::AdoptRef(Qel::TextReader::Create());
  try {
    reader->Open(FromUtf8(path), true);
    for (std::u16string l = reader->GetNextLine(); !l.empty(); l = reader->GetNextLine()) line(l);
  } catch (const Qel::BaseException& e) {
    DataError(path, "cannot read: " + ToUtf8(e.GetErrorDescription()));
  }
  reader->Close();
}

bool IsDirectory(const fs::path& p) {
  std::error_code ec;
  return fs::is_directory(p, ec);
}

// Every non-folder entry under `folder`, recursively, sorted by path. Broken links are kept, so
// that reading them reports the problem.
std::vector<std::string> ListFiles(const std::string& folder) {
  std::vector<std::string> files;
  std::error_code ec;
  fs::recursive_directory_iterator it(folder, fs::directory_options::follow_directory_symlink, ec);
  if (ec) DataError(folder, "cannot read the folder: " + ec.message());
  for (; it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (ec) DataError(folder, "cannot read the folder: " + ec.message());
    if (!IsDirectory(it->path())) files.push_back(it->path().string());
  }
  if (ec) DataError(folder, "cannot read the folder: " + ec.message());
  std::sort(files.begin(), files.end());
  return files;
}

void ReadClassFolders(const std::string& root, std::vector<LabeledText>& out) {
  std::vector<fs::path> classes;
  std::error_code ec;
  for (fs::directory_iterator it(root, ec); !ec && it != fs::directory_iterator();
       it.increment(ec)) {
    if (IsDirectory(it->path())) classes.push_back(it->path());
  }
  if (ec) DataError(root, "cannot read the folder: " + ec.message());
  if (classes.empty()) DataError(root, "no class folders (expected one subfolder per class)");
  std::sort(classes.begin(), classes.end());
  for (const fs::path& c : classes) {
    const std::u16string label = FromUtf8(c.filename().string());
    const std::vector<std::string> files = ListFiles(c.string());
    if (files.empty()) DataError(c.string(), "empty class: no text files");
    for (const std::string& f : files) out.push_back({label, ReadTextFile(f), f});
  }
}

void ReadLabeledTsv(const std::string& path, std::vector<LabeledText>& out) {
  std::uint64_t number = 0;
  ForEachLine(path, [&](const std::u16string& line) {
    ++number;
    LabeledText t;
    t.source = path;
    if (!SplitAtTab(line, t.label, t.text) || t.label.empty()) {
      DataError(path, "line " + std::to_string(number) + ": expected label<TAB>text");
    }
    out.push_back(std::move(t));
  });
}

}  // namespace

bool SplitAtTab(const std::u16string& line, std::u16string& before, std::u16string& after) {
  const std::size_t tab = line.find(u'\t');
  if (tab == std::u16string::npos) return false;
  before = line.substr(0, tab);
  after = line.substr(tab + 1);
  return true;
}

std::u16string ReadTextFile(const std::string& path) {
  std::u16string text;
  ForEachLine(path, [&](const std::u16string& line) {
    if (!text.empty()) text += u'\n';
    text += line;
  });
  return text;
}

std::vector<LabeledText> ReadData(const std::vector<std::string>& arguments) {
  std::vector<LabeledText> out;
  for (const std::string& a : arguments) {
    std::error_code ec;
    if (!fs::exists(a, ec)) DataError(a, "no such file or folder");
    if (IsDirectory(a)) {
      ReadClassFolders(a, out);
    } else {
      ReadLabeledTsv(a, out);
    }
  }
  return out;
}

InputReader::InputReader(std::vector<std::string> arguments, std::istream& in)
    : m_arguments(std::move(arguments)), m_in(in) {}

void InputReader::ReadTsv(const std::string& path) {
  m_tsv.clear();
  m_nextTsv = 0;
  std::uint64_t number = 0;
  ForEachLine(path, [&](const std::u16string& line) {
    ++number;
    InputText t;
    std::u16string id;
    if (SplitAtTab(line, id, t.text)) {
      t.id = ToUtf8(id);
    } else {
      t.id = path + ":" + std::to_string(number);
      t.text = line;
    }
    m_tsv.push_back(std::move(t));
  });
}

bool InputReader::Advance() {
  if (m_nextArgument >= m_arguments.size()) return false;
  const std::string a = m_arguments[m_nextArgument++];
  m_files.clear();
  m_nextFile = 0;
  m_tsv.clear();
  m_nextTsv = 0;
  if (a == "-") {
    m_readingStdin = true;
    return true;
  }
  std::error_code ec;
  if (!fs::exists(a, ec)) DataError(a, "no such file or folder");
  if (IsDirectory(a)) {
    m_files = ListFiles(a);
  } else {
    m_files.push_back(a);
  }
  return true;
}

bool InputReader::Next(std::vector<InputText>& batch, std::size_t maxCount) {
  batch.clear();
  while (batch.size() < maxCount) {
    if (m_readingStdin) {
      std::string line;
      if (!std::getline(m_in, line)) {
        m_readingStdin = false;
        continue;
      }
      ++m_stdinLine;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      InputText t;
      const std::size_t tab = line.find('\t');
      if (tab != std::string::npos) {
        t.id = line.substr(0, tab);
        t.text = FromUtf8(std::string_view(line).substr(tab + 1));
      } else {
        t.id = "-:" + std::to_string(m_stdinLine);
        t.text = FromUtf8(line);
      }
      batch.push_back(std::move(t));
      // Hand over what has arrived when no further input is waiting.
      if (m_in.rdbuf()->in_avail() <= 0) break;
      continue;
    }
    if (m_nextTsv < m_tsv.size()) {
      batch.push_back(std::move(m_tsv[m_nextTsv++]));
      continue;
    }
    if (m_nextFile < m_files.size()) {
      const std::string& f = m_files[m_nextFile++];
      if (fs::path(f).extension() == ".tsv") {
        ReadTsv(f);
      } else {
        batch.push_back({f, ReadTextFile(f)});
      }
      continue;
    }
    if (!Advance()) break;
  }
  return !batch.empty();
}

}  // namespace QelTool
