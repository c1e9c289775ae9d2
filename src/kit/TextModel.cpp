// The naive Bayes text model: training statistics, merging, class models, and the model file.
//
// The file is XML: a root "QelTextModel" with the version and the options as attributes, one
// "Class" element per class (id, label, documents), one "Counts" element per class with features
// and one "DocumentFrequency" element. Their entries come in strictly increasing id order, each
// as two unsigned LEB128 numbers: twice the gap to the previous id (the id less the previous id
// less 1; the first entry's id itself), plus 1 when the value is a multiple of 2^16 and written
// divided by it; then the value, never zero. The bytes are Base64 text in "Chunk" children of at
// most 65,536 entries each; no entry spans two chunks.
#include <qel/core/Exceptions.h>
#include <qel/core/StringConversion.h>
#include <qel/kit/TextModel.h>
#include <qel/learn/BayesClassifier.h>
#include <qel/model/DocumentNode.h>
#include <qel/util/Base64.h>
#include <qel/xml/QelXmlOutStream.h>
#include <qel/xml/XmlSaxCallback.h>
#include <qel/xml/XmlSaxParser.h>

#include <unistd.h>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <functional>
#include <limits>
#include <new>
#include <string>
#include <utility>

#include "core/Throw.h"
#include "kit/FeatureCounts.h"
#include "kit/LargeAllocator.h"
#include "kit/Parallel.h"
#include "model/DocumentWalk.h"

namespace Qel {

namespace {

constexpr double kFixedOne = 65536.0;           // weights are counted in units of 2^-16
constexpr std::uint64_t kUnit = 65536;          // one unit of weight, in those units
constexpr std::size_t kMaxEntryBytes = 5 + 10;  // a gap below 2^32 and a 64-bit value
constexpr std::size_t kChunkEntries = 65536;
constexpr std::size_t kMaxChunkText = 4 * ((kChunkEntries * kMaxEntryBytes + 2) / 3);
constexpr std::uint32_t kMaxClasses = 1u << 20;
constexpr std::size_t kMaxLabelLength = 4096;

const char* const kRoot = "QelTextModel";

std::string DoubleText(double value) {
  char buffer[64];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, r.ptr);
}

void CheckOptions(const ModelOptions& o) {
  if (o.kind != ModelKind::MultinomialNB && o.kind != ModelKind::ComplementNB) {
    Detail::ThrowInvalidArgument(u"kind");
  }
  if (!(o.alpha > 0.0) || !std::isfinite(o.alpha)) Detail::ThrowInvalidArgument(u"alpha");
}

const ModelOptions& Checked(const ModelOptions& o) {
  CheckOptions(o);
  return o;
}

[[noreturn]] void ThrowFormat(const std::u16string& what) {
  Detail::Throw<XMLFormatException>(ErrorId::XmlNodeFormatNewerVersion, what);
}

}  // namespace

struct TextModel::Statistics {
  explicit Statistics(unsigned bits) : bits(bits), documentFrequency(bits) {}
  unsigned bits;
  std::vector<Detail::FeatureCounts> counts;  // per class
  Detail::FeatureCounts documentFrequency;
};

TextModel::TextModel(const ModelOptions& options)
    : m_options(Checked(options)),
      m_vectorizer(options.vectorizer),
      m_stats(std::make_unique<Statistics>(options.vectorizer.hashBits)) {}

TextModel::~TextModel() = default;

std::uint32_t TextModel::AddClass(const std::u16string& label) {
  if (label.empty()) Detail::ThrowInvalidArgument(u"empty class label");
  for (std::size_t i = 0; i < m_labels.size(); ++i) {
    if (m_labels[i] == label) return static_cast<std::uint32_t>(i + 1);
  }
  if (m_labels.size() >= kMaxClasses) Detail::ThrowInvalidArgument(u"too many classes");
  m_labels.push_back(label);
  m_documents.push_back(0);
  m_stats->counts.emplace_back(m_stats->bits);
  return static_cast<std::uint32_t>(m_labels.size());
}

