// Text file lines over C stdio streams. The stream functions take the path only for their
// error texts.
#include "qel/util/TextIO.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <vector>

#include "core/Throw.h"
#include "core/Utf8Scan.h"
#include "qel/core/StringConversion.h"
#include "qel/util/Files.h"
#include "util/NativePath.h"

namespace Qel::Tools {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

// Closes a stream on every path out of a function.
class StreamCloser {
 public:
  explicit StreamCloser(std::FILE* stream) : m_stream(stream) {}
  StreamCloser(const StreamCloser&) = delete;
  StreamCloser& operator=(const StreamCloser&) = delete;
  ~StreamCloser() {
    if (m_stream != nullptr) std::fclose(m_stream);
  }
  std::FILE* Get() const { return m_stream; }
  std::FILE* Release() {
    std::FILE* stream = m_stream;
    m_stream = nullptr;
    return stream;
  }

 private:
  std::FILE* m_stream;
};

[[noreturn]] void ThrowReadError(const std::u16string& path) {
  Detail::ThrowFileError(ErrorId::FileRead, path, errno != 0 ? errno : EIO);
}

// A null FILE* is the caller's fault, reported as a read of `path` that could not happen.
[[noreturn]] void ThrowNoStream(const std::u16string& path, const char16_t* function) {
  Detail::Throw<FileIOException>(ErrorId::FileRead, path,
                                 std::u16string(function) + u": no stream (null FILE*)");
}

[[noreturn]] void ThrowEncoding(const std::u16string& path, TextEncoding encoding) {
  if (encoding == TextEncodingUnknown) {
    Detail::Throw<FileIOException>(ErrorId::FileFormatNotSupported, u"TextEncodingUnknown", path);
  }
  if (encoding == TextEncodingUTF32LE || encoding == TextEncodingUTF32BE) {
    Detail::Throw<FileIOException>(ErrorId::FileFormatNotSupported, u"TextEncodingUTF32", path);
  }
  Detail::Throw<FileIOException>(ErrorId::FileFormatNotSupported, path);
}

// Collects the bytes of one line (without its end) into `bytes`; false when the stream was
// already at its end.
bool ReadNarrowLine(std::FILE* stream, const std::u16string& path, bool skipEmptyLines,
                    std::string& bytes) {
  bytes.clear();
  bytes.reserve(2048);
  for (;;) {
    const int c = getc_unlocked(stream);
    if (c == EOF) {
      if (std::ferror(stream)) ThrowReadError(path);
      return !bytes.empty();
    }
    if (c == '\n' || c == '\r') {
      if (c == '\r') {
        const int next = getc_unlocked(stream);
        if (next != '\n' && next != EOF) std::ungetc(next, stream);
      }
      if (bytes.empty() && skipEmptyLines) continue;
      return true;
    }
    bytes.push_back(static_cast<char>(c));
  }
}

void WriteAll(std::FILE* stream, const void* data, std::size_t size, const std::u16string& path,
              const char16_t* operation) {
  if (size != 0 && std::fwrite(data, 1, size, stream) != size) {
    Detail::Throw<FileIOException>(ErrorId::FileWrite, path, operation);
  }
}

void WriteLineFeed(std::FILE* stream, const std::u16string& path, const char16_t* operation) {
  errno = 0;
  if (std::fputc('\n', stream) == EOF) {
    Detail::Throw<FileIOException>(ErrorId::FileWrite, path,
                                   std::u16string(operation) + Detail::SystemErrorText(errno));
  }
}

}  // namespace

TextEncoding IO::DetectBOM(const unsigned char* b) {
  if (b[0] == 0xFF && b[1] == 0xFE && b[2] == 0x00 && b[3] == 0x00) return TextEncodingUTF32LE;
  if (b[0] == 0x00 && b[1] == 0x00 && b[2] == 0xFE && b[3] == 0xFF) return TextEncodingUTF32BE;
  if (b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) return TextEncodingUTF8;
  if (b[0] == 0xFF && b[1] == 0xFE) return TextEncodingUTF16LE;
  if (b[0] == 0xFE && b[1] == 0xFF) return TextEncodingUTF16BE;
  return TextEncodingUnknown;
}

TextEncoding IO::GetFileEncoding(const std::u16string& path, bool scanForUtf8,
                                 TextEncoding defaultEncoding) {
  std::FILE* stream = QelOpenFile(path, "rb");
  if (stream == nullptr) Detail::ThrowFileError(ErrorId::FileOpen, path, errno);
  StreamCloser closer(stream);
  return GetFileEncoding(stream, path, scanForUtf8, defaultEncoding);
}

