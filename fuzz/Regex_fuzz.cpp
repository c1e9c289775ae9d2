// Fuzzes Regex: the first byte splits the input into a pattern (up to 31 UTF-16 units) and a
// text (up to 1024 units), and chooses case and sub-matches. Syntax errors come out as the
// engine's regex_error; runaway matches and invalid UTF-16 as BaseException; the chain always
// lies inside the text, moves left to right and ends with the terminating node.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include "qel/core/Exceptions.h"
#include "qel/text/Regex.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint8_t control = data[0];
  std::u16string units((size - 1) / 2, u'\0');
  std::memcpy(units.data(), data + 1, units.size() * 2);
  const std::size_t patternLength = std::min<std::size_t>(control & 0x1F, units.size());
  const std::u16string pattern = units.substr(0, patternLength);
  const std::u16string text = units.substr(patternLength, 1024);

  Qel::Regex* regex = nullptr;
  try {
    regex = new Qel::Regex(pattern, control & 0x20);
  } catch (const std::runtime_error&) {
    return 0;  // syntax error
  } catch (const Qel::BaseException&) {
    return 0;  // pattern is not valid UTF-16
  }
  regex->SetSaveSubMatches(control & 0x40);
  try {
    std::int64_t end = 0;
    Qel::RegexMatch* node = regex->Match(text);
    for (; node->GetMatched(); node = node->GetNext()) {
      Check(node->GetPosition() >= end && node->GetLength() >= 0);
      end = static_cast<std::int64_t>(node->GetPosition()) + node->GetLength();
      Check(end <= static_cast<std::int64_t>(text.size()));
      if (control & 0x40) {
        Check(!node->GetSubMatches().empty());
        Check(node->GetSubMatches()[0] == text.substr(static_cast<std::size_t>(node->GetPosition()),
                                                      static_cast<std::size_t>(node->GetLength())));
      }
    }
    Check(node->GetPosition() == -1 && node->GetLength() == -1 && node->GetNext() == nullptr);
  } catch (const Qel::BaseException&) {
    // runaway match or invalid UTF-16 in the text
  }
  delete regex;
  return 0;
}
