// Work spread over the workers of a TaskScheduler of the kit's own: training, class trees,
// saving and classification use it.
#pragma once

#include <cstddef>
#include <functional>

namespace Qel::Detail {

// The workers that `threads` asks for: itself, or every logical processor for 0.
unsigned WorkerCount(unsigned threads);

// Runs work(r) for every r in [0, ranges) on a TaskScheduler of WorkerCount(threads) threads
// (in this thread alone for one), and after all have run rethrows the first exception one threw.
void RunRanges(std::size_t ranges, unsigned threads, const std::function<void(std::size_t)>& work);

}  // namespace Qel::Detail