TextEncoding IO::GetFileEncoding(std::FILE* stream, const std::u16string& path, bool scanForUtf8,
                                 TextEncoding defaultEncoding) {
  unsigned char bytes[4] = {' ', ' ', ' ', ' '};
  if (std::fseek(stream, 0, SEEK_SET) != 0) ThrowReadError(path);
  const std::size_t got = std::fread(bytes, 1, sizeof bytes, stream);
  (void)got;  // a short file compares against the blanks
  const TextEncoding mark = DetectBOM(bytes);
  TextEncoding encoding = mark;
  if (mark == TextEncodingUnknown) {
    encoding = scanForUtf8 && ScanForUtf8(stream) ? TextEncodingUTF8NoBOM : defaultEncoding;
  }
  SetFileStreamPositionAtStart(stream, path, mark);
  return encoding;
}

bool IO::ScanForUtf8(std::FILE* stream) {
  if (std::fseek(stream, 0, SEEK_SET) != 0) return false;
  // Reads of 256 KiB (they stay in the second-level cache), checked a vector at a time: the scan
  // runs over whole files before they are read.
  std::vector<unsigned char> block(1 << 18);
  Detail::Utf8ScanCarry carry;
  std::int64_t offset = 0;
  for (;;) {
    const std::size_t got = std::fread(block.data(), 1, block.size(), stream);
    if (got == 0) {
      // Zeros after the last byte show a sequence left incomplete.
      static constexpr unsigned char kEnd[3] = {0, 0, 0};
      return Detail::FindUtf8Fault(kEnd, sizeof kEnd, carry) == sizeof kEnd && carry.multiByte;
    }
    const std::size_t fault = Detail::FindUtf8Fault(block.data(), got, carry);
    if (fault < got) {
      fseeko(stream, offset + static_cast<std::int64_t>(fault) + 1, SEEK_SET);
      return false;
    }
    offset += static_cast<std::int64_t>(got);
  }
}

bool IO::IsNextByteUtf8Continuation(std::FILE* stream) {
  const int c = getc_unlocked(stream);
  return c >= 0x80 && c <= 0xBF;
}

void IO::SetFileStreamPositionAtStart(std::FILE* stream, const std::u16string& path,
                                      TextEncoding encoding) {
  long offset = 0;
  switch (encoding) {
    case TextEncodingUnknown:
    case TextEncodingAnsi:
    case TextEncodingUTF8NoBOM:
      offset = 0;
      break;
    case TextEncodingUTF16LE:
    case TextEncodingUTF16BE:
      offset = 2;
      break;
    case TextEncodingUTF32LE:
    case TextEncodingUTF32BE:
      offset = 4;
      break;
    case TextEncodingUTF8:
      offset = 3;
      break;
    default:
      Detail::Throw<FileIOException>(ErrorId::FileFormatNotSupported, path,
                                     u"IO::SetFileStreamAtFirstLine()");
  }
  if (std::fseek(stream, offset, SEEK_SET) != 0) {
    Detail::ThrowGeneral(u"IO::SetFileStreamPositionAtStart() - Fail to seek pointer for file " +
                         path);
  }
}

std::FILE* IO::CreateFileW(const std::u16string& path, TextEncoding encoding, bool overwrite) {
  if (!QelFileExists(path) || overwrite) {
    std::FILE* stream = QelOpenFile(path, "wb");
    if (stream == nullptr) Detail::ThrowFileError(ErrorId::FileCreate, path, errno);
    StreamCloser closer(stream);
    switch (encoding) {
      case TextEncodingUTF16LE:
        WriteAll(stream, UTF16LE_Header, sizeof UTF16LE_Header, path, u"IO::CreateFileW()");
        break;
      case TextEncodingUTF16BE:
        WriteAll(stream, UTF16BE_Header, sizeof UTF16BE_Header, path, u"IO::CreateFileW()");
        break;
      case TextEncodingUTF32LE:
        WriteAll(stream, UTF32LE_Header, sizeof UTF32LE_Header, path, u"IO::CreateFileW()");
        break;
      case TextEncodingUTF32BE:
        WriteAll(stream, UTF32BE_Header, sizeof UTF32BE_Header, path, u"IO::CreateFileW()");
        break;
      case TextEncodingUTF8:
        WriteAll(stream, UTF8_Header, sizeof UTF8_Header, path, u"IO::CreateFileW()");
        break;
      default:
        break;
    }
    if (std::fflush(stream) != 0) Detail::ThrowFileError(ErrorId::FileCreate, path, errno);
    return closer.Release();
  }
  std::FILE* stream = QelOpenFile(path, "ab");
  if (stream == nullptr) Detail::ThrowFileError(ErrorId::FileOpen, path, errno);
  return stream;
}

