// printf-style formatting of UTF-16 message texts. The message table uses %s (a UTF-16 text),
// %d, %i, %ld, %u, %x, %X with optional flags "0-", a width and length modifiers l/ll/I64,
// and %%. Arguments are taken in order; a missing argument formats as empty or 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace Qel::Detail {

struct FormatArg {
  FormatArg(std::u16string_view s) : text(s), isText(true) {}
  FormatArg(const std::u16string& s) : text(s), isText(true) {}
  FormatArg(const char16_t* s)
      : text(s ? std::u16string_view(s) : std::u16string_view()), isText(true) {}
  FormatArg(std::int64_t v) : number(v) {}
  FormatArg(std::int32_t v) : number(v) {}
  FormatArg(std::uint32_t v) : number(v) {}
  FormatArg(std::uint64_t v) : number(static_cast<std::int64_t>(v)) {}

  std::u16string_view text;
  std::int64_t number = 0;
  bool isText = false;
};

// Formats `format` with `args` into at most `maxUnits` UTF-16 units (longer output is cut).
std::u16string FormatMessageText(std::u16string_view format, std::initializer_list<FormatArg> args,
                                 std::size_t maxUnits = 4095);

}  // namespace Qel::Detail
