// Test entry point: runs the suite with the library's resource manager in English whatever
// the host's locale, unless a test sets up a language itself.
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
  // The library's resource manager picks its language on first use, from the components
  // language variable or the message locale; neither may choose another language here.
  unsetenv("Zorvic Components Language");
  setenv("LC_ALL", "C", 1);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
