// Event reader over the XML library's push parser: turns a document into start/end events and
// hands each to the callback on top of a stack of callbacks. A parser serves one parse at a
// time on one thread; it does not own the callbacks pushed onto it.
#pragma once

#include <qel/core/Export.h>
#include <qel/xml/Version.h>
#include <qel/xml/XmlSaxCallback.h>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

namespace Qel {

// The first error that made a parsed document not well-formed.
struct XmlParseError {
  bool found = false;   // false: the document was well-formed
  int line = 0;         // 1-based line of the input where the error was found, 0 when unknown
  int column = 0;       // 1-based column, 0 when unknown
  std::string message;  // the XML library's words, UTF-8, on one line
};

class QEL_API XmlSaxParser {
 public:
  // Empty stack, empty character buffer, version (-1, -1).
  XmlSaxParser();
  // Copies take the stack, encoder and version but never the source's character data.
  XmlSaxParser(const XmlSaxParser& other);
  XmlSaxParser& operator=(const XmlSaxParser& other);
  ~XmlSaxParser();

  // Parses a plain or gzip-compressed file. Throws BaseException 1 for a null callback,
  // FileIOException 2003 when the file cannot be opened and 2004 on a read error (a truncated
  // gzip stream included), XMLFormatException 11 when the document exceeds a safety bound
  // (entity expansion beyond 16 MiB, or a bound of qel/xml/XmlLimits.h: attributes of one
  // element, entity references, text bytes of one element). Exceptions thrown by callbacks
  // reach the caller unchanged. A document that is not well-formed ends the events early
  // without an exception; GetParseError then tells where. The XML library's messages go there
  // and are never printed.
  void ParseFile(const std::u16string& path, XmlSaxCallback* callback);
  // Parses `size` bytes at `buffer`; failures as ParseFile (BaseException 1 for a null callback).
  void ParseMemory(const char* buffer, unsigned int size, XmlSaxCallback* callback);
  // The first error of the last parse that made its document not well-formed (found false for
  // a well-formed one, also after a parse that threw before any error).
  const XmlParseError& GetParseError() const { return m_parseError; }
  // Pushes `callback`, or the parser's default callback when it is null.
  void PushCallback(XmlSaxCallback* callback);
  // UTF-8 bytes to UTF-16; `length` 0 empties `out`.
  void ConvertString(const unsigned char* utf8, int length, std::u16string& out);
  // The character data collected since the last element boundary, UTF-8, not NUL-terminated
  // (null when nothing was collected).
  const unsigned char* GetCharacterBuffer() const { return m_characters; }
  unsigned int GetCharacterBufferSize() const { return m_characterSize; }
  // The longest input ConvertString converts without a heap block.
  static int GetOutputBufferLength() { return kConversionInputLimit; }

  Version GetVersion() const { return m_version; }
  void SetVersion(Version version) { m_version = version; }

  // Typed readers of an attribute value; null or empty gives the default.
  // "1" or "0" as the first character; anything else gives the default.
  bool GetBoolValue(const unsigned char* value, bool defaultValue) const;
  // Leading integer as atol reads it (no number: 0).
  std::int32_t GetLongValue(const unsigned char* value, std::int32_t defaultValue) const;
  std::int64_t GetLongLongValue(const unsigned char* value, std::int64_t defaultValue) const;
  // Scanned as a decimal number; a text that does not scan gives the default.
  double GetDoubleValue(const unsigned char* value, double defaultValue) const;
  float GetFloatValue(const unsigned char* value, float defaultValue) const;
  std::uint32_t GetSizetValue(const unsigned char* value, std::uint32_t defaultValue) const;
  std::int64_t GetTimetValue(const unsigned char* value, std::int64_t defaultValue) const;

  // Entry points registered with the XML library; `context` is the parser.
  static void startDocumentCallBack(void* context);
  static void endDocumentCallback(void* context);
  static void startElementCallback(void* context, const unsigned char* name,
                                   const unsigned char** attributes);
  static void endElementCallback(void* context, const unsigned char* name);
  static void charactersCallback(void* context, const unsigned char* text, int length);

 private:
  static constexpr int kConversionInputLimit = 4096;
  static constexpr unsigned int kInlineCharacters = 2048;

  void OnStartDocument();
  void OnEndDocument();
  void OnStartElement(const unsigned char* name, const unsigned char** attributes);
  void OnEndElement(const unsigned char* name);
  void OnCharacters(const unsigned char* text, int length);

  // Runs one push parse over `read`, which fills a chunk and returns its size.
  template <class ReadChunk>
  void RunParse(XmlSaxCallback* callback, ReadChunk&& read);
  void StartParse(XmlSaxCallback* callback);
  void EndParse();
  // Throws, once, what a callback threw while libxml2 was parsing.
  void RethrowCallbackError();
  void ClearCharacters();
  void* LookUpEncoder();
  // Stops the running parse and keeps the current exception to rethrow after it.
  void Abort(std::exception_ptr error);
  // Charges a reference to an entity of `length` bytes against the document's expansion
  // budget; false (and the parse stopped) when it is exhausted.
  bool ChargeEntity(int length);
  // Stops the parse with XMLFormatException 11 for a bound of XmlLimits.
  void AbortBeyondLimit(const char16_t* what, std::uint64_t limit);

  friend struct XmlSaxParserHooks;
  friend class XmlTree;

  std::vector<XmlSaxCallback*> m_stack;
  void* m_encoder = nullptr;  // the XML library's UTF-16LE encoding handler
  XmlDefaultCallback m_defaultCallback;
  char m_conversion[2 * kConversionInputLimit];
  unsigned char m_inline[kInlineCharacters];
  unsigned char* m_characters = nullptr;
  unsigned int m_characterSize = 0;
  unsigned int m_characterCapacity = 0;  // of the heap block, 0 while there is none
  Version m_version;

  // State of the running parse only.
  void* m_context = nullptr;   // the push parser
  void* m_entities = nullptr;  // the document's internal entity declarations
  std::size_t m_entityBytes = 0;
  std::uint64_t m_documentBytes = 0;
  std::uint64_t m_maxDocumentBytes = UINT64_MAX;  // lowered by readers that keep everything
  std::uint64_t m_maxElements = UINT64_MAX;       // lowered by the tree reader
  std::uint64_t m_elements = 0;
  std::uint64_t m_maxReferences = 0;  // the bounds in force when the parse started
  std::uint64_t m_references = 0;
  std::uint64_t m_maxTextBytes = 0;
  std::uint32_t m_maxAttributes = 0;
  bool m_stopped = false;
  std::exception_ptr m_error;
  XmlParseError m_parseError;
};

}  // namespace Qel
