// A minimal URI scheme detector that tells file paths from ftp and http(s) addresses. Uri
// values are plain copyable data; the scheme constants are read-only and shared by all threads.
#pragma once

#include <qel/core/Export.h>

#include <string>

namespace Qel {

class QEL_API Uri {
 public:
  Uri() = default;
  Uri(const Uri&) = default;
  Uri& operator=(const Uri&) = default;
  virtual ~Uri() = default;

  // A Uri holding `text` whose scheme is detected when the text is not empty and shorter than
  // 65520 units; a text without a scheme keeps an empty one.
  static Uri Parse(const std::u16string& text);
  // True when the detected scheme is "file" (drive paths, UNC paths, relative and POSIX paths,
  // and every scheme other than ftp and http(s)).
  bool IsFile();

  const std::u16string& GetText() const { return m_text; }
  const std::u16string& GetScheme() const { return m_scheme; }

  static std::u16string GetUriSchemeFile() { return _uriSchemeFile; }
  static std::u16string GetUriSchemeFtp() { return _uriSchemeFtp; }
  static std::u16string GetUriSchemeHttp() { return _uriSchemeHttp; }
  static std::u16string GetUriSchemeHttps() { return _uriSchemeHttps; }

  static const std::u16string _uriSchemeFile;
  static const std::u16string _uriSchemeFtp;
  static const std::u16string _uriSchemeHttp;
  static const std::u16string _uriSchemeHttps;

 private:
  static bool ParseScheme(const std::u16string& text, std::u16string& scheme);
  static bool ParseSchemeCheckImplicitFile(const std::u16string& text, unsigned int length,
                                           std::u16string& scheme);
  static bool IsAsciiLetter(char16_t c);
  static bool IsLWS(char16_t c);

  std::u16string m_text;
  std::u16string m_scheme;
};

}  // namespace Qel
