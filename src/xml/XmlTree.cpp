#include "qel/xml/XmlTree.h"

#include <libxml/SAX2.h>
#include <libxml/encoding.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "core/Throw.h"
#include "core/Utf.h"
#include "platform/Platform.h"
#include "platform/RawFile.h"
#include "qel/core/IntrusivePtr.h"
#include "qel/core/StringConversion.h"
#include "qel/xml/XmlSaxParser.h"
#include "xml/XmlLibrary.h"
#include "xml/XmlSupport.h"

namespace Qel {

thread_local std::u16string XmlTree::ErrorMessage;

namespace {

constexpr int kNameArea = 1024;
constexpr int kValueArea = 2048;
// Bytes handed to libxml2's push parser at a time by Read2.
constexpr int kPushChunk = 64 * 1024;

void InstallErrorFunction() {
  Detail::InitXmlLibrary();
  xmlSetGenericErrorFunc(nullptr, &XmlTree::ErrorFunction);
}

// ---- Writing -----------------------------------------------------------------------------

// UTF-16 to UTF-8 for the document. False when the text holds something XML cannot carry:
// an unpaired surrogate, U+FFFE, U+FFFF, or (unless `allowControls`) a control character
// other than tab, line feed and carriage return.
bool ToXmlUtf8(const std::u16string& text, std::string& out, bool allowControls) {
  for (const char16_t c : text) {
    if (c < 0x20 ? c != 0x9 && c != 0xA && c != 0xD && !allowControls : c == 0xFFFE || c == 0xFFFF)
      return false;
  }
  bool unpairedSurrogate = false;
  out.resize(Detail::Utf8LengthOf(text.data(), text.size()));
  Detail::Utf16ToUtf8Buffer(text.data(), text.size(), out.data(), out.size(), &unpairedSurrogate);
  return !unpairedSurrogate;
}

[[noreturn]] void ThrowNotWritable(const std::u16string& what, const std::u16string& name) {
  Detail::ThrowGeneral(u"the XML tree cannot be written: " + what + u" '" + name + u"'");
}

std::string ElementName(const XmlNode* node) {
  std::string name;
  if (!ToXmlUtf8(node->GetName(), name, false) ||
      xmlValidateName(reinterpret_cast<const xmlChar*>(name.c_str()), 0) != 0)
    ThrowNotWritable(u"invalid element name", node->GetName());
  return name;
}

void SetProperties(const XmlNode* node, xmlNodePtr element) {
  std::string name;
  std::string value;
  for (const XmlProperty* property : node->GetProperties()) {
    if (!ToXmlUtf8(property->GetName(), name, false) ||
        xmlValidateName(reinterpret_cast<const xmlChar*>(name.c_str()), 0) != 0)
      ThrowNotWritable(u"invalid attribute name", property->GetName());
    if (!ToXmlUtf8(property->GetValue(), value, false))
      ThrowNotWritable(u"invalid character in attribute", property->GetName());
    if (xmlSetProp(element, BAD_CAST name.c_str(), BAD_CAST value.c_str()) == nullptr)
      Detail::ThrowOutOfMemory(u"");
  }
}

// Text of a node. Control characters are left to the library, which reports them.
std::string ContentText(const XmlNode* node) {
  std::string text;
  if (!ToXmlUtf8(node->GetContent(), text, true))
    ThrowNotWritable(u"invalid character in the text of", node->GetName());
  return text;
}

struct DocFree {
  void operator()(xmlDocPtr doc) const { xmlFreeDoc(doc); }
};
using DocPtr = std::unique_ptr<xmlDoc, DocFree>;

// Builds the library's tree below the document with an explicit stack, so that trees of any
// depth are written.
void BuildLibraryTree(const XmlNode* root, xmlDocPtr doc) {
  xmlNodePtr element = xmlNewDocNode(doc, nullptr, BAD_CAST ElementName(root).c_str(), nullptr);
  if (element == nullptr) Detail::ThrowOutOfMemory(u"");
  xmlDocSetRootElement(doc, element);
  if (!root->GetContent().empty()) xmlNodeAddContent(element, BAD_CAST ContentText(root).c_str());
  SetProperties(root, element);
  std::vector<std::pair<const XmlNode*, xmlNodePtr>> pending;
  auto pushChildren = [&pending](const XmlNode* node, xmlNodePtr parent) {
    const auto& children = node->GetChildren();
    for (auto it = children.rbegin(); it != children.rend(); ++it)
      pending.emplace_back(*it, parent);
  };
  pushChildren(root, element);
  while (!pending.empty()) {
    auto [node, parent] = pending.back();
    pending.pop_back();
    if (node->IsContent()) {
      xmlNodePtr text = xmlNewDocText(doc, BAD_CAST ContentText(node).c_str());
      if (text == nullptr) Detail::ThrowOutOfMemory(u"");
      xmlAddChild(parent, text);
      continue;
    }
    xmlNodePtr child =
        xmlNewChild(parent, nullptr, BAD_CAST ElementName(node).c_str(), BAD_CAST "");
    if (child == nullptr) Detail::ThrowOutOfMemory(u"");
    SetProperties(node, child);
    pushChildren(node, child);
  }
}

// ---- Reading through the document tree ---------------------------------------------------

struct EntityBudget {
  xmlParserCtxtPtr document = nullptr;
  std::size_t used = 0;
  bool exceeded = false;
  XmlLimits limits = Detail::CurrentXmlLimits();
  std::uint64_t references = 0;
  std::uint64_t elements = 0;
  const char16_t* beyond = nullptr;  // the XmlLimits bound that stopped the parse
  std::uint64_t beyondLimit = 0;
  std::uint64_t maxText = 0;                      // text bytes of one element
  std::uint64_t textBytes = 0;                    // of the element being read
  startElementNsSAX2Func startElement = nullptr;  // libxml2's own handlers, called on
  endElementNsSAX2Func endElement = nullptr;
  charactersSAXFunc characters = nullptr;
  cdataBlockSAXFunc cdataBlock = nullptr;
  entityDeclSAXFunc entityDecl = nullptr;
};

// libxml2 stops a text node beyond 10 MB without `XML_PARSE_HUGE` and keeps the part it read
// as if the document ended well: the bound stops the parse first, and says so.
constexpr std::uint64_t kLibraryTextLimit = 10000000;

EntityBudget* BudgetOf(void* context) {
  return static_cast<EntityBudget*>(static_cast<xmlParserCtxtPtr>(context)->_private);
}

void StopBeyond(void* context, const char16_t* what, std::uint64_t limit) {
  auto ctxt = static_cast<xmlParserCtxtPtr>(context);
  EntityBudget* budget = BudgetOf(context);
  if (budget->beyond == nullptr) {
    budget->beyond = what;
    budget->beyondLimit = limit;
  }
  xmlStopParser(ctxt);
  if (budget->document != ctxt) xmlStopParser(budget->document);
}

// libxml2's element handler, stopped once the tree holds the most elements allowed.
void StartElementWithinBound(void* context, const xmlChar* localName, const xmlChar* prefix,
                             const xmlChar* uri, int namespaceCount, const xmlChar** namespaces,
                             int attributeCount, int defaultedCount, const xmlChar** attributes) {
  EntityBudget* budget = BudgetOf(context);
  if (budget->beyond != nullptr) return;
  if (++budget->elements > budget->limits.maxTreeElements) {
    StopBeyond(context, u"elements of one tree", budget->limits.maxTreeElements);
    return;
  }
  budget->textBytes = 0;
  budget->startElement(context, localName, prefix, uri, namespaceCount, namespaces, attributeCount,
                       defaultedCount, attributes);
}

void EndElementWithinBound(void* context, const xmlChar* localName, const xmlChar* prefix,
                           const xmlChar* uri) {
  EntityBudget* budget = BudgetOf(context);
  budget->textBytes = 0;
  budget->endElement(context, localName, prefix, uri);
}

// Counts the text of the element being read; false (and the parse stopped) beyond the bound.
bool ChargeText(void* context, int length) {
  EntityBudget* budget = BudgetOf(context);
  if (budget->beyond != nullptr) return false;
  budget->textBytes += static_cast<std::uint64_t>(length > 0 ? length : 0);
  if (budget->textBytes <= budget->maxText) return true;
  StopBeyond(context, u"text bytes of one element", budget->maxText);
  return false;
}

void CharactersWithinBound(void* context, const xmlChar* text, int length) {
  if (ChargeText(context, length)) BudgetOf(context)->characters(context, text, length);
}

void CdataWithinBound(void* context, const xmlChar* text, int length) {
  if (ChargeText(context, length)) BudgetOf(context)->cdataBlock(context, text, length);
}

// libxml2's entity declaration handler, after the attribute scan of the entity's text.
void EntityDeclWithinBound(void* context, const xmlChar* name, int type, const xmlChar* publicId,
                           const xmlChar* systemId, xmlChar* content) {
  EntityBudget* budget = BudgetOf(context);
  Detail::AttributeCounter counter(budget->limits.maxAttributesPerElement);
  if (content != nullptr && !counter.Feed(reinterpret_cast<const char*>(content),
                                          std::strlen(reinterpret_cast<const char*>(content)))) {
    StopBeyond(context, u"attributes of one element", budget->limits.maxAttributesPerElement);
    return;
  }
  budget->entityDecl(context, name, type, publicId, systemId, content);
}

// The library's own entity look-up, charged against the document's expansion budget.
xmlEntityPtr GetEntityWithinBudget(void* context, const xmlChar* name) {
  auto ctxt = static_cast<xmlParserCtxtPtr>(context);
  auto budget = static_cast<EntityBudget*>(ctxt->_private);
  if (budget == nullptr) return xmlSAX2GetEntity(context, name);
  if (budget->exceeded || budget->beyond != nullptr) return nullptr;
  xmlEntityPtr entity = xmlSAX2GetEntity(context, name);
  if (entity != nullptr && ++budget->references > budget->limits.maxEntityReferences) {
    StopBeyond(context, u"entity references of one document", budget->limits.maxEntityReferences);
    return nullptr;
  }
  if (entity != nullptr && entity->etype == XML_INTERNAL_GENERAL_ENTITY) {
    if (!Detail::ChargeEntityExpansion(budget->used, entity->length)) {
      budget->exceeded = true;
      xmlStopParser(ctxt);
      if (budget->document != ctxt) xmlStopParser(budget->document);
      return nullptr;
    }
  }
  return entity;
}

// UTF-8 (at most MaxBufferLength bytes of it) to UTF-16 in an area of `areaBytes`, cut where
// either ends, as the library's converter does.
std::u16string FromLibrary(xmlCharEncodingHandlerPtr encoder, const xmlChar* text, int areaBytes) {
  if (text == nullptr) return std::u16string();
  int inLength = 0;
  while (inLength < XmlTree::MaxBufferLength && text[inLength] != 0) ++inLength;
  if (inLength == 0) return std::u16string();
  char area[kValueArea];
  int outLength = areaBytes;
  encoder->output(reinterpret_cast<unsigned char*>(area), &outLength, text, &inLength);
  std::u16string out(static_cast<std::size_t>(outLength > 0 ? outLength : 0) / 2, u'\0');
  std::memcpy(out.data(), area, out.size() * 2);
  return out;
}

XmlNode* BuildFromLibrary(xmlCharEncodingHandlerPtr encoder, xmlNodePtr top) {
  auto makeNode = [encoder](xmlNodePtr from) {
    IntrusivePtr<XmlNode> node =
        AdoptRef(XmlNode::Create(FromLibrary(encoder, from->name, kNameArea)));
    if (from->type == XML_ELEMENT_NODE) {
      for (xmlAttrPtr attribute = from->properties; attribute != nullptr;
           attribute = attribute->next) {
        const xmlChar* value =
            attribute->children != nullptr ? attribute->children->content : nullptr;
        node->AddProperty(FromLibrary(encoder, attribute->name, kNameArea),
                          FromLibrary(encoder, value, kValueArea));
      }
    }
    if (from->content != nullptr) node->SetContent(FromLibrary(encoder, from->content, kValueArea));
    return node;
  };
  IntrusivePtr<XmlNode> root = makeNode(top);
  std::vector<std::pair<xmlNodePtr, XmlNode*>> pending{{top, root.get()}};
  while (!pending.empty()) {
    auto [from, to] = pending.back();
    pending.pop_back();
    if (from->type == XML_ENTITY_REF_NODE) continue;  // substituted content is already inline
    for (xmlNodePtr child = from->children; child != nullptr; child = child->next) {
      IntrusivePtr<XmlNode> node = makeNode(child);
      to->AddChild(node.get());
      pending.emplace_back(child, node.release());
    }
  }
  return root.release();
}

}  // namespace

// ---- XmlTree -----------------------------------------------------------------------------

XmlTree::XmlTree() { InstallErrorFunction(); }

XmlTree::XmlTree(const std::u16string& fileName) : m_fileName(fileName) {
  InstallErrorFunction();
  try {
    Read();
  } catch (...) {
    ReleaseRoot();  // the destructor does not run for a constructor that throws
    throw;
  }
}

XmlTree::XmlTree(const XmlTree* source) {
  InstallErrorFunction();
  if (source == nullptr) return;
  m_fileName = source->m_fileName;
  m_compression = source->m_compression;
  m_root = XmlNode::Create(source->m_root);
}

XmlTree::XmlTree(const XmlTree& other) : XmlTree(&other) {}

XmlTree& XmlTree::operator=(const XmlTree& other) {
  if (this != &other) {
    XmlNode* copy = XmlNode::Create(other.m_root);
    ReleaseRoot();
    m_root = copy;
    m_fileName = other.m_fileName;
    m_compression = other.m_compression;
    m_initialized = other.m_initialized;
  }
  return *this;
}

XmlTree::~XmlTree() { ReleaseRoot(); }

void XmlTree::ReleaseRoot() {
  if (m_root != nullptr) ReleaseOwned(m_root);
  m_root = nullptr;
}

XmlNode* XmlTree::SetRoot(XmlNode* root) {
  m_root = root;
  return m_root;
}

int XmlTree::SetCompression(int level) {
  m_compression = level < 0 ? 0 : (level > 9 ? 9 : level);
  return m_compression;
}

bool XmlTree::Read(const std::u16string& fileName) {
  m_fileName = fileName;
  return Read();
}

bool XmlTree::Read() {
  XmlSaxParser parser;
  parser.m_maxDocumentBytes = Detail::kMaxDocumentBytes;
  parser.m_maxElements = Detail::CurrentXmlLimits().maxTreeElements;
  ReleaseRoot();
  m_readError = XmlParseError();
  parser.ParseFile(m_fileName, this);
  m_readError = parser.GetParseError();
  return true;
}

void XmlTree::OnStartElement(XmlSaxParser* parser, const unsigned char* name,
                             const unsigned char** attributes) {
  ReleaseRoot();
  m_root = XmlNode::CreateFromSax(parser, name, attributes);
  parser->PushCallback(m_root);
}

void XmlTree::OnEndElement(XmlSaxParser*, const unsigned char*) {}

bool XmlTree::Read2() {
  ReleaseRoot();
  if (xmlGetCharEncodingHandler(XML_CHAR_ENCODING_UTF16LE) == nullptr)
    Detail::ThrowGeneral(u"[1086]");
  InstallErrorFunction();
  xmlKeepBlanksDefault(0);
  const int fd = Platform::OpenFileForRead(Utf16ToUtf8(m_fileName.data(), m_fileName.size()));
  if (fd < 0) Detail::ThrowFileError(ErrorId::FileOpen, m_fileName, errno);
  gzFile file = gzdopen(fd, "rb");
  if (file == nullptr) {
    Platform::CloseFile(fd);
    Detail::ThrowOutOfMemory(u"[1088]");
  }
  struct Closer {
    gzFile file;
    ~Closer() { gzclose(file); }
  } closer{file};
  // The document goes to libxml2 as it is decompressed, so that a bound stops the parse
  // before the rest of a large document is read.
  std::uint64_t used = 0;
  try {
    return ParseDocument(nullptr, 0, [&](char* chunk, int size) {
      const int got = Detail::ReadGzipChunk(file, chunk, size, m_fileName);
      used += static_cast<std::uint64_t>(got);
      if (used > Detail::kMaxDocumentBytes) Detail::ThrowDocumentTooLarge(m_fileName);
      return got;
    });
  } catch (...) {
    m_initialized = false;
    throw;
  }
}

bool XmlTree::ReadBuffer(const std::string& buffer) {
  m_fileName.clear();
  ReleaseRoot();
  if (xmlGetCharEncodingHandler(XML_CHAR_ENCODING_UTF16LE) == nullptr)
    Detail::ThrowGeneral(u"[1089]");
  InstallErrorFunction();
  if (buffer.size() > Detail::kMaxDocumentBytes) {
    m_initialized = false;
    Detail::Throw<XMLFormatException>(ErrorId::XmlDocumentTooLarge,
                                      u"document larger than 256 MiB");
  }
  return ParseDocument(buffer.data(), buffer.size());
}

bool XmlTree::ParseDocument(const char* data, std::size_t size,
                            const std::function<int(char*, int)>& read) {
  auto encoder = xmlGetCharEncodingHandler(XML_CHAR_ENCODING_UTF16LE);
  m_initialized = false;
  EntityBudget budget;
  // libxml2 checks an element's attributes for duplicates in quadratic time: count them first.
  Detail::AttributeCounter counter(budget.limits.maxAttributesPerElement);
  const auto scan = [&](const char* bytes, std::size_t count) {
    if (!counter.Feed(bytes, count)) {
      Detail::ThrowBeyondLimit(u"attributes of one element", budget.limits.maxAttributesPerElement);
    }
  };
  struct ContextFree {
    void operator()(xmlParserCtxtPtr context) const {
      if (context->myDoc != nullptr) xmlFreeDoc(context->myDoc);
      context->myDoc = nullptr;
      xmlFreeParserCtxt(context);
    }
  };
  std::unique_ptr<xmlParserCtxt, ContextFree> ctxt;
  std::vector<char> chunk;
  int got = 0;
  if (!read) {
    scan(data, size);
    ctxt.reset(xmlCreateMemoryParserCtxt(data, static_cast<int>(size)));
  } else {
    chunk.resize(kPushChunk);
    got = read(chunk.data(), kPushChunk);
    scan(chunk.data(), static_cast<std::size_t>(got));
    ctxt.reset(xmlCreatePushParserCtxt(nullptr, nullptr, chunk.data(), got, nullptr));
  }
  if (!ctxt) return false;
  // Entities are substituted whatever an earlier parse on this thread left as the default,
  // and every look-up is charged against the expansion budget.
  budget.document = ctxt.get();
  ctxt->_private = &budget;
  ctxt->replaceEntities = 1;
  ctxt->options |= XML_PARSE_NOENT;
  ctxt->sax->getEntity = &GetEntityWithinBudget;
  budget.maxText = std::min(budget.limits.maxTextBytes, kLibraryTextLimit);
  budget.startElement = ctxt->sax->startElementNs;
  ctxt->sax->startElementNs = &StartElementWithinBound;
  budget.endElement = ctxt->sax->endElementNs;
  ctxt->sax->endElementNs = &EndElementWithinBound;
  budget.characters = ctxt->sax->characters;
  ctxt->sax->characters = &CharactersWithinBound;
  budget.cdataBlock = ctxt->sax->cdataBlock;
  ctxt->sax->cdataBlock = &CdataWithinBound;
  budget.entityDecl = ctxt->sax->entityDecl;
  ctxt->sax->entityDecl = &EntityDeclWithinBound;
  if (!read) {
    xmlParseDocument(ctxt.get());
  } else {
    while (got == kPushChunk && ctxt->instate != XML_PARSER_EOF) {
      got = read(chunk.data(), kPushChunk);
      scan(chunk.data(), static_cast<std::size_t>(got));
      if (got > 0) xmlParseChunk(ctxt.get(), chunk.data(), got, 0);
      Detail::DrainCdata(ctxt.get());
    }
    if (ctxt->instate != XML_PARSER_EOF) xmlParseChunk(ctxt.get(), chunk.data(), 0, 1);
  }
  DocPtr doc(ctxt->wellFormed ? ctxt->myDoc : nullptr);
  if (doc) ctxt->myDoc = nullptr;
  ctxt.reset();
  if (budget.exceeded) Detail::ThrowEntityExpansion();
  if (budget.beyond != nullptr) Detail::ThrowBeyondLimit(budget.beyond, budget.beyondLimit);
  if (!doc) return false;
  xmlNodePtr rootElement = xmlDocGetRootElement(doc.get());
  if (rootElement == nullptr) return false;
  m_root = BuildFromLibrary(encoder, rootElement);
  m_initialized = true;
  return true;
}

std::string XmlTree::Serialize(bool formatted, const char16_t* tag) const {
  if (xmlGetCharEncodingHandler(XML_CHAR_ENCODING_UTF16LE) == nullptr) Detail::ThrowGeneral(tag);
  InstallErrorFunction();
  xmlKeepBlanksDefault(0);
  DocPtr doc(xmlNewDoc(BAD_CAST "1.0"));
  if (!doc) Detail::ThrowOutOfMemory(u"");
  xmlSetDocCompressMode(doc.get(), m_compression);
  if (m_root != nullptr) BuildLibraryTree(m_root, doc.get());
  ErrorMessage.clear();
  xmlChar* text = nullptr;
  int size = 0;
  if (formatted)
    xmlDocDumpFormatMemoryEnc(doc.get(), &text, &size, nullptr, 1);
  else
    xmlDocDumpMemory(doc.get(), &text, &size);
  std::unique_ptr<xmlChar, void (*)(void*)> owned(text, [](void* p) { xmlFree(p); });
  if (!ErrorMessage.empty()) Detail::ThrowGeneral(ErrorMessage);
  if (text == nullptr) Detail::ThrowOutOfMemory(u"");
  return std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(size));
}

