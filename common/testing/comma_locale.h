// A GoogleTest fixture that runs each test in a locale whose decimal
// separator is a comma, where strtod reads "1.5" as 1 and printf writes
// "1,50000": tests of code that must read and write numbers as in the "C"
// locale whatever the process locale is. Targets get the locale made in
// their build tree with se_use_comma_locale(target) (cmake/Testing.cmake);
// Windows has "German" of its own. Where no such locale can be had, the
// test is skipped with a message naming what was tried.
#pragma once

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace testing_locale {

inline bool CommaIsTheDecimalSeparator() {
  char text[16];
  std::snprintf(text, sizeof text, "%.1f", 1.5);
  return std::string(text) == "1,5";
}

class CommaLocale : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* names[] = {"de_DE.UTF-8", "de_DE.utf8",          "de_DE",  "fr_FR.UTF-8",
                           "fr_FR.utf8",  "German_Germany.1252", "German", "de-DE"};
    for (const char* name : names) {
      if (TrySet(name)) return;
    }
#ifdef SE_TEST_LOCPATH
    // Made by the build from the "locales" package's sources.
#ifndef _WIN32
    setenv("LOCPATH", SE_TEST_LOCPATH, 1);
#endif
    if (TrySet("de_DE.UTF-8")) return;
#endif
    std::string tried = "de_DE, fr_FR and German names";
#ifdef SE_TEST_LOCPATH
    tried += ", and de_DE.UTF-8 made in " SE_TEST_LOCPATH;
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

}  // namespace testing_locale
