// Form KC of single UTF-16 code units, answered from a table built once per process, so that
// per-character tests (delimiters) never call the normaliser. Thread-safe.
#pragma once

namespace Qel::Detail {

// True and `form` set when the form KC of the code unit `c` on its own is one unit long;
// false when it is longer (a ligature, a compatibility sequence).
bool SingleUnitKcForm(char16_t c, char16_t& form);

}  // namespace Qel::Detail
