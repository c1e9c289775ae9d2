// Reading and writing stream in chunks of records, so that memory stays flat whatever the size
// of the input. Each chunk is prepared by one RecordPreprocessor per worker thread (the class
// serves one thread at a time) and written in input order.
#include "Records.h"

#include <qel/core/Exceptions.h>
#include <qel/core/StringConversion.h>
#include <qel/text/RecordPreprocessor.h>
#include <qel/text/Unicode.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "LineInput.h"
#include "Output.h"
#include "Progress.h"
#include "Tool.h"

namespace QelTool {

namespace {

// Lines read, prepared and written together; for UTF-8, bytes of lines.
constexpr std::size_t kChunk = 8192;
constexpr std::size_t kBlock = std::size_t{1} << 18;

// "\t" and "\\" in a delimiter or qualifier given on the command line.
std::u16string Unescape(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == 't' || text[i + 1] == '\\')) {
      out += text[i + 1] == 't' ? '\t' : '\\';
      ++i;
    } else {
      out += text[i];
    }
  }
  return FromUtf8(out);
}

std::vector<Qel::SubstitutionPair> ReadPairs(const std::string& path) {
  std::vector<Qel::SubstitutionPair> pairs;
  LineInput input(path);
  std::u16string line;
  while (input.Read(line)) {
    if (line.empty()) continue;
    const std::size_t tab = line.find(u'\t');
    const std::string where = input.Name() + ":" + std::to_string(input.LineNumber()) + ": ";
    if (tab == std::u16string::npos) {
      throw ToolError(kExitData, where + "no tab between the search text and its replacement");
    }
    if (tab == 0) throw ToolError(kExitData, where + "empty search text");
    pairs.emplace_back(line.substr(0, tab), line.substr(tab + 1));
  }
  return pairs;
}

Qel::RecordPreprocessor MakePreprocessor(const RecordsOptions& o) {
  Qel::RecordPreprocessor p;
  try {
    p.SetDelimiterChars(Unescape(o.delimiters));
  } catch (const Qel::BaseException& e) {
    throw ToolError(kExitUsage, "--delimiter: " + ToUtf8(e.GetErrorDescription()));
  }
  p.SetFieldProtectionItem(Unescape(o.qualifier));
  p.SetHandleFieldProtection(o.protect && !o.qualifier.empty());
  p.SetPerformUnicodeNormalization(o.widthForms || o.normalize);
  p.SetPerformCjkNormalization(o.cjk || o.normalize);
  p.SetIgnoreCharacterCase(o.foldCase || o.normalize);
  if (o.spelling || o.normalize) {
    p.SetLanguageSpellingNormalizationSubstitutionPairs(
        Qel::Unicode::GetLanguageSpellingNormalizationSubstitutionPairs());
  }
  p.SetRemoveChars(FromUtf8(o.removeChars));
  p.SetKeepEmptyFields(o.keepEmpty || !o.fields.empty());
  if (!o.pairs.empty()) p.SetSubstitutionPairs(ReadPairs(o.pairs));
  return p;
}

// A chunk of the input on its way through the pipeline: read by the main thread, prepared by
// one worker, written by the main thread in input order.
struct Chunk {
  enum class State { Free, Read, Taken, Prepared };
  State state = State::Free;
  // The input: a block of UTF-8 cut after a line end, or (other encodings) `count` lines.
  std::string bytes;
  std::vector<std::u16string> lines;
  std::size_t count = 0;
  std::uint64_t bytesRead = 0;  // the input's position after this chunk, for the progress bar
  // The result: the lines the chunk held, its output and the records refused.
  std::size_t lineCount = 0;
  std::vector<char16_t> units;  // the block decoded; only ever grows
  std::u16string line;
  std::vector<std::u16string> fields;  // of one record, reused
  std::u16string text;                 // one record's output line
  std::vector<char> utf8;              // their UTF-8, `utf8Size` bytes of it; only ever grows
  std::size_t utf8Size = 0;
  std::vector<std::pair<std::size_t, std::string>> refused;  // line index in the chunk, reason
  std::exception_ptr failure;                                // only ever out of memory
};

