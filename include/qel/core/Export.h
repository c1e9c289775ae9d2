// QEL_API marks what the shared library exports: it is built with hidden visibility, so only
// marked classes, functions and data are visible to programs. Header-only, no state.
#pragma once

#if defined(__GNUC__) || defined(__clang__)
#define QEL_API __attribute__((visibility("default")))
#else
#define QEL_API
#endif
