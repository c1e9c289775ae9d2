// The sparse term-vector representation and its binary form.
#include <qel/kit/TermVector.h>

#include <algorithm>
#include <cmath>
#include <istream>
#include <new>
#include <ostream>
#include <typeinfo>

#include "core/Throw.h"
#include "util/LittleEndian.h"

namespace Qel {

namespace {

constexpr char kMagic[4] = {'T', 'V', 'e', 'c'};
constexpr std::size_t kEntryBytes = 8;

// Sorts by id and adds the weights of equal ids.
void Canonicalize(std::vector<TermEntry>& entries) {
  // A vectorizer's output is already sorted with unique ids.
  if (std::adjacent_find(entries.begin(), entries.end(),
                         [](const TermEntry& a, const TermEntry& b) { return a.id >= b.id; }) ==
      entries.end()) {
    return;
  }
  std::stable_sort(entries.begin(), entries.end(),
                   [](const TermEntry& a, const TermEntry& b) { return a.id < b.id; });
  std::size_t out = 0;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (out > 0 && entries[out - 1].id == entries[i].id) {
      entries[out - 1].weight += entries[i].weight;
    } else {
      entries[out++] = entries[i];
    }
  }
  entries.resize(out);
}

}  // namespace

TermVector* TermVector::Create() {
  TermVector* v = new (std::nothrow) TermVector();
  if (v == nullptr) Detail::ThrowOutOfMemory(u"[TermVector]");
  v->AddRefCount();
  return v;
}

TermVector* TermVector::Create(std::vector<TermEntry> entries) {
  Canonicalize(entries);
  TermVector* v = Create();
  v->m_entries = std::move(entries);
  return v;
}

void TermVector::SetEntries(std::vector<TermEntry> entries) {
  Canonicalize(entries);
  m_entries = std::move(entries);
}

double TermVector::GetTotalWeight() const {
  double total = 0.0;
  for (const TermEntry& e : m_entries) total += e.weight;
  return total;
}

double TermVector::dot(const Representation& other) const {
  if (typeid(other) != typeid(TermVector)) return 0.0;
  const auto& b = static_cast<const TermVector&>(other).m_entries;
  double sum = 0.0;
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < m_entries.size() && j < b.size()) {
    if (m_entries[i].id < b[j].id) {
      ++i;
    } else if (b[j].id < m_entries[i].id) {
      ++j;
    } else {
      sum += static_cast<double>(m_entries[i].weight) * b[j].weight;
      ++i;
      ++j;
    }
  }
  return sum;
}

bool TermVector::IsValid() const { return !m_entries.empty(); }

bool TermVector::Save(std::ostream* os) {
  if (os == nullptr) return false;
  os->write(kMagic, sizeof kMagic);
  if (!Detail::WriteLittleEndian(*os, static_cast<std::uint32_t>(m_entries.size()))) return false;
  for (const TermEntry& e : m_entries) {
    if (!Detail::WriteLittleEndian(*os, e.id) || !Detail::WriteLittleEndian(*os, e.weight)) {
      return false;
    }
  }
  return !os->fail();
}

bool TermVector::Load(std::istream* is) {
  if (is == nullptr) return false;
  char magic[4];
  if (!is->read(magic, sizeof magic) || !std::equal(magic, magic + 4, kMagic)) return false;
  std::uint32_t count = 0;
  if (!Detail::ReadLittleEndian(*is, count)) return false;
  // Entries are read in blocks, so a lying count claims no more memory than the bytes there are.
  std::vector<TermEntry> entries;
  unsigned char block[kEntryBytes * 512];
  std::uint32_t left = count;
  while (left > 0) {
    const std::uint32_t n = std::min<std::uint32_t>(left, 512);
    if (!is->read(reinterpret_cast<char*>(block), static_cast<std::streamsize>(n * kEntryBytes))) {
      return false;
    }
    for (std::uint32_t k = 0; k < n; ++k) {
      const TermEntry e{Detail::LoadLittleEndian<std::uint32_t>(block + k * kEntryBytes),
                        Detail::LoadLittleEndian<float>(block + k * kEntryBytes + 4)};
      if (!std::isfinite(e.weight)) return false;
      if (!entries.empty() && entries.back().id >= e.id) return false;
      entries.push_back(e);
    }
    left -= n;
  }
  m_entries = std::move(entries);
  return true;
}

}  // namespace Qel
