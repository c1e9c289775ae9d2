// Classification results: for one document, how strongly each class applies. A result is a
// node (it hangs on a document's feature chain), a representation (found by its tag) and an XML
// callback (it reads itself back). Reference counted; a result is used by one thread at a time.
#pragma once

#include <qel/core/Export.h>
#include <qel/core/Node.h>
#include <qel/model/Representation.h>
#include <qel/xml/XmlSaxCallback.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace Qel {

class QelXmlOutStream;
class XmlSaxParser;

// The type stored with every result entry. Values other than those named are kept unchanged.
enum eResultType : std::int32_t {
  ResTypeNone = 0,          // what out-of-range reads report
  ResTypeFinal = 1,         // bit 0: a class the result reports as decided
  ResTypeNew = 2,           // a new, untouched entry
  ResTypeRejected = 0x40,   // the error matrix counts the decision as rejected
  ResTypeKindMask = 0x7000  // kinds of sparse entries that may share a class index
};

// One entry of a dense result.
class FullResultItem {
 public:
  FullResultItem() = default;
  FullResultItem(float value, eResultType type) : m_value(value), m_type(type) {}

  float GetValue() const { return m_value; }
  void SetValue(float value) { m_value = value; }
  eResultType GetResType() const { return m_type; }
  void SetResType(eResultType type) { m_type = type; }
  void Set(float value, eResultType type) {
    m_value = value;
    m_type = type;
  }

 private:
  float m_value = 0.0f;
  eResultType m_type = ResTypeNew;
};

// One entry with its class index.
class IndexedResult {
 public:
  IndexedResult() = default;
  IndexedResult(unsigned int index, float value, eResultType type)
      : m_index(index), m_value(value), m_type(type) {}

  unsigned int GetIndex() const { return m_index; }
  void SetIndex(unsigned int index) { m_index = index; }
  float GetValue() const { return m_value; }
  void SetValue(float value) { m_value = value; }
  eResultType GetResType() const { return m_type; }
  void SetResType(eResultType type) { m_type = type; }
  // Sets index and value; the type becomes ResTypeNew.
  void Set(unsigned int index, float value) { Set(index, value, ResTypeNew); }
  void Set(unsigned int index, float value, eResultType type) {
    m_index = index;
    m_value = value;
    m_type = type;
  }

 private:
  unsigned int m_index = 0;
  float m_value = 0.0f;
  eResultType m_type = ResTypeNew;
};

class QEL_API Result : public Node, public Representation, public XmlDefaultCallback {
 public:
  // The largest class index or class count a result accepts from XML; larger values throw
  // BaseException 1 instead of claiming memory for billions of entries.
  static constexpr unsigned int kMaxLoadedClassIndex = (1u << 24) - 1;

  // The value for `classIndex`; 0.0 when there is none.
  virtual float GetResult(unsigned int classIndex) const = 0;
  // Up to `count` best entries, best first (0: all). The reference stays valid until the
  // result changes.
  virtual const std::vector<IndexedResult>& GetBestResults(unsigned int count) = 0;
  // The type for `classIndex`; ResTypeNone when there is none.
  virtual eResultType GetResultType(unsigned int classIndex) = 0;
  // Stores `value` and `type` for `classIndex`.
  virtual void SetResultItem(unsigned int classIndex, float value, eResultType type) = 0;
  // How many entries carry the final bit.
  virtual unsigned int GetFinalClassCount() = 0;
  // The class index of the `n`-th (from 0) entry with the final bit; 0 when there is none.
  virtual unsigned int GetFinalClassId(unsigned int n) = 0;
  // A new result of the same kind (its class's default tag, one reference for the caller)
  // holding the same entries; features are not copied.
  virtual Result* Clone() = 0;
  // Applies the attributes of the result element that starts a load.
  virtual void InitializeProperties(XmlSaxParser* parser, const unsigned char** attributes) = 0;

  // A result has no binary form: writes nothing and returns true, as a plain node does.
  bool Save(std::ostream* os) override;
  // Writes the result as element `elementName` with one "ClsItem" per best entry whose value
  // is above 1e-7. Throws what the stream throws.
  void Save(const std::string& elementName, QelXmlOutStream* out);
  // The result as an XML document with the root element "ClsResults".
  std::u16string SaveToXmlString();
  // Reads a "ClsResults" element from `xml` into this result; other root elements change
  // nothing. Throws what the parser throws.
  void LoadFromXmlString(const std::u16string& xml);

  // Replaces the process-wide identifiers that Save writes as "ClassGuid" for class indices.
  // Safe to call while other threads save results.
  static void SetClassIdentifiers(std::map<unsigned int, std::u16string> ids);
  // A snapshot of the current class identifiers.
  static std::map<unsigned int, std::u16string> GetClassIdentifiers();

  // Handles a "ClsItem" element: applies its "conf", "restype" and "ClassId" and takes its
  // content. Other elements are left to the parser's default callback.
  void OnStartElement(XmlSaxParser* parser, const unsigned char* name,
                      const unsigned char** attributes) override;
  void OnEndElement(XmlSaxParser* parser, const unsigned char* name) override;

  // Hands the "ClsResults" element of a document to its result.
  class XmlForwardCallback : public XmlDefaultCallback {
   public:
    explicit XmlForwardCallback(Result* result) : m_result(result) {}
    void OnStartElement(XmlSaxParser* parser, const unsigned char* name,
                        const unsigned char** attributes) override;

   private:
    Result* m_result;
  };

 protected:
  explicit Result(const RepTag& tag) : Representation(tag) {}
  ~Result() override = default;
};

}  // namespace Qel