void TextModel::checkFeatures(const std::vector<TermEntry>& features) const {
  const std::uint64_t buckets = std::uint64_t{1} << m_options.vectorizer.hashBits;
  for (const TermEntry& e : features) {
    if (e.id >= buckets) Detail::ThrowInvalidArgument(u"feature id out of range");
    if (!(e.weight >= 0.0f) || !(e.weight * kFixedOne < 9.0e18)) {
      Detail::ThrowInvalidArgument(u"feature weight");
    }
  }
}

void TextModel::Train(std::uint32_t classId, const std::vector<TermEntry>& features) {
  if (classId == 0 || classId > m_labels.size()) Detail::ThrowInvalidArgument(u"class id");
  count(classId, features, m_stats->documentFrequency);
}

void TextModel::count(std::uint32_t classId, const std::vector<TermEntry>& features,
                      Detail::FeatureCounts& documentFrequency) {
  checkFeatures(features);
  Detail::FeatureCounts& counts = m_stats->counts[classId - 1];
  for (const TermEntry& e : features) {
    // weight * 2^16 is exact in a double, and adding 0.5 then truncating rounds half away from
    // zero as llround does (the weight is checked non-negative).
    const auto q = static_cast<std::uint64_t>(static_cast<double>(e.weight) * kFixedOne + 0.5);
    if (q == 0) continue;
    if (!counts.Add(e.id, q) || !documentFrequency.Add(e.id, 1)) {
      Detail::ThrowInvalidArgument(u"count overflow");
    }
  }
  ++m_documents[classId - 1];
}

void TextModel::Train(const std::vector<std::uint32_t>& classIds,
                      const std::vector<std::u16string_view>& texts, unsigned threads,
                      const std::function<void(std::size_t)>& counted) {
  if (classIds.size() != texts.size()) Detail::ThrowInvalidArgument(u"classIds and texts");
  const std::size_t classes = m_labels.size();
  std::vector<std::vector<std::size_t>> byClass(classes);
  std::vector<std::uint64_t> load(classes, 0);
  for (std::size_t i = 0; i < classIds.size(); ++i) {
    if (classIds[i] == 0 || classIds[i] > classes) Detail::ThrowInvalidArgument(u"class id");
    byClass[classIds[i] - 1].push_back(i);
    load[classIds[i] - 1] += texts[i].size() + 16;
  }
  const std::size_t workers = std::min<std::size_t>(Detail::WorkerCount(threads), classes);
  // Each worker takes the largest class not yet taken, so that the small ones even out the end,
  // and keeps document frequencies of its own.
  std::vector<std::size_t> order(classes);
  for (std::size_t c = 0; c < classes; ++c) order[c] = c;
  std::stable_sort(order.begin(), order.end(),
                   [&load](std::size_t a, std::size_t b) { return load[a] > load[b]; });
  std::atomic<std::size_t> next{0};
  std::vector<Detail::FeatureCounts> frequencies(
      workers, Detail::FeatureCounts(m_options.vectorizer.hashBits));
  Detail::RunRanges(workers, threads, [&](std::size_t w) {
    std::vector<TermEntry> features;
    std::size_t done = 0;
    for (std::size_t k = next++; k < classes; k = next++) {
      const std::size_t c = order[k];
      for (std::size_t i : byClass[c]) {
        m_vectorizer.Vectorize(texts[i], features);
        count(static_cast<std::uint32_t>(c + 1), features, frequencies[w]);
        if (++done == 64 && counted) counted(std::exchange(done, 0));
      }
    }
    if (done != 0 && counted) counted(done);
  });
  // The largest worker's frequencies become the model's when it has none yet; the others add.
  std::stable_sort(frequencies.begin(), frequencies.end(),
                   [](const auto& a, const auto& b) { return a.Size() > b.Size(); });
  bool ok = true;
  for (Detail::FeatureCounts& f : frequencies) {
    if (m_stats->documentFrequency.Size() == 0) {
      std::swap(m_stats->documentFrequency, f);
      continue;
    }
    f.ForEach(
        [&](std::uint32_t id, std::uint64_t v) { ok &= m_stats->documentFrequency.Add(id, v); });
  }
  if (!ok) Detail::ThrowInvalidArgument(u"count overflow");
}

