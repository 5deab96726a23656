// A GoogleTest program whose tests pass, skip, fail or end the program, for
// the checks of scripts/gtest-run: a filter picks the mix each check needs.
#include <gtest/gtest.h>

#include <cstdlib>

TEST(Probe, Passes) {
  SUCCEED();
}

TEST(Probe, Skips) {
  GTEST_SKIP() << "skipped on purpose";
}

TEST(Probe, Fails) {
  ADD_FAILURE() << "failed on purpose";
}

// Ends the program with status 0 before GoogleTest's summary, as a test
// that calls exit() would.
TEST(Probe, EndsTheProgram) {
  std::exit(0);
}
