// Test entry point: runs the suite with the library's resource manager in English whatever
// the host's locale, unless a test sets up a language itself.
#include <gtest/gtest.h>

#include <clocale>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
