// Lines of a text file or of standard input, empty ones included, numbered from 1. A file is
// read through the library's TextReader (ANSI, UTF-8 and UTF-16 detected as it detects them);
// standard input is read as UTF-8 (a leading byte-order mark is skipped), since a pipe cannot be
// scanned ahead. Line ends are LF, CR or CR LF. One thread at a time.
#pragma once

#include <qel/util/TextReader.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace QelTool {

class LineInput {
 public:
  // `path` "-" means standard input. Throws ToolError(kExitData) naming the file when it is
  // missing or cannot be read.
  explicit LineInput(const std::string& path);
  ~LineInput();
  LineInput(const LineInput&) = delete;
  LineInput& operator=(const LineInput&) = delete;

  // The next line into `line`; false at the end. Throws ToolError(kExitData) on a read error.
  bool Read(std::u16string& line);
  // The number of the line Read returned last.
  std::uint64_t LineNumber() const { return m_lineNumber; }
  // The file's size in bytes (0 for standard input) and how many have been read so far.
  std::uint64_t Size() const { return m_size; }
  std::uint64_t BytesRead();
  // The name to show in messages: the path, or "standard input".
  const std::string& Name() const { return m_name; }
  // The encoding the reader detected (UTF-8 without mark for standard input).
  Qel::TextEncoding Encoding() const;

  // Whether the input is UTF-8 (standard input, or a file read as UTF-8 with or without a
  // byte-order mark). Such an input can be read in blocks of bytes instead of lines.
  bool IsUtf8() const;
  // Replaces `bytes` with the next block of the input's UTF-8 (without byte-order mark): about
  // `size` bytes, cut just after a line end (at the end of the input, whatever is left; a line
  // longer than `size` makes the block longer). False when nothing is left. Not to be mixed
  // with Read. Throws ToolError(kExitData) on a read error.
  bool ReadBlock(std::string& bytes, std::size_t size);

 private:
  bool ReadStandardInput(std::u16string& line);
  bool Fill();

  std::string m_name;
  Qel::TextReader* m_reader = nullptr;
  std::uint64_t m_lineNumber = 0;
  std::uint64_t m_size = 0;
  // Standard input: the bytes read ahead and the line being collected.
  std::vector<char> m_buffer;
  std::size_t m_begin = 0;
  std::size_t m_end = 0;
  std::uint64_t m_consumed = 0;
  std::string m_pending;
  bool m_first = true;
  // Blocks: the file read directly (standard input: stdin) and the bytes after the last cut.
  std::FILE* m_raw = nullptr;
  std::string m_carry;
  bool m_done = false;
};

// Gives `stream` a 1 MiB buffer, so that bulk output leaves in large writes rather than one
// write per 4 KiB block. Call before anything is written to it, for one stream per process.
void UseLargeBuffer(std::FILE* stream);

}  // namespace QelTool
