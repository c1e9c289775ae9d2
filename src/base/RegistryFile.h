// The settings file in the registry editor's text format: parsed into lines that keep their
// original text, so that rewriting the file changes only the values that were set. One object
// belongs to one thread; the file itself is read and written by the settings store.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Qel::Detail {

enum class RegValueKind {
  None,     // not a value line (header, key, comment, blank)
  Text,     // REG_SZ: "text" or hex(1):
  Dword,    // REG_DWORD: dword:xxxxxxxx or hex(4):
  Other,    // another type, kept as written
  Invalid,  // a value line that the import would refuse; kept as written, never read
};

struct RegLine {
  std::u16string raw;  // as written, continuation lines joined with "\n"
  RegValueKind kind = RegValueKind::None;
  int key = -1;             // the key this line opens or belongs to (an index of KeyPaths()), or -1
  std::u16string name;      // value name, "" for the default value "@"
  bool named = false;       // a value line whose name could be read (even if its value cannot)
  std::u16string text;      // Text
  std::uint32_t dword = 0;  // Dword
  bool isKey = false;       // a key line "[...]" that opens key `key`
};

class RegistryFile {
 public:
  // Decodes UTF-16LE (with byte-order mark) or UTF-8 (with or without one) and parses.
  static RegistryFile Parse(std::string_view bytes);
  // A new file holding only the header line.
  static RegistryFile Empty();

  // False when the first line is neither "Windows Registry Editor Version 5.00" nor "REGEDIT4".
  bool HasValidHeader() const { return m_validHeader; }

  // The last readable value `name` under `keyPath` ("HKEY_LOCAL_MACHINE\SOFTWARE\..."), or
  // null. Keys and names compare without regard to case.
  const RegLine* Find(const std::u16string& keyPath, const std::u16string& name) const;

  // Sets `name` under `keyPath`, creating the key when needed; other lines stay as they are.
  void SetText(const std::u16string& keyPath, const std::u16string& name,
               const std::u16string& value);
  void SetDword(const std::u16string& keyPath, const std::u16string& name, std::uint32_t value);

  // The file as UTF-8 without byte-order mark, lines ended by "\n".
  std::string Serialize() const;

  const std::vector<RegLine>& Lines() const { return m_lines; }

 private:
  void Set(const std::u16string& keyPath, const std::u16string& name, RegLine line);
  int FindKey(const std::u16string& normalizedPath) const;

  bool m_validHeader = false;
  std::vector<RegLine> m_lines;
  std::vector<std::u16string> m_keyPaths;  // normalized, by key index
};

// The key path for comparisons: upper case, without trailing backslashes.
std::u16string NormalizeKeyPath(const std::u16string& keyPath);

}  // namespace Qel::Detail
