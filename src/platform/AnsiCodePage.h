// Which converter stands for the process's ANSI code page. Read once per process from the
// environment; safe from any thread.
#pragma once

#include <string>

namespace Qel::Detail {

// The ICU converter name of the ANSI code page: the environment variable QEL_ANSI_CODEPAGE when
// it is set and not empty, else "windows-1252". Later changes of the variable are not seen.
const std::string& AnsiConverterName();

}  // namespace Qel::Detail
