// The dense classification result and its best-results cache.
#include <qel/core/IntrusivePtr.h>
#include <qel/model/FullResult.h>
#include <qel/xml/XmlSaxParser.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "core/Throw.h"

namespace Qel {

FullResult* FullResult::Create() {
  FullResult* result = new (std::nothrow) FullResult();
  if (result == nullptr) Detail::ThrowOutOfMemory(u"[1012]");
  result->AddRefCount();
  return result;
}

std::shared_ptr<FullResult> FullResult::CreateSharedPtr() {
  return std::shared_ptr<FullResult>(Create(), [](FullResult* r) { r->Release(); });
}

void FullResult::Initialize(unsigned int classCount, FullResultItem* init) {
  const FullResultItem item = init != nullptr ? *init : FullResultItem();
  m_items.assign(static_cast<std::size_t>(classCount) + 1, item);
  m_best.clear();
}

void FullResult::SetResults(const std::vector<FullResultItem>& items) {
  m_items = items;
  m_best.clear();
}

void FullResult::SetResults(const std::vector<float>& values) {
  m_items.clear();
  m_items.reserve(values.size());
  for (float v : values) m_items.emplace_back(v, ResTypeNew);
  m_best.clear();
}

std::vector<FullResultItem> FullResult::GetResults() { return m_items; }

float FullResult::GetResult(unsigned int classIndex) const {
  return classIndex < m_items.size() ? m_items[classIndex].GetValue() : 0.0f;
}

const std::vector<IndexedResult>& FullResult::GetBestResults(unsigned int count) {
  std::size_t wanted = count == 0 ? m_items.size() : count;
  if (m_best.size() >= wanted) return m_best;
  std::vector<IndexedResult> collected;
  for (std::size_t i = 0; i < m_items.size(); ++i) {
    const FullResultItem& item = m_items[i];
    if (item.GetValue() > 0.0f || item.GetResType() == ResTypeFinal) {
      collected.emplace_back(static_cast<unsigned int>(i), item.GetValue(), item.GetResType());
    }
  }
  const std::size_t k = std::min(wanted, collected.size());
  if (k > 0) {
    auto byValue = [](const IndexedResult& a, const IndexedResult& b) {
      return a.GetValue() > b.GetValue();
    };
    std::partial_sort(collected.begin(), collected.begin() + static_cast<std::ptrdiff_t>(k),
                      collected.end(), byValue);
    collected.resize(k);
    m_best = std::move(collected);
  } else {
    m_best.assign(1, IndexedResult(0, 0.0f, ResTypeNew));
  }
  return m_best;
}

eResultType FullResult::GetResultType(unsigned int classIndex) {
  return classIndex < m_items.size() ? m_items[classIndex].GetResType() : ResTypeNone;
}

void FullResult::SetResultItem(unsigned int classIndex, float value, eResultType type) {
  if (classIndex >= m_items.size()) {
    try {
      m_items.resize(static_cast<std::size_t>(classIndex) + 1);
    } catch (const std::bad_alloc&) {
      Detail::ThrowOutOfMemory(u"[1012]");
    }
  }
  FullResultItem& item = m_items[classIndex];
  item.SetResType(type);
  // A NaN never compares equal, so storing one always empties the cache.
  if (!(item.GetValue() == value)) {
    item.SetValue(value);
    m_best.clear();
  }
}

unsigned int FullResult::GetFinalClassCount() {
  unsigned int count = 0;
  for (std::size_t i = 1; i < m_items.size(); ++i) {
    if (m_items[i].GetResType() & ResTypeFinal) ++count;
  }
  return count;
}

unsigned int FullResult::GetFinalClassId(unsigned int n) {
  for (std::size_t i = 1; i < m_items.size(); ++i) {
    if ((m_items[i].GetResType() & ResTypeFinal) && n-- == 0) return static_cast<unsigned int>(i);
  }
  return 0;
}

Result* FullResult::Clone() {
  IntrusivePtr<FullResult> copy = AdoptRef(Create());
  copy->m_items = m_items;
  return copy.release();
}

void FullResult::InitializeProperties(XmlSaxParser* parser, const unsigned char** attributes) {
  if (attributes == nullptr) return;
  for (const unsigned char** a = attributes; a[0] != nullptr && a[1] != nullptr; a += 2) {
    if (std::strcmp(reinterpret_cast<const char*>(a[0]), "ClsCount") != 0) continue;
    const unsigned int classCount = parser->GetSizetValue(a[1], 0);
    if (classCount > kMaxLoadedClassIndex) Detail::ThrowInvalidArgument(u"ClsCount");
    if (classCount != 0) {
      m_items.assign(static_cast<std::size_t>(classCount) + 1, FullResultItem());
      m_best.clear();
    }
  }
}

bool FullResult::IsValid() const { return !m_items.empty(); }

void FullResult::GetClsItemProperties(XmlSaxParser* parser, const unsigned char** attributes,
                                      float& conf, eResultType& type, unsigned int& classId) {
  if (attributes == nullptr) return;
  for (const unsigned char** a = attributes; a[0] != nullptr && a[1] != nullptr; a += 2) {
    const char* name = reinterpret_cast<const char*>(a[0]);
    if (std::strcmp(name, "conf") == 0) {
      conf = static_cast<float>(parser->GetDoubleValue(a[1], conf));
    } else if (std::strcmp(name, "restype") == 0) {
      type = static_cast<eResultType>(parser->GetLongValue(a[1], type));
    } else if (std::strcmp(name, "ClassId") == 0) {
      classId = parser->GetSizetValue(a[1], classId);
    }
  }
}

}  // namespace Qel
