// Sorting and binary search over arrays of untyped pointers with a caller's comparison function
// and context. The functions keep no state: any thread may sort its own arrays.
#pragma once

#include <qel/core/Export.h>

namespace Qel {

// Negative when `a` sorts before `b`, 0 when they are equal, positive when after. `context` is
// the caller's pointer, passed through unchanged.
using SortCompare = int (*)(const void* a, const void* b, const void* context);

// Sorts a[0..n-1] ascending (not stable): Q3sort, then insort. Nothing happens for n < 2.
QEL_API void q3sort(const void** a, int n, const void* context, SortCompare cmp);
// Sorts a[0..n-1] ascending (not stable): Q3sortb, then insort.
QEL_API void q3sortb(const void** a, int n, const void* context, SortCompare cmp);

// Partial quicksort of a[lo..hi] with three-way partitioning: afterwards every element lies
// within its final stretch of at most 16 elements, which is left for insort. Runs in
// O(n log n) with O(log n) stack on every input.
QEL_API void Q3sort(const void** a, int lo, int hi, const void* context, SortCompare cmp);
// The same with two-way partitioning.
QEL_API void Q3sortb(const void** a, int lo, int hi, const void* context, SortCompare cmp);
// Straight insertion sort of a[0..n-1]; fast on nearly sorted input.
QEL_API void insort(const void** a, int n, const void* context, SortCompare cmp);

// The lowest index in lo..hi of the sorted array whose element equals `key`. Otherwise: -2 for
// a bad range (lo > hi or lo < 0), -3 when the key lies below a[lo], -4 when above a[hi], and
// -5 - p when absent, p being the index of the next larger element.
QEL_API int binsearchL(const void** a, int lo, int hi, const void* key, const void* context,
                       SortCompare cmp);
// The highest such index. Otherwise -2, -3 or -4 as binsearchL, and -5 - p when absent, p being
// the index of the next smaller element.
QEL_API int binsearchU(const void** a, int lo, int hi, const void* key, const void* context,
                       SortCompare cmp);

}  // namespace Qel
