// The texts are read and written as in the "C" locale even when the process
// runs in a locale whose decimal separator is a comma (where strtod would
// read "1.5" as 1 and printf write "1,50000", and the "," would split the
// entry).
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "breakpoint/c_numbers.h"
#include "breakpoint/node_store.h"

namespace {

bool CommaIsTheDecimalSeparator() {
  char text[16];
  std::snprintf(text, sizeof text, "%.1f", 1.5);
  return std::string(text) == "1,5";
}

// Sets a comma-decimal locale for the process for the test's duration, or
// skips the test naming what it tried.
class CommaLocale : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* names[] = {"de_DE.UTF-8", "de_DE.utf8",          "de_DE",  "fr_FR.UTF-8",
                           "fr_FR.utf8",  "German_Germany.1252", "German", "de-DE"};
    for (const char* name : names) {
      if (TrySet(name)) return;
    }
#ifdef KURVO_TEST_LOCPATH
    // Made by the build from the "locales" package's sources.
#ifndef _WIN32
    setenv("LOCPATH", KURVO_TEST_LOCPATH, 1);
#endif
    if (TrySet("de_DE.UTF-8")) return;
#endif
    std::string tried = "de_DE, fr_FR and German names";
#ifdef KURVO_TEST_LOCPATH
    tried += ", and de_DE.UTF-8 made in " KURVO_TEST_LOCPATH;
#endif
    GTEST_SKIP() << "no comma-decimal locale on this machine (tried " << tried << ")";
  }
  void TearDown() override {
    std::setlocale(LC_ALL, "C");
  }

 private:
  static bool TrySet(const char* name) {
    if (std::setlocale(LC_ALL, name) && CommaIsTheDecimalSeparator()) return true;
    std::setlocale(LC_ALL, "C");
    return false;
  }
};

TEST_F(CommaLocale, NumbersAreReadAndWrittenWithAPoint) {
  EXPECT_EQ(kurvo::readCNumber("1.5"), 1.5);
  EXPECT_EQ(kurvo::readCNumber("1,5"), 1.0);
  EXPECT_EQ(kurvo::formatFixed(1.5, 5), "1.50000");
}

TEST_F(CommaLocale, TextsAreTheSameAsInTheCLocale) {
  kurvo::NodeStore store;
  EXPECT_TRUE(store.parseNodeText("(1.5,2.25)(7.125,0.5)", kurvo::kDefaultInitConfig));
  ASSERT_EQ(store.count(), 2u);
  EXPECT_EQ(store[0].x, 15.0f);
  EXPECT_EQ(store[0].y, 77.5f);
  EXPECT_EQ(store.formatNodeText(), "(1.50000,2.25000)(7.12500,0.50000)");
  const kurvo::AxisArrays arrays = store.formatAxisArrays();
  EXPECT_EQ(arrays.x, "1.5,7.125,");
  EXPECT_EQ(arrays.y, "2.25,0.5,");
  EXPECT_TRUE(store.parseNodeText("", kurvo::kDefaultInitConfig));
  EXPECT_EQ(store.formatNodeText(), "(0.00000,5.00000)(10.00000,5.00000)");
}

}  // namespace
