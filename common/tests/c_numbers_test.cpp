// Numbers read as C strtod and written as printf("%.Nf") in the "C" locale.
#include "common/c_numbers.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

// What the C library writes, the oracle of the writer.
std::string format(const char* pattern, double a) {
  char text[1024];
  const int n = std::snprintf(text, sizeof text, pattern, a);
  return std::string(text, static_cast<std::size_t>(n));
}

using cnum::appendFixed;
using cnum::formatFixed;
using cnum::readCNumber;

constexpr double kInf = std::numeric_limits<double>::infinity();

bool SameDouble(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) {
    return std::isnan(a) && std::isnan(b) && std::signbit(a) == std::signbit(b);
  }
  return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(ReadCNumber, DecimalNumbers) {
  EXPECT_EQ(readCNumber("1.5"), 1.5);
  EXPECT_EQ(readCNumber("  \t\n\v\f\r-2.25e1xyz"), -22.5);
  EXPECT_EQ(readCNumber("+7"), 7.0);
  EXPECT_EQ(readCNumber(".5"), 0.5);
  EXPECT_EQ(readCNumber("5."), 5.0);
  EXPECT_EQ(readCNumber("1e"), 1.0);
  EXPECT_EQ(readCNumber("1e+"), 1.0);
  EXPECT_EQ(readCNumber("1E-2"), 0.01);
  EXPECT_EQ(readCNumber("0.1"), 0.1);
  EXPECT_EQ(readCNumber("1,5"), 1.0);
  EXPECT_EQ(readCNumber("000000000000000000000000000000000000000012"), 12.0);
}

TEST(ReadCNumber, NoNumberIsZero) {
  for (const char* text :
       {"", " ", ".", "-", "+", "--1", "+-1", "-+1", "e5", ".e1", "x", "(1", "in", "na", " - 1"}) {
    // +0 whatever the sign before it, as strtod gives it.
    EXPECT_TRUE(SameDouble(readCNumber(text), 0.0)) << text;
  }
  EXPECT_TRUE(SameDouble(readCNumber("-0"), -0.0));
  EXPECT_TRUE(SameDouble(readCNumber("-0x"), -0.0));
  EXPECT_TRUE(SameDouble(readCNumber("-0x1p-1080"), -0.0));
  EXPECT_TRUE(SameDouble(readCNumber("0"), 0.0));
}

TEST(ReadCNumber, HexadecimalNumbers) {
  EXPECT_EQ(readCNumber("0x10"), 16.0);
  EXPECT_EQ(readCNumber("0x1.8p1"), 3.0);
  EXPECT_EQ(readCNumber("-0X.8P1"), -1.0);
  EXPECT_EQ(readCNumber("0x1p-1074"), std::numeric_limits<double>::denorm_min());
  EXPECT_EQ(readCNumber("0xAbp"), 171.0);
  // A binary exponent needs a digit after its one optional sign; otherwise
  // the number ends before the "p" (found by the fuzzer).
  EXPECT_EQ(readCNumber("0x11111111ep+-170"), 0x11111111ep0);
  EXPECT_EQ(readCNumber("0x1p-+3"), 1.0);
  EXPECT_EQ(readCNumber("0x1P+7z"), 128.0);
  // "0x" without a hex digit reads the "0" alone.
  EXPECT_EQ(readCNumber("0x"), 0.0);
  EXPECT_EQ(readCNumber("0xg"), 0.0);
  EXPECT_EQ(readCNumber("0x.p1"), 0.0);
  EXPECT_EQ(readCNumber("0x-1"), 0.0);
  EXPECT_EQ(readCNumber("0x+1"), 0.0);
}

TEST(ReadCNumber, InfinityAndNaN) {
  EXPECT_EQ(readCNumber("inf"), kInf);
  EXPECT_EQ(readCNumber("-INFINITY"), -kInf);
  EXPECT_EQ(readCNumber("+Infinit"), kInf);
  EXPECT_TRUE(std::isnan(readCNumber("nan")));
  EXPECT_FALSE(std::signbit(readCNumber("NaN")));
  EXPECT_TRUE(std::signbit(readCNumber("-nan")));
  EXPECT_TRUE(std::isnan(readCNumber("nan(0x123_abc)")));
  EXPECT_TRUE(std::isnan(readCNumber("nan()")));
  EXPECT_TRUE(std::isnan(readCNumber("nan(")));
}

