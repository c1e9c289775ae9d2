// Feeds arbitrary bytes to the settings-file parser: parsing, rewriting and reading back must
// never crash, and a value that was set must be the one read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "base/RegistryFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using Qel::Detail::RegistryFile;
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  RegistryFile file = RegistryFile::Parse(bytes);
  file.Find(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Zorvic", u"Name");
  if (!file.HasValidHeader()) return 0;

  // Serialising is stable: a rewritten file parses to the same text.
  std::string once = file.Serialize();
  RegistryFile again = RegistryFile::Parse(once);
  if (!again.HasValidHeader() || again.Serialize() != once) std::abort();

  again.SetText(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Zorvic", u"Name", u"va\"lue\\\n");
  again.SetDword(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Zorvic", u"Count", 0xDEADBEEF);
  RegistryFile written = RegistryFile::Parse(again.Serialize());
  const auto* name = written.Find(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Zorvic", u"Name");
  const auto* count = written.Find(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Zorvic", u"count");
  if (name == nullptr || name->text != u"va\"lue\\\n") std::abort();
  if (count == nullptr || count->dword != 0xDEADBEEF) std::abort();
  return 0;
}
