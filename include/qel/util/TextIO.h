// Line-oriented text files in ANSI, UTF-8 and UTF-16 (either byte order) through C stdio
// streams: encoding detection by byte-order mark or UTF-8 scan, single-line readers and
// writers, conversion of a file between encodings, and file times. All functions are static
// and stateless; a FILE* serves one thread at a time. Lines written end with a line feed alone.
#pragma once

#include <qel/core/Export.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace Qel {

// Encodings of text files; stored and passed as int.
enum TextEncoding : int {
  TextEncodingUnknown = 0,
  TextEncodingAnsi = 1,  // the ANSI code page (Windows-1252 unless QEL_ANSI_CODEPAGE)
  TextEncodingUTF16LE = 2,
  TextEncodingUTF16BE = 3,
  TextEncodingUTF32LE = 4,  // recognised, never read or written
  TextEncodingUTF32BE = 5,
  TextEncodingUTF8 = 6,       // with byte-order mark
  TextEncodingUTF8NoBOM = 7,  // recognised by scanning
};

// Byte-order marks.
inline constexpr unsigned char UTF16LE_Header[2] = {0xFF, 0xFE};
inline constexpr unsigned char UTF16BE_Header[2] = {0xFE, 0xFF};
inline constexpr unsigned char UTF32LE_Header[4] = {0xFF, 0xFE, 0x00, 0x00};
inline constexpr unsigned char UTF32BE_Header[4] = {0x00, 0x00, 0xFE, 0xFF};
inline constexpr unsigned char UTF8_Header[3] = {0xEF, 0xBB, 0xBF};

namespace Tools {

class QEL_API IO {
 public:
  // The encoding named by the mark at the start of `bytes` (4 bytes), else Unknown.
  static TextEncoding DetectBOM(const unsigned char* bytes);
  // Opens the file, detects its encoding as below and closes it. Throws FileIOException 2003
  // when it cannot be opened.
  static TextEncoding GetFileEncoding(const std::u16string& path, bool scanForUtf8,
                                      TextEncoding defaultEncoding);
  // The encoding of the mark; without one UTF8NoBOM when `scanForUtf8` and the content scans
  // as UTF-8, else `defaultEncoding`. Leaves the stream just behind the mark.
  static TextEncoding GetFileEncoding(std::FILE* stream, const std::u16string& path,
                                      bool scanForUtf8, TextEncoding defaultEncoding);
  // Reads the whole stream from its start: true if it holds at least one multi-byte UTF-8
  // sequence and nothing but well-formed lead and continuation bytes. Leaves the stream where
  // the scan stopped.
  static bool ScanForUtf8(std::FILE* stream);
  // Consumes one byte; true if it is 0x80 to 0xBF.
  static bool IsNextByteUtf8Continuation(std::FILE* stream);
  // Seeks to the first byte after the mark of `encoding`. Throws BaseException 17 when the
  // seek fails and FileIOException 25 for an encoding outside 0 to 7.
  static void SetFileStreamPositionAtStart(std::FILE* stream, const std::u16string& path,
                                           TextEncoding encoding);
  // Opens `path` for binary writing: a new or overwritten file gets the mark of `encoding`,
  // an existing one is appended to. Throws FileIOException 2002 / 2003. The caller fcloses.
  static std::FILE* CreateFileW(const std::u16string& path, TextEncoding encoding, bool overwrite);

  // The next line (without its end: LF, CR or CR LF) decoded from `encoding`; "" at the end.
  // Ill-formed input becomes U+FFFD. Throws FileIOException 2004 on a read error and
  // FileIOException 25 for an encoding that cannot be read.
  static std::u16string GetNextLineFromFile(std::FILE* stream, const std::u16string& path,
                                            TextEncoding encoding, bool skipEmptyLines);
  static std::u16string GetNextLineFromAnsiFile(std::FILE* stream, const std::u16string& path,
                                                bool skipEmptyLines);
  static std::u16string GetNextLineFromUtf8File(std::FILE* stream, const std::u16string& path,
                                                bool skipEmptyLines);
  // UTF-16 units are returned as they are (an unpaired surrogate stays); an odd last byte
  // becomes U+FFFD.
  static std::u16string GetNextLineFromUtf16File(std::FILE* stream, const std::u16string& path,
                                                 bool littleEndian, bool skipEmptyLines);

  // Writes `line` and a line feed in `encoding`. Throws FileIOException 2001 on a short write
  // and FileIOException 25 for an encoding that cannot be written.
  static void WriteLineToFile(std::FILE* stream, const std::u16string& path,
                              const std::u16string& line, TextEncoding encoding);
  static void WriteLineToAnsiFile(std::FILE* stream, const std::u16string& path,
                                  const std::u16string& line);
  static void WriteLineToUtf8File(std::FILE* stream, const std::u16string& path,
                                  const std::u16string& line);
  static void WriteLineToUtf16File(std::FILE* stream, const std::u16string& path,
                                   const std::u16string& line, bool littleEndian);

  // Copies `source` to `target` (a file if it has an extension, else a folder that receives
  // the source's file name), re-encoding line by line when the encodings differ and copying
  // byte for byte otherwise. Creates the target folder. Throws FileIOException on failure.
  static void CopyFileWithEncodingChoice(const std::u16string& source, const std::u16string& target,
                                         TextEncoding targetEncoding,
                                         TextEncoding defaultSourceEncoding, bool skipEmptyLines);

  static bool DirectoryExists(const std::u16string& path);
  // Gives the owner write permission if it lacks it. Throws FileIOException 17 on failure.
  static void RemoveReadOnlyFlag(const std::u16string& path);
  // Modification time in seconds since 1970; 0 if the file cannot be examined.
  static std::int64_t GetUtcFileTime(const std::u16string& path);
  static std::int64_t GetUtcTimeStampNow();
  // False when `time` equals the file's modification time exactly or shifted by one hour
  // either way (a daylight-saving change); true otherwise.
  static bool IsFileModified(const std::u16string& path, std::int64_t time);
};

}  // namespace Tools

}  // namespace Qel
