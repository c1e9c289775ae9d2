// Quicksorts, insertion sort and binary searches over pointer arrays.
//
// Both quicksorts take their pivot as a median of samples (three, or nine on large ranges) so
// that sorted, reversed and organ-pipe input split well, recurse into the smaller part and loop
// on the larger one (stack depth O(log n)), and hand a range that keeps splitting badly to a
// heapsort, so every input sorts in O(n log n).
#include "qel/util/Sorting.h"

#include <cstdint>
#include <utility>

namespace Qel {

namespace {

// Stretches this short are left to the final insertion sort.
constexpr int kThreshold = 16;
// From this size on the pivot is the median of three medians of three.
constexpr int kNintherSize = 40;

class Sorter {
 public:
  Sorter(const void** a, const void* context, SortCompare cmp)
      : m_a(a), m_ctx(context), m_cmp(cmp) {}

  // `budget` counts the partitioning rounds left on the path from the first call; the parts of a
  // range inherit what is left of it.
  void ThreeWay(int lo, int hi, int budget) {
    while (hi - lo >= kThreshold) {
      if (budget-- == 0) {
        HeapSort(lo, hi);
        return;
      }
      // The samples leave out a[hi]: after a partition the key that the previous pivot displaced
      // often sits there, and sampling it would skew the median on ordered input.
      Swap(ChoosePivot(lo, hi - 1), hi);
      const void* const pivot = m_a[hi];
      // Elements equal to the pivot gather at both ends (lo..p and q..hi-1) and move to the
      // middle afterwards, so runs of equal keys drop out of further partitioning.
      int i = lo - 1;
      int j = hi;
      int p = lo - 1;
      int q = hi;
      for (;;) {
        // The scans keep the comparison that stopped them: 0 marks a key equal to the pivot, so
        // the equal zones cost no further comparison. The bounds matter only for a comparison
        // that is not a consistent order.
        int left;
        while ((left = Compare(m_a[++i], pivot)) < 0) {
          if (i == hi) break;
        }
        int right;
        while ((right = Compare(pivot, m_a[--j])) < 0) {
          if (j == lo) break;
        }
        if (i >= j) break;
        Swap(i, j);
        if (right == 0) Swap(++p, i);
        if (left == 0) Swap(--q, j);
      }
      Swap(i, hi);
      j = i - 1;
      i = i + 1;
      for (int k = lo; k <= p && j >= lo; ++k, --j) Swap(k, j);
      for (int k = hi - 1; k >= q && i <= hi; --k, ++i) Swap(k, i);
      // Now a[lo..j] < pivot, a[j+1..i-1] == pivot, a[i..hi] > pivot.
      if (j - lo < hi - i) {
        ThreeWay(lo, j, budget);
        lo = i;
      } else {
        ThreeWay(i, hi, budget);
        hi = j;
      }
    }
  }

  void TwoWay(int lo, int hi, int budget) {
    while (hi - lo >= kThreshold) {
      if (budget-- == 0) {
        HeapSort(lo, hi);
        return;
      }
      // The samples leave out a[lo], for the reason given in ThreeWay.
      Swap(lo, ChoosePivot(lo + 1, hi));
      const void* const pivot = m_a[lo];
      // Both scans stop at keys equal to the pivot, which keeps runs of equal keys balanced.
      int i = lo;
      int j = hi + 1;
      for (;;) {
        while (Less(m_a[++i], pivot)) {
          if (i == hi) break;
        }
        while (Less(pivot, m_a[--j])) {
          if (j == lo) break;
        }
        if (i >= j) break;
        Swap(i, j);
      }
      Swap(lo, j);
      // Now a[lo..j-1] <= pivot, a[j] == pivot, a[j+1..hi] >= pivot.
      if (j - lo < hi - j) {
        TwoWay(lo, j - 1, budget);
        lo = j + 1;
      } else {
        TwoWay(j + 1, hi, budget);
        hi = j - 1;
      }
    }
  }

  void Insertion(int n) {
    for (int k = 1; k < n; ++k) {
      const void* const x = m_a[k];
      int g = k;
      while (g > 0 && Compare(m_a[g - 1], x) > 0) {
        m_a[g] = m_a[g - 1];
        --g;
      }
      m_a[g] = x;
    }
  }

  // Twice the binary logarithm of the range's size: the partitioning rounds allowed before the
  // range counts as adversarial.
  static int DepthBudget(int lo, int hi) {
    if (hi <= lo) return 0;
    int budget = 0;
    for (auto n = static_cast<std::int64_t>(hi) - lo + 1; n > 1; n >>= 1) budget += 2;
    return budget;
  }

