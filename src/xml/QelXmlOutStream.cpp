#include "qel/xml/QelXmlOutStream.h"

#include <libxml/encoding.h>
#include <zlib.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>

#include "core/Throw.h"
#include "platform/RawFile.h"
#include "qel/core/StringConversion.h"
#include "xml/XmlLibrary.h"

namespace Qel {
namespace {

constexpr char kDeclaration[] = "<?xml version=\"1.0\"?>\n";
// Plain-file output is written once this much has been collected.
constexpr std::size_t kFileChunk = 64 * 1024;

// The replacement of one byte in attribute values and texts; null when it stays as it is.
const char* EscapeOf(unsigned char c) {
  switch (c) {
    case '&':
      return "&amp;";
    case '<':
      return "&lt;";
    case '>':
      return "&gt;";
    case '"':
      return "&quot;";
    case '\'':
      return "&apos;";
    case '\t':
      return "&#09;";
    case '\n':
      return "&#10;";
    case '\r':
      return "&#13;";
    default:
      return c < 32 ? " " : nullptr;
  }
}

// Appends `text` escaped to `out`, copying runs of unchanged bytes at once.
void AppendEscapedBytes(std::string& out, const char* text, std::size_t size) {
  const char* run = text;
  const char* end = text + size;
  for (const char* p = text; p < end; ++p) {
    const char* replacement = EscapeOf(static_cast<unsigned char>(*p));
    if (replacement == nullptr) continue;
    out.append(run, p);
    out.append(replacement);
    run = p + 1;
  }
  out.append(run, end);
}

}  // namespace

QelXmlOutStream::QelXmlOutStream(StorageType type, const std::u16string& fileName) {
  Init(type, 1024);
  if (type == StorageFile || type == StorageCompressedFile)
    OpenFile(fileName, type == StorageCompressedFile);
}

QelXmlOutStream::QelXmlOutStream(StorageType type, int size) {
  Init(type, size);
  if (type == StorageString && size > 0) m_xmlString.reserve(static_cast<std::size_t>(size));
}

QelXmlOutStream::QelXmlOutStream(const QelXmlOutStream& other)
    : m_storageType(other.m_storageType),
      m_xmlString(other.m_xmlString),
      m_writeBuffer(other.m_writeBuffer),
      m_openNodes(other.m_openNodes),
      m_tagOpen(other.m_tagOpen),
      m_encoder(other.m_encoder) {}

QelXmlOutStream& QelXmlOutStream::operator=(const QelXmlOutStream& other) {
  if (this != &other) {
    CloseFiles();
    m_storageType = other.m_storageType;
    m_xmlString = other.m_xmlString;
    m_writeBuffer = other.m_writeBuffer;
    m_openNodes = other.m_openNodes;
    m_tagOpen = other.m_tagOpen;
    m_encoder = other.m_encoder;
  }
  return *this;
}

QelXmlOutStream::~QelXmlOutStream() {
  CloseFiles();
  std::free(m_conversion);
}

void QelXmlOutStream::CloseFiles() {
  if (m_gzip != nullptr) {
    gzclose(static_cast<gzFile>(m_gzip));
    m_gzip = nullptr;
  }
  if (m_file >= 0) {
    // What the stream has taken is written even without Close, as a buffered file would do.
    Platform::WriteFully(m_file, m_fileData.data(), m_fileData.size());
    Platform::CloseFile(m_file);
    m_file = -1;
  }
  m_fileData.clear();
}

void QelXmlOutStream::Init(StorageType type, int size) {
  Detail::InitXmlLibrary();
  m_storageType = type;
  m_encoder = xmlGetCharEncodingHandler(XML_CHAR_ENCODING_UTF16LE);
  CloseFiles();
  std::free(m_conversion);
  m_conversion = nullptr;
  m_conversionSize = 0;
  m_tagOpen = false;
  m_writeBuffer.reserve(size > 0 ? static_cast<std::size_t>(size) : 0);
  m_writeBuffer = kDeclaration;
}

void QelXmlOutStream::OpenFile(const std::u16string& fileName, bool compressed) {
  const int fd = Platform::CreateFileForWrite(Utf16ToUtf8(fileName.data(), fileName.size()));
  if (fd < 0) Detail::ThrowFileError(2002, fileName, errno);
  if (compressed) {
    gzFile file = gzdopen(fd, "wb9");
    if (file == nullptr) {
      Platform::CloseFile(fd);
      Detail::ThrowOutOfMemory(u"[1102]");
    }
    m_gzip = file;
    return;
  }
  m_file = fd;
}

void QelXmlOutStream::Open(const std::u16string& fileName) {
  if (m_storageType == StorageCompressedFile) {
    if (m_gzip != nullptr) Detail::Throw<XmlException>(3003);
    OpenFile(fileName, true);
  } else if (m_storageType == StorageFile) {
    if (m_file >= 0) Detail::Throw<XmlException>(3003);
    OpenFile(fileName, false);
  }
  m_tagOpen = false;
  m_writeBuffer = kDeclaration;
}

void QelXmlOutStream::Close() {
  WriteBuffer();
  CloseFiles();
}

void QelXmlOutStream::WriteBuffer() {
  switch (m_storageType) {
    case StorageCompressedFile:
      if (m_gzip != nullptr && !m_writeBuffer.empty())
        gzwrite(static_cast<gzFile>(m_gzip), m_writeBuffer.data(),
                static_cast<unsigned int>(m_writeBuffer.size()));
      break;
    case StorageFile:
      if (m_file >= 0) {
        // Collected into larger writes; write errors go unreported, as they always have.
        m_fileData.append(m_writeBuffer);
        if (m_fileData.size() >= kFileChunk) {
          Platform::WriteFully(m_file, m_fileData.data(), m_fileData.size());
          m_fileData.clear();
        }
      }
      break;
    case StorageString:
      m_xmlString.append(m_writeBuffer);
      break;
    default:
      break;
  }
  m_writeBuffer.clear();
}

void QelXmlOutStream::CreateNode(const std::string& name) {
  WriteBuffer();
  if (m_tagOpen) m_writeBuffer.push_back('>');
  m_openNodes.push_back(name);
  m_writeBuffer.push_back('<');
  m_writeBuffer.append(name);
  m_tagOpen = true;
}

void QelXmlOutStream::CloseNode(const std::string& name) {
  if (m_openNodes.empty()) Detail::Throw<XmlException>(3001);
  if (m_openNodes.back() != name) Detail::Throw<XmlException>(3002);
  m_openNodes.pop_back();
  if (m_tagOpen) {
    m_writeBuffer.push_back('>');
    m_tagOpen = false;
  }
  m_writeBuffer.append("</");
  m_writeBuffer.append(name);
  m_writeBuffer.push_back('>');
  WriteBuffer();
}

void QelXmlOutStream::RequireOpenTag() const {
  if (m_openNodes.empty() || !m_tagOpen) Detail::Throw<XmlException>(3001);
}

void QelXmlOutStream::AddProperty(const std::string& name, const std::string& text) {
  AddProperty(name, text.c_str());
}

void QelXmlOutStream::AddProperty(const std::string& name, const char* value) {
  RequireOpenTag();
  m_writeBuffer.push_back(' ');
  m_writeBuffer.append(name);
  m_writeBuffer.append("=\"");
  if (value != nullptr) m_writeBuffer.append(value);
  m_writeBuffer.push_back('"');
  WriteBuffer();
}

void QelXmlOutStream::AddProperty(const std::string& name, const std::u16string& value) {
  RequireOpenTag();
  m_writeBuffer.push_back(' ');
  m_writeBuffer.append(name);
  m_writeBuffer.append("=\"");
  AppendEscaped(value);
  m_writeBuffer.push_back('"');
  WriteBuffer();
}

void QelXmlOutStream::AddProperty(const std::string& name, const char16_t* value) {
  AddProperty(name, std::u16string(value != nullptr ? value : u""));
}

void QelXmlOutStream::AddProperty(const std::string& name, const bool& value) {
  AddProperty(name, value ? "1" : "0");
}

void QelXmlOutStream::AddProperty(const std::string& name, const std::int32_t& value) {
  *std::to_chars(m_numberBuffer, m_numberBuffer + sizeof m_numberBuffer - 1, value).ptr = 0;
  AddProperty(name, static_cast<const char*>(m_numberBuffer));
}

void QelXmlOutStream::AddProperty(const std::string& name, const unsigned int& value) {
  *std::to_chars(m_numberBuffer, m_numberBuffer + sizeof m_numberBuffer - 1, value).ptr = 0;
  AddProperty(name, static_cast<const char*>(m_numberBuffer));
}

void QelXmlOutStream::AddProperty(const std::string& name, const std::int64_t& value) {
  *std::to_chars(m_numberBuffer, m_numberBuffer + sizeof m_numberBuffer - 1, value).ptr = 0;
  AddProperty(name, static_cast<const char*>(m_numberBuffer));
}

void QelXmlOutStream::AddProperty(const std::string& name, const std::uint64_t& value) {
  *std::to_chars(m_numberBuffer, m_numberBuffer + sizeof m_numberBuffer - 1, value).ptr = 0;
  AddProperty(name, static_cast<const char*>(m_numberBuffer));
}

void QelXmlOutStream::AddProperty(const std::string& name, const double& value) {
  // Fixed notation with six decimals; the largest doubles need 309 digits, more than the
  // number buffer holds, so those are formatted through a string.
  const auto result = std::to_chars(m_numberBuffer, m_numberBuffer + sizeof m_numberBuffer - 1,
                                    value, std::chars_format::fixed, 6);
  if (result.ec == std::errc{}) {
    *result.ptr = 0;
    AddProperty(name, static_cast<const char*>(m_numberBuffer));
    return;
  }
  char large[400];
  *std::to_chars(large, large + sizeof large - 1, value, std::chars_format::fixed, 6).ptr = 0;
  AddProperty(name, static_cast<const char*>(large));
}

void QelXmlOutStream::AddText(const std::u16string& text) {
  RequireOpenTag();
  m_writeBuffer.push_back('>');
  AppendEscaped(text);
  m_tagOpen = false;
  WriteBuffer();
}

void QelXmlOutStream::AddSubNodeText(const std::string& name, const std::u16string& text) {
  if (m_tagOpen) {
    m_writeBuffer.push_back('>');
    m_tagOpen = false;
  }
  WriteBuffer();
  m_openNodes.push_back(name);
  m_writeBuffer.push_back('<');
  m_writeBuffer.append(name);
  m_writeBuffer.push_back('>');
  AppendEscaped(text);
  CloseNode(name);
}

void QelXmlOutStream::ClearBuffer() { m_writeBuffer.clear(); }

void QelXmlOutStream::AppendEscaped(const std::u16string& text) {
  const char* utf8 = ConvertString(text);
  AppendEscapedBytes(m_writeBuffer, utf8, std::strlen(utf8));
}

void QelXmlOutStream::ConvertStringForXml(std::string& text) {
  std::string escaped;
  escaped.reserve(text.size() + 16);
  AppendEscapedBytes(escaped, text.data(), text.size());
  text.swap(escaped);
}

const char* QelXmlOutStream::ConvertString(const std::u16string& text) {
  if (m_encoder == nullptr) Detail::ThrowGeneral(u"[1103]");
  if (text.size() > (INT32_MAX - 100) / 4) Detail::ThrowOutOfMemory(u"");
  const std::size_t needed = text.size() * 4 + 100;
  if (m_conversionSize < needed) {
    auto block = static_cast<char*>(std::realloc(m_conversion, needed));
    if (block == nullptr) Detail::ThrowOutOfMemory(u"");
    m_conversion = block;
    m_conversionSize = needed;
  }
  // Converted here rather than by the encoder, which passes an unpaired low surrogate through
  // as bytes that are not UTF-8; an unpaired surrogate becomes U+FFFD. The text ends at its
  // first NUL.
  auto out = reinterpret_cast<unsigned char*>(m_conversion);
  std::size_t produced = 0;
  for (std::size_t i = 0; i < text.size() && text[i] != 0; ++i) {
    std::uint32_t c = text[i];
    if (c < 0x80) {
      out[produced++] = static_cast<unsigned char>(c);
      continue;
    }
    if (c >= 0xD800 && c <= 0xDFFF) {
      if (c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
        c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
      else
        c = 0xFFFD;
    }
    if (c < 0x800) {
      out[produced++] = static_cast<unsigned char>(0xC0 | (c >> 6));
    } else if (c < 0x10000) {
      out[produced++] = static_cast<unsigned char>(0xE0 | (c >> 12));
      out[produced++] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
    } else {
      out[produced++] = static_cast<unsigned char>(0xF0 | (c >> 18));
      out[produced++] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
      out[produced++] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
    }
    out[produced++] = static_cast<unsigned char>(0x80 | (c & 0x3F));
  }
  out[produced] = 0;
  return m_conversion;
}

void QelXmlOutStream::utf8towstr(std::u16string& out, const std::string& in) {
  const auto* p = reinterpret_cast<const unsigned char*>(in.data());
  const auto* end = p + in.size();
  while (p < end) {
    const unsigned char lead = *p++;
    if (lead < 0x80) {
      out.push_back(lead);
      continue;
    }
    std::size_t extra;
    std::uint32_t codePoint;
    if (lead < 0xC0) {  // a continuation byte without a lead byte
      out.push_back(u'\uFFFD');
      continue;
    } else if (lead < 0xE0) {
      extra = 1;
      codePoint = lead & 0x1F;
    } else if (lead < 0xF0) {
      extra = 2;
      codePoint = lead & 0x0F;
    } else if (lead < 0xF8) {
      extra = 3;
      codePoint = lead & 0x07;
    } else {
      out.push_back(u'\uFFFD');
      continue;
    }
    if (static_cast<std::size_t>(end - p) < extra) {  // cut off at the end of the input
      out.push_back(u'\uFFFD');
      break;
    }
    for (std::size_t i = 0; i < extra; ++i) codePoint = (codePoint << 6) | (*p++ & 0x3F);
    if (codePoint > 0x10FFFF) {
      out.push_back(u'\uFFFD');
    } else if (codePoint > 0xFFFF) {
      const std::uint32_t v = codePoint - 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(codePoint));
    }
  }
}

}  // namespace Qel
