// UTF-8 <-> UTF-16 transcoding over caller-owned buffers, the core of the library's string
// conversions. Ill-formed input becomes U+FFFD (one per maximal ill-formed subpart of UTF-8, one
// per unpaired surrogate). Pure functions; safe from any thread.
#pragma once

#include <cstddef>

namespace Qel::Detail {

// How Utf8ToUtf16Buffer treats ill-formed UTF-8.
enum class Utf8Decoding {
  // One U+FFFD per maximal ill-formed subpart: the library's conversions.
  Strict,
  // The XML writer's decoder: the lead byte alone gives the length (below 0xE0 two bytes,
  // below 0xF0 three, below 0xF8 four) and the low six bits of each following byte are taken
  // unchecked, so overlong forms and encoded surrogates decode as they stand. A stray
  // continuation byte, a lead byte of 0xF8 or more and a code point above U+10FFFF become
  // U+FFFD; a sequence cut off at the end becomes one U+FFFD, which ends the output.
  Unchecked,
};

// Units Utf8ToUtf16Buffer may write for `size` input bytes (it never writes more).
constexpr std::size_t Utf16CapacityFor(std::size_t size) { return size; }
// The exact number of bytes Utf16ToUtf8Buffer writes for these units.
std::size_t Utf8LengthOf(const char16_t* data, std::size_t size);

// Decodes `size` bytes (NULs included) into `out`, which holds Utf16CapacityFor(size) units.
// Returns the number of units written; `hadErrors` (if given) is set when a U+FFFD was
// substituted.
std::size_t Utf8ToUtf16Buffer(const char* data, std::size_t size, char16_t* out,
                              bool* hadErrors = nullptr,
                              Utf8Decoding decoding = Utf8Decoding::Strict);
// Encodes `size` units (NULs included) into `out`, which holds `capacity` bytes, at least
// Utf8LengthOf(data, size); room beyond that lets more of the text take the vector path, which
// stores 16 bytes at a time. Returns the number of bytes written; `hadErrors` (if given) is set
// when an unpaired surrogate was replaced by U+FFFD.
std::size_t Utf16ToUtf8Buffer(const char16_t* data, std::size_t size, char* out,
                              std::size_t capacity, bool* hadErrors = nullptr);

}  // namespace Qel::Detail
