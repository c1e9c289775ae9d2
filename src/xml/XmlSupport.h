// Helpers shared by the XML readers and writers: gzip reading with error checks and the
// errors for documents beyond the readers' bounds. Stateless.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>

namespace Qel::Detail {

// Reads up to `size` bytes; fewer only at the end of the data. A read error, a corrupt stream
// and a truncated gzip stream throw FileIOException 2004 for `path`.
int ReadGzipChunk(gzFile file, char* buffer, int size, const std::u16string& path);
// FileIOException 2004 for `path`: the document expands beyond kMaxDocumentBytes.
[[noreturn]] void ThrowDocumentTooLarge(const std::u16string& path);

}  // namespace Qel::Detail