TEST(ReadCNumber, OutOfRangeAsStrtod) {
  EXPECT_EQ(readCNumber("1e309"), kInf);
  EXPECT_EQ(readCNumber("-1e309"), -kInf);
  EXPECT_EQ(readCNumber("1.8e308"), kInf);
  EXPECT_EQ(readCNumber("1.7e308"), 1.7e308);
  EXPECT_EQ(readCNumber("1" + std::string(400, '0')), kInf);
  EXPECT_EQ(readCNumber("0.0000001e315"), 1e308);
  EXPECT_EQ(readCNumber("10000000e-330"), 1e-323);
  EXPECT_EQ(readCNumber("1e99999999999999999999"), kInf);
  EXPECT_EQ(readCNumber("0x1p1024"), kInf);
  EXPECT_EQ(readCNumber("-0x1p99999"), -kInf);
  EXPECT_TRUE(SameDouble(readCNumber("1e-400"), 0.0));
  EXPECT_TRUE(SameDouble(readCNumber("-1e-400"), -0.0));
  EXPECT_TRUE(SameDouble(readCNumber("0." + std::string(400, '0') + "1"), 0.0));
  EXPECT_TRUE(SameDouble(readCNumber("1e-99999999999999999999"), 0.0));
  EXPECT_TRUE(SameDouble(readCNumber("0x1p-1080"), 0.0));
  EXPECT_TRUE(SameDouble(readCNumber("0x.00001p-1060"), 0.0));
  EXPECT_EQ(readCNumber("1e-310"), 1e-310);
}

TEST(ReadCNumber, NeverReadsBeyondItsText) {
  const std::string digits = "12345";
  EXPECT_EQ(readCNumber(std::string_view(digits).substr(0, 2)), 12.0);
  EXPECT_EQ(readCNumber(std::string_view("1e5", 2)), 1.0);
  EXPECT_EQ(readCNumber(std::string_view("0x1p4", 2)), 0.0);
  EXPECT_EQ(readCNumber(std::string_view("-", 0)), 0.0);
  // A heap copy that ends exactly where the view ends: ASan catches a read
  // past it.
  const std::vector<char> exact = {'9', '.', '5'};
  EXPECT_EQ(readCNumber(std::string_view(exact.data(), exact.size())), 9.5);
}

// The inputs that strtod and readCNumber read alike, checked against the C
// library of the platform (its "C" locale is in force in the tests).
TEST(ReadCNumber, AgreesWithStrtod) {
  std::vector<std::string> texts = {"0",
                                    "-0",
                                    "1",
                                    "0.1",
                                    "0.3",
                                    "1e23",
                                    "8.589973e9",
                                    "2.2250738585072011e-308",
                                    "2.2250738585072012e-308",
                                    "4.9406564584124654e-324",
                                    "2.4703282292062327e-324",
                                    "2.4703282292062328e-324",
                                    "1.7976931348623157e308",
                                    "1.7976931348623158e308",
                                    "1.7976931348623159e308",
                                    "0x1.fffffffffffffp1023",
                                    "0x1.fffffffffffff8p1023",
                                    "9007199254740993",
                                    "9007199254740992.5",
                                    "3.4028235e38",
                                    "3.4028236e38",
                                    "1.00000005960464477539062499",
                                    "1.000000059604644775390625",
                                    "1.00000005960464477539062501",
                                    "123456789012345678901234567890e-20",
                                    "  +.25e+2",
                                    "0x1P+3",
                                    "0X1.ABCDEFp-3",
                                    "infinity",
                                    "-inf",
                                    "nan",
                                    "1e-320",
                                    "7e-324",
                                    "0e999",
                                    "-x",
                                    "-",
                                    "- 1",
                                    "-0x",
                                    "-0xg",
                                    "-.",
                                    "-nan(1)",
                                    "+inf",
                                    "-e1",
                                    "0x.8",
                                    "0x1.",
                                    "1.e1"};
  std::mt19937_64 random(3);
  for (int i = 0; i < 20000; ++i) {
    double v;
    const std::uint64_t bits = random();
    std::memcpy(&v, &bits, sizeof v);
    if (std::isnan(v)) continue;
    texts.push_back(format("%.17g", v));
    texts.push_back(format("%.6g", v));
    texts.push_back(format("%a", v));
  }
  for (const std::string& text : texts) {
    char* end = nullptr;
    const double expected = std::strtod(text.c_str(), &end);
    // Where there is no number C asks for zero; glibc gives +0 and so does
    // readCNumber, the mingw library gives -0 after a "-".
    if (end == text.c_str()) {
      EXPECT_TRUE(SameDouble(readCNumber(text), 0.0)) << text;
    } else {
      EXPECT_TRUE(SameDouble(readCNumber(text), expected)) << text;
    }
  }
}