std::string XmlTree::WriteIndentedBuffer() const { return Serialize(true, u"[1090]"); }

bool XmlTree::Write(const std::u16string& fileName) {
  m_fileName = fileName;
  return Write();
}

bool XmlTree::Write() const {
  const std::string text = Serialize(true, u"[1090]");
  const int fd = Platform::CreateFileForWrite(Utf16ToUtf8(m_fileName.data(), m_fileName.size()));
  if (fd < 0) Detail::ThrowFileError(ErrorId::FileCreate, m_fileName, errno);
  if (m_compression == 0) {
    if (!Platform::WriteFully(fd, text.data(), text.size())) {
      const int error = errno;
      Platform::CloseFile(fd);
      Detail::ThrowFileError(ErrorId::FileWrite, m_fileName, error);
    }
    if (!Platform::CloseFileChecked(fd))
      Detail::ThrowFileError(ErrorId::FileWrite, m_fileName, errno);
    return true;
  }
  gzFile file = gzdopen(fd, "wb9");
  if (file == nullptr) {
    Platform::CloseFile(fd);
    Detail::ThrowOutOfMemory(u"[1091]");
  }
  const int written = gzwrite(file, text.data(), static_cast<unsigned int>(text.size()));
  const int error = errno;
  const int closed = gzclose(file);
  if (written == 0 || closed != Z_OK)
    Detail::ThrowFileError(ErrorId::FileWrite, m_fileName, error != 0 ? error : EIO);
  return true;
}