std::u16string IO::GetNextLineFromFile(std::FILE* stream, const std::u16string& path,
                                       TextEncoding encoding, bool skipEmptyLines) {
  if (stream == nullptr) ThrowNoStream(path, u"IO::GetNextLineFromFile()");
  switch (encoding) {
    case TextEncodingAnsi:
      return GetNextLineFromAnsiFile(stream, path, skipEmptyLines);
    case TextEncodingUTF16LE:
      return GetNextLineFromUtf16File(stream, path, true, skipEmptyLines);
    case TextEncodingUTF16BE:
      return GetNextLineFromUtf16File(stream, path, false, skipEmptyLines);
    case TextEncodingUTF8:
    case TextEncodingUTF8NoBOM:
      return GetNextLineFromUtf8File(stream, path, skipEmptyLines);
    default:
      ThrowEncoding(path, encoding);
  }
}

std::u16string IO::GetNextLineFromAnsiFile(std::FILE* stream, const std::u16string& path,
                                           bool skipEmptyLines) {
  if (stream == nullptr) ThrowNoStream(path, u"IO::GetNextLineFromAnsiFile()");
  std::string bytes;
  if (!ReadNarrowLine(stream, path, skipEmptyLines, bytes) || bytes.empty()) return {};
  return ConvertA2W(bytes);
}

std::u16string IO::GetNextLineFromUtf8File(std::FILE* stream, const std::u16string& path,
                                           bool skipEmptyLines) {
  if (stream == nullptr) ThrowNoStream(path, u"IO::GetNextLineFromUtf8File()");
  std::string bytes;
  if (!ReadNarrowLine(stream, path, skipEmptyLines, bytes)) return {};
  return Utf8ToUtf16(bytes.data(), bytes.size());
}

std::u16string IO::GetNextLineFromUtf16File(std::FILE* stream, const std::u16string& path,
                                            bool littleEndian, bool skipEmptyLines) {
  if (stream == nullptr) ThrowNoStream(path, u"IO::GetNextLineFromUtf16File()");
  std::u16string line;
  line.reserve(512);
  // One unit, or -1 at the end; an odd last byte gives U+FFFD.
  auto readUnit = [&]() -> long {
    const int first = getc_unlocked(stream);
    if (first == EOF) {
      if (std::ferror(stream)) ThrowReadError(path);
      return -1;
    }
    const int second = getc_unlocked(stream);
    if (second == EOF) {
      if (std::ferror(stream)) ThrowReadError(path);
      return kReplacement;
    }
    return littleEndian ? (first | (second << 8)) : ((first << 8) | second);
  };
  for (;;) {
    const long unit = readUnit();
    if (unit < 0) return line;
    if (unit == u'\n' || unit == u'\r') {
      if (unit == u'\r') {
        const int first = getc_unlocked(stream);
        const int second = first == EOF ? EOF : getc_unlocked(stream);
        const bool lineFeed =
            littleEndian ? (first == 0x0A && second == 0x00) : (first == 0x00 && second == 0x0A);
        if (!lineFeed && first != EOF) {
          // The unit after a lone carriage return starts the next line.
          const long back = second == EOF ? -1 : -2;
          if (std::fseek(stream, back, SEEK_CUR) != 0) ThrowReadError(path);
        }
      }
      if (line.empty() && skipEmptyLines) continue;
      return line;
    }
    line.push_back(static_cast<char16_t>(unit));
  }
}

void IO::WriteLineToFile(std::FILE* stream, const std::u16string& path, const std::u16string& line,
                         TextEncoding encoding) {
  switch (encoding) {
    case TextEncodingAnsi:
      return WriteLineToAnsiFile(stream, path, line);
    case TextEncodingUTF16LE:
      return WriteLineToUtf16File(stream, path, line, true);
    case TextEncodingUTF16BE:
      return WriteLineToUtf16File(stream, path, line, false);
    case TextEncodingUTF8:
    case TextEncodingUTF8NoBOM:
      return WriteLineToUtf8File(stream, path, line);
    default:
      ThrowEncoding(path, encoding);
  }
}

void IO::WriteLineToAnsiFile(std::FILE* stream, const std::u16string& path,
                             const std::u16string& line) {
  const std::string bytes = ConvertW2A(line);
  WriteAll(stream, bytes.data(), bytes.size(), path, u"IO::WriteLineToAnsiFile()");
  WriteLineFeed(stream, path, u"IO::WriteLineToAnsiFile()");
}

void IO::WriteLineToUtf8File(std::FILE* stream, const std::u16string& path,
                             const std::u16string& line) {
  // One buffer per thread and one write with the line feed: a bulk conversion writes millions
  // of lines, and an allocation and a second stream call each cost as much as the encoding.
  thread_local std::string bytes;
  Utf16ToUtf8(line.data(), line.size(), bytes);
  bytes.push_back('\n');
  WriteAll(stream, bytes.data(), bytes.size(), path, u"IO::WriteLineToUtf8File()");
  if (bytes.capacity() > (std::size_t{1} << 20)) std::string().swap(bytes);  // no lasting peak
}

