// Process-wide set-up of the XML library and the bounds every reader applies to a document.
// All functions may be called from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace Qel::Detail {

// Replacement text that entity references may add to one document (attribute values and
// content together). Real documents stay far below it; "billion laughs" documents reach it fast.
inline constexpr std::size_t kMaxEntityExpansion = std::size_t{16} << 20;
// Largest document (after gzip decompression) that the readers that keep a whole document in
// memory accept: XmlTree::Read2 and XmlTree::Read.
inline constexpr std::uint64_t kMaxDocumentBytes = std::uint64_t{256} << 20;
// A document beyond one of these bounds raises XMLFormatException ErrorId::XmlDocumentTooLarge.

// Initialises the XML library once and installs the process-wide external entity loader that
// refuses every external entity, parameter entity and DTD, from files and the network alike.
void InitXmlLibrary();

// How many external loads the loader has refused since the process started, and the last URL
// refused (for diagnostics and tests).
std::uint64_t RefusedExternalLoads();
// Records a refusal decided elsewhere (an external entity a reader drops at its declaration).
void RecordRefusedLoad(const char* url);
std::string LastRefusedExternalLoad();

}  // namespace Qel::Detail