 private:
  int Compare(const void* x, const void* y) const { return m_cmp(x, y, m_ctx); }
  bool Less(const void* x, const void* y) const { return m_cmp(x, y, m_ctx) < 0; }
  void Swap(int i, int j) { std::swap(m_a[i], m_a[j]); }

  int Median3(int i, int j, int k) const {
    if (Less(m_a[i], m_a[j])) {
      if (Less(m_a[j], m_a[k])) return j;
      return Less(m_a[i], m_a[k]) ? k : i;
    }
    if (Less(m_a[k], m_a[j])) return j;
    return Less(m_a[k], m_a[i]) ? k : i;
  }

  int ChoosePivot(int lo, int hi) const {
    const int mid = lo + (hi - lo) / 2;
    const int n = hi - lo;  // one less than the size
    if (n < kNintherSize) return Median3(lo, mid, hi);
    const int s = n / 8;
    return Median3(Median3(lo, lo + s, lo + 2 * s), Median3(mid - s, mid, mid + s),
                   Median3(hi - 2 * s, hi - s, hi));
  }

  void SiftDown(int base, int root, int count) {
    const void* const x = m_a[base + root];
    for (;;) {
      int child = 2 * root + 1;
      if (child >= count) break;
      if (child + 1 < count && Less(m_a[base + child], m_a[base + child + 1])) ++child;
      if (!Less(x, m_a[base + child])) break;
      m_a[base + root] = m_a[base + child];
      root = child;
    }
    m_a[base + root] = x;
  }

  void HeapSort(int lo, int hi) {
    const int count = hi - lo + 1;
    for (int root = count / 2 - 1; root >= 0; --root) SiftDown(lo, root, count);
    for (int end = count - 1; end > 0; --end) {
      Swap(lo, lo + end);
      SiftDown(lo, 0, end);
    }
  }

  const void** m_a;
  const void* m_ctx;
  SortCompare m_cmp;
};

bool Usable(const void** a, SortCompare cmp) { return a != nullptr && cmp != nullptr; }

}  // namespace

void Q3sort(const void** a, int lo, int hi, const void* context, SortCompare cmp) {
  if (!Usable(a, cmp) || lo < 0) return;
  Sorter(a, context, cmp).ThreeWay(lo, hi, Sorter::DepthBudget(lo, hi));
}

void Q3sortb(const void** a, int lo, int hi, const void* context, SortCompare cmp) {
  if (!Usable(a, cmp) || lo < 0) return;
  Sorter(a, context, cmp).TwoWay(lo, hi, Sorter::DepthBudget(lo, hi));
}

void insort(const void** a, int n, const void* context, SortCompare cmp) {
  if (!Usable(a, cmp)) return;
  Sorter(a, context, cmp).Insertion(n);
}

void q3sort(const void** a, int n, const void* context, SortCompare cmp) {
  if (n < 2) return;
  Q3sort(a, 0, n - 1, context, cmp);
  insort(a, n, context, cmp);
}

void q3sortb(const void** a, int n, const void* context, SortCompare cmp) {
  if (n < 2) return;
  Q3sortb(a, 0, n - 1, context, cmp);
  insort(a, n, context, cmp);
}

int binsearchL(const void** a, int lo, int hi, const void* key, const void* context,
               SortCompare cmp) {
  if (lo > hi || lo < 0 || !Usable(a, cmp)) return -2;
  const int c = cmp(key, a[lo], context);
  if (c < 0) return -3;
  if (c == 0) return lo;
  if (cmp(key, a[hi], context) > 0) return -4;
  int low = lo - 1;
  int high = hi;
  while (low + 1 != high) {
    const auto m = static_cast<int>((static_cast<std::int64_t>(low) + high) / 2);
    if (cmp(a[m], key, context) < 0) {
      low = m;
    } else {
      high = m;
    }
  }
  if (cmp(a[high], key, context) == 0) return high;
  return -5 - high;
}

int binsearchU(const void** a, int lo, int hi, const void* key, const void* context,
               SortCompare cmp) {
  if (lo > hi || lo < 0 || !Usable(a, cmp)) return -2;
  const int c = cmp(key, a[hi], context);
  if (c > 0) return -4;
  if (c == 0) return hi;
  if (cmp(key, a[lo], context) < 0) return -3;
  int low = lo;
  int high = hi + 1;
  while (low + 1 != high) {
    const auto m = static_cast<int>((static_cast<std::int64_t>(low) + high) / 2);
    if (cmp(a[m], key, context) >= 1) {
      high = m;
    } else {
      low = m;
    }
  }
  if (cmp(a[low], key, context) == 0) return low;
  return -5 - low;
}

}  // namespace Qel
