// Arbitrary file contents through the text reader and the line readers of every encoding:
// only the library's exceptions may leave, and reading always ends.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "qel/core/Exceptions.h"
#include "qel/util/TextIO.h"
#include "qel/util/TextReader.h"

namespace {

// An in-memory file with a path, rewritten for every input.
int MemoryFile() {
  static const int fd = ::memfd_create("qel-textreader-fuzz", 0);
  return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const int fd = MemoryFile();
  if (fd < 0 || ::ftruncate(fd, 0) != 0) return 0;
  if (size != 0 && ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) return 0;
  const std::string native = "/proc/self/fd/" + std::to_string(fd);
  const std::u16string path(native.begin(), native.end());

  Qel::TextReader* reader = Qel::TextReader::Create();
  try {
    reader->SetConvertToLowerCase(size > 0 && (data[0] & 1) != 0);
    reader->Open(path, false);
    std::int64_t middle = 0;
    std::size_t lines = 0;
    while (!reader->GetNextLine().empty()) {
      if (++lines == 2) middle = reader->GetCurrentFilePos();
      if (lines > size + 1) std::abort();  // every line consumes at least one unit
    }
    reader->SetCurrentFilePos(middle);
    reader->GetNextLine();
    // Empty lines included: still at most one line per unit, and "" never after the end.
    reader->SetCurrentFilePos(0);
    std::u16string line;
    lines = 0;
    while (reader->ReadLine(line)) {
      if (++lines > size + 1) std::abort();
    }
    if (!line.empty()) std::abort();
  } catch (const Qel::BaseException&) {
  }
  reader->Release();

  for (int encoding = 1; encoding <= 7; ++encoding) {
    std::FILE* stream = std::fopen(native.c_str(), "rb");
    if (stream == nullptr) return 0;
    try {
      const auto chosen = Qel::Tools::IO::GetFileEncoding(stream, path, true,
                                                          static_cast<Qel::TextEncoding>(encoding));
      (void)chosen;
      std::size_t lines = 0;
      while (!std::feof(stream) && lines++ <= size + 1) {
        Qel::Tools::IO::GetNextLineFromFile(stream, path, static_cast<Qel::TextEncoding>(encoding),
                                            (encoding & 1) != 0);
      }
    } catch (const Qel::BaseException&) {
    }
    std::fclose(stream);
  }
  return 0;
}
