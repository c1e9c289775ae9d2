// For the tests: the exception of type E that a call throws, and a test failure when it throws
// none (the exception returned then is E(0)).
#pragma once

#include <gtest/gtest.h>

namespace Qel::Testing {

template <class E, class F>
E Caught(F call) {
  try {
    call();
  } catch (const E& e) {
    return e;
  }
  ADD_FAILURE() << "no exception thrown";
  return E(0);
}

}  // namespace Qel::Testing
