// Sequential XML writer: elements, attributes and texts are written as they come, without a
// tree, to a plain file, a gzip file or a string. The stream owns its file, gzip writer and
// buffers; it is used by one thread at a time.
#pragma once

#include <qel/core/Export.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

namespace Qel {

enum StorageType {
  StorageFile = 1,            // a plain file
  StorageString = 2,          // the stream's string (getXmlString)
  StorageCompressedFile = 3,  // a gzip file at level 9
};

class QEL_API QelXmlOutStream {
 public:
  // Types 1 and 3 open `fileName` at once (FileIOException 2002 when it cannot be created).
  QelXmlOutStream(StorageType type, const std::u16string& fileName);
  // `size` bytes are reserved for the output (and for the string, for type 2); no file is opened.
  QelXmlOutStream(StorageType type, int size);
  // A copy takes the output written so far and the open elements, but never the source's file
  // or gzip writer: a copy of a file stream writes nowhere until Open is called on it.
  QelXmlOutStream(const QelXmlOutStream& other);
  QelXmlOutStream& operator=(const QelXmlOutStream& other);
  // Closes the file without writing what is still buffered (call Close first).
  ~QelXmlOutStream();

  // (Re)opens the destination file and starts a new document. XmlException 3003 when the
  // file is still open; FileIOException 2002 when it cannot be created.
  void Open(const std::u16string& fileName);
  // Writes what is buffered and closes the file.
  void Close();

  // Starts element `name` (UTF-8, written unchanged); attributes may follow. XmlException 3005
  // when `name` is not an XML name.
  void CreateNode(const std::string& name);
  // Ends the innermost element, which must be `name` (XmlException 3002 otherwise, and
  // XmlException 3001 when no element is open).
  void CloseNode(const std::string& name);

  // Attributes of the element whose start tag is still open (XmlException 3001 otherwise;
  // XmlException 3005 for a name that is not an XML name or that the element already has).
  // Texts, wide or narrow (UTF-8), are escaped; what XML 1.0 cannot hold (a control character
  // other than tab, line feed and carriage return, U+FFFE, U+FFFF, an unpaired surrogate, an
  // ill-formed UTF-8 sequence) is written as U+FFFD, so every document written reads back.
  void AddProperty(const std::string& name, const char* value);
  void AddProperty(const std::string& name, const std::u16string& value);
  void AddProperty(const std::string& name, const char16_t* value);
  void AddProperty(const std::string& name, const bool& value);
  void AddProperty(const std::string& name, const std::int32_t& value);
  void AddProperty(const std::string& name, const unsigned int& value);
  void AddProperty(const std::string& name, const std::int64_t& value);
  void AddProperty(const std::string& name, const std::uint64_t& value);
  void AddProperty(const std::string& name, const double& value);
  // Every other integer type (std::size_t, long long, unsigned long long, ...) in decimal, so
  // that no integer argument is ambiguous.
  template <class T>
  requires(std::is_integral_v<T> &&
           !std::is_same_v<T, bool>) void AddProperty(const std::string& name, const T& value) {
    if constexpr (std::is_signed_v<T>) {
      AddProperty(name, static_cast<std::int64_t>(value));
    } else {
      AddProperty(name, static_cast<std::uint64_t>(value));
    }
  }
  // Text of the element whose start tag is still open, once, before any child (XmlException
  // 3001 otherwise).
  void AddText(const std::u16string& text);
  // A whole child element <name>text</name>.
  void AddSubNodeText(const std::string& name, const std::u16string& text);
  // Drops buffered output without writing it.
  void ClearBuffer();
  // The document written so far (string storage).
  const std::string& getXmlString() const { return m_xmlString; }

  // Appends the UTF-8 text `in`, decoded, to `out`. Malformed and truncated sequences become
  // U+FFFD; nothing beyond `in` is read.
  static void utf8towstr(std::u16string& out, const std::string& in);

 private:
  void Init(StorageType type, int size);
  void OpenFile(const std::u16string& fileName, bool compressed);
  void WriteBuffer();
  const char* ConvertString(const std::u16string& text);
  void AddProperty(const std::string& name, const std::string& text);
  void StartAttribute(const std::string& name);
  void AppendEscaped(const std::u16string& text);
  void RequireOpenTag() const;
  void CloseFiles();

  StorageType m_storageType = StorageString;
  int m_file = -1;         // the plain file's descriptor
  std::string m_fileData;  // output for the plain file not yet written to it
  std::string m_xmlString;
  std::string m_writeBuffer;
  std::deque<std::string> m_openNodes;
  std::vector<std::string> m_tagAttributes;  // attribute names of the open start tag
  bool m_tagOpen = false;
  void* m_gzip = nullptr;  // zlib gzip writer
  char* m_conversion = nullptr;
  std::size_t m_conversionSize = 0;
};

}  // namespace Qel
