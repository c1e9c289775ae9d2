// qel text: encoding detection, conversion between encodings, and the words the library's
// AsciiTextFilter keeps.
#pragma once

#include <string>
#include <vector>

#include "Runners.h"

namespace QelTool {

// Prints FILE<TAB>encoding for each file; kExitData when any cannot be read (the others are
// still printed).
int RunTextDetect(const std::vector<std::string>& files);

struct ConvertOptions {
  std::string input;
  std::string to;  // utf-8, utf-8-bom, utf-16le, utf-16be or ansi
  std::string output;
};
// Every line, empty ones included, re-encoded; lines end with a line feed. kExitPartial when
// some characters could not be written in ANSI (each such line is reported).
int RunTextConvert(const ConvertOptions& options);

struct WordsOptions {
  std::string input;
  unsigned int minWordLength = 1;
  bool digits = false;
  std::string output;
};
// One kept word a line.
int RunTextWords(const WordsOptions& options);

// Adds the text command and its subcommands.
void AddTextCommands(CLI::App& app, Runners& runners);

// The name qel gives an encoding ("utf-16le", ...), and the encoding of a --to name (false for
// an unknown name).
std::string EncodingName(int encoding);

}  // namespace QelTool