const std::string& XmlTree::WriteBuffer() const {
  static thread_local std::string result;
  result = Serialize(false, u"[1092]");
  return result;
}

void XmlTree::ErrorFunction(void*, const char* format, ...) {
  char message[512];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(message, sizeof message, format, arguments);
  va_end(arguments);
  std::fputs(message, stderr);
  std::u16string converted;
  if (!ConvertA2W(message, converted)) converted.clear();
  ErrorMessage = converted;
}

// ---- StringList --------------------------------------------------------------------------

void StringList::OnStartElement(XmlSaxParser* parser, const unsigned char* name,
                                const unsigned char** attributes) {
  const char* element = reinterpret_cast<const char*>(name);
  if (std::strcmp(element, "Strings") == 0) {
    parser->PushCallback(this);
    return;
  }
  if (std::strcmp(element, "String") != 0 || attributes == nullptr || attributes[0] == nullptr ||
      std::strcmp(reinterpret_cast<const char*>(attributes[0]), "Text") != 0)
    return;
  const unsigned char* value = attributes[1];
  int length = 0;
  while (value != nullptr && length < XmlSaxParser::GetOutputBufferLength() && value[length] != 0)
    ++length;
  std::u16string text;
  parser->ConvertString(value, length, text);
  m_strings.push_back(std::move(text));
}

void StringList::OnEndElement(XmlSaxParser*, const unsigned char*) {}

}  // namespace Qel
