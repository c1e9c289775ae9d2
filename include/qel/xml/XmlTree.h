// An XML document held as a tree of XmlNodes, read from and written to files and memory.
// The tree owns one reference on its root. A tree is used by one thread at a time; the last
// library message (ErrorMessage) and the text returned by WriteBuffer are kept per thread, so
// trees on different threads do not interfere.
#pragma once

#include <qel/core/Export.h>
#include <qel/xml/XmlNode.h>
#include <qel/xml/XmlSaxCallback.h>
#include <qel/xml/XmlSaxParser.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace Qel {

class QEL_API XmlTree : public XmlSaxCallback {
 public:
  // Longest UTF-8 name, attribute value or text that Read2 and ReadBuffer keep, in bytes.
  static constexpr int MaxBufferLength = 1024;
  // The last message the XML library reported on this thread while building or writing a tree
  // (Read2, ReadBuffer, Write, WriteBuffer); a SAX parse, Read included, keeps its first error
  // in XmlSaxParser::GetParseError and GetReadError instead.
  static thread_local std::u16string ErrorMessage;

  // No file name, no root, compression 9.
  XmlTree();
  // Reads `fileName` with Read(); failures throw as Read does.
  explicit XmlTree(const std::u16string& fileName);
  // File name and compression of `source`, and a deep copy of its root.
  explicit XmlTree(const XmlTree* source);
  // Deep copies, like XmlTree(const XmlTree*).
  XmlTree(const XmlTree& other);
  XmlTree& operator=(const XmlTree& other);
  // Releases the root.
  ~XmlTree() override;

  // Reads the file (plain or gzip) with the SAX parser and replaces the root. Returns true or
  // throws: FileIOException 2003/2004 as XmlSaxParser::ParseFile, FileIOException 2004 for a
  // document that expands beyond 256 MiB, XMLFormatException 11 beyond a bound of
  // qel/xml/XmlLimits.h (elements of one tree among them). A malformed file gives the part read
  // before the error, and GetReadError tells where the error is.
  bool Read();
  bool Read(const std::u16string& fileName);
  // Parses the file as a document tree, as it is decompressed. False (no root) when the
  // document cannot be parsed; names, values and texts are cut at MaxBufferLength bytes. Throws
  // FileIOException 2003 (cannot open), 2004 (read error, truncated gzip, more than 256 MiB),
  // XMLFormatException 11 when entity expansion exceeds 16 MiB or beyond a bound of
  // qel/xml/XmlLimits.h.
  bool Read2();
  // As Read2, for a document in memory; clears the file name.
  bool ReadBuffer(const std::string& buffer);
  // Writes the document, indented, gzip-compressed unless the compression is 0. Returns true or
  // throws: BaseException 17 for a tree that cannot be written as well-formed XML (an invalid
  // name or character, the library's message otherwise), FileIOException 2002 (cannot create),
  // 2001 (write failed).
  bool Write() const;
  bool Write(const std::u16string& fileName);
  // The document as unindented UTF-8, valid on this thread until the next call. Throws as Write.
  const std::string& WriteBuffer() const;
  // The document as Write writes it, indented and uncompressed. Throws as Write.
  std::string WriteIndentedBuffer() const;

  // The first error that made the file of the last Read not well-formed (found false when it
  // was well-formed or Read threw first).
  const XmlParseError& GetReadError() const { return m_readError; }

  XmlNode* GetRoot() const { return m_root; }
  // Stores `root`, adopting one reference; the old root is not released.
  XmlNode* SetRoot(XmlNode* root);
  const std::u16string& GetFilename() const { return m_fileName; }
  void SetFilename(const std::u16string& fileName) { m_fileName = fileName; }
  int GetCompression() const { return m_compression; }
  // Stores `level` clamped to 0..9 and returns it; 1 to 9 all write gzip at level 9.
  int SetCompression(int level);
  bool initialized() const { return m_initialized; }

  // The XML library's generic error handler: prints the message to standard error and keeps it
  // in ErrorMessage.
  static void ErrorFunction(void* context, const char* format, ...);

  // The document's root element becomes the root.
  void OnStartElement(XmlSaxParser* parser, const unsigned char* name,
                      const unsigned char** attributes) override;
  void OnEndElement(XmlSaxParser* parser, const unsigned char* name) override;

 private:
  void ReleaseRoot();
  // Parses with libxml2's tree builder within the readers' bounds: the `size` bytes at `data`,
  // or, when `read` is given, the pieces it fills (it returns how many bytes it put in the
  // buffer, fewer than asked only at the end).
  bool ParseDocument(const char* data, std::size_t size,
                     const std::function<int(char*, int)>& read = {});
  // Serialises the tree; `formatted` selects the indented form. `tag` names the caller in the
  // error raised when the UTF-16 encoder is missing.
  std::string Serialize(bool formatted, const char16_t* tag) const;

  bool m_initialized = true;
  std::u16string m_fileName;
  XmlNode* m_root = nullptr;
  int m_compression = 9;
  XmlParseError m_readError;
};

// Reads a list of strings: <Strings><String Text="..."/>...</Strings>.
class QEL_API StringList : public XmlSaxCallback {
 public:
  StringList() = default;
  StringList(const StringList&) = default;
  StringList(StringList&&) = default;
  StringList& operator=(const StringList&) = default;
  StringList& operator=(StringList&&) = default;

  const std::vector<std::u16string>& GetStrings() const { return m_strings; }

  void OnStartElement(XmlSaxParser* parser, const unsigned char* name,
                      const unsigned char** attributes) override;
  void OnEndElement(XmlSaxParser* parser, const unsigned char* name) override;

 private:
  std::vector<std::u16string> m_strings;
};

}  // namespace Qel
