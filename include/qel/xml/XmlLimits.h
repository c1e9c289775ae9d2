// The work bounds every XML reader applies to one document, so that a hostile document ends
// quickly with XMLFormatException 11 (naming the bound) instead of taking unbounded time or
// memory. Process-wide: any thread may read or change them, and a parse uses the values in
// force when it starts.
#pragma once

#include <qel/core/Export.h>

#include <cstdint>

namespace Qel {

struct XmlLimits {
  // Attributes of one element (libxml2 checks duplicates in time that grows with the square of
  // the count, so the count is checked before it parses the element).
  std::uint32_t maxAttributesPerElement = 10000;
  // Elements of one tree read by XmlTree::Read, Read2 and ReadBuffer.
  std::uint64_t maxTreeElements = 500000;
  // References to the document's own entities (predefined entities and character references
  // do not count).
  std::uint64_t maxEntityReferences = 100000;
  // UTF-8 bytes of character data the SAX parser gathers for one element's text.
  std::uint64_t maxTextBytes = std::uint64_t{64} << 20;
};

// The bounds in force.
QEL_API XmlLimits GetXmlLimits();
// Replaces the bounds for parses that start afterwards. A zero field restores its default.
QEL_API void SetXmlLimits(const XmlLimits& limits);

}  // namespace Qel
