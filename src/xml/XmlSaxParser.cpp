#include "qel/xml/XmlSaxParser.h"

#include <libxml/encoding.h>
#include <libxml/entities.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "core/Throw.h"
#include "platform/RawFile.h"
#include "qel/core/StringConversion.h"
#include "xml/XmlLibrary.h"
#include "xml/XmlNumbers.h"
#include "xml/XmlSupport.h"

namespace Qel {

// Entity hooks of the handler table: they reach the parser's private state.
struct XmlSaxParserHooks {
  static xmlEntityPtr GetEntity(void* context, const xmlChar* name);
  static xmlEntityPtr GetParameterEntity(void* context, const xmlChar* name);
  static void EntityDecl(void* context, const xmlChar* name, int type, const xmlChar* publicId,
                         const xmlChar* systemId, xmlChar* content);
  // The library's error and warning reports: the first error is kept, nothing is printed.
  static void Error(void* context, const char* format, ...);
  static void Warning(void* context, const char* format, ...);
  static const xmlSAXHandler& Handler();
};

namespace {

constexpr int kChunkSize = 1024;

std::size_t TextLength(const unsigned char* value) {
  return value == nullptr ? 0 : std::strlen(reinterpret_cast<const char*>(value));
}

bool IsBlank(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

}  // namespace

const xmlSAXHandler& XmlSaxParserHooks::Handler() {
  // A SAX1 table: the five event entries, plus the two entity entries that let internal
  // entities be substituted within the document's expansion budget.
  static const xmlSAXHandler handler = [] {
    xmlSAXHandler h;
    std::memset(&h, 0, sizeof h);
    h.initialized = 1;
    h.startDocument = &XmlSaxParser::startDocumentCallBack;
    h.endDocument = &XmlSaxParser::endDocumentCallback;
    h.startElement = &XmlSaxParser::startElementCallback;
    h.endElement = &XmlSaxParser::endElementCallback;
    h.characters = &XmlSaxParser::charactersCallback;
    h.getEntity = &XmlSaxParserHooks::GetEntity;
    h.getParameterEntity = &XmlSaxParserHooks::GetParameterEntity;
    h.entityDecl = &XmlSaxParserHooks::EntityDecl;
    h.warning = &XmlSaxParserHooks::Warning;
    h.error = &XmlSaxParserHooks::Error;
    h.fatalError = &XmlSaxParserHooks::Error;
    return h;
  }();
  return handler;
}

xmlEntityPtr XmlSaxParserHooks::GetEntity(void* context, const xmlChar* name) {
  auto* parser = static_cast<XmlSaxParser*>(context);
  if (parser->m_stopped) return nullptr;
  xmlEntityPtr entity = xmlGetDocEntity(static_cast<xmlDocPtr>(parser->m_entities), name);
  if (entity != nullptr && ++parser->m_references > parser->m_maxReferences) {
    parser->AbortBeyondLimit(u"entity references of one document", parser->m_maxReferences);
    return nullptr;
  }
  if (entity != nullptr && entity->etype == XML_INTERNAL_GENERAL_ENTITY) {
    // Every reference is charged, also those met while another entity is expanded, so the
    // charge follows the text the references produce.
    if (!parser->ChargeEntity(entity->length)) return nullptr;
  }
  return entity;
}

xmlEntityPtr XmlSaxParserHooks::GetParameterEntity(void* context, const xmlChar* name) {
  auto* parser = static_cast<XmlSaxParser*>(context);
  if (parser->m_stopped || parser->m_entities == nullptr) return nullptr;
  xmlEntityPtr entity = xmlGetParameterEntity(static_cast<xmlDocPtr>(parser->m_entities), name);
  if (entity != nullptr && ++parser->m_references > parser->m_maxReferences) {
    parser->AbortBeyondLimit(u"entity references of one document", parser->m_maxReferences);
    return nullptr;
  }
  if (entity != nullptr && !parser->ChargeEntity(entity->length)) return nullptr;
  return entity;
}

void XmlSaxParserHooks::EntityDecl(void* context, const xmlChar* name, int type,
                                   const xmlChar* publicId, const xmlChar* systemId,
                                   xmlChar* content) {
  auto* parser = static_cast<XmlSaxParser*>(context);
  if (parser->m_stopped) return;
  // An external entity is never loaded: it is kept as an empty internal one, so that its
  // references read as nothing and the rest of the document is still read (the library ends
  // the document at a reference it cannot resolve).
  if (type == XML_EXTERNAL_GENERAL_PARSED_ENTITY || type == XML_EXTERNAL_PARAMETER_ENTITY) {
    Detail::RecordRefusedLoad(
        reinterpret_cast<const char*>(systemId != nullptr ? systemId : publicId));
    type = type == XML_EXTERNAL_PARAMETER_ENTITY ? XML_INTERNAL_PARAMETER_ENTITY
                                                 : XML_INTERNAL_GENERAL_ENTITY;
    publicId = systemId = nullptr;
    content = const_cast<xmlChar*>(BAD_CAST "");
  } else if (type != XML_INTERNAL_GENERAL_ENTITY && type != XML_INTERNAL_PARAMETER_ENTITY &&
             type != XML_EXTERNAL_GENERAL_UNPARSED_ENTITY) {
    return;
  }
  // The elements an entity brings in are parsed from its text, which the input scan skipped.
  Detail::AttributeCounter counter(parser->m_maxAttributes);
  if (content != nullptr &&
      !counter.Feed(reinterpret_cast<const char*>(content), TextLength(content))) {
    parser->AbortBeyondLimit(u"attributes of one element", parser->m_maxAttributes);
    return;
  }
  auto doc = static_cast<xmlDocPtr>(parser->m_entities);
  if (doc == nullptr) {
    doc = xmlNewDoc(BAD_CAST "1.0");
    if (doc == nullptr ||
        xmlCreateIntSubset(doc, BAD_CAST "entities", nullptr, nullptr) == nullptr) {
      xmlFreeDoc(doc);
      parser->Abort(std::make_exception_ptr(BaseException(ErrorId::OutOfMemory)));
      return;
    }
    parser->m_entities = doc;
  }
  // The first declaration of a name holds, as XML requires.
  const bool parameter = type == XML_INTERNAL_PARAMETER_ENTITY;
  if (parameter
          ? xmlGetParameterEntity(doc, name) == nullptr
          : (xmlGetDocEntity(doc, name) == nullptr || xmlGetPredefinedEntity(name) != nullptr))
    xmlAddDocEntity(doc, name, type, publicId, systemId, content);
}

void XmlSaxParserHooks::Error(void* context, const char* format, ...) {
  auto* parser = static_cast<XmlSaxParser*>(context);
  XmlParseError& error = parser->m_parseError;
  if (error.found) return;
  error.found = true;
  char message[512];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(message, sizeof message, format, arguments);
  va_end(arguments);
  error.message = message;
  for (char& c : error.message) {
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  }
  while (!error.message.empty() && error.message.back() == ' ') error.message.pop_back();
  // The push parser knows no line for the start tag of a mismatched end tag.
  if (const std::size_t at = error.message.find(" line 0 and "); at != std::string::npos)
    error.message.erase(at, 7);
  // The library records the error on its context before it reports it.
  auto parserContext = static_cast<xmlParserCtxtPtr>(parser->m_context);
  const xmlError* last = parserContext != nullptr ? xmlCtxtGetLastError(parserContext) : nullptr;
  if (last == nullptr) return;
  error.line = last->line;
  error.column = last->int2;
  // At the end of its input the push parser calls every unfinished document "extra content at
  // the end"; say what is missing instead.
  if (last->code == XML_ERR_DOCUMENT_END && parserContext->instate != XML_PARSER_EPILOG) {
    if (parserContext->nameNr > 0 && parserContext->name != nullptr) {
      error.message = "the document ends before the end tag of element ";
      error.message += reinterpret_cast<const char*>(parserContext->name);
    } else {
      error.message = "the document has no root element";
    }
  }
}

void XmlSaxParserHooks::Warning(void*, const char*, ...) {}

XmlSaxParser::XmlSaxParser() = default;

XmlSaxParser::XmlSaxParser(const XmlSaxParser& other)
    : m_stack(other.m_stack), m_encoder(other.m_encoder), m_version(other.m_version) {}

XmlSaxParser& XmlSaxParser::operator=(const XmlSaxParser& other) {
  if (this != &other) {
    ClearCharacters();
    m_stack = other.m_stack;
    m_encoder = other.m_encoder;
    m_version = other.m_version;
  }
  return *this;
}

XmlSaxParser::~XmlSaxParser() {
  ClearCharacters();
  if (m_entities != nullptr) xmlFreeDoc(static_cast<xmlDocPtr>(m_entities));
}

void* XmlSaxParser::LookUpEncoder() {
  if (m_encoder == nullptr) m_encoder = xmlGetCharEncodingHandler(XML_CHAR_ENCODING_UTF16LE);
  return m_encoder;
}

void XmlSaxParser::StartParse(XmlSaxCallback* callback) {
  Detail::InitXmlLibrary();
  xmlKeepBlanksDefault(0);
  xmlSubstituteEntitiesDefault(1);
  ClearCharacters();
  m_stack.clear();
  m_stack.push_back(callback);
  m_entityBytes = 0;
  m_documentBytes = 0;
  const XmlLimits limits = Detail::CurrentXmlLimits();
  m_maxAttributes = limits.maxAttributesPerElement;
  m_maxReferences = limits.maxEntityReferences;
  m_maxTextBytes = limits.maxTextBytes;
  m_references = 0;
  m_elements = 0;
  m_stopped = false;
  m_error = nullptr;
  m_parseError = XmlParseError();
}

void XmlSaxParser::EndParse() {
  if (m_context != nullptr) {
    auto context = static_cast<xmlParserCtxtPtr>(m_context);
    // In SAX mode the library keeps its own copy of entity declarations in a document of its
    // own that the parser's owner frees.
    if (context->myDoc != nullptr) xmlFreeDoc(context->myDoc);
    context->myDoc = nullptr;
    xmlFreeParserCtxt(context);
    m_context = nullptr;
  }
  if (m_entities != nullptr) {
    xmlFreeDoc(static_cast<xmlDocPtr>(m_entities));
    m_entities = nullptr;
  }
  m_encoder = nullptr;
  m_stack.clear();
  ClearCharacters();
}

void XmlSaxParser::RethrowCallbackError() {
  if (!m_error) return;
  auto error = m_error;
  m_error = nullptr;
  std::rethrow_exception(error);
}

template <class ReadChunk>
void XmlSaxParser::RunParse(XmlSaxCallback* callback, ReadChunk&& read) {
  StartParse(callback);
  Detail::AttributeCounter counter(m_maxAttributes);
  try {
    char chunk[kChunkSize];
    // Every piece is scanned before libxml2 sees it.
    const auto readScanned = [&] {
      const int got = read(chunk);
      if (got > 0 && !counter.Feed(chunk, static_cast<std::size_t>(got)))
        Detail::ThrowBeyondLimit(u"attributes of one element", m_maxAttributes);
      return got;
    };
    int size = readScanned();
    auto context = xmlCreatePushParserCtxt(
        const_cast<xmlSAXHandler*>(&XmlSaxParserHooks::Handler()), this, chunk, size, "wendocfile");
    if (context == nullptr) Detail::ThrowOutOfMemory(u"");
    m_context = context;
    while (size == kChunkSize && !m_stopped) {
      size = readScanned();
      if (size > 0) xmlParseChunk(context, chunk, size, 0);
      Detail::DrainCdata(context);
    }
    if (!m_stopped) xmlParseChunk(context, chunk, 0, 1);
  } catch (...) {
    EndParse();
    throw;
  }
  EndParse();
  RethrowCallbackError();
}

void XmlSaxParser::ParseFile(const std::u16string& path, XmlSaxCallback* callback) {
  if (callback == nullptr) Detail::ThrowInvalidArgument(u"[1096]");
  if (LookUpEncoder() == nullptr) Detail::ThrowGeneral(u"[1097]");
  const int fd = Platform::OpenFileForRead(Utf16ToUtf8(path.data(), path.size()));
  if (fd < 0) Detail::ThrowFileError(ErrorId::FileOpen, path, errno);
  gzFile file = gzdopen(fd, "rb");
  if (file == nullptr) {
    Platform::CloseFile(fd);
    Detail::ThrowOutOfMemory(u"[1098]");
  }
  gzbuffer(file, 64 * 1024);
  struct Closer {
    gzFile file;
    ~Closer() { gzclose(file); }
  } closer{file};
  RunParse(callback, [&](char* chunk) {
    const int size = Detail::ReadGzipChunk(file, chunk, kChunkSize, path);
    m_documentBytes += static_cast<std::uint64_t>(size);
    if (m_documentBytes > m_maxDocumentBytes) Detail::ThrowDocumentTooLarge(path);
    return size;
  });
}

void XmlSaxParser::ParseMemory(const char* buffer, unsigned int size, XmlSaxCallback* callback) {
  if (callback == nullptr) Detail::ThrowInvalidArgument(u"[1099]");
  if (LookUpEncoder() == nullptr) Detail::ThrowGeneral(u"[1100]");
  StartParse(callback);
  try {
    Detail::AttributeCounter counter(m_maxAttributes);
    if (!counter.Feed(buffer, size))
      Detail::ThrowBeyondLimit(u"attributes of one element", m_maxAttributes);
    // The push parser takes an int: larger documents go in slices.
    const unsigned int first = size > INT32_MAX ? INT32_MAX : size;
    auto context = xmlCreatePushParserCtxt(
        const_cast<xmlSAXHandler*>(&XmlSaxParserHooks::Handler()), this,
        size == 0 ? nullptr : buffer, static_cast<int>(first), "wendocfile");
    if (context == nullptr) Detail::ThrowOutOfMemory(u"");
    m_context = context;
    for (unsigned int offset = first; offset < size && !m_stopped;) {
      const unsigned int slice = size - offset > INT32_MAX ? INT32_MAX : size - offset;
      xmlParseChunk(context, buffer + offset, static_cast<int>(slice), 0);
      offset += slice;
    }
    if (!m_stopped) xmlParseChunk(context, buffer, 0, 1);
  } catch (...) {
    EndParse();
    throw;
  }
  EndParse();
  RethrowCallbackError();
}

void XmlSaxParser::PushCallback(XmlSaxCallback* callback) {
  m_stack.push_back(callback != nullptr ? callback : &m_defaultCallback);
}

void XmlSaxParser::ConvertString(const unsigned char* utf8, int length, std::u16string& out) {
  if (length <= 0 || utf8 == nullptr) {
    out.clear();
    return;
  }
  const bool heldEncoder = m_encoder != nullptr;
  auto encoder = static_cast<xmlCharEncodingHandlerPtr>(LookUpEncoder());
  if (encoder == nullptr) Detail::ThrowGeneral(u"[1101]");
  std::unique_ptr<char[]> heap;
  char* area = m_conversion;
  int areaSize = static_cast<int>(sizeof m_conversion);
  if (length > kConversionInputLimit) {
    const std::size_t bytes = static_cast<std::size_t>(length) * 2 + 100;
    heap.reset(new (std::nothrow) char[bytes]);
    if (!heap) Detail::ThrowOutOfMemory(u"");
    area = heap.get();
    areaSize = static_cast<int>(bytes > INT32_MAX ? INT32_MAX : bytes);
  }
  int produced = areaSize;
  int consumed = length;
  encoder->output(reinterpret_cast<unsigned char*>(area), &produced, utf8, &consumed);
  if (produced < 0) produced = 0;
  out.resize(static_cast<std::size_t>(produced) / 2);
  std::memcpy(out.data(), area, out.size() * 2);
  if (!heldEncoder) m_encoder = nullptr;
}

bool XmlSaxParser::GetBoolValue(const unsigned char* value, bool defaultValue) const {
  if (value == nullptr || value[0] == 0) return defaultValue;
  if (value[0] == '1') return true;
  if (value[0] == '0') return false;
  return defaultValue;
}

std::int32_t XmlSaxParser::GetLongValue(const unsigned char* value,
                                        std::int32_t defaultValue) const {
  if (value == nullptr || value[0] == 0) return defaultValue;
  return Detail::AtoL(value, value + TextLength(value));
}

std::int64_t XmlSaxParser::GetLongLongValue(const unsigned char* value,
                                            std::int64_t defaultValue) const {
  if (value == nullptr || value[0] == 0) return defaultValue;
  return Detail::AtoLL(value, value + TextLength(value));
}

double XmlSaxParser::GetDoubleValue(const unsigned char* value, double defaultValue) const {
  if (value == nullptr || value[0] == 0) return defaultValue;
  return Detail::ScanFloating<double>(value, value + TextLength(value)).value_or(defaultValue);
}

float XmlSaxParser::GetFloatValue(const unsigned char* value, float defaultValue) const {
  if (value == nullptr || value[0] == 0) return defaultValue;
  return Detail::ScanFloating<float>(value, value + TextLength(value)).value_or(defaultValue);
}

std::uint32_t XmlSaxParser::GetSizetValue(const unsigned char* value,
                                          std::uint32_t defaultValue) const {
  if (value == nullptr || value[0] == 0) return defaultValue;
  return Detail::ScanUnsigned<std::uint32_t>(value, value + TextLength(value))
      .value_or(defaultValue);
}

std::int64_t XmlSaxParser::GetTimetValue(const unsigned char* value,
                                         std::int64_t defaultValue) const {
  if (value == nullptr || value[0] == 0) return defaultValue;
  const auto scanned = Detail::ScanUnsigned<std::uint64_t>(value, value + TextLength(value));
  return scanned ? static_cast<std::int64_t>(*scanned) : defaultValue;
}

void XmlSaxParser::startDocumentCallBack(void* context) {
  static_cast<XmlSaxParser*>(context)->OnStartDocument();
}

void XmlSaxParser::endDocumentCallback(void* context) {
  static_cast<XmlSaxParser*>(context)->OnEndDocument();
}

void XmlSaxParser::startElementCallback(void* context, const unsigned char* name,
                                        const unsigned char** attributes) {
  static_cast<XmlSaxParser*>(context)->OnStartElement(name, attributes);
}

void XmlSaxParser::endElementCallback(void* context, const unsigned char* name) {
  static_cast<XmlSaxParser*>(context)->OnEndElement(name);
}

void XmlSaxParser::charactersCallback(void* context, const unsigned char* text, int length) {
  static_cast<XmlSaxParser*>(context)->OnCharacters(text, length);
}

// Exceptions never cross the XML library's C frames: a handler that throws stops the parse
// and the exception is rethrown once the library has returned.
void XmlSaxParser::Abort(std::exception_ptr error) {
  if (!m_error) m_error = std::move(error);
  m_stopped = true;
  if (m_context != nullptr) xmlStopParser(static_cast<xmlParserCtxtPtr>(m_context));
}

void XmlSaxParser::AbortBeyondLimit(const char16_t* what, std::uint64_t limit) {
  try {
    Detail::ThrowBeyondLimit(what, limit);
  } catch (...) {
    Abort(std::current_exception());
  }
}

bool XmlSaxParser::ChargeEntity(int length) {
  if (Detail::ChargeEntityExpansion(m_entityBytes, length)) return true;
  try {
    Detail::ThrowEntityExpansion();
  } catch (...) {
    Abort(std::current_exception());
  }
  return false;
}

void XmlSaxParser::OnStartDocument() {
  if (m_stopped) return;
  try {
    m_stack.back()->OnStartDocument(this);
  } catch (...) {
    Abort(std::current_exception());
  }
}

void XmlSaxParser::OnEndDocument() {
  if (m_stopped) return;
  try {
    m_stack.back()->OnEndDocument(this);
  } catch (...) {
    Abort(std::current_exception());
  }
}

void XmlSaxParser::OnStartElement(const unsigned char* name, const unsigned char** attributes) {
  if (m_stopped) return;
  if (++m_elements > m_maxElements) {
    AbortBeyondLimit(u"elements of one tree", m_maxElements);
    return;
  }
  try {
    const std::size_t depth = m_stack.size();
    m_stack.back()->OnStartElement(this, name, attributes);
    if (m_stack.size() == depth) PushCallback(nullptr);
  } catch (...) {
    Abort(std::current_exception());
  }
  ClearCharacters();
}

void XmlSaxParser::OnEndElement(const unsigned char* name) {
  if (m_stopped) return;
  // Whitespace-only text between tags is layout, not content.
  if (m_characterSize > 0 && IsBlank(m_characters[0])) {
    unsigned int i = 1;
    while (i < m_characterSize && IsBlank(m_characters[i])) ++i;
    if (i == m_characterSize) ClearCharacters();
  }
  try {
    m_stack.back()->OnEndElement(this, name);
  } catch (...) {
    Abort(std::current_exception());
  }
  // A well-formed document never pops the caller's own callback; a bad one must not either.
  if (m_stack.size() > 1) m_stack.pop_back();
  ClearCharacters();
}

void XmlSaxParser::OnCharacters(const unsigned char* text, int length) {
  if (m_stopped || length <= 0) return;
  const std::size_t total = std::size_t{m_characterSize} + static_cast<std::size_t>(length);
  if (total > m_maxTextBytes || total > UINT32_MAX) {
    AbortBeyondLimit(u"text bytes of one element",
                     std::min<std::uint64_t>(m_maxTextBytes, UINT32_MAX));
    return;
  }
  if (total < kInlineCharacters) {
    if (m_characters == nullptr) m_characters = m_inline;
  } else if (total > m_characterCapacity) {
    // The heap block grows geometrically so that long texts delivered in many small pieces
    // cost linear time.
    std::size_t capacity = std::max<std::size_t>(total, std::size_t{m_characterCapacity} * 2);
    capacity = std::min<std::uint64_t>({capacity, m_maxTextBytes, UINT32_MAX});
    const bool onHeap = m_characters != nullptr && m_characters != m_inline;
    auto block = static_cast<unsigned char*>(onHeap ? std::realloc(m_characters, capacity)
                                                    : std::malloc(capacity));
    if (block == nullptr) {
      Abort(std::make_exception_ptr(BaseException(ErrorId::OutOfMemory)));
      return;
    }
    if (!onHeap && m_characterSize > 0) std::memcpy(block, m_characters, m_characterSize);
    m_characters = block;
    m_characterCapacity = static_cast<unsigned int>(capacity);
  }
  std::memcpy(m_characters + m_characterSize, text, static_cast<std::size_t>(length));
  m_characterSize = static_cast<unsigned int>(total);
}

void XmlSaxParser::ClearCharacters() {
  if (m_characters != nullptr && m_characters != m_inline) std::free(m_characters);
  m_characters = nullptr;
  m_characterSize = 0;
  m_characterCapacity = 0;
}

}  // namespace Qel
