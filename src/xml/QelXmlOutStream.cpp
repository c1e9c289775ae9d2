#include "qel/xml/QelXmlOutStream.h"

#include <libxml/tree.h>
#include <zlib.h>

#include <algorithm>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "core/Text.h"
#include "core/Throw.h"
#include "core/Utf.h"
#include "platform/Platform.h"
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
      // XML 1.0 has no other control character below U+0020: U+FFFD shows where it was.
      return c < 32 ? "\xEF\xBF\xBD" : nullptr;
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

// XmlException 3005 unless `name` is an XML name, so that no document is written that the
// readers refuse.
void RequireXmlName(const std::string& name) {
  if (xmlValidateName(reinterpret_cast<const xmlChar*>(name.c_str()), 0) != 0 ||
      name.find('\0') != std::string::npos) {
    Detail::Throw<XmlException>(ErrorId::XmlIllegalCharacters);
  }
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
      m_tagAttributes(other.m_tagAttributes),
      m_tagOpen(other.m_tagOpen) {}

QelXmlOutStream& QelXmlOutStream::operator=(const QelXmlOutStream& other) {
  if (this != &other) {
    CloseFiles();
    m_storageType = other.m_storageType;
    m_xmlString = other.m_xmlString;
    m_writeBuffer = other.m_writeBuffer;
    m_openNodes = other.m_openNodes;
    m_tagAttributes = other.m_tagAttributes;
    m_tagOpen = other.m_tagOpen;
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
  if (fd < 0) Detail::ThrowFileError(ErrorId::FileCreate, fileName, errno);
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
    if (m_gzip != nullptr) Detail::Throw<XmlException>(ErrorId::XmlFileAlreadyOpen);
    OpenFile(fileName, true);
  } else if (m_storageType == StorageFile) {
    if (m_file >= 0) Detail::Throw<XmlException>(ErrorId::XmlFileAlreadyOpen);
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
  RequireXmlName(name);
  WriteBuffer();
  m_tagAttributes.clear();
  if (m_tagOpen) m_writeBuffer.push_back('>');
  m_openNodes.push_back(name);
  m_writeBuffer.push_back('<');
  m_writeBuffer.append(name);
  m_tagOpen = true;
}

void QelXmlOutStream::CloseNode(const std::string& name) {
  if (m_openNodes.empty()) Detail::Throw<XmlException>(ErrorId::XmlNoOpenNode);
  if (m_openNodes.back() != name) Detail::Throw<XmlException>(ErrorId::XmlCloseNode);
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
  if (m_openNodes.empty() || !m_tagOpen) Detail::Throw<XmlException>(ErrorId::XmlNoOpenNode);
}

void QelXmlOutStream::AddProperty(const std::string& name, const std::string& text) {
  AddProperty(name, text.c_str());
}

void QelXmlOutStream::AddProperty(const std::string& name, const char* value) {
  std::u16string wide;
  if (value != nullptr) utf8towstr(wide, value);
  AddProperty(name, wide);
}

void QelXmlOutStream::StartAttribute(const std::string& name) {
  RequireOpenTag();
  RequireXmlName(name);
  // A repeated attribute makes the element ill-formed.
  if (std::find(m_tagAttributes.begin(), m_tagAttributes.end(), name) != m_tagAttributes.end())
    Detail::Throw<XmlException>(ErrorId::XmlIllegalCharacters);
  m_tagAttributes.push_back(name);
}

void QelXmlOutStream::AddProperty(const std::string& name, const std::u16string& value) {
  StartAttribute(name);
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
  AddProperty(name, Detail::DecimalText(value));
}

void QelXmlOutStream::AddProperty(const std::string& name, const unsigned int& value) {
  AddProperty(name, Detail::DecimalText(value));
}

void QelXmlOutStream::AddProperty(const std::string& name, const std::int64_t& value) {
  AddProperty(name, Detail::DecimalText(value));
}

void QelXmlOutStream::AddProperty(const std::string& name, const std::uint64_t& value) {
  AddProperty(name, Detail::DecimalText(value));
}

void QelXmlOutStream::AddProperty(const std::string& name, const double& value) {
  AddProperty(name, Detail::FixedText(value));
}

void QelXmlOutStream::AddText(const std::u16string& text) {
  RequireOpenTag();
  m_writeBuffer.push_back('>');
  AppendEscaped(text);
  m_tagOpen = false;
  WriteBuffer();
}

void QelXmlOutStream::AddSubNodeText(const std::string& name, const std::u16string& text) {
  RequireXmlName(name);
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

const char* QelXmlOutStream::ConvertString(const std::u16string& text) {
  if (text.size() > (INT32_MAX - 100) / 4) Detail::ThrowOutOfMemory(u"");
  const std::size_t needed = text.size() * 4 + 100;
  if (m_conversionSize < needed) {
    auto block = static_cast<char*>(std::realloc(m_conversion, needed));
    if (block == nullptr) Detail::ThrowOutOfMemory(u"");
    m_conversion = block;
    m_conversionSize = needed;
  }
  // Converted here rather than by the XML library's encoder, which passes an unpaired low
  // surrogate through as bytes that are not UTF-8; an unpaired surrogate becomes U+FFFD. The
  // text ends at its first NUL. U+FFFE and U+FFFF are no XML characters: they become U+FFFD.
  std::u16string_view untilNul(text.c_str());
  std::u16string replaced;
  if (std::any_of(untilNul.begin(), untilNul.end(),
                  [](char16_t c) { return c == 0xFFFE || c == 0xFFFF; })) {
    replaced.assign(untilNul);
    std::replace_if(
        replaced.begin(), replaced.end(), [](char16_t c) { return c == 0xFFFE || c == 0xFFFF; },
        u'\uFFFD');
    untilNul = replaced;
  }
  const std::size_t produced =
      Detail::Utf16ToUtf8Buffer(untilNul.data(), untilNul.size(), m_conversion, needed - 1);
  m_conversion[produced] = 0;
  return m_conversion;
}

void QelXmlOutStream::utf8towstr(std::u16string& out, const std::string& in) {
  const std::size_t start = out.size();
  out.resize(start + Detail::Utf16CapacityFor(in.size()));
  const std::size_t units = Detail::Utf8ToUtf16Buffer(in.data(), in.size(), out.data() + start,
                                                      nullptr, Detail::Utf8Decoding::Unchecked);
  out.resize(start + units);
}

}  // namespace Qel