void IO::WriteLineToUtf16File(std::FILE* stream, const std::u16string& path,
                              const std::u16string& line, bool littleEndian) {
  std::string bytes;
  bytes.resize((line.size() + 1) * 2);
  for (std::size_t i = 0; i <= line.size(); ++i) {
    const char16_t unit = i < line.size() ? line[i] : u'\n';
    const auto low = static_cast<char>(unit & 0xFF);
    const auto high = static_cast<char>(unit >> 8);
    bytes[2 * i] = littleEndian ? low : high;
    bytes[2 * i + 1] = littleEndian ? high : low;
  }
  WriteAll(stream, bytes.data(), bytes.size(), path, u"IO::WriteLineToUtf16File()");
}

void IO::CopyFileWithEncodingChoice(const std::u16string& source, const std::u16string& target,
                                    TextEncoding targetEncoding, TextEncoding defaultSourceEncoding,
                                    bool skipEmptyLines) {
  std::u16string targetFile = target;
  std::u16string folder;
  if (!GetExtension(target).empty()) {
    folder = QelGetDirectoryFromFilename(target);
  } else {
    folder = target;
    targetFile = GetCombinedPath(target, GetFileName(source));
  }
  // The source is opened before anything is deleted, and a target that is the source itself
  // (through "..", a link or a hard link) is refused: deleting it would destroy the source.
  std::FILE* in = QelOpenFile(source, "rb");
  if (in == nullptr) Detail::ThrowFileError(ErrorId::FileOpen, source, errno);
  StreamCloser inCloser(in);
  Platform::EntryStatus sourceStatus;
  Platform::EntryStatus targetStatus;
  if (Detail::GetEntryStatus(source, true, sourceStatus) &&
      Detail::GetEntryStatus(targetFile, true, targetStatus) &&
      sourceStatus.device == targetStatus.device && sourceStatus.inode == targetStatus.inode) {
    Detail::Throw<FileIOException>(
        ErrorId::FileCreate, targetFile,
        u"IO::CopyFileWithEncodingChoice(): the target is the source file '" + source + u"'");
  }
  if (QelFileExists(targetFile) && !QelDeleteFile(targetFile)) {
    Detail::ThrowFileError(ErrorId::FileDelete, targetFile, errno);
  }
  if (!folder.empty() && !DirectoryExists(folder)) CreateFolder(folder);
  const TextEncoding sourceEncoding = GetFileEncoding(in, source, true, defaultSourceEncoding);
  if (sourceEncoding != targetEncoding) {
    StreamCloser outGuard(CreateFileW(targetFile, targetEncoding, true));
    std::FILE* out = outGuard.Get();
    while (!std::feof(in)) {
      const std::u16string line = GetNextLineFromFile(in, source, sourceEncoding, skipEmptyLines);
      WriteLineToFile(out, targetFile, line, targetEncoding);
    }
    std::fclose(inCloser.Release());
    errno = 0;
    if (std::fclose(outGuard.Release()) != 0) {
      Detail::ThrowFileError(ErrorId::FileWrite, targetFile, errno != 0 ? errno : EIO);
    }
    RemoveReadOnlyFlag(targetFile);
    return;
  }
  std::fclose(inCloser.Release());
  if (!QelCopyFile(source, targetFile, false)) {
    Detail::Throw<FileIOException>(ErrorId::FileCreate, source,
                                   u"IO::CopyFileWithEncodingChoice()");
  }
}

bool IO::DirectoryExists(const std::u16string& path) { return QelFolderExists(path); }

void IO::RemoveReadOnlyFlag(const std::u16string& path) {
  Platform::EntryStatus status;
  if (Detail::GetEntryStatus(path, true, status) && !status.readOnly) return;
  if (!Detail::MakeWritable(path))
    Detail::ThrowFileError(ErrorId::General, path, errno != 0 ? errno : EIO);
}

std::int64_t IO::GetUtcFileTime(const std::u16string& path) {
  Platform::EntryStatus status;
  return Detail::GetEntryStatus(path, true, status) ? status.modifiedSeconds : 0;
}

std::int64_t IO::GetUtcTimeStampNow() { return static_cast<std::int64_t>(std::time(nullptr)); }

bool IO::IsFileModified(const std::u16string& path, std::int64_t time) {
  const std::int64_t modified = GetUtcFileTime(path);
  return !(time == modified || time == modified + 3600 || time == modified - 3600);
}

}  // namespace Qel::Tools
