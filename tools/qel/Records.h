// qel records: delimited records prepared by the library's RecordPreprocessor, one a line.
#pragma once

#include <string>
#include <vector>

#include "Runners.h"

namespace QelTool {

struct RecordsOptions {
  std::string input;  // a file, or "-" for standard input
  std::string output;
  std::string delimiters = ",";
  std::string qualifier = "\"";
  bool protect = true;  // delimiters inside qualified fields belong to the field
  std::string removeChars;
  std::string pairs;  // a file of search<TAB>replacement lines
  bool widthForms = false;
  bool cjk = false;
  bool spelling = false;
  bool foldCase = false;
  bool normalize = false;  // all four above
  bool keepEmpty = false;
  std::vector<unsigned int> fields;  // 1-based, in output order
  unsigned int threads = 1;
  bool quiet = false;
};

// Prepares every record; a record the preprocessor refuses is reported on standard error with
// its line number and left out. Returns kExitOk, or kExitPartial when any record was left out.
int RunRecords(const RecordsOptions& options);

// Adds the records command.
void AddRecordsCommand(CLI::App& app, Runners& runners);

}  // namespace QelTool
