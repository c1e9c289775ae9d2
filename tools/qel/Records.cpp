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
#include <cstdio>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#include "LineInput.h"
#include "Output.h"
#include "Progress.h"
#include "Tool.h"

namespace QelTool {

namespace {

constexpr std::size_t kChunk = 8192;  // records read, prepared and written together

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

// One slice of a chunk as a worker prepares it: the output text and the records refused.
struct alignas(64) Slice {  // a cache line of its own: workers append to theirs at once
  std::u16string text;
  std::string utf8;
  std::vector<std::pair<std::size_t, std::string>> refused;  // index in the chunk, reason
};

void Prepare(Qel::RecordPreprocessor& p, const std::vector<std::u16string>& lines,
             std::size_t begin, std::size_t end, const std::vector<unsigned int>& pick,
             Slice& slice) {
  slice.text.clear();
  slice.refused.clear();
  for (std::size_t i = begin; i < end; ++i) {
    if (lines[i].empty()) continue;  // a blank line holds no record
    std::vector<std::u16string> fields;
    try {
      fields = p.ProcessRecord(lines[i]);
    } catch (const Qel::BaseException& e) {
      slice.refused.emplace_back(i, OneLine(ToUtf8(e.GetErrorDescription())));
      continue;
    }
    // Control characters never survive preparation, so a tab cannot occur inside a field.
    if (pick.empty()) {
      for (std::size_t f = 0; f < fields.size(); ++f) {
        if (f > 0) slice.text += u'\t';
        slice.text += fields[f];
      }
    } else {
      for (std::size_t k = 0; k < pick.size(); ++k) {
        if (k > 0) slice.text += u'\t';
        if (pick[k] <= fields.size()) slice.text += fields[pick[k] - 1];
      }
    }
    slice.text += u'\n';
  }
  Qel::Utf16ToUtf8(slice.text.data(), slice.text.size(), slice.utf8);
}

}  // namespace

int RunRecords(const RecordsOptions& o) {
  const unsigned int workers =
      o.threads > 0 ? o.threads : std::max(1u, std::thread::hardware_concurrency());
  std::vector<Qel::RecordPreprocessor> preprocessors(workers, MakePreprocessor(o));
  LineInput input(o.input);
  Sink sink(o.output);
  UseLargeBuffer(sink.Stream());
  Progress progress("records", input.Size(), o.quiet);

  std::vector<std::u16string> lines(kChunk);
  std::vector<Slice> slices(workers);
  std::uint64_t skipped = 0;
  std::uint64_t firstLine = 1;  // number of lines[0]
  std::uint64_t reported = 0;
  for (;;) {
    std::size_t count = 0;
    while (count < kChunk && input.Read(lines[count])) ++count;
    if (count == 0) break;
    const std::size_t per = (count + workers - 1) / workers;
    auto work = [&](unsigned int w) {
      const std::size_t begin = std::min(count, w * per);
      Prepare(preprocessors[w], lines, begin, std::min(count, begin + per), o.fields, slices[w]);
    };
    if (workers == 1 || count < 64) {
      for (unsigned int w = 0; w < workers; ++w) work(w);
    } else {
      std::vector<std::thread> pool;
      std::exception_ptr failure;
      std::mutex failureLock;
      for (unsigned int w = 1; w < workers; ++w) {
        pool.emplace_back([&, w] {
          try {
            work(w);
          } catch (...) {
            std::lock_guard lock(failureLock);  // only ever out of memory
            if (!failure) failure = std::current_exception();
          }
        });
      }
      work(0);
      for (std::thread& t : pool) t.join();
      if (failure) std::rethrow_exception(failure);
    }
    for (Slice& s : slices) {
      for (const auto& [index, reason] : s.refused) {
        std::fflush(stdout);
        std::fprintf(stderr, "qel: %s:%llu: record skipped: %s\n", input.Name().c_str(),
                     static_cast<unsigned long long>(firstLine + index), reason.c_str());
        ++skipped;
      }
      sink.Write(s.utf8);
    }
    firstLine += count;
    const std::uint64_t done = input.Size() > 0 ? input.BytesRead() : firstLine - 1;
    progress.Add(done - reported);
    reported = done;
    if (count < kChunk) break;
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
