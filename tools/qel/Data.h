// Reading texts: labelled training and test DATA (a folder of class folders, or TSV files of
// label<TAB>text), and the INPUT of classify (files, folders walked recursively, TSV files of
// id<TAB>text, "-" for standard input, one text per line, read as it comes). Text files are read
// through the library's TextReader, so a byte-order mark, the UTF-8 scan and the ANSI fallback
// all apply. Failures throw ToolError(kExitData) naming the file. One thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>
#include <vector>

namespace QelTool {

struct LabeledText {
  std::u16string label;
  std::u16string text;
  std::string source;  // the file it came from, for messages
};

// Every document of the DATA arguments, in a fixed order: arguments as given, folders by sorted
// class name and sorted file path, TSV files by line. Throws ToolError(kExitData) for a missing
// or unreadable file, a folder without class folders, a class folder without text files, or a
// TSV line without a tab.
std::vector<LabeledText> ReadData(const std::vector<std::string>& arguments);

// The whole text of a file (its non-empty lines joined by line feeds), through TextReader.
std::u16string ReadTextFile(const std::string& path);

struct InputText {
  std::string id;  // UTF-8: the file path, the TSV id, or "-:<line>" for standard input
  std::u16string text;
};

// Yields the INPUT documents batch by batch, so that standard input is classified as it comes.
class InputReader {
 public:
  // `in` is read for the argument "-".
  InputReader(std::vector<std::string> arguments, std::istream& in);
  // Replaces `batch` by up to `maxCount` next documents; false when none is left. Standard input
  // ends a batch at every line that is already waiting, so results come out line by line when
  // texts arrive slowly.
  bool Next(std::vector<InputText>& batch, std::size_t maxCount);

 private:
  // Expands the next argument into m_pending (files and TSV lines) or switches to stdin.
  bool Advance();
  void ReadTsv(const std::string& path);

  std::vector<std::string> m_arguments;
  std::size_t m_nextArgument = 0;
  std::istream& m_in;
  bool m_readingStdin = false;
  std::uint64_t m_stdinLine = 0;
  std::vector<std::string> m_files;  // files still to read for the current argument
  std::size_t m_nextFile = 0;
  std::vector<InputText> m_tsv;  // lines of the current TSV file
  std::size_t m_nextTsv = 0;
};

// Splits a line at its first tab: true with `before` and `after` when there is one.
bool SplitAtTab(const std::u16string& line, std::u16string& before, std::u16string& after);

}  // namespace QelTool