void TextModel::Train(DocumentNode* root, const Representation::RepTag& tag) {
  Detail::ForEachDocument(root, true, [this, &tag](DocumentNode* d) {
    const std::uint32_t id = d->GetClassId();
    if (id == 0 || id > m_labels.size()) return;
    const Representation* r = d->GetRepresentation(tag);
    if (r == nullptr || typeid(*r) != typeid(TermVector)) return;
    Train(id, static_cast<const TermVector*>(r)->GetEntries());
  });
}

void TextModel::Merge(const TextModel& other) {
  if (!(other.m_options == m_options)) Detail::ThrowInvalidArgument(u"merge: other options");
  if (&other == this) Detail::ThrowInvalidArgument(u"merge: the same model");
  for (std::size_t c = 0; c < other.m_labels.size(); ++c) {
    const std::uint32_t id = AddClass(other.m_labels[c]);
    if (m_documents[id - 1] > UINT64_MAX - other.m_documents[c]) {
      Detail::ThrowInvalidArgument(u"count overflow");
    }
    m_documents[id - 1] += other.m_documents[c];
    Detail::FeatureCounts& mine = m_stats->counts[id - 1];
    bool ok = true;
    other.m_stats->counts[c].ForEach(
        [&](std::uint32_t f, std::uint64_t v) { ok &= mine.Add(f, v); });
    if (!ok) Detail::ThrowInvalidArgument(u"count overflow");
  }
  bool ok = true;
  other.m_stats->documentFrequency.ForEach(
      [&](std::uint32_t f, std::uint64_t v) { ok &= m_stats->documentFrequency.Add(f, v); });
  if (!ok) Detail::ThrowInvalidArgument(u"count overflow");
}

namespace {

// Zeroed memory for `count` floats, from the kit's allocator for large tables (pages of their
// own, huge where the system gives them, so that they fault in where they are first written).
std::shared_ptr<float[]> ZeroedFloats(std::size_t count) {
  Detail::LargeAllocator<float> allocator;
  float* data = nullptr;
  try {
    data = allocator.allocate(count);
  } catch (const std::bad_alloc&) {
    Detail::ThrowOutOfMemory(u"[TextModel::CreateClassTree]");
  }
  // Fresh pages are zero already; smaller arrays come from operator new.
  if (count * sizeof(float) < Detail::LargeAllocator<float>::kLarge) std::fill_n(data, count, 0.0f);
  return std::shared_ptr<float[]>(
      data, [allocator, count](float* p) mutable { allocator.deallocate(p, count); });
}

}  // namespace

