// Abstract text filter: turns UTF-16 or ANSI text into a byte string of small symbol codes
// grouped into words. Filters are reference counted (created by a factory, destroyed by
// Release); a filter may serve several threads while none of them changes its settings.
#pragma once

#include <cstdint>
#include <vector>

#include "qel/core/Export.h"
#include "qel/core/RefCounter.h"

namespace Qel {

class QEL_API TextFilter : public RefCounter {
 public:
  // FilterTextW with positions.
  virtual unsigned int FilterText(const char16_t* text, unsigned int length, char* out,
                                  unsigned int outSize, std::vector<std::int32_t>& positions);
  // Filters `length` ANSI bytes into `out`, which must have room for length + 2 bytes whatever
  // `outSize` says (it is not consulted); positions[k] is the index in `text` of the character
  // behind out[k]. Returns the bytes written.
  virtual unsigned int FilterTextA(const char* text, unsigned int length, char* out,
                                   unsigned int outSize, std::vector<std::int32_t>& positions) = 0;
  virtual unsigned int FilterTextA(const char* text, unsigned int length, char* out,
                                   unsigned int outSize) = 0;
  // Filters `length` UTF-16 units into at most `outSize` bytes of `out`, dropping what does
  // not fit; positions as for FilterTextA. Returns the bytes written.
  virtual unsigned int FilterTextW(const char16_t* text, unsigned int length, char* out,
                                   unsigned int outSize, std::vector<std::int32_t>& positions) = 0;
  virtual unsigned int FilterTextW(const char16_t* text, unsigned int length, char* out,
                                   unsigned int outSize) = 0;
  // The first symbol code not handed out.
  virtual unsigned int GetSymbolCount() = 0;
  // 256 entries: a printable character for each symbol code.
  virtual const unsigned char* GetAlphaNum() = 0;

  // FilterTextW without positions.
  unsigned int FilterText(const char16_t* text, unsigned int length, char* out,
                          unsigned int outSize);

 protected:
  TextFilter() = default;
  ~TextFilter() override = default;
};

}  // namespace Qel
