// Helpers shared by the XML readers and writers: gzip reading with error checks, the entity
// expansion budget and the errors for documents beyond the readers' bounds. Stateless.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <string>

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

}  // namespace Qel::Detail