void PrepareLine(Qel::RecordPreprocessor& p, const std::u16string& line, std::size_t index,
                 const std::vector<unsigned int>& pick, Chunk& chunk) {
  if (line.empty()) return;  // a blank line holds no record
  std::vector<std::u16string>& fields = chunk.fields;
  try {
    p.ProcessRecord(line, fields);
  } catch (const Qel::BaseException& e) {
    chunk.refused.emplace_back(index, OneLine(ToUtf8(e.GetErrorDescription())));
    return;
  }
  // The record's line, then its UTF-8 at the end of the chunk's output, with the room the
  // vector path needs. Control characters never survive preparation, so a tab cannot occur
  // inside a field.
  std::u16string& text = chunk.text;
  text.clear();
  const std::size_t count = pick.empty() ? fields.size() : pick.size();
  for (std::size_t k = 0; k < count; ++k) {
    if (k > 0) text += u'\t';
    if (pick.empty()) {
      text += fields[k];
    } else if (pick[k] <= fields.size()) {
      text += fields[pick[k] - 1];
    }
  }
  text += u'\n';
  const std::size_t room = chunk.utf8Size + 3 * text.size();
  if (chunk.utf8.size() < room) chunk.utf8.resize(std::max(room, 2 * chunk.utf8.size()));
  chunk.utf8Size += Qel::Utf16ToUtf8(text.data(), text.size(), chunk.utf8.data() + chunk.utf8Size);
}

// The first line end (LF or CR) in data[from, size), or `size`.
std::size_t LineEnd(const char16_t* data, std::size_t from, std::size_t size) {
  std::size_t i = from;
#if defined(__SSE2__)
  const __m128i lf = _mm_set1_epi16(u'\n');
  const __m128i cr = _mm_set1_epi16(u'\r');
  for (; i + 8 <= size; i += 8) {
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
    const int ends =
        _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(units, lf), _mm_cmpeq_epi16(units, cr)));
    if (ends != 0)
      return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(ends))) / 2;
  }
#endif
  while (i < size && data[i] != u'\n' && data[i] != u'\r') ++i;
  return i;
}

void Prepare(Qel::RecordPreprocessor& p, const std::vector<unsigned int>& pick, Chunk& chunk) {
  chunk.utf8Size = 0;
  chunk.refused.clear();
  if (chunk.count > 0) {
    for (std::size_t i = 0; i < chunk.count; ++i) PrepareLine(p, chunk.lines[i], i, pick, chunk);
    chunk.lineCount = chunk.count;
  } else {
    // Line ends are ASCII and end every ill-formed sequence, so the block converts as a whole
    // exactly as its lines would one by one. Lines end at LF, CR or CR LF.
    if (chunk.units.size() < chunk.bytes.size()) chunk.units.resize(chunk.bytes.size());
    const char16_t* data = chunk.units.data();
    const std::size_t size =
        Qel::Utf8ToUtf16(chunk.bytes.data(), chunk.bytes.size(), chunk.units.data());
    std::size_t index = 0;
    for (std::size_t begin = 0; begin < size; ++index) {
      const std::size_t end = LineEnd(data, begin, size);
      chunk.line.assign(data + begin, end - begin);
      PrepareLine(p, chunk.line, index, pick, chunk);
      begin = end + 1;
      if (end + 1 < size && data[end] == u'\r' && data[end + 1] == u'\n') ++begin;
    }
    chunk.lineCount = index;
  }
}