DocumentNode* TextModel::CreateClassTree(unsigned threads) const {
  if (m_labels.empty()) Detail::ThrowInvalidArgument(u"the model has no class");
  std::uint64_t totalDocuments = 0;
  for (std::size_t c = 0; c < m_labels.size(); ++c) {
    if (m_documents[c] == 0)
      Detail::ThrowInvalidArgument(u"class without documents: " + m_labels[c]);
    totalDocuments += m_documents[c];
  }
  const Detail::FeatureCounts& frequency = m_stats->documentFrequency;
  if (frequency.Size() == 0) Detail::ThrowInvalidArgument(u"the model has no feature");
  const std::size_t buckets = std::size_t{1} << m_options.vectorizer.hashBits;
  const std::size_t classes = m_labels.size();
  const std::size_t v = frequency.Size();
  const double alpha = m_options.alpha;
  const double av = alpha * static_cast<double>(v);
  const bool complement = m_options.kind == ModelKind::ComplementNB;
  // One row per feature: the classes' scores side by side, then the feature's weight, so that
  // scoring a document against every class reads each of its rows from memory once. Rows of
  // features no document had stay zero.
  const std::size_t stride = classes + 1;
  const std::shared_ptr<float[]> table = ZeroedFloats(buckets * stride);

  auto weightOf = [&](std::uint64_t df) {
    return m_options.idf ? std::log((1.0 + static_cast<double>(totalDocuments)) /
                                    (1.0 + static_cast<double>(df))) +
                               1.0
                         : 1.0;
  };
  std::vector<double> priors(classes, 0.0);
  for (std::size_t c = 0; c < classes && !complement; ++c) {
    priors[c] = std::log(static_cast<double>(m_documents[c]) / static_cast<double>(totalDocuments));
  }

  // The rows are filled in ranges of ids, each on one worker; a range keeps its own bounds.
  const std::size_t ranges = threads == 1 ? 1 : 16;
  std::vector<double> rangeLo(ranges, std::numeric_limits<double>::max());
  std::vector<double> rangeHi(ranges, std::numeric_limits<double>::lowest());
  auto rangeOf = [&](std::size_t r) {
    return std::pair{static_cast<std::uint32_t>(buckets * r / ranges),
                     static_cast<std::uint32_t>(buckets * (r + 1) / ranges)};
  };
  // Writes a score and widens the bounds `lo` and `hi` (a worker's own, not shared in memory).
  auto put = [&](std::size_t row, std::size_t c, double logTheta, double& lo, double& hi) {
    const float score = static_cast<float>(logTheta);
    table[row * stride + c] = score;
    lo = std::min(lo, static_cast<double>(score));
    hi = std::max(hi, static_cast<double>(score));
  };

  if (!complement && !m_options.idf) {
    // Unweighted counts: a class's total is an exact integer sum, and a feature the class never
    // saw scores log(alpha) less the denominator, so only the class's own features are visited.
    std::vector<double> denominator(classes);
    for (std::size_t c = 0; c < classes; ++c) {
      unsigned __int128 sum = 0;
      m_stats->counts[c].ForEach([&sum](std::uint32_t, std::uint64_t q) { sum += q; });
      denominator[c] = std::log(static_cast<double>(sum) / kFixedOne + av);
    }
    Detail::RunRanges(ranges, threads, [&](std::size_t r) {
      const auto [first, last] = rangeOf(r);
      double lo = rangeLo[r];
      double hi = rangeHi[r];
      frequency.ForEachIn(first, last, [&](std::uint32_t id, std::uint64_t) {
        table[id * stride + classes] = 1.0f;
        for (std::size_t c = 0; c < classes; ++c) {
          if (m_stats->counts[c].Size() < v) put(id, c, std::log(alpha) - denominator[c], lo, hi);
        }
      });
      for (std::size_t c = 0; c < classes; ++c) {
        m_stats->counts[c].ForEachIn(first, last, [&](std::uint32_t id, std::uint64_t q) {
          put(id, c, std::log(static_cast<double>(q) / kFixedOne + alpha) - denominator[c], lo, hi);
        });
      }
      rangeLo[r] = lo;
      rangeHi[r] = hi;
    });
  } else {
    const auto features = frequency.Sorted();
    std::vector<double> weights(v);
    for (std::size_t i = 0; i < v; ++i) {
      weights[i] = weightOf(features[i].second);
      table[features[i].first * stride + classes] = static_cast<float>(weights[i]);
    }
    auto countOf = [&](std::size_t c, std::size_t i) {
      return static_cast<double>(m_stats->counts[c].Get(features[i].first)) / kFixedOne *
             weights[i];
    };
    std::vector<double> classTotal(classes, 0.0);
    std::vector<double> featureTotal(v, 0.0);
    for (std::size_t c = 0; c < classes; ++c) {
      for (std::size_t i = 0; i < v; ++i) {
        const double x = countOf(c, i);
        classTotal[c] += x;
        featureTotal[i] += x;
      }
    }
    double grandTotal = 0.0;
    for (double t : classTotal) grandTotal += t;
    for (std::size_t c = 0; c < classes; ++c) {
      const double denominator =
          std::log((complement ? grandTotal - classTotal[c] : classTotal[c]) + av);
      for (std::size_t i = 0; i < v; ++i) {
        const double n = countOf(c, i);
        const double logTheta =
            std::log((complement ? featureTotal[i] - n : n) + alpha) - denominator;
        put(features[i].first, c, complement ? -logTheta : logTheta, rangeLo[0], rangeHi[0]);
      }
    }
  }
  double lo = *std::min_element(rangeLo.begin(), rangeLo.end());
  const double hi = *std::max_element(rangeHi.begin(), rangeHi.end());
  double lowestPrior = 0.0;
  for (double p : priors) lowestPrior = std::min(lowestPrior, p);
  lo += lowestPrior;

  IntrusivePtr<DocumentNode> root = AdoptRef(DocumentNode::Create());
  for (std::size_t c = 0; c < classes; ++c) {
    IntrusivePtr<ClassModel> model =
        AdoptRef(ClassModel::Create(static_cast<std::uint32_t>(c + 1), m_labels[c], table, buckets,
                                    stride, c, priors[c], lo, hi));
    root->AddChild(model.get());
    model.release();
  }
  return root.release();
}

