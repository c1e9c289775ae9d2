// Standard Base64 (RFC 4648 alphabet, "=" padding, no line breaks) for raw buffers, byte
// strings and UTF-16 texts (through UTF-8). Stateless; any thread may use it.
#pragma once

#include <qel/core/Export.h>

#include <string>

namespace Qel {

class QEL_API Base64 {
 public:
  // Encoded length without terminator: 0 for 0, else ((size - 1) / 3) * 4 + 4. Throws
  // BaseException 17 when the result does not fit 32 bits.
  static unsigned int CalculateEncodedSize(unsigned int size);
  // (length / 4) * 3: an upper bound of the decoded size.
  static unsigned int CalculateDecodedSize(unsigned int length);
  // Writes the encoding and a NUL into `out` (CalculateEncodedSize(size) + 1 bytes).
  static void Encode(const void* data, unsigned int size, char* out);
  // A new NUL-terminated encoding that the caller frees with free().
  static char* Encode(const void* data, unsigned int size);
  // Decodes `length` characters (a multiple of 4) into `out` (CalculateDecodedSize(length)
  // bytes); `length` becomes the decoded byte count. Throws BaseException 17 with
  // "Base64::Pos()" for a character outside the alphabet, "Base64::Decode()[1]" for "=" in
  // the first two places of a group, "Base64::Decode()[2]" for "=" in the third place alone.
  // Bytes of a padded group that is not the last are written as 0.
  static void Decode(const char* text, unsigned int& length, unsigned char* out);
  // As above into a new buffer that the caller frees with free(); a length that is not a
  // multiple of 4 throws BaseException 17 with "Base64::Decode()[0]".
  static void* Decode(const char* text, unsigned int& length);

  static std::string ToBase64(const std::string& bytes);
  static std::string FromBase64(const std::string& text);
  // `text` as UTF-8, encoded.
  static std::u16string ToBase64(const std::u16string& text);
  // The decoded bytes read as UTF-8 up to their first NUL.
  static std::u16string FromBase64(const std::u16string& text);

 private:
  // The value of one character: 0 to 63, -1 for "="; throws for any other character.
  static int Pos(char c);
};

}  // namespace Qel