TEST(AppendFixed, AsPrintfWritesIt) {
  EXPECT_EQ(formatFixed(5.0, 5), "5.00000");
  EXPECT_EQ(formatFixed(-0.0, 5), "-0.00000");
  EXPECT_EQ(formatFixed(-1e-9, 5), "-0.00000");
  EXPECT_EQ(formatFixed(0.015625, 5), "0.01562");  // an exact tie goes to even
  EXPECT_EQ(formatFixed(0.046875, 5), "0.04688");
  EXPECT_EQ(formatFixed(2.5, 0), "2");
  EXPECT_EQ(formatFixed(3.5, 0), "4");
  EXPECT_EQ(formatFixed(0.1, 20), "0.10000000000000000555");
  EXPECT_EQ(formatFixed(kInf, 5), "inf");
  EXPECT_EQ(formatFixed(-kInf, 6), "-inf");
  EXPECT_EQ(formatFixed(std::numeric_limits<double>::quiet_NaN(), 6), "nan");
  EXPECT_EQ(formatFixed(-std::numeric_limits<double>::quiet_NaN(), 6), "-nan");
  const std::string max = formatFixed(DBL_MAX, 6);
  EXPECT_EQ(max.size(), 309u + 7);
  EXPECT_EQ(max.substr(0, 20), "17976931348623157081");
  EXPECT_EQ(formatFixed(-DBL_MAX, 20).size(), 1u + 309 + 21);
  std::string out = "x";
  appendFixed(out, 1.25, 1);
  EXPECT_EQ(out, "x1.2");
}

// Float values passed as doubles, as the texts write them, and any double.
TEST(AppendFixed, AgreesWithPrintf) {
  std::mt19937 random(9);
  std::uniform_real_distribution<float> curve(-1000.0f, 1000.0f);
  std::mt19937_64 any(10);
  for (int i = 0; i < 20000; ++i) {
    const double v = curve(random);
    EXPECT_EQ(formatFixed(v, 5), format("%3.5f", v));
    EXPECT_EQ(formatFixed(v, 6), format("%f", v));
    std::uint32_t bits32 = static_cast<std::uint32_t>(any());
    float f;
    std::memcpy(&f, &bits32, sizeof f);
    if (std::isnan(f)) continue;
    EXPECT_EQ(formatFixed(f, 5), format("%3.5f", f)) << f;
    EXPECT_EQ(formatFixed(f, 6), format("%f", f)) << f;
  }
  for (int i = 0; i < 2000; ++i) {
    double d;
    const std::uint64_t bits = any();
    std::memcpy(&d, &bits, sizeof d);
    if (std::isnan(d)) continue;
    EXPECT_EQ(formatFixed(d, 6), format("%f", d));
  }
  // Ties at the fifth and sixth decimal: multiples of 2^-6 and 2^-7.
  for (int k = -2000; k <= 2000; ++k) {
    EXPECT_EQ(formatFixed(k / 64.0, 5), format("%3.5f", k / 64.0)) << k;
    EXPECT_EQ(formatFixed(k / 128.0, 6), format("%f", k / 128.0)) << k;
  }
  // Around the size where exact 64-bit arithmetic gives way to the general
  // writer, and floats with every bit set.
  for (int e = 30; e <= 70; ++e) {
    for (const double m : {1.0, 1.5, 1.99999988079071044921875, 1.00000011920928955078125}) {
      const double v = std::ldexp(m, e);
      EXPECT_EQ(formatFixed(v, 5), format("%3.5f", v)) << v;
      EXPECT_EQ(formatFixed(-v, 6), format("%f", -v)) << v;
    }
  }
}

}  // namespace
