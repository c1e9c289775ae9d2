// Detection goes through the library's encoding detection (byte-order mark, else a UTF-8 scan,
// else ANSI: what TextReader sees), conversion through TextReader and the library's line
// writers, and words through AsciiTextFilter, whose output codes are decoded back to text.
#include "TextCommands.h"

#include <qel/core/Exceptions.h>
#include <qel/core/IntrusivePtr.h>
#include <qel/core/StringConversion.h>
#include <qel/text/AsciiTextFilter.h>
#include <qel/text/Unicode.h>
#include <qel/util/TextIO.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>

#include "LineInput.h"
#include "Output.h"
#include "Tool.h"

namespace QelTool {

namespace {

const std::map<std::string, Qel::TextEncoding>& TargetEncodings() {
  static const std::map<std::string, Qel::TextEncoding> names = {
      {"utf-8", Qel::TextEncodingUTF8NoBOM},  {"utf-8-bom", Qel::TextEncodingUTF8},
      {"utf-16le", Qel::TextEncodingUTF16LE}, {"utf-16be", Qel::TextEncodingUTF16BE},
      {"ansi", Qel::TextEncodingAnsi},
  };
  return names;
}

void CheckReadable(const std::string& path) {
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (!std::filesystem::exists(status)) throw ToolError(kExitData, path + ": no such file");
  if (std::filesystem::is_directory(status)) throw ToolError(kExitData, path + ": is a folder");
}

std::string Where(const LineInput& input) {
  return input.Name() + ":" + std::to_string(input.LineNumber()) + ": ";
}

// The characters of `line` the ANSI code page cannot hold, as "U+XXXX" texts ("" when none).
std::string NotInAnsi(const std::u16string& line) {
  if (Qel::ConvertA2W(Qel::ConvertW2A(line)) == line) return "";
  std::string missing;
  int listed = 0;
  for (std::size_t i = 0; i < line.size(); ++i) {
    std::size_t units = 1;
    if ((line[i] & 0xFC00) == 0xD800 && i + 1 < line.size() && (line[i + 1] & 0xFC00) == 0xDC00) {
      units = 2;
    }
    const std::u16string one = line.substr(i, units);
    if (Qel::ConvertA2W(Qel::ConvertW2A(one)) != one) {
      if (listed++ < 5) {
        if (!missing.empty()) missing += ' ';
        for (std::size_t k = 0; k < units; ++k)
          missing += ToUtf8(Qel::Unicode::GetUnicodeFormat(one[k]));
      }
    }
    i += units - 1;
  }
  if (listed > 5) missing += " and " + std::to_string(listed - 5) + " more";
  return missing;
}

}  // namespace

std::string EncodingName(int encoding) {
  switch (encoding) {
    case Qel::TextEncodingAnsi:
      return "ansi";
    case Qel::TextEncodingUTF16LE:
      return "utf-16le";
    case Qel::TextEncodingUTF16BE:
      return "utf-16be";
    case Qel::TextEncodingUTF32LE:
      return "utf-32le";
    case Qel::TextEncodingUTF32BE:
      return "utf-32be";
    case Qel::TextEncodingUTF8:
      return "utf-8-bom";
    case Qel::TextEncodingUTF8NoBOM:
      return "utf-8";
    default:
      return "unknown";
  }
}

int RunTextDetect(const std::vector<std::string>& files) {
  int code = kExitOk;
  for (const std::string& path : files) {
    try {
      CheckReadable(path);
      const Qel::TextEncoding encoding =
          Qel::Tools::IO::GetFileEncoding(FromUtf8(path), true, Qel::TextEncodingAnsi);
      std::printf("%s\t%s\n", OneLine(path).c_str(), EncodingName(encoding).c_str());
    } catch (const ToolError& e) {
      std::fflush(stdout);
      std::fprintf(stderr, "qel: %s\n", OneLine(e.what()).c_str());
      code = e.ExitCode();
    } catch (const Qel::BaseException& e) {
      std::fflush(stdout);
      std::fprintf(stderr, "qel: %s: %s\n", path.c_str(),
                   OneLine(ToUtf8(e.GetErrorDescription())).c_str());
      code = kExitData;
    }
  }
  return code;
}

int RunTextConvert(const ConvertOptions& o) {
  const auto found = TargetEncodings().find(o.to);
  if (found == TargetEncodings().end()) {
    throw ToolError(kExitUsage, "--to " + o.to + ": unknown encoding name");
  }
  const Qel::TextEncoding target = found->second;
  LineInput input(o.input);
  Sink sink(o.output);
  UseLargeBuffer(sink.Stream());
  const std::u16string outName = FromUtf8(o.output.empty() ? "-" : o.output);
  switch (target) {
    case Qel::TextEncodingUTF8:
      sink.Write({reinterpret_cast<const char*>(Qel::UTF8_Header), sizeof Qel::UTF8_Header});
      break;
    case Qel::TextEncodingUTF16LE:
      sink.Write({reinterpret_cast<const char*>(Qel::UTF16LE_Header), sizeof Qel::UTF16LE_Header});
      break;
    case Qel::TextEncodingUTF16BE:
      sink.Write({reinterpret_cast<const char*>(Qel::UTF16BE_Header), sizeof Qel::UTF16BE_Header});
      break;
    default:
      break;
  }
  std::uint64_t unrepresentable = 0;
  std::u16string line;
  while (input.Read(line)) {
    if (target == Qel::TextEncodingAnsi) {
      const std::string missing = NotInAnsi(line);
      if (!missing.empty()) {
        ++unrepresentable;
        std::fprintf(stderr, "qel: %snot in the ANSI code page, replaced: %s\n",
                     Where(input).c_str(), missing.c_str());
      }
    }
    try {
      Qel::Tools::IO::WriteLineToFile(sink.Stream(), outName, line, target);
    } catch (const Qel::BaseException& e) {
      throw ToolError(kExitOutput, (o.output.empty() ? std::string("standard output") : o.output) +
                                       ": " + OneLine(ToUtf8(e.GetErrorDescription())));
    }
  }
  sink.Commit();
  if (unrepresentable > 0) {
    std::fprintf(stderr, "qel: %s: %llu line(s) held characters ANSI cannot represent\n",
                 input.Name().c_str(), static_cast<unsigned long long>(unrepresentable));
    return kExitPartial;
  }
  return kExitOk;
}

int RunTextWords(const WordsOptions& o) {
  LineInput input(o.input);
  Sink sink(o.output);
  UseLargeBuffer(sink.Stream());
  const auto filter = Qel::IntrusivePtr<Qel::AsciiTextFilter>::Adopt(
      Qel::AsciiTextFilter::Create(static_cast<unsigned char>(o.minWordLength), o.digits));
  // What each code reads as: the filter's own printable character (letters in lower case, the
  // six Latin-1 capitals with codes of their own through the ANSI code page).
  const unsigned char* alphaNum = filter->GetAlphaNum();
  std::u16string decoded[256];
  unsigned int letterBase = 0;
  for (unsigned int code = 0; code < 256; ++code) {
    const char c = static_cast<char>(alphaNum[code]);
    if (c == 'A') letterBase = code;
    decoded[code] = Qel::QelStrToLower(Qel::ConvertA2W(std::string(1, c)));
  }
  std::u16string line;
  std::vector<char> out;
  std::vector<std::int32_t> positions;
  std::u16string text;
  std::string utf8;
  while (input.Read(line)) {
    if (line.empty()) continue;
    out.resize(4 * line.size() + 8);
    const unsigned int n =
        filter->FilterTextW(line.data(), static_cast<unsigned int>(line.size()), out.data(),
                            static_cast<unsigned int>(out.size()), positions);
    text.clear();
    std::size_t wordStart = 0;
    for (unsigned int k = 0; k < n;) {
      const auto code = static_cast<unsigned char>(out[k]);
      if (code == 0) {
        if (text.size() > wordStart) text += u'\n';
        wordStart = text.size();
        ++k;
        continue;
      }
      // A CJK character: three base-40 digits from the letter base, all behind one character.
      if (k + 2 < n && positions[k + 1] == positions[k] && positions[k + 2] == positions[k]) {
        unsigned int value = 0;
        for (unsigned int d = 0; d < 3; ++d) {
          value = value * 40 + (static_cast<unsigned char>(out[k + d]) - letterBase);
        }
        text += static_cast<char16_t>(0x2E80 + value);
        k += 3;
        continue;
      }
      text += decoded[code];
      ++k;
    }
    if (text.size() > wordStart) text += u'\n';
    Qel::Utf16ToUtf8(text.data(), text.size(), utf8);
    sink.Write(utf8);
  }
  sink.Commit();
  return kExitOk;
}

void AddTextCommands(CLI::App& app, Runners& runners) {
  CLI::App* text = app.add_subcommand("text", "Detect, convert and filter text files.");
  text->require_subcommand(1);
  text->footer(app.get_footer());

  auto files = std::make_shared<std::vector<std::string>>();
  CLI::App* detect = text->add_subcommand(
      "detect",
      "Print FILE<TAB>encoding for each file: byte-order mark, else UTF-8 if the "
      "content scans as UTF-8, else ANSI.");
  detect->add_option("FILE", *files, "Text files")->required();
  detect->footer(app.get_footer());
  runners.push_back({detect, [files] { return RunTextDetect(*files); }});

  auto convert = std::make_shared<ConvertOptions>();
  CLI::App* c = text->add_subcommand(
      "convert",
      "Re-encode FILE line by line (empty lines kept, each line ends with a line feed); "
      "characters ANSI cannot hold are reported and replaced ('?' or a near character).");
  c->add_option("FILE", convert->input, "Text file, or - for UTF-8 on standard input")->required();
  c->add_option("--to", convert->to, "utf-8, utf-8-bom, utf-16le, utf-16be or ansi")->required();
  c->add_option("-o,--output", convert->output, "Write to FILE (default: stdout)");
  c->footer(app.get_footer());
  runners.push_back({c, [convert] { return RunTextConvert(*convert); }});

  auto words = std::make_shared<WordsOptions>();
  CLI::App* w = text->add_subcommand(
      "words",
      "Print the words the library's ASCII text filter keeps, one a line, decoded from its "
      "codes: letters in lower case (other scripts read as the Latin letters they share codes "
      "with, '_' where a code has no character), each CJK character a word of its own");
  w->add_option("FILE", words->input, "Text file, or - for UTF-8 on standard input")->required();
  w->add_option("--min-word-length", words->minWordLength, "Shortest word kept (1-255)")
      ->check(CLI::Range(1u, 255u))
      ->capture_default_str();
  w->add_flag("--digits", words->digits, "Keep digits in words");
  w->add_option("-o,--output", words->output, "Write to FILE (default: stdout)");
  w->footer(app.get_footer());
  runners.push_back({w, [words] { return RunTextWords(*words); }});
}

}  // namespace QelTool