// ---------------------------------------------------------------------------------------------
// The file.

namespace {

void PutNumber(std::uint64_t value, std::string& out) {
  while (value >= 0x80) {
    out.push_back(static_cast<char>((value & 0x7F) | 0x80));
    value >>= 7;
  }
  out.push_back(static_cast<char>(value));
}

// An unsigned LEB128 number at `p` (advanced past it); InvalidArgument when it is cut off by the
// end of its chunk or does not fit in 64 bits.
std::uint64_t TakeNumber(const unsigned char*& p, const unsigned char* end) {
  std::uint64_t value = 0;
  for (unsigned shift = 0; p != end; shift += 7) {
    const unsigned char byte = *p++;
    if (shift == 63 && byte > 1) break;
    value |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
    if (byte < 0x80) return value;
  }
  Detail::ThrowInvalidArgument(u"Chunk: bad number");
}

// One element's entries as the Base64 texts of its chunks.
struct EncodedEntries {
  std::uint64_t entries = 0;
  std::vector<std::u16string> chunks;
};

EncodedEntries Encode(const Detail::FeatureCounts& counts) {
  const auto entries = counts.Sorted();
  EncodedEntries out;
  out.entries = entries.size();
  std::string bytes;
  std::int64_t previous = -1;
  for (std::size_t start = 0; start < entries.size(); start += kChunkEntries) {
    const std::size_t end = std::min(entries.size(), start + kChunkEntries);
    bytes.clear();
    for (std::size_t i = start; i < end; ++i) {
      // Most values are whole units (sums of unit weights): those are written in units.
      const std::uint64_t gap = static_cast<std::uint64_t>(entries[i].first - previous - 1);
      const bool whole = entries[i].second % kUnit == 0;
      PutNumber(gap * 2 + (whole ? 1 : 0), bytes);
      PutNumber(whole ? entries[i].second / kUnit : entries[i].second, bytes);
      previous = entries[i].first;
    }
    const std::string text = Base64::ToBase64(bytes);
    out.chunks.emplace_back(text.begin(), text.end());
  }
  return out;
}

void WriteEntries(QelXmlOutStream& xml, const char* element, const char* attribute,
                  std::uint32_t attributeValue, const EncodedEntries& encoded) {
  xml.CreateNode(element);
  if (attribute != nullptr) xml.AddProperty(attribute, attributeValue);
  xml.AddProperty("entries", encoded.entries);
  for (const std::u16string& chunk : encoded.chunks) xml.AddSubNodeText("Chunk", chunk);
  xml.CloseNode(element);
}

std::string NativePath(const std::u16string& path) { return ConvertWideCharToUtf8(path); }

}  // namespace

