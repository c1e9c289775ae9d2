#include "core/MessageFormat.h"

#include <charconv>
#include <vector>

#include "core/Text.h"

namespace Qel::Detail {

namespace {

void Pad(std::u16string& out, std::u16string_view body, std::size_t width, bool left,
         char16_t fill) {
  const std::size_t padding = body.size() < width ? width - body.size() : 0;
  if (left) {
    out.append(body);
    out.append(padding, u' ');
    return;
  }
  if (fill == u'0' && !body.empty() && body[0] == u'-') {
    out.push_back(u'-');
    body.remove_prefix(1);
  }
  out.append(padding, fill);
  out.append(body);
}

}  // namespace

std::u16string FormatMessageText(std::u16string_view format, std::initializer_list<FormatArg> args,
                                 std::size_t maxUnits) {
  std::u16string out;
  auto next = args.begin();
  const FormatArg empty{std::u16string_view()};
  std::size_t i = 0;
  while (i < format.size() && out.size() < maxUnits) {
    const char16_t c = format[i++];
    if (c != u'%' || i >= format.size()) {
      out.push_back(c);
      continue;
    }
    if (format[i] == u'%') {
      out.push_back(u'%');
      ++i;
      continue;
    }
    bool left = false;
    char16_t fill = u' ';
    for (; i < format.size() && (format[i] == u'-' || format[i] == u'0'); ++i) {
      if (format[i] == u'-')
        left = true;
      else
        fill = u'0';
    }
    std::size_t width = 0;
    for (; i < format.size() && format[i] >= u'0' && format[i] <= u'9'; ++i) {
      width = width * 10 + (format[i] - u'0');
      if (width > 4096) width = 4096;
    }
    bool wide64 = false;
    while (i < format.size()) {
      if (format[i] == u'l' || format[i] == u'h' || format[i] == u'w') {
        if (format[i] == u'l' && i + 1 < format.size() && format[i + 1] == u'l') {
          wide64 = true;
          ++i;
        }
        ++i;
      } else if (format.substr(i, 3) == u"I64") {
        wide64 = true;
        i += 3;
      } else {
        break;
      }
    }
    if (i >= format.size()) break;
    const char16_t conv = format[i++];
    const FormatArg& arg = next != args.end() ? *next++ : empty;
    if (conv == u's' || conv == u'S') {
      Pad(out, arg.isText ? arg.text : std::u16string_view(), width, left, u' ');
      continue;
    }
    char buf[32];
    std::to_chars_result r{};
    const std::int64_t n = arg.isText ? 0 : arg.number;
    switch (conv) {
      case u'd':
      case u'i':
        r = wide64 ? std::to_chars(buf, buf + sizeof buf, n)
                   : std::to_chars(buf, buf + sizeof buf, static_cast<std::int32_t>(n));
        break;
      case u'u':
        r = wide64 ? std::to_chars(buf, buf + sizeof buf, static_cast<std::uint64_t>(n))
                   : std::to_chars(buf, buf + sizeof buf, static_cast<std::uint32_t>(n));
        break;
      case u'x':
      case u'X':
        r = wide64 ? std::to_chars(buf, buf + sizeof buf, static_cast<std::uint64_t>(n), 16)
                   : std::to_chars(buf, buf + sizeof buf, static_cast<std::uint32_t>(n), 16);
        if (conv == u'X') {
          for (char* p = buf; p != r.ptr; ++p) {
            if (*p >= 'a' && *p <= 'f') *p = static_cast<char>(*p - 'a' + 'A');
          }
        }
        break;
      default:  // unknown conversion: copy it through
        out.push_back(u'%');
        out.push_back(conv);
        continue;
    }
    Pad(out, AsciiToU16(std::string_view(buf, r.ptr - buf)), width, left, fill);
  }
  if (out.size() > maxUnits) out.resize(maxUnits);
  return out;
}

}  // namespace Qel::Detail
