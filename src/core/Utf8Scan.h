// The check behind the scan for UTF-8 in files without a byte-order mark: lead bytes C2 to F4,
// each followed by exactly the continuation bytes (80 to BF) its value asks for, and no other
// byte of 80 or more. Overlong three- and four-byte forms and encoded surrogates pass; what the
// reader later decodes them to is the decoder's business. Pure functions; safe from any thread.
#pragma once

#include <cstddef>

namespace Qel::Detail {

// What one call hands to the next: the last three bytes seen (zeros before the first call) and
// whether any byte of 80 or more has been seen.
struct Utf8ScanCarry {
  unsigned char last[3] = {0, 0, 0};  // last[0] is the byte just before the next call's first
  bool multiByte = false;
};

// Offset in [0, size) of the first byte that breaks the rule, given the bytes before it in
// `carry`, or `size`; `carry` then describes the bytes up to the returned offset. Blocks are
// checked 16 or 32 bytes at a time (AVX2 when the processor has it, chosen at run time, else
// SSE2); only a block that holds a fault is walked byte by byte. At the end of the input, a call
// with three zero bytes reports a sequence left incomplete.
std::size_t FindUtf8Fault(const unsigned char* data, std::size_t size, Utf8ScanCarry& carry);

}  // namespace Qel::Detail
