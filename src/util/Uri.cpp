// Scheme detection over the first characters of a text, without allocation or validation of
// the rest: callers only need to tell file paths from web addresses.
#include "qel/util/Uri.h"

namespace Qel {

namespace {
constexpr unsigned int kMaxUriLength = 65520;
}

const std::u16string Uri::_uriSchemeFile = u"file";
const std::u16string Uri::_uriSchemeFtp = u"ftp";
const std::u16string Uri::_uriSchemeHttp = u"http";
const std::u16string Uri::_uriSchemeHttps = u"https";

Uri Uri::Parse(const std::u16string& text) {
  Uri uri;
  uri.m_text = text;
  ParseScheme(text, uri.m_scheme);
  return uri;
}

bool Uri::IsFile() { return m_scheme == u"file"; }

bool Uri::ParseScheme(const std::u16string& text, std::u16string& scheme) {
  if (text.empty() || text.size() >= kMaxUriLength) return false;
  return ParseSchemeCheckImplicitFile(text, static_cast<unsigned int>(text.size()), scheme);
}

bool Uri::ParseSchemeCheckImplicitFile(const std::u16string& text, unsigned int length,
                                       std::u16string& scheme) {
  if (length > text.size()) length = static_cast<unsigned int>(text.size());
  // A position at or beyond `length` never matches.
  auto at = [&](unsigned int pos) -> char16_t { return pos < length ? text[pos] : u'\0'; };
  auto isSlash = [](char16_t c) { return c == u'/' || c == u'\\'; };

  // Schemes are assigned from literals, not from the static members, so that Parse also works
  // during the static initialisation of other translation units.
  unsigned int i = 0;
  while (i < length && IsLWS(text[i])) ++i;
  unsigned int colon = i;
  while (colon < length && text[colon] != u':') ++colon;

  if (i + 2 >= length || colon == i) return false;
  if (at(i + 1) == u':' || at(i + 1) == u'|') {
    if (IsAsciiLetter(at(i)) && isSlash(at(i + 2))) {
      scheme = u"file";
      return true;
    }
    return false;
  }
  if (isSlash(at(i)) && isSlash(at(i + 1))) {
    scheme = u"file";
    return true;
  }
  if (at(i + 3) == u':' && at(i) == u'f' && at(i + 1) == u't' && at(i + 2) == u'p') {
    scheme = u"ftp";
    return true;
  }
  if (at(i + 4) != u':' && at(i + 5) != u':') {
    scheme = u"file";
    return true;
  }
  if (at(i) == u'h' && at(i + 1) == u't' && at(i + 2) == u't' && at(i + 3) == u'p') {
    scheme = at(i + 4) == u's' ? u"https" : u"http";
    return true;
  }
  scheme = u"file";
  return true;
}

bool Uri::IsAsciiLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

bool Uri::IsLWS(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

}  // namespace Qel
