// The wide scan against the rule stated byte by byte, on generated text with faults placed
// before, inside and across the wide blocks, fed whole and in pieces.
#include "core/Utf8Scan.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace Qel::Detail {
namespace {

// The rule in its plainest form: offset of the first fault (size when none), and whether a byte
// of 80 or more comes before it.
std::size_t ReferenceFault(const std::vector<unsigned char>& s, bool& multiByte) {
  multiByte = false;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const unsigned b = s[i];
    auto at = [&](std::size_t back) { return i >= back ? unsigned{s[i - back]} : 0u; };
    const bool needs = at(1) >= 0xC0 || at(2) >= 0xE0 || at(3) >= 0xF0;
    if (needs != ((b & 0xC0) == 0x80) || b == 0xC0 || b == 0xC1 || b >= 0xF5) return i;
    if (b >= 0x80) multiByte = true;
  }
  return s.size();
}

// Well-formed text of ASCII runs and two- to four-byte sequences.
std::vector<unsigned char> Text(std::mt19937& gen, std::size_t size, int asciiPercent) {
  static const std::string pieces[] = {"\xC3\xA9",        "\xD0\x96",     "\xE2\x82\xAC",
                                       "\xE5\x8F\x91",    "\xED\xA0\x80", "\xF0\x9F\x93\x84",
                                       "\xF4\x8F\xBF\xBF"};
  std::vector<unsigned char> out;
  std::uniform_int_distribution<int> percent(0, 99);
  while (out.size() < size) {
    if (percent(gen) < asciiPercent) {
      out.push_back(static_cast<unsigned char>('a' + percent(gen) % 26));
    } else {
      const std::string& p = pieces[percent(gen) % 7];
      out.insert(out.end(), p.begin(), p.end());
    }
  }
  return out;
}

// Fault offset and multi-byte flag of FindUtf8Fault fed `s` in pieces of `piece` bytes, with
// the end marker after the last.
std::size_t ScanInPieces(const std::vector<unsigned char>& s, std::size_t piece, bool& multiByte) {
  Utf8ScanCarry carry;
  for (std::size_t at = 0; at < s.size(); at += piece) {
    const std::size_t size = std::min(piece, s.size() - at);
    const std::size_t fault = FindUtf8Fault(s.data() + at, size, carry);
    if (fault < size) {
      multiByte = carry.multiByte;
      return at + fault;
    }
  }
  static constexpr unsigned char kEnd[3] = {0, 0, 0};
  const std::size_t end = FindUtf8Fault(kEnd, 3, carry);
  multiByte = carry.multiByte;
  return end < 3 ? s.size() + end : s.size();
}

TEST(Utf8Scan, MatchesTheByteRuleOnGeneratedText) {
  std::mt19937 gen(5);
  // Bytes that break the text when written over one of its bytes.
  const unsigned char faults[] = {0x80, 0xBF, 0xC0, 0xC1, 0xC2, 0xE0, 0xF0, 0xF5, 0xFF, 'x'};
  const std::size_t pieces[] = {1, 7, 64, 100, 4096};
  for (const int asciiPercent : {100, 97, 60, 0}) {
    for (const std::size_t size : {0u, 5u, 31u, 33u, 64u, 95u, 97u, 200u, 1000u, 5000u}) {
      for (int round = 0; round < 12; ++round) {
        std::vector<unsigned char> s = Text(gen, size, asciiPercent);
        if (round > 0 && !s.empty()) {
          s[std::uniform_int_distribution<std::size_t>(0, s.size() - 1)(gen)] =
              faults[round % std::size(faults)];
        }
        bool expectedMultiByte = false;
        std::size_t expected = ReferenceFault(s, expectedMultiByte);
        // A sequence cut off at the end shows at the end marker.
        std::vector<unsigned char> padded = s;
        padded.insert(padded.end(), 3, 0);
        if (expected == s.size()) {
          const std::size_t end = ReferenceFault(padded, expectedMultiByte);
          expected = end < padded.size() ? end : s.size();
        }
        for (const std::size_t piece : pieces) {
          bool multiByte = false;
          const std::size_t fault = ScanInPieces(s, piece, multiByte);
          ASSERT_EQ(fault, expected) << "ascii " << asciiPercent << "% size " << s.size()
                                     << " round " << round << " piece " << piece;
          if (fault >= s.size()) {
            EXPECT_EQ(multiByte, expectedMultiByte);
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace Qel::Detail
