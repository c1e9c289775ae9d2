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
  // The bytes read from an ANSI (REGEDIT4) file for this line, written back as they are while
  // the line is unchanged; only meaningful when `original` is true.
  std::string bytes;
  bool original = false;
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
  // Decodes UTF-16LE (with byte-order mark), a "REGEDIT4" file in the ANSI code page, or UTF-8
  // (with or without byte-order mark) and parses.
  static RegistryFile Parse(std::string_view bytes);
  // A new file holding only the header line.
  static RegistryFile Empty();

  // False when the first line is neither "Windows Registry Editor Version 5.00" nor "REGEDIT4".
  bool HasValidHeader() const { return m_validHeader; }

  // The last readable value `name` under `keyPath` ("HKEY_LOCAL_MACHINE\SOFTWARE\..."), or
  // null. Keys and names compare without regard to case.
  const RegLine* Find(const std::u16string& keyPath, const std::u16string& name) const;

  // Sets `name` under `keyPath`, creating the key when needed; other lines stay as they are.
  // Throws BaseException ErrorId::InvalidArgument, changing nothing, for a key path or name
  // that could not be read back as it is (see CheckKeyAndName) or, in a REGEDIT4 file, that
  // the ANSI code page cannot hold. A text the file's encoding cannot hold as it is goes in
  // the hex(1) form.
  void SetText(const std::u16string& keyPath, const std::u16string& name,
               const std::u16string& value);
  void SetDword(const std::u16string& keyPath, const std::u16string& name, std::uint32_t value);

  // The file as UTF-8 without byte-order mark (a REGEDIT4 file in the ANSI code page, its
  // unchanged lines byte for byte), lines ended by "\n".
  std::string Serialize() const;

  // Throws BaseException ErrorId::InvalidArgument when `keyPath` or `name` holds a character
  // that a settings file cannot carry in a key line or value name: a control character (a
  // line break would start a line of its own) or a lone surrogate; or when `keyPath` is empty
  // or starts with '-' (a key deletion).
  static void CheckKeyAndName(const std::u16string& keyPath, const std::u16string& name);

  const std::vector<RegLine>& Lines() const { return m_lines; }

 private:
  void Set(const std::u16string& keyPath, const std::u16string& name, RegLine line);
  int FindKey(const std::u16string& normalizedPath) const;

  bool m_validHeader = false;
  bool m_ansi = false;  // a REGEDIT4 file: read and written in the ANSI code page
  std::vector<RegLine> m_lines;
  std::vector<std::u16string> m_keyPaths;  // normalized, by key index
};

// The key path for comparisons: upper case, without trailing backslashes.
std::u16string NormalizeKeyPath(const std::u16string& keyPath);

}  // namespace Qel::Detail
