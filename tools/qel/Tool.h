// Shared pieces of the qel program: exit codes, the error every command reports on one line,
// and locale-independent text helpers. Used by one thread at a time unless noted.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace QelTool {

// The documented exit codes (qel --help, qel(1)).
enum ExitCode : int {
  kExitOk = 0,
  kExitFailure = 1,  // anything not listed below
  kExitUsage = 2,    // bad command line
  kExitData = 3,     // DATA or INPUT cannot be read: missing or unreadable file, empty class
  kExitModel = 4,    // model cannot be read: missing, other version, truncated or damaged
  kExitOutput = 5,   // an output file cannot be written
  kExitPartial = 6,  // done, but some input was refused (records) or not representable (text)
};

// An error for the user: `message` is one line that names the file and the problem.
class ToolError : public std::runtime_error {
 public:
  ToolError(int exitCode, const std::string& message)
      : std::runtime_error(message), m_exitCode(exitCode) {}
  int ExitCode() const { return m_exitCode; }

 private:
  int m_exitCode;
};

std::u16string FromUtf8(std::string_view text);
std::string ToUtf8(std::u16string_view text);

// `value` with `decimals` digits after the point, always with '.', whatever the locale.
std::string FormatFixed(double value, int decimals);

// `text` with &, <, >, " and ' escaped for XML and HTML.
std::string EscapeXml(std::string_view text);

// Replaces tabs, line ends and other control characters by spaces (for one-line TSV fields).
std::string OneLine(std::string_view text);

}  // namespace QelTool
