// Helpers shared by the XML readers and writers: gzip reading with error checks, the entity
// expansion budget, the work bounds and the errors for documents beyond the readers' bounds.
#pragma once

#include <libxml/parser.h>
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "qel/xml/XmlLimits.h"

namespace Qel::Detail {

// Reads up to `size` bytes; fewer only at the end of the data. A read error, a corrupt stream
// and a truncated gzip stream throw FileIOException 2004 for `path`.
int ReadGzipChunk(gzFile file, char* buffer, int size, const std::u16string& path);
// FileIOException 2004 for `path`: the document expands beyond kMaxDocumentBytes.
[[noreturn]] void ThrowDocumentTooLarge(const std::u16string& path);

// Charges one reference to an entity of `length` bytes of replacement text against the
// document's expansion budget, of which `used` bytes are spent. False once the spent bytes
// pass kMaxEntityExpansion: the reader stops and throws ThrowEntityExpansion's error.
bool ChargeEntityExpansion(std::size_t& used, int length);
// XMLFormatException ErrorId::XmlDocumentTooLarge: the document's entities expand beyond the
// budget.
[[noreturn]] void ThrowEntityExpansion();

// libxml2's push parser hands on at most 300 bytes of a CDATA section per call while the
// section's end is not in its buffer, and stops without a word once 10 MB of input wait
// unread. Called after each chunk, this makes the calls without new input that let it hand on
// what it holds, so that a long section is read whole (up to the text bound).
void DrainCdata(xmlParserCtxtPtr context);

// The bounds in force (qel/xml/XmlLimits.h), read once when a parse starts.
XmlLimits CurrentXmlLimits();
// XMLFormatException ErrorId::XmlDocumentTooLarge naming a bound of XmlLimits: "`what` beyond
// `limit`", for instance "attributes of one element beyond 10000".
[[noreturn]] void ThrowBeyondLimit(const char16_t* what, std::uint64_t limit);

// Counts the attributes of each start tag of a document handed over in pieces, ahead of libxml2,
// which checks an element's attributes for duplicates in time that grows with the square of
// their count. Comments, CDATA sections, processing instructions, declarations and quoted
// values are skipped, so their text never counts. Linear in the input; one document at a time.
class AttributeCounter {
 public:
  explicit AttributeCounter(std::uint32_t maxAttributes) : m_max(maxAttributes) {}
  // Scans the next piece; false once a start tag has more than the bound.
  bool Feed(const char* data, std::size_t size);

 private:
  enum class State : unsigned char {
    Text,       // character data
    Open,       // after '<'
    Tag,        // inside a start tag, outside quotes
    Value,      // inside a quoted attribute value
    EndTag,     // inside an end tag
    Bang,       // after "<!", deciding between comment, CDATA and declaration
    Comment,    // up to "-->"
    CData,      // up to "]]>"
    Pi,         // up to "?>"
    Decl,       // a declaration such as DOCTYPE, with its internal subset
    DeclValue,  // a quoted literal inside a declaration
  };
  State m_state = State::Text;
  State m_after = State::Text;  // where a comment or processing instruction returns to
  char m_quote = 0;
  int m_match = 0;  // how much of a closing delimiter, or of "<!-" inside a declaration, was seen
  int m_depth = 0;  // '[' nesting of a declaration
  char m_bang[8] = {};  // characters after "<!"
  int m_bangLength = 0;
  std::uint32_t m_count = 0;
  std::uint32_t m_max;
};

}  // namespace Qel::Detail
