// The XML form shared by all classification results and the process-wide class identifiers.
#include <qel/core/StringConversion.h>
#include <qel/model/FullResult.h>
#include <qel/model/Result.h>
#include <qel/xml/QelXmlOutStream.h>
#include <qel/xml/XmlSaxParser.h>

#include <atomic>
#include <cstring>
#include <memory>

#include "core/Throw.h"

namespace Qel {

namespace {

using ClassIdentifiers = std::map<unsigned int, std::u16string>;

// Swapped as a whole, so that savers on other threads keep a consistent snapshot.
std::shared_ptr<const ClassIdentifiers>& identifierStore() {
  static std::shared_ptr<const ClassIdentifiers> store = std::make_shared<ClassIdentifiers>();
  return store;
}

std::shared_ptr<const ClassIdentifiers> loadIdentifiers() {
  return std::atomic_load(&identifierStore());
}

bool isElement(const unsigned char* name, const char* expected) {
  return name != nullptr && std::strcmp(reinterpret_cast<const char*>(name), expected) == 0;
}

}  // namespace

void Result::SetClassIdentifiers(std::map<unsigned int, std::u16string> ids) {
  std::atomic_store(&identifierStore(), std::shared_ptr<const ClassIdentifiers>(
                                            std::make_shared<ClassIdentifiers>(std::move(ids))));
}

std::map<unsigned int, std::u16string> Result::GetClassIdentifiers() { return *loadIdentifiers(); }

bool Result::Save(std::ostream* os) { return Node::Save(os); }

void Result::Save(const std::string& elementName, QelXmlOutStream* out) {
  const std::vector<IndexedResult> best = GetBestResults(0);
  const std::shared_ptr<const ClassIdentifiers> ids = loadIdentifiers();
  out->CreateNode(elementName);
  out->AddProperty("ClsCount", static_cast<unsigned int>(best.size()));
  for (const IndexedResult& entry : best) {
    if (!(static_cast<double>(entry.GetValue()) > 1e-7)) continue;
    out->CreateNode("ClsItem");
    out->AddProperty("conf", static_cast<double>(entry.GetValue()));
    out->AddProperty("restype", static_cast<std::int32_t>(entry.GetResType()));
    out->AddProperty("ClassId", entry.GetIndex());
    auto id = ids->find(entry.GetIndex());
    if (id != ids->end() && !id->second.empty()) out->AddProperty("ClassGuid", id->second);
    out->CloseNode("ClsItem");
  }
  out->CloseNode(elementName);
}

std::u16string Result::SaveToXmlString() {
  QelXmlOutStream stream(StorageString, 1024);
  Save("ClsResults", &stream);
  stream.Close();
  return ConvertUtf8ToWideChar(stream.getXmlString());
}

void Result::LoadFromXmlString(const std::u16string& xml) {
  const std::string utf8 = ConvertWideCharToUtf8(xml);
  if (utf8.size() > 0xFFFFFFFFu) Detail::ThrowInvalidArgument(u"[xml too large]");
  XmlSaxParser parser;
  XmlForwardCallback forward(this);
  parser.ParseMemory(utf8.data(), static_cast<unsigned int>(utf8.size()), &forward);
}

void Result::OnStartElement(XmlSaxParser* parser, const unsigned char* name,
                            const unsigned char** attributes) {
  if (!isElement(name, "ClsItem")) return;
  float conf = 0.0f;
  eResultType type = ResTypeNone;
  unsigned int classId = 0;
  FullResult::GetClsItemProperties(parser, attributes, conf, type, classId);
  if (classId > kMaxLoadedClassIndex) Detail::ThrowInvalidArgument(u"ClassId");
  SetResultItem(classId, conf, type);
  parser->PushCallback(this);
}

void Result::OnEndElement(XmlSaxParser* /*parser*/, const unsigned char* /*name*/) {}

void Result::XmlForwardCallback::OnStartElement(XmlSaxParser* parser, const unsigned char* name,
                                                const unsigned char** attributes) {
  // Any other element, and everything inside it, goes to the parser's default callback.
  if (!isElement(name, "ClsResults")) return;
  m_result->InitializeProperties(parser, attributes);
  parser->PushCallback(m_result);
}

}  // namespace Qel
