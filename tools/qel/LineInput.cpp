#include "LineInput.h"

#include <qel/core/Exceptions.h>
#include <qel/core/StringConversion.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "Tool.h"

namespace QelTool {

namespace {
constexpr std::size_t kReadAhead = 1 << 18;
}

LineInput::LineInput(const std::string& path) {
  if (path == "-") {
    m_name = "standard input";
    m_buffer.resize(kReadAhead);
    return;
  }
  m_name = path;
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (!std::filesystem::exists(status)) throw ToolError(kExitData, path + ": no such file");
  if (std::filesystem::is_directory(status)) throw ToolError(kExitData, path + ": is a folder");
  m_size = std::filesystem::file_size(path, ec);
  m_reader = Qel::TextReader::Create();
  try {
    m_reader->Open(FromUtf8(path), false);
  } catch (const Qel::BaseException& e) {
    m_reader->Release();
    m_reader = nullptr;
    throw ToolError(kExitData, path + ": " + ToUtf8(e.GetErrorDescription()));
  }
}

LineInput::~LineInput() {
  if (m_reader != nullptr) m_reader->Release();
  if (m_raw != nullptr && m_raw != stdin) std::fclose(m_raw);
}

bool LineInput::IsUtf8() const {
  const Qel::TextEncoding encoding = Encoding();
  return encoding == Qel::TextEncodingUTF8 || encoding == Qel::TextEncodingUTF8NoBOM;
}

namespace {

// Where a block of `size` bytes (size > 0) may end: just after its last line end, but never
// between the CR and the LF of CR LF (a CR in the last byte waits for the next one); npos when
// there is no such place.
std::size_t BlockEnd(const char* data, std::size_t size) {
  if (data[size - 1] == '\n') return size;
  for (std::size_t i = size - 1; i-- > 0;) {
    if (data[i] == '\n' || data[i] == '\r') return i + 1;
  }
  return std::string::npos;
}

}  // namespace

bool LineInput::ReadBlock(std::string& bytes, std::size_t size) {
  if (m_raw == nullptr) {
    if (m_reader == nullptr) {
      m_raw = stdin;  // a leading mark is dropped below
    } else {
      m_first = false;  // TextReader has seen the mark, if any
      m_raw = std::fopen(m_name.c_str(), "rb");
      const long mark = Encoding() == Qel::TextEncodingUTF8 ? 3 : 0;
      if (m_raw == nullptr || std::fseek(m_raw, mark, SEEK_SET) != 0) {
        throw ToolError(kExitData, m_name + ": cannot read: " + std::strerror(errno));
      }
      m_consumed = static_cast<std::uint64_t>(mark);
    }
  }
  bytes.assign(m_carry);
  m_carry.clear();
  while (!m_done) {
    const std::size_t old = bytes.size();
    bytes.resize(old + size);
    const std::size_t got = std::fread(bytes.data() + old, 1, size, m_raw);
    if (got < size && std::ferror(m_raw)) {
      throw ToolError(kExitData, m_name + ": cannot read: " + std::strerror(errno));
    }
    bytes.resize(old + got);
    m_consumed += got;
    if (got < size) m_done = true;
    if (m_first && (bytes.size() >= 3 || m_done)) {
      m_first = false;
      if (bytes.size() >= 3 && std::memcmp(bytes.data(), Qel::UTF8_Header, 3) == 0) {
        bytes.erase(0, 3);
      }
    }
    if (m_done || bytes.empty()) continue;
    const std::size_t end = BlockEnd(bytes.data(), bytes.size());
    if (end == std::string::npos) continue;  // one long line: read on
    m_carry.assign(bytes, end, std::string::npos);
    bytes.resize(end);
    return true;
  }
  return !bytes.empty();
}

Qel::TextEncoding LineInput::Encoding() const {
  return m_reader != nullptr ? m_reader->GetEncoding() : Qel::TextEncodingUTF8NoBOM;
}

std::uint64_t LineInput::BytesRead() {
  if (m_reader == nullptr || m_raw != nullptr) return m_consumed;
  try {
    return static_cast<std::uint64_t>(m_reader->GetCurrentFilePos());
  } catch (const Qel::BaseException&) {
    return 0;
  }
}

bool LineInput::Read(std::u16string& line) {
  bool got = false;
  if (m_reader != nullptr) {
    try {
      got = m_reader->ReadLine(line);
    } catch (const Qel::BaseException& e) {
      throw ToolError(kExitData, m_name + ": " + ToUtf8(e.GetErrorDescription()));
    }
  } else {
    got = ReadStandardInput(line);
  }
  if (got) ++m_lineNumber;
  return got;
}

bool LineInput::Fill() {
  if (m_begin > 0) {
    std::memmove(m_buffer.data(), m_buffer.data() + m_begin, m_end - m_begin);
    m_end -= m_begin;
    m_begin = 0;
  }
  const std::size_t got = std::fread(m_buffer.data() + m_end, 1, m_buffer.size() - m_end, stdin);
  if (got == 0 && std::ferror(stdin)) {
    throw ToolError(kExitData, m_name + ": cannot read: " + std::strerror(errno));
  }
  m_end += got;
  m_consumed += got;
  if (m_first && m_end >= 3) {
    m_first = false;
    if (std::memcmp(m_buffer.data(), Qel::UTF8_Header, 3) == 0) m_begin = 3;
  }
  return got != 0;
}

bool LineInput::ReadStandardInput(std::u16string& line) {
  m_pending.clear();
  for (;;) {
    if (m_begin == m_end && !Fill()) {
      if (m_pending.empty()) return false;
      line = Qel::Utf8ToUtf16(m_pending.data(), m_pending.size());
      return true;
    }
    const char* start = m_buffer.data() + m_begin;
    const char* stop = m_buffer.data() + m_end;
    const auto* feed = static_cast<const char*>(std::memchr(start, '\n', stop - start));
    const char* limit = feed != nullptr ? feed : stop;
    const auto* ret = static_cast<const char*>(std::memchr(start, '\r', limit - start));
    const char* end = ret != nullptr ? ret : feed;
    if (end == nullptr) {
      m_pending.append(start, stop);
      m_begin = m_end;
      continue;
    }
    m_pending.append(start, end);
    m_begin = static_cast<std::size_t>(end - m_buffer.data()) + 1;
    if (*end == '\r') {
      // The line feed of CR LF may be the first byte of the next read.
      if (m_begin == m_end) Fill();
      if (m_begin < m_end && m_buffer[m_begin] == '\n') ++m_begin;
    }
    line = Qel::Utf8ToUtf16(m_pending.data(), m_pending.size());
    return true;
  }
}

void UseLargeBuffer(std::FILE* stream) {
  // Never freed: standard output may still be flushed at exit, after static objects are gone.
  constexpr std::size_t kSize = std::size_t{1} << 20;
  static char* const buffer = new char[kSize];
  std::setvbuf(stream, buffer, _IOFBF, kSize);
}

}  // namespace QelTool
