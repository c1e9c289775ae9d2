// Reads the non-empty lines of a text file one by one, detecting ANSI, UTF-8 and UTF-16 by
// byte-order mark or UTF-8 scan, optionally lower-casing ASCII letters, with save and restore
// of the read position. Reference counted (Create, Release); one thread at a time.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "qel/core/Export.h"
#include "qel/core/RefCounter.h"
#include "qel/util/TextIO.h"

namespace Qel {

class QEL_API TextReader : public RefCounter {
 public:
  // A new closed reader holding one reference. Throws BaseException 5 without memory.
  static TextReader* Create();

  // Opens `path` and detects its encoding (no mark: UTF-8 if the content scans as UTF-8, else
  // ANSI). Other processes may always keep writing the file, so `shared` changes nothing.
  // Throws BaseException 3 for an empty path, FileIOException 2003 when the file cannot be
  // opened, BaseException 25 for a UTF-32 file (the reader is then closed). Call Close before
  // opening another file.
  void Open(const std::u16string& path, bool shared);
  // The next non-empty line without its end (LF, CR or CR LF); "" only at the end of the file.
  // Ill-formed UTF-8 becomes U+FFFD; UTF-16 units are returned as they are (an odd last byte
  // becomes U+FFFD); ANSI bytes map to the code point of the same value except 0x80, which is
  // the euro sign. Throws BaseException 3 when closed, FileIOException 2004 on a read error.
  std::u16string GetNextLine();
  // The next line, empty ones included, into `line` (whose capacity is reused); false at the end
  // of the file. A line end at the very end of the file gives no empty last line. Decoded and
  // lower-cased as GetNextLine does. Throws like GetNextLine.
  bool ReadLine(std::u16string& line);
  // The encoding Open detected; TextEncodingUnknown when closed.
  TextEncoding GetEncoding() const { return m_encoding; }
  void Close();
  // Byte offset of the next line. Throws BaseException 3 when closed.
  std::int64_t GetCurrentFilePos();
  // Continues at a position from GetCurrentFilePos; 0 means the first byte after the mark.
  // Throws BaseException 3 when closed, 17 when the position cannot be set.
  void SetCurrentFilePos(std::int64_t position);
  bool GetConvertToLowerCase() const { return m_convertToLowerCase; }
  // Lower-cases ASCII letters (ANSI: bytes of the ANSI code page) of the lines read from now.
  void SetConvertToLowerCase(bool value) { m_convertToLowerCase = value; }
  const std::u16string& GetFileName() const { return m_fileName; }

 protected:
  TextReader() = default;
  ~TextReader() override;

 private:
  // The line readers return false at the end of the file; `keepEmpty` hands out empty lines too.
  bool ReadLineAs(std::u16string& line, bool keepEmpty);
  bool ReadASCIILine(std::u16string& line, bool keepEmpty);
  bool ReadUTF8Line(std::u16string& line, bool keepEmpty);
  bool ReadUTF16Line(std::u16string& line, bool bigEndian, bool keepEmpty);
  // Seeks past the byte-order mark; a failed seek throws BaseException 17 with `seekTag`.
  void ResetFilePosition(const char16_t* seekTag);
  // Reads more of the file behind the unread bytes; false at the end of the file.
  bool Fill();
  // Finds the bytes of the next non-empty line of an 8-bit encoding (in the buffer, or in
  // m_bytes when the line spans reads); valid until the next read. False at the end.
  bool ReadByteLine(const char*& line, std::size_t& size, bool keepEmpty);

  TextEncoding m_encoding = TextEncodingUnknown;
  std::u16string m_fileName;
  std::FILE* m_file = nullptr;
  bool m_convertToLowerCase = false;
  // Read-ahead: lines are cut from this buffer instead of byte-wise stream calls.
  std::vector<char> m_buffer;
  std::size_t m_begin = 0;
  std::size_t m_end = 0;
  std::string m_bytes;  // the line being collected (reused)
};

}  // namespace Qel
