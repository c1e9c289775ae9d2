// The sparse classification result.
#include <qel/core/IntrusivePtr.h>
#include <qel/model/SparseResult.h>

#include <algorithm>
#include <new>

#include "core/Throw.h"

namespace Qel {

SparseResult* SparseResult::Create() {
  SparseResult* result = new (std::nothrow) SparseResult();
  if (result == nullptr) Detail::ThrowOutOfMemory(u"[1011]");
  result->AddRefCount();
  return result;
}

std::shared_ptr<SparseResult> SparseResult::CreateSharedPtr() {
  return std::shared_ptr<SparseResult>(Create(), [](SparseResult* r) { r->Release(); });
}

void SparseResult::SetResults(const std::vector<IndexedResult>& entries) { m_entries = entries; }

std::vector<IndexedResult> SparseResult::GetResults() { return m_entries; }

void SparseResult::SortResults() {
  std::stable_sort(
      m_entries.begin(), m_entries.end(),
      [](const IndexedResult& a, const IndexedResult& b) { return a.GetValue() > b.GetValue(); });
}

float SparseResult::GetResult(unsigned int classIndex) const {
  for (const IndexedResult& e : m_entries) {
    if (e.GetIndex() == classIndex) return e.GetValue();
  }
  return 0.0f;
}

const std::vector<IndexedResult>& SparseResult::GetBestResults(unsigned int /*count*/) {
  return m_entries;
}

eResultType SparseResult::GetResultType(unsigned int classIndex) {
  for (const IndexedResult& e : m_entries) {
    if (e.GetIndex() == classIndex) return e.GetResType();
  }
  return ResTypeNone;
}

void SparseResult::SetResultItem(unsigned int classIndex, float value, eResultType type) {
  for (IndexedResult& e : m_entries) {
    if (e.GetIndex() == classIndex && ((e.GetResType() ^ type) & ResTypeKindMask) == 0) {
      e.SetValue(value);
      e.SetResType(type);
      return;
    }
  }
  m_entries.emplace_back(classIndex, value, type);
}

unsigned int SparseResult::GetFinalClassCount() {
  return static_cast<unsigned int>(
      std::count_if(m_entries.begin(), m_entries.end(),
                    [](const IndexedResult& e) { return (e.GetResType() & ResTypeFinal) != 0; }));
}

unsigned int SparseResult::GetFinalClassId(unsigned int n) {
  for (const IndexedResult& e : m_entries) {
    if ((e.GetResType() & ResTypeFinal) && n-- == 0) return e.GetIndex();
  }
  return 0;
}

Result* SparseResult::Clone() {
  IntrusivePtr<SparseResult> copy = AdoptRef(Create());
  for (const IndexedResult& e : m_entries) {
    copy->SetResultItem(e.GetIndex(), e.GetValue(), e.GetResType());
  }
  return copy.release();
}

void SparseResult::InitializeProperties(XmlSaxParser* /*parser*/,
                                        const unsigned char** /*attributes*/) {}

bool SparseResult::IsValid() const { return !m_entries.empty(); }

}  // namespace Qel