void TextModel::Save(const std::u16string& path, bool compressed, unsigned threads) const {
  const std::u16string temporary =
      path + u"." + ConvertUtf8ToWideChar(std::to_string(::getpid())) + u".tmp";
  // The classes' counts, then the document frequencies, encoded on the workers.
  const std::size_t classes = m_labels.size();
  std::vector<EncodedEntries> encoded(classes + 1);
  Detail::RunRanges(classes + 1, threads, [&](std::size_t e) {
    encoded[e] = Encode(e < classes ? m_stats->counts[e] : m_stats->documentFrequency);
  });
  try {
    QelXmlOutStream xml(compressed ? StorageCompressedFile : StorageFile, temporary);
    xml.CreateNode(kRoot);
    const VectorizerOptions& v = m_options.vectorizer;
    xml.AddProperty("version", kFileVersion);
    xml.AddProperty("kind", static_cast<std::int32_t>(m_options.kind));
    xml.AddProperty("alpha", DoubleText(m_options.alpha).c_str());
    xml.AddProperty("idf", static_cast<std::int32_t>(m_options.idf));
    xml.AddProperty("words", static_cast<std::int32_t>(v.words));
    xml.AddProperty("minWordLength", v.minWordLength);
    xml.AddProperty("digits", static_cast<std::int32_t>(v.digits));
    xml.AddProperty("charMin", v.charMin);
    xml.AddProperty("charMax", v.charMax);
    xml.AddProperty("hashBits", v.hashBits);
    xml.AddProperty("sublinearTf", static_cast<std::int32_t>(v.sublinearTf));
    xml.AddProperty("classes", static_cast<std::uint32_t>(m_labels.size()));
    for (std::size_t c = 0; c < m_labels.size(); ++c) {
      xml.CreateNode("Class");
      xml.AddProperty("id", static_cast<std::uint32_t>(c + 1));
      xml.AddProperty("documents", m_documents[c]);
      xml.AddProperty("label", m_labels[c]);
      xml.CloseNode("Class");
    }
    for (std::size_t c = 0; c < classes; ++c) {
      WriteEntries(xml, "Counts", "class", static_cast<std::uint32_t>(c + 1), encoded[c]);
    }
    WriteEntries(xml, "DocumentFrequency", nullptr, 0, encoded[classes]);
    xml.CloseNode(kRoot);
    xml.Close();
  } catch (...) {
    std::remove(NativePath(temporary).c_str());
    throw;
  }
  if (std::rename(NativePath(temporary).c_str(), NativePath(path).c_str()) != 0) {
    const int err = errno;
    std::remove(NativePath(temporary).c_str());
    Detail::ThrowFileError(ErrorId::FileWrite, path, err);
  }
}

// Reads a model file's events into a new model, checking every value as it comes.
class TextModelReader : public XmlSaxCallback {
 public:
  std::unique_ptr<TextModel> Take() {
    if (!m_complete || m_model == nullptr) ThrowFormat(u"QelTextModel (incomplete)");
    return std::move(m_model);
  }

  void OnStartElement(XmlSaxParser* parser, const unsigned char* name,
                      const unsigned char** attributes) override {
    const std::string element(reinterpret_cast<const char*>(name));
    parser->PushCallback(this);
    ++m_depth;
    if (m_depth == 1) {
      if (element != kRoot) ThrowFormat(u"QelTextModel");
      startRoot(attributes);
      return;
    }
    if (m_model == nullptr || m_complete) ThrowFormat(u"QelTextModel");
    if (m_depth == 2) {
      if (element == "Class") {
        startClass(attributes);
      } else if (element == "Counts") {
        if (m_model->m_labels.size() != m_declaredClasses) ThrowFormat(u"Class");
        const std::uint64_t id = Number(attributes, "class", UINT32_MAX);
        if (id == 0 || id > m_model->m_labels.size() || m_seenCounts[id - 1]) {
          Detail::ThrowInvalidArgument(u"Counts: class id out of range");
        }
        m_seenCounts[id - 1] = true;
        startEntries(&m_model->m_stats->counts[id - 1], attributes);
      } else if (element == "DocumentFrequency") {
        if (m_model->m_labels.size() != m_declaredClasses || m_seenFrequency) {
          ThrowFormat(u"DocumentFrequency");
        }
        m_seenFrequency = true;
        startEntries(&m_model->m_stats->documentFrequency, attributes);
      } else {
        ThrowFormat(ConvertUtf8ToWideChar(element));
      }
    } else if (m_depth == 3 && element == "Chunk" && m_target != nullptr) {
    } else {
      ThrowFormat(ConvertUtf8ToWideChar(element));
    }
  }

  void OnEndElement(XmlSaxParser* parser, const unsigned char* name) override {
    const std::string element(reinterpret_cast<const char*>(name));
    if (m_depth == 3) {
      readChunk(parser);
    } else if (m_depth == 2 && m_target != nullptr) {
      if (m_read != m_declaredEntries) Detail::ThrowInvalidArgument(u"entries: count mismatch");
      m_target = nullptr;
    } else if (m_depth == 1) {
      finish();
    }
    --m_depth;
  }