// The worker threads and the chunks they share. Chunk n lives in slot n % size; the main thread
// reads chunk n only once chunk n - size has been written.
class Pipeline {
 public:
  Pipeline(std::vector<Qel::RecordPreprocessor>& preprocessors,
           const std::vector<unsigned int>& pick)
      : m_chunks(preprocessors.size() * 2 + 1), m_pick(pick) {
    for (Qel::RecordPreprocessor& p : preprocessors) {
      m_threads.emplace_back([this, &p] { Work(p); });
    }
  }
  ~Pipeline() {
    {
      std::lock_guard lock(m_lock);
      m_stop = true;
    }
    m_workReady.notify_all();
    for (std::thread& t : m_threads) t.join();
  }
  Pipeline(const Pipeline&) = delete;
  Pipeline& operator=(const Pipeline&) = delete;

  // The slot for the next chunk to read, once it is free; null when it is still being written.
  Chunk* NextToRead() {
    std::lock_guard lock(m_lock);
    Chunk& c = Slot(m_read);
    return c.state == Chunk::State::Free ? &c : nullptr;
  }
  void Read() {
    {
      std::lock_guard lock(m_lock);
      Slot(m_read++).state = Chunk::State::Read;
    }
    m_workReady.notify_one();
  }
  std::uint64_t ReadCount() const { return m_read; }
  std::uint64_t WrittenCount() const { return m_written; }
  // The next chunk to write, waiting until it is prepared; `wait` false returns null at once
  // when it is not.
  Chunk* NextToWrite(bool wait) {
    std::unique_lock lock(m_lock);
    if (m_written == m_read) return nullptr;
    Chunk& c = Slot(m_written);
    if (wait) m_prepared.wait(lock, [&] { return c.state == Chunk::State::Prepared; });
    return c.state == Chunk::State::Prepared ? &c : nullptr;
  }
  void Written() {
    std::lock_guard lock(m_lock);
    Slot(m_written++).state = Chunk::State::Free;
  }

 private:
  Chunk& Slot(std::uint64_t n) { return m_chunks[n % m_chunks.size()]; }

  void Work(Qel::RecordPreprocessor& p) {
    std::unique_lock lock(m_lock);
    for (;;) {
      m_workReady.wait(lock, [&] { return m_stop || m_taken < m_read; });
      if (m_stop) return;
      Chunk& c = Slot(m_taken++);
      c.state = Chunk::State::Taken;
      lock.unlock();
      try {
        Prepare(p, m_pick, c);
      } catch (...) {
        c.failure = std::current_exception();
      }
      lock.lock();
      c.state = Chunk::State::Prepared;
      m_prepared.notify_all();
    }
  }

  std::vector<Chunk> m_chunks;
  const std::vector<unsigned int>& m_pick;
  std::mutex m_lock;
  std::condition_variable m_workReady;
  std::condition_variable m_prepared;
  std::uint64_t m_read = 0;     // chunks read so far
  std::uint64_t m_taken = 0;    // chunks a worker has taken
  std::uint64_t m_written = 0;  // chunks written
  bool m_stop = false;
  std::vector<std::thread> m_threads;
};

}  // namespace

