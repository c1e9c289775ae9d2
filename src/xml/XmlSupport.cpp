#include "xml/XmlSupport.h"

#include <atomic>
#include <cerrno>
#include <cstring>

#include "core/Text.h"
#include "core/Throw.h"
#include "xml/XmlLibrary.h"

namespace Qel::Detail {
namespace {

[[noreturn]] void ThrowGzipError(gzFile file, const std::u16string& path) {
  int code = Z_OK;
  const char* message = gzerror(file, &code);
  if (code == Z_ERRNO) ThrowFileError(ErrorId::FileRead, path, errno);
  std::string text = message != nullptr && *message != 0 ? message : "read error";
  Throw<FileIOException>(ErrorId::FileRead, path, AsciiToU16(text));
}

}  // namespace

int ReadGzipChunk(gzFile file, char* buffer, int size, const std::u16string& path) {
  const int read = gzread(file, buffer, static_cast<unsigned int>(size));
  if (read < 0) ThrowGzipError(file, path);
  if (read < size) {
    // A truncated stream ends like a short file; only the error state tells them apart.
    int code = Z_OK;
    gzerror(file, &code);
    if (code != Z_OK) ThrowGzipError(file, path);
  }
  return read;
}

void ThrowDocumentTooLarge(const std::u16string& path) {
  Throw<FileIOException>(
      ErrorId::FileRead, path,
      u"the document expands beyond " + DecimalU16(kMaxDocumentBytes >> 20) + u" MiB");
}

bool ChargeEntityExpansion(std::size_t& used, int length) {
  used += static_cast<std::size_t>(length) + 1;
  return used <= kMaxEntityExpansion;
}

namespace {

// The bounds of XmlLimits, one atomic each.
std::atomic<std::uint32_t> g_maxAttributes{XmlLimits{}.maxAttributesPerElement};
std::atomic<std::uint64_t> g_maxElements{XmlLimits{}.maxTreeElements};
std::atomic<std::uint64_t> g_maxReferences{XmlLimits{}.maxEntityReferences};
std::atomic<std::uint64_t> g_maxText{XmlLimits{}.maxTextBytes};

}  // namespace

XmlLimits CurrentXmlLimits() {
  XmlLimits limits;
  limits.maxAttributesPerElement = g_maxAttributes.load(std::memory_order_relaxed);
  limits.maxTreeElements = g_maxElements.load(std::memory_order_relaxed);
  limits.maxEntityReferences = g_maxReferences.load(std::memory_order_relaxed);
  limits.maxTextBytes = g_maxText.load(std::memory_order_relaxed);
  return limits;
}

void ThrowBeyondLimit(const char16_t* what, std::uint64_t limit) {
  Throw<XMLFormatException>(ErrorId::XmlDocumentTooLarge,
                            std::u16string(what) + u" beyond " + DecimalU16(limit));
}

bool AttributeCounter::Feed(const char* data, std::size_t size) {
  const char* p = data;
  const char* const end = data + size;
  while (p < end) {
    const char c = *p;
    switch (m_state) {
      case State::Text: {
        const void* open = std::memchr(p, '<', static_cast<std::size_t>(end - p));
        if (open == nullptr) return true;
        p = static_cast<const char*>(open);
        m_state = State::Open;
        break;
      }
      case State::Open:
        if (c == '!') {
          m_state = State::Bang;
          m_bangLength = 0;
        } else if (c == '?') {
          m_state = State::Pi;
          m_after = State::Text;
          m_match = 0;
        } else if (c == '/') {
          m_state = State::EndTag;
        } else {
          m_state = State::Tag;
          m_count = 0;
        }
        break;
      case State::Tag:
        if (c == '"' || c == '\'') {
          m_quote = c;
          m_state = State::Value;
        } else if (c == '=') {
          if (++m_count > m_max) return false;
        } else if (c == '>') {
          m_state = State::Text;
        }
        break;
      case State::Value: {
        const void* close = std::memchr(p, m_quote, static_cast<std::size_t>(end - p));
        if (close == nullptr) return true;
        p = static_cast<const char*>(close);
        m_state = State::Tag;
        break;
      }
      case State::EndTag:
        if (c == '>') m_state = State::Text;
        break;
      case State::Bang: {
        static constexpr std::string_view kComment = "--";
        static constexpr std::string_view kCData = "[CDATA[";
        m_bang[m_bangLength++] = c;
        const std::string_view seen(m_bang, static_cast<std::size_t>(m_bangLength));
        if (seen == kComment) {
          m_state = State::Comment;
          m_after = State::Text;
          m_match = 0;
        } else if (seen == kCData) {
          m_state = State::CData;
          m_match = 0;
        } else if (kComment.substr(0, seen.size()) != seen &&
                   kCData.substr(0, seen.size()) != seen) {
          // A declaration: look at this character again as part of it.
          m_state = State::Decl;
          m_depth = 0;
          m_match = 0;
          continue;
        }
        break;
      }
      case State::Comment:
        if (c == '-') {
          m_match = m_match < 2 ? m_match + 1 : 2;
        } else {
          if (c == '>' && m_match == 2) m_state = m_after;
          m_match = 0;
        }
        break;
      case State::CData:
        if (c == ']') {
          m_match = m_match < 2 ? m_match + 1 : 2;
        } else {
          if (c == '>' && m_match == 2) m_state = State::Text;
          m_match = 0;
        }
        break;
      case State::Pi:
        if (c == '>' && m_match == 1) m_state = m_after;
        m_match = c == '?' ? 1 : 0;
        break;
      case State::Decl:
        // m_match follows "<!-", the start of a comment inside the internal subset.
        if (c == '<') {
          m_match = 1;
          break;
        }
        if (m_match == 1 && c == '?') {
          m_state = State::Pi;
          m_after = State::Decl;
          m_match = 0;
          break;
        }
        if ((m_match == 1 && c == '!') || (m_match == 2 && c == '-')) {
          ++m_match;
          break;
        }
        if (m_match == 3 && c == '-') {
          m_state = State::Comment;
          m_after = State::Decl;
          m_match = 0;
          break;
        }
        m_match = 0;
        if (c == '"' || c == '\'') {
          m_quote = c;
          m_state = State::DeclValue;
        } else if (c == '[') {
          ++m_depth;
        } else if (c == ']') {
          --m_depth;
        } else if (c == '>' && m_depth <= 0) {
          m_state = State::Text;
        }
        break;
      case State::DeclValue: {
        const void* close = std::memchr(p, m_quote, static_cast<std::size_t>(end - p));
        if (close == nullptr) return true;
        p = static_cast<const char*>(close);
        m_state = State::Decl;
        break;
      }
    }
    ++p;
  }
  return true;
}

void DrainCdata(xmlParserCtxtPtr context) {
  constexpr std::ptrdiff_t kKeep = 600;  // twice the piece libxml2 hands on
  while (context->instate == XML_PARSER_CDATA_SECTION && context->input != nullptr &&
         context->input->end - context->input->cur > kKeep) {
    const xmlChar* before = context->input->cur;
    xmlParseChunk(context, nullptr, 0, 0);
    if (context->input == nullptr || context->input->cur == before) break;
  }
}

void ThrowEntityExpansion() {
  Throw<XMLFormatException>(ErrorId::XmlDocumentTooLarge, u"entity expansion beyond 16 MiB");
}

}  // namespace Qel::Detail

namespace Qel {

XmlLimits GetXmlLimits() { return Detail::CurrentXmlLimits(); }

void SetXmlLimits(const XmlLimits& limits) {
  const XmlLimits defaults;
  const auto pick = [](auto value, auto fallback) { return value != 0 ? value : fallback; };
  Detail::g_maxAttributes.store(
      pick(limits.maxAttributesPerElement, defaults.maxAttributesPerElement),
      std::memory_order_relaxed);
  Detail::g_maxElements.store(pick(limits.maxTreeElements, defaults.maxTreeElements),
                              std::memory_order_relaxed);
  Detail::g_maxReferences.store(pick(limits.maxEntityReferences, defaults.maxEntityReferences),
                                std::memory_order_relaxed);
  Detail::g_maxText.store(pick(limits.maxTextBytes, defaults.maxTextBytes),
                          std::memory_order_relaxed);
}

}  // namespace Qel