 private:
  static std::uint64_t Number(const unsigned char** attributes, const char* name,
                              std::uint64_t maximum) {
    const char* text = Attribute(attributes, name);
    if (text == nullptr) ThrowFormat(ConvertUtf8ToWideChar(name));
    std::uint64_t value = 0;
    const char* end = text + std::strlen(text);
    const auto r = std::from_chars(text, end, value);
    if (r.ec != std::errc() || r.ptr != end || text == end) {
      ThrowFormat(ConvertUtf8ToWideChar(name));
    }
    if (value > maximum) Detail::ThrowInvalidArgument(ConvertUtf8ToWideChar(name));
    return value;
  }
  static const char* Attribute(const unsigned char** attributes, const char* name) {
    if (attributes == nullptr) return nullptr;
    for (const unsigned char** a = attributes; a[0] != nullptr && a[1] != nullptr; a += 2) {
      if (std::strcmp(reinterpret_cast<const char*>(a[0]), name) == 0) {
        return reinterpret_cast<const char*>(a[1]);
      }
    }
    return nullptr;
  }

  void startRoot(const unsigned char** attributes) {
    const char* version = Attribute(attributes, "version");
    if (version == nullptr || version != std::to_string(TextModel::kFileVersion)) {
      Detail::Throw<XMLFormatException>(
          ErrorId::XmlFileNewerVersion,
          u"QelTextModel version " + ConvertUtf8ToWideChar(version ? version : "none"));
    }
    ModelOptions o;
    o.kind = static_cast<ModelKind>(Number(attributes, "kind", 1000));
    const char* alpha = Attribute(attributes, "alpha");
    if (alpha == nullptr) ThrowFormat(u"alpha");
    const char* alphaEnd = alpha + std::strlen(alpha);
    const auto r = std::from_chars(alpha, alphaEnd, o.alpha);
    if (r.ec != std::errc() || r.ptr != alphaEnd) ThrowFormat(u"alpha");
    o.idf = Number(attributes, "idf", 1) != 0;
    VectorizerOptions& v = o.vectorizer;
    v.words = Number(attributes, "words", 1) != 0;
    v.minWordLength = static_cast<unsigned>(Number(attributes, "minWordLength", 1000));
    v.digits = Number(attributes, "digits", 1) != 0;
    v.charMin = static_cast<unsigned>(Number(attributes, "charMin", 1000));
    v.charMax = static_cast<unsigned>(Number(attributes, "charMax", 1000));
    v.hashBits = static_cast<unsigned>(Number(attributes, "hashBits", 1000));
    v.sublinearTf = Number(attributes, "sublinearTf", 1) != 0;
    m_declaredClasses = Number(attributes, "classes", kMaxClasses);
    m_model = std::make_unique<TextModel>(o);  // checks the options
  }

  void startClass(const unsigned char** attributes) {
    if (m_model->m_labels.size() >= m_declaredClasses) ThrowFormat(u"Class");
    const std::uint64_t id = Number(attributes, "id", kMaxClasses);
    if (id != m_model->m_labels.size() + 1) Detail::ThrowInvalidArgument(u"Class: id");
    const std::uint64_t documents = Number(attributes, "documents", UINT64_MAX);
    const char* label = Attribute(attributes, "label");
    if (label == nullptr || *label == '\0' || std::strlen(label) > kMaxLabelLength) {
      ThrowFormat(u"Class: label");
    }
    const std::u16string text = ConvertUtf8ToWideChar(label);
    if (m_model->AddClass(text) != id) Detail::ThrowInvalidArgument(u"Class: duplicate label");
    m_model->m_documents[id - 1] = documents;
    if (m_totalDocuments > UINT64_MAX - documents) Detail::ThrowInvalidArgument(u"documents");
    m_totalDocuments += documents;
    m_seenCounts.push_back(false);
  }

  void startEntries(Detail::FeatureCounts* target, const unsigned char** attributes) {
    m_declaredEntries = Number(attributes, "entries", UINT64_MAX);
    m_target = target;
    m_read = 0;
    m_lastId = -1;
    m_isFrequency = target == &m_model->m_stats->documentFrequency;
  }

