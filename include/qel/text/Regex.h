// Regular expressions (Perl syntax) over UTF-16 text: all non-overlapping matches of one
// expression as a chain of results. Compiled expressions are kept in a process-wide cache that
// any thread may use; one Regex object and its results are used by one thread at a time.
#pragma once

#include <qel/core/Export.h>

#include <cstdint>
#include <string>
#include <vector>

namespace Qel {

namespace Detail {
class CompiledRegex;
class RegexMatchStore;
}  // namespace Detail

// One match of a chain. The chain ends with a node whose position and length are -1 and whose
// matched flag is false. Deleting a node deletes the rest of the chain after it.
class QEL_API RegexMatch {
 public:
  RegexMatch() = default;
  RegexMatch(const RegexMatch&) = delete;
  RegexMatch& operator=(const RegexMatch&) = delete;
  virtual ~RegexMatch();

  // The following node, null after the terminating node.
  RegexMatch* GetNext() const { return m_next; }
  // Index of the first matched unit in the searched text; -1 for the terminating node.
  std::int32_t GetPosition() const { return m_position; }
  // Units matched; -1 for the terminating node.
  std::int32_t GetLength() const { return m_length; }
  bool GetMatched() const { return m_matched; }
  // With sub-matches saved: the whole match, then every capture group ("" when it took no part).
  const std::vector<std::u16string>& GetSubMatches() const { return m_subMatches; }

 private:
  friend class Regex;
  friend class Detail::RegexMatchStore;
  RegexMatch* m_next = nullptr;
  std::int32_t m_position = -1;
  std::int32_t m_length = -1;
  bool m_matched = false;
  std::vector<std::u16string> m_subMatches;
};

class QEL_API Regex {
 public:
  // Compiles `pattern` (or finds it compiled). A syntax error throws Boost's regex_error
  // (a std::runtime_error); a pattern that is not valid UTF-16 throws BaseException 17.
  Regex(const std::u16string& pattern, bool ignoreCase);
  // Copies pattern and settings; the copy has no results yet.
  Regex(const Regex& other);
  // Copies pattern and settings and deletes this object's results.
  Regex& operator=(const Regex& other);
  virtual ~Regex();

  // Whether the next Match keeps the texts of the whole match and of every capture group.
  void SetSaveSubMatches(bool save) { m_saveSubMatches = save; }

  // Every match in `text`, left to right, followed by the terminating node. The chain stays
  // owned by this object until the next Match, an assignment to it or its destruction; the
  // caller must not delete it. A match that exceeds the
  // engine's complexity or memory bounds, or a text that is not valid UTF-16, throws
  // BaseException 17; the matches found before stay in the chain.
  RegexMatch* Match(const std::u16string& text);

 private:
  std::u16string m_pattern;
  bool m_ignoreCase = false;
  RegexMatch* m_result = nullptr;
  bool m_saveSubMatches = false;
  const Detail::CompiledRegex* m_compiled = nullptr;  // owned by the process-wide cache
  // The nodes of the chain and the engine's match state, kept from one Match to the next.
  Detail::RegexMatchStore* m_store = nullptr;
};

}  // namespace Qel