int RunRecords(const RecordsOptions& o) {
  const unsigned int workers =
      o.threads > 0 ? o.threads : std::max(1u, std::thread::hardware_concurrency());
  std::vector<Qel::RecordPreprocessor> preprocessors(workers, MakePreprocessor(o));
  LineInput input(o.input);
  Sink sink(o.output);
  // No large buffer: chunks leave in writes of their own size, without a copy on the way.
  Progress progress("records", input.Size(), o.quiet);
  const bool blocks = input.IsUtf8();

  std::uint64_t skipped = 0;
  std::uint64_t firstLine = 1;  // number of the first line of the next chunk to write
  std::uint64_t reported = 0;
  const auto write = [&](Chunk& c) {
    if (c.failure) std::rethrow_exception(c.failure);
    for (const auto& [index, reason] : c.refused) {
      std::fflush(stdout);
      std::fprintf(stderr, "qel: %s:%llu: record skipped: %s\n", input.Name().c_str(),
                   static_cast<unsigned long long>(firstLine + index), reason.c_str());
      ++skipped;
    }
    sink.Write(std::string_view(c.utf8.data(), c.utf8Size));
    firstLine += c.lineCount;
    const std::uint64_t done = input.Size() > 0 ? c.bytesRead : firstLine - 1;
    progress.Add(done - reported);
    reported = done;
  };
  {
    Pipeline pipeline(preprocessors, o.fields);
    bool more = true;
    while (more || pipeline.WrittenCount() < pipeline.ReadCount()) {
      // Read ahead while a slot is free, writing whatever is prepared in between; wait for the
      // oldest chunk only when no slot is free or the input is done.
      Chunk* next = more ? pipeline.NextToRead() : nullptr;
      if (next != nullptr) {
        if (blocks) {
          next->count = 0;
          more = input.ReadBlock(next->bytes, kBlock);
        } else {
          next->lines.resize(kChunk);
          next->count = 0;
          while (next->count < kChunk && input.Read(next->lines[next->count])) ++next->count;
          more = next->count == kChunk;
          if (next->count == 0) next->lines.clear();
        }
        if (blocks ? !next->bytes.empty() : next->count > 0) {
          next->bytesRead = input.BytesRead();
          pipeline.Read();
        } else {
          more = false;
        }
      }
      while (Chunk* done = pipeline.NextToWrite(next == nullptr)) {
        write(*done);
        pipeline.Written();
        if (next != nullptr) break;  // back to reading
        next = done;                 // one written: read into the slot it freed, if any
      }
    }
  }
  sink.Commit();
  progress.Finish();
  if (skipped > 0) {
    std::fprintf(stderr, "qel: %s: %llu record(s) skipped\n", input.Name().c_str(),
                 static_cast<unsigned long long>(skipped));
    return kExitPartial;
  }
  return kExitOk;
}

void AddRecordsCommand(CLI::App& app, Runners& runners) {
  auto o = std::make_shared<RecordsOptions>();
  CLI::App* r = app.add_subcommand(
      "records",
      "Prepare delimited records from INPUT (a file, or - for standard input) and write them one "
      "a line, fields separated by tabs.");
  r->add_option("INPUT", o->input, "File of records, or - for standard input")->required();
  r->add_option("-o,--output", o->output, "Write the records to FILE (default: stdout)");
  r->add_option("-d,--delimiter", o->delimiters,
                "Characters that separate fields (\\t for a tab); compared in form KC")
      ->capture_default_str();
  r->add_option("--qualifier", o->qualifier, "Text qualifier around protected fields")
      ->capture_default_str();
  r->add_flag("!--no-protect", o->protect,
              "Do not protect qualified fields: qualifiers are ordinary text");
  r->add_option("--remove", o->removeChars, "Characters removed from every field");
  r->add_option("--pairs", o->pairs, "File of search<TAB>replacement lines applied to fields");
  r->add_flag("--width", o->widthForms, "Map half-width and full-width forms to normal width");
  r->add_flag("--cjk", o->cjk, "Set CJK characters apart as sub-fields");
  r->add_flag("--spelling", o->spelling, "Replace accented spellings by plain letters");
  r->add_flag("--fold-case", o->foldCase, "Ignore character case (lower-case every field)");
  r->add_flag("-n,--normalize", o->normalize, "All four: --width --cjk --spelling --fold-case");
  r->add_flag("--keep-empty", o->keepEmpty, "Keep empty fields");
  r->add_option("--fields", o->fields,
                "Output these fields, 1-based, in this order (e.g. 3,1); empty fields are kept "
                "so that numbers follow the input")
      ->delimiter(',')
      ->check(CLI::Range(1u, 65535u));
  r->add_option("-j,--threads", o->threads, "Worker threads (0: all cores)")->capture_default_str();
  r->add_flag("-q,--quiet", o->quiet, "No progress bar");
  r->footer(app.get_footer());
  runners.push_back({r, [o] { return RunRecords(*o); }});
}

}  // namespace QelTool