  void readChunk(XmlSaxParser* parser) {
    const std::size_t size = parser->GetCharacterBufferSize();
    if (size == 0 || size > kMaxChunkText || size % 4 != 0) {
      Detail::ThrowInvalidArgument(u"Chunk: length");
    }
    auto length = static_cast<unsigned int>(size);
    m_bytes.resize(Base64::CalculateDecodedSize(length));
    // Throws for a bad character.
    Base64::Decode(reinterpret_cast<const char*>(parser->GetCharacterBuffer()), length,
                   m_bytes.data());
    const std::uint64_t buckets = std::uint64_t{1} << m_model->m_options.vectorizer.hashBits;
    const unsigned char* p = m_bytes.data();
    const unsigned char* const end = p + length;
    // Every entry takes at least two bytes.
    m_target->ReserveInOrder(std::min<std::uint64_t>(length / 2, m_declaredEntries - m_read));
    std::size_t inChunk = 0;
    while (p != end) {
      const std::uint64_t code = TakeNumber(p, end);
      const std::uint64_t gap = code / 2;
      std::uint64_t value = TakeNumber(p, end);
      if (code % 2 == 1) {
        if (value > UINT64_MAX / kUnit) Detail::ThrowInvalidArgument(u"Chunk: count out of range");
        value *= kUnit;
      }
      if (gap >= buckets || static_cast<std::uint64_t>(m_lastId + 1) + gap >= buckets) {
        Detail::ThrowInvalidArgument(u"Chunk: feature id out of range");
      }
      const std::int64_t id = m_lastId + 1 + static_cast<std::int64_t>(gap);
      if (value == 0 || (m_isFrequency && value > m_totalDocuments)) {
        Detail::ThrowInvalidArgument(u"Chunk: count out of range");
      }
      m_lastId = id;
      if (++inChunk > kChunkEntries) Detail::ThrowInvalidArgument(u"Chunk: entries");
      if (++m_read > m_declaredEntries) Detail::ThrowInvalidArgument(u"entries: count mismatch");
      m_target->Add(static_cast<std::uint32_t>(id), value);
    }
  }

  void finish() {
    if (m_model == nullptr || m_model->m_labels.size() != m_declaredClasses || !m_seenFrequency) {
      ThrowFormat(u"QelTextModel (incomplete)");
    }
    for (bool seen : m_seenCounts) {
      if (!seen) ThrowFormat(u"Counts (missing)");
    }
    // Every counted feature was in some document.
    std::vector<bool> inDocuments(std::size_t{1} << m_model->m_options.vectorizer.hashBits);
    m_model->m_stats->documentFrequency.ForEach(
        [&inDocuments](std::uint32_t id, std::uint64_t) { inDocuments[id] = true; });
    for (const auto& counts : m_model->m_stats->counts) {
      counts.ForEach([&inDocuments](std::uint32_t id, std::uint64_t) {
        if (!inDocuments[id]) Detail::ThrowInvalidArgument(u"Counts: feature without documents");
      });
    }
    m_complete = true;
  }

  std::unique_ptr<TextModel> m_model;
  int m_depth = 0;
  bool m_complete = false;
  std::uint64_t m_declaredClasses = 0;
  std::uint64_t m_totalDocuments = 0;
  std::vector<bool> m_seenCounts;
  bool m_seenFrequency = false;
  Detail::FeatureCounts* m_target = nullptr;
  bool m_isFrequency = false;
  std::uint64_t m_declaredEntries = 0;
  std::uint64_t m_read = 0;
  std::int64_t m_lastId = -1;
  std::vector<unsigned char> m_bytes;  // a chunk, decoded
};

std::unique_ptr<TextModel> TextModel::Load(const std::u16string& path) {
  TextModelReader reader;
  XmlSaxParser parser;
  parser.ParseFile(path, &reader);
  return reader.Take();
}

std::unique_ptr<TextModel> TextModel::LoadFromMemory(const char* data, std::size_t size) {
  if (size > UINT32_MAX) Detail::ThrowInvalidArgument(u"model text too large");
  TextModelReader reader;
  XmlSaxParser parser;
  parser.ParseMemory(data, static_cast<unsigned int>(size), &reader);
  return reader.Take();
}

}  // namespace Qel
