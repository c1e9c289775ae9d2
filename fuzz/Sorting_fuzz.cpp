// Fuzzes the pointer-array sorts and searches: byte keys under a consistent order must come out
// sorted and agree with std::lower_bound/upper_bound; under an arbitrary comparison driven by the
// input the array must stay a permutation of itself (AddressSanitizer catches any access
// outside it).
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "qel/util/Sorting.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

int CompareBytes(const void* a, const void* b, const void* /*context*/) {
  const int x = *static_cast<const std::uint8_t*>(a);
  const int y = *static_cast<const std::uint8_t*>(b);
  return x - y;
}

struct Chaos {
  const std::uint8_t* data;
  std::size_t size;
  mutable std::size_t next;
};

// Answers from the input bytes, whatever the elements: no consistent order at all.
int CompareChaotic(const void*, const void*, const void* context) {
  const auto* chaos = static_cast<const Chaos*>(context);
  const std::uint8_t byte = chaos->data[chaos->next++ % chaos->size];
  return static_cast<int>(byte % 3) - 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const bool twoWay = (data[0] & 1) != 0;
  const bool chaotic = (data[0] & 2) != 0;
  const std::uint8_t* keys = data + 1;
  const int n = static_cast<int>(size - 1);

  std::vector<const void*> a(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) a[static_cast<std::size_t>(i)] = keys + i;
  std::vector<const void*> original = a;

  if (chaotic) {
    Chaos chaos{data, size, 0};
    (twoWay ? Qel::q3sortb : Qel::q3sort)(a.data(), n, &chaos, CompareChaotic);
    std::sort(a.begin(), a.end());
    std::sort(original.begin(), original.end());
    Check(a == original);
    return 0;
  }

  (twoWay ? Qel::q3sortb : Qel::q3sort)(a.data(), n, nullptr, CompareBytes);
  std::vector<std::uint8_t> sorted;
  for (const void* p : a) sorted.push_back(*static_cast<const std::uint8_t*>(p));
  std::vector<std::uint8_t> expected(keys, keys + n);
  std::sort(expected.begin(), expected.end());
  Check(sorted == expected);

  // Every key value against the whole array and a sub-range.
  const int lo = n > 2 ? static_cast<int>(data[0] >> 2) % (n / 2) : 0;
  const int hi = n - 1;
  for (int k = 0; k < 256; ++k) {
    const auto key = static_cast<std::uint8_t>(k);
    const auto first = sorted.begin() + lo;
    const auto last = sorted.end();
    const int lower = static_cast<int>(std::lower_bound(first, last, key) - sorted.begin());
    const int upper = static_cast<int>(std::upper_bound(first, last, key) - sorted.begin());
    const int foundL = Qel::binsearchL(a.data(), lo, hi, &key, nullptr, CompareBytes);
    const int foundU = Qel::binsearchU(a.data(), lo, hi, &key, nullptr, CompareBytes);
    if (key < sorted[static_cast<std::size_t>(lo)]) {
      Check(foundL == -3 && foundU == -3);
    } else if (key > sorted[static_cast<std::size_t>(hi)]) {
      Check(foundL == -4 && foundU == -4);
    } else if (lower != upper) {
      Check(foundL == lower && foundU == upper - 1);
    } else {
      Check(foundL == -5 - lower && foundU == -5 - (lower - 1));
    }
  }
  return 0;
}
