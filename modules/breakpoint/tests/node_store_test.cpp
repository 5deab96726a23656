// The node store and its text forms.
#include "breakpoint/node_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "common/c_numbers.h"
#include "reference_nodes.h"

namespace {

using kurvo::BreakpointNode;
using kurvo::joinAxisArrays;
using kurvo::kDefaultInitConfig;
using kurvo::NodeStore;
using kurvo::trimNumber;

constexpr float kInf = std::numeric_limits<float>::infinity();

// Floats compared bit for bit (so 0 and -0 differ), NaNs by sign.
::testing::AssertionResult SameNodes(const NodeStore& store,
                                     const std::vector<BreakpointNode>& expected) {
  if (kurvo_reference::sameNodes(store.nodes(), expected)) return ::testing::AssertionSuccess();
  auto failure = ::testing::AssertionFailure() << "store has " << store.count() << " nodes:";
  for (const BreakpointNode& n : store.nodes()) failure << " (" << n.x << "," << n.y << ")";
  failure << "; expected " << expected.size() << ":";
  for (const BreakpointNode& n : expected) failure << " (" << n.x << "," << n.y << ")";
  return failure;
}

std::vector<BreakpointNode> Nodes(const NodeStore& store) {
  return {store.nodes().begin(), store.nodes().end()};
}

NodeStore Parsed(std::string_view text, bool expectComplete = true) {
  NodeStore store;
  EXPECT_EQ(store.parseNodeText(text, kDefaultInitConfig), expectComplete) << text;
  return store;
}

// ---------------------------------------------------------------- creation

TEST(NodeStore, StartsWithCapacity40AllZero) {
  NodeStore store;
  EXPECT_EQ(store.count(), 0u);
  EXPECT_EQ(store.capacity(), 40u);
  for (std::size_t i = 0; i < store.capacity(); ++i) {
    EXPECT_EQ(store[i].x, 0.0f);
    EXPECT_EQ(store[i].y, 0.0f);
  }
  EXPECT_EQ(store.formatNodeText(), "");
  EXPECT_EQ(store.formatAxisArrays().x, "");
  EXPECT_EQ(store.formatAxisArrays().y, "");
  EXPECT_EQ(store.pointCount(), 0.0f);
}

// ------------------------------------------------------------ edge cases

TEST(EdgeCases, EmptyTextTakesTheDefaultInitConfig) {
  NodeStore store;
  EXPECT_TRUE(store.parseNodeText("", kDefaultInitConfig));
  EXPECT_TRUE(SameNodes(store, {{0, 50}, {100, 50}}));
  EXPECT_EQ(store.count(), 2u);
  EXPECT_EQ(store.pointCount(), 2.0f);
  const kurvo::AxisArrays arrays = store.formatAxisArrays();
  EXPECT_EQ(arrays.x, "0,10,");
  EXPECT_EQ(arrays.y, "5,5,");
  EXPECT_EQ(store.formatNodeText(), "(0.00000,5.00000)(10.00000,5.00000)");
}

TEST(EdgeCases, MissingCloseEndsNotComplete) {
  NodeStore store = Parsed("(1,2)(3,4", false);
  EXPECT_TRUE(SameNodes(store, {{10, 80}}));
}

TEST(EdgeCases, TrailingJunkEndsNotComplete) {
  EXPECT_TRUE(SameNodes(Parsed("(1,2)xyz", false), {{10, 80}}));
  EXPECT_TRUE(SameNodes(Parsed("(1,2)", true), {{10, 80}}));
}

TEST(EdgeCases, YTenIsTheTopEdge) {
  EXPECT_TRUE(SameNodes(Parsed("(2.5,10)"), {{25, 0}}));
}

TEST(EdgeCases, WhiteSpaceBeforeANumberIsSkipped) {
  EXPECT_TRUE(SameNodes(Parsed("( 1 , 2 )"), {{10, 80}}));
}

TEST(EdgeCases, UnreadableNumbersAreZero) {
  EXPECT_TRUE(SameNodes(Parsed("(a,b)"), {{0, 100}}));
}

TEST(EdgeCases, NoOpeningParenthesis) {
  EXPECT_TRUE(SameNodes(Parsed("1,2)"), {{10, 80}}));
}

TEST(EdgeCases, TextOrderIsKept) {
  EXPECT_TRUE(SameNodes(Parsed("(5,1)(2,1)"), {{50, 90}, {20, 90}}));
}

TEST(EdgeCases, JoinAxisArrays) {
  EXPECT_EQ(joinAxisArrays("1,2,3", "4,5,6,"), "(1,4)(2,5)");
  EXPECT_EQ(joinAxisArrays("", "1,"), "");
}

TEST(EdgeCases, InsertWithEqualXGoesBefore) {
  NodeStore store = Parsed("(1,1)(2,2)(3,3)");
  store.insertNode(20, 7);
  EXPECT_TRUE(SameNodes(store, {{10, 90}, {20, 7}, {20, 80}, {30, 70}}));
}

TEST(EdgeCases, InsertIntoAFullStoreGrowsTo80) {
  NodeStore store;
  for (int i = 0; i < 40; ++i) store.insertNode(static_cast<float>(2 * i), static_cast<float>(i));
  ASSERT_EQ(store.count(), 40u);
  ASSERT_EQ(store.capacity(), 40u);
  store.insertNode(41, -1);
  EXPECT_EQ(store.capacity(), 80u);
  EXPECT_EQ(store.count(), 41u);
  for (std::size_t i = 0; i < 41; ++i) {
    const float x = i <= 20 ? 2.0f * i : 2.0f * (i - 1);
    if (i == 21) {
      EXPECT_EQ(store[i].x, 41.0f);
      EXPECT_EQ(store[i].y, -1.0f);
    } else {
      EXPECT_EQ(store[i].x, x) << i;
      EXPECT_EQ(store[i].y, x / 2) << i;
    }
  }
}

TEST(EdgeCases, TrimNumber) {
  EXPECT_EQ(trimNumber("0.050000"), "0.05");
  EXPECT_EQ(trimNumber("5.000000"), "5");
  EXPECT_EQ(trimNumber("12.500000"), "12.5");
  EXPECT_EQ(trimNumber("0.000000"), "0");
  EXPECT_EQ(trimNumber("100.000000"), "100");
}

// ------------------------------------------------------ the parse rule

TEST(ParseNodeText, EmptyTextAndEmptyInitConfigClearTheStore) {
  NodeStore store = Parsed("(1,2)(3,4)");
  EXPECT_TRUE(store.parseNodeText("", ""));
  EXPECT_EQ(store.count(), 0u);
  EXPECT_EQ(store.capacity(), 40u);
}

TEST(ParseNodeText, AnOtherInitConfigStandsInForAnEmptyText) {
  NodeStore store;
  EXPECT_TRUE(store.parseNodeText("", "(1,2)"));
  EXPECT_TRUE(SameNodes(store, {{10, 80}}));
  // It is not used when the text is not empty.
  EXPECT_TRUE(store.parseNodeText("(3,4)", "(1,2)"));
  EXPECT_TRUE(SameNodes(store, {{30, 60}}));
}

TEST(ParseNodeText, CloseFirstOrAbsentStoresNothing) {
  EXPECT_EQ(Parsed(")", false).count(), 0u);
  EXPECT_EQ(Parsed(")(1,2)", false).count(), 0u);
  EXPECT_EQ(Parsed("(1,2", false).count(), 0u);
  EXPECT_EQ(Parsed("   ", false).count(), 0u);
  EXPECT_TRUE(SameNodes(Parsed("(1,2))", false), {{10, 80}}));
}

TEST(ParseNodeText, ANotCompleteParseReplacesTheOldNodes) {
  NodeStore store = Parsed("(1,1)(2,2)(3,3)");
  EXPECT_FALSE(store.parseNodeText("(4,4)junk", kDefaultInitConfig));
  EXPECT_TRUE(SameNodes(store, {{40, 60}}));
}

TEST(ParseNodeText, FieldsRunToTheEndWhereTheirEndLiesBeforeTheirStart) {
  // No ",": X runs to the end ("5)" reads 5); Y is "(5" (reads 0).
  EXPECT_TRUE(SameNodes(Parsed("(5)"), {{50, 100}}));
  // "," before "(": X is "2)" from after "(", Y is "(2".
  EXPECT_TRUE(SameNodes(Parsed("1,(2)"), {{20, 100}}));
  // ")" before ",": X is "1)2"; Y runs from after "," to the end ("3"); the
  // remaining "2,3" has no ")".
  EXPECT_TRUE(SameNodes(Parsed("(1)2,3", false), {{10, 70}}));
  // "()" reads 0 and 0.
  EXPECT_TRUE(SameNodes(Parsed("()"), {{0, 100}}));
}

TEST(ParseNodeText, FieldsEndAtTheirDelimiter) {
  // The X field is "1" and the Y field "2": neither reads on into the next.
  EXPECT_TRUE(SameNodes(Parsed("(1,2)(3e1,4)"), {{10, 80}, {300, 60}}));
  // The Y field "nan(7" holds no closed "nan(...)": strtod reads "nan" there.
  const NodeStore store = Parsed("(1,nan(7))", false);
  ASSERT_EQ(store.count(), 1u);
  EXPECT_EQ(store[0].x, 10.0f);
  EXPECT_TRUE(std::isnan(store[0].y));
}

TEST(ParseNodeText, WhatStrtodReads) {
  EXPECT_TRUE(SameNodes(Parsed("(+1.5e0,-2)"), {{15, 120}}));
  EXPECT_TRUE(SameNodes(Parsed("(0x1.8p1,0x10)"), {{30, -60}}));
  EXPECT_TRUE(SameNodes(Parsed("(.5,5.)"), {{5, 50}}));
  EXPECT_TRUE(SameNodes(Parsed("(1e,2e+)"), {{10, 80}}));
  EXPECT_TRUE(SameNodes(Parsed("(--1,+-2)"), {{0, 100}}));
  EXPECT_TRUE(SameNodes(Parsed("(\t\n\v\f\r7,\r\n3)"), {{70, 70}}));
}

TEST(ParseNodeText, HugeTinyInfiniteAndNaN) {
  // 1e308 is a double but beyond float: it narrows to inf.
  EXPECT_TRUE(SameNodes(Parsed("(1e308,1e308)"), {{kInf, -kInf}}));
  EXPECT_TRUE(SameNodes(Parsed("(1e999,-1e999)"), {{kInf, kInf}}));
  EXPECT_TRUE(SameNodes(Parsed("(inf,-Infinity)"), {{kInf, kInf}}));
  // 1e-300 narrows to 0; -1e-300 to -0, and 10 - -0 = 10.
  EXPECT_TRUE(SameNodes(Parsed("(1e-300,-1e-300)"), {{0, 100}}));
  EXPECT_TRUE(SameNodes(Parsed("(-1e-300,1e-999)"), {{-0.0f, 100}}));
  const NodeStore store = Parsed("(nan,-NAN)");
  ASSERT_EQ(store.count(), 1u);
  EXPECT_TRUE(std::isnan(store[0].x));
  EXPECT_TRUE(std::isnan(store[0].y));
}

TEST(ParseNodeText, IsThirtyTwoBitArithmeticRoundedAfterEachStep) {
  // (10 - 0.26652) * 10 rounded once from the exact value would be
  // 0x1.8556d4p+6 (97.3348007); rounded after the subtraction and after the
  // multiplication it is 0x1.8556d8p+6 (97.3348083).
  NodeStore store = Parsed("(0,0.26652)(0,2.90254)");
  ASSERT_EQ(store.count(), 2u);
  EXPECT_EQ(store[0].y, 0x1.8556d8p+6f);
  EXPECT_EQ(store[1].y, 0x1.1be5fcp+6f);
}

// -------------------------------------------------- growth while parsing

std::string TextOf(int nodes) {
  std::string text;
  for (int i = 0; i < nodes; ++i) {
    text += "(" + std::to_string(i) + "," + std::to_string(i % 11) + ")";
  }
  return text;
}

TEST(ParseNodeText, KeepsEveryEntryGrowingBy40) {
  struct Case {
    int nodes;
    std::size_t capacity;
  };
  for (const Case c : {Case{39, 40}, Case{40, 40}, Case{41, 80}, Case{80, 80}, Case{81, 120},
                       Case{1000, 1000}, Case{1001, 1040}}) {
    NodeStore store;
    EXPECT_TRUE(store.parseNodeText(TextOf(c.nodes), kDefaultInitConfig));
    ASSERT_EQ(store.count(), static_cast<std::size_t>(c.nodes));
    EXPECT_EQ(store.capacity(), c.capacity) << c.nodes;
    for (int i = 0; i < c.nodes; ++i) {
      EXPECT_EQ(store[i].x, static_cast<float>(i) * 10.0f);
      EXPECT_EQ(store[i].y, (10.0f - static_cast<float>(i % 11)) * 10.0f);
    }
  }
}

TEST(ParseNodeText, CapacityNeverShrinks) {
  NodeStore store = Parsed(TextOf(100));
  EXPECT_EQ(store.capacity(), 120u);
  EXPECT_TRUE(store.parseNodeText("(1,2)", kDefaultInitConfig));
  EXPECT_EQ(store.count(), 1u);
  EXPECT_EQ(store.capacity(), 120u);
  // A grown store grows again from where it stands.
  EXPECT_TRUE(store.parseNodeText(TextOf(121), kDefaultInitConfig));
  EXPECT_EQ(store.capacity(), 160u);
}

TEST(ParseNodeText, ANotCompleteTextStillKeepsEveryEntryReadBeforeTheEnd) {
  NodeStore store;
  EXPECT_FALSE(store.parseNodeText(TextOf(90) + "(1,2", kDefaultInitConfig));
  EXPECT_EQ(store.count(), 90u);
  EXPECT_EQ(store.capacity(), 120u);
}

TEST(ParseNodeText, AdversarialTextsTakeLinearTime) {
  // Texts that a scan from the start of the remaining text for every entry
  // would make quadratic: no "," at all; a "," far ahead followed by a long
  // number that the Y field of every entry runs into; no "(" at all.
  const int entries = 50000;
  std::string noComma, farComma, noOpen;
  for (int i = 0; i < entries; ++i) {
    noComma += "(1)";
    farComma += "(1)";
    noOpen += "1,2)";
  }
  farComma += "," + std::string(200000, '7') + ")";
  const auto start = std::chrono::steady_clock::now();
  NodeStore store;
  EXPECT_TRUE(store.parseNodeText(noComma, ""));
  EXPECT_EQ(store.count(), static_cast<std::size_t>(entries));
  EXPECT_TRUE(store.parseNodeText(farComma, ""));
  EXPECT_EQ(store.count(), static_cast<std::size_t>(entries) + 1);
  EXPECT_EQ(store[0].y, -kInf);  // Y is the 200,000-digit number, inf as a float
  EXPECT_TRUE(store.parseNodeText(noOpen, ""));
  EXPECT_EQ(store.count(), static_cast<std::size_t>(entries));
  const auto elapsed = std::chrono::steady_clock::now() - start;
  // Linear, these take milliseconds even in the checking build; quadratic,
  // minutes.
  EXPECT_LT(elapsed, std::chrono::seconds(10));
}

// ------------------------------------------------------------- formatting

TEST(FormatNodeText, WritesEveryNodeOfALongCurve) {
  NodeStore store;
  for (int i = 0; i < 1000; ++i) store.insertNode(static_cast<float>(i), 50);
  const std::string text = store.formatNodeText();
  // X = 0.0 to 9.9 gives entries of 17 characters, X = 10.0 to 99.9 of 18.
  EXPECT_EQ(text.size(), 100u * 17 + 900 * 18);
  EXPECT_EQ(text.substr(0, 34), "(0.00000,5.00000)(0.10000,5.00000)");
  EXPECT_EQ(text.substr(text.size() - 18), "(99.90000,5.00000)");
  EXPECT_EQ(text, kurvo_reference::formatNodeText(store.nodes()));
}

TEST(FormatNodeText, HugeInfiniteAndNaNValuesAreWrittenInFull) {
  constexpr float kMax = std::numeric_limits<float>::max();
  NodeStore store;
  store.insertNode(-kMax, kMax);
  store.insertNode(kInf, -kInf);
  store.insertNode(std::numeric_limits<float>::denorm_min(), 1e-30f);
  store.insertNode(std::numeric_limits<float>::quiet_NaN(), 0);
  const std::string text = store.formatNodeText();
  EXPECT_EQ(text, kurvo_reference::formatNodeText(store.nodes()));
  // The NaN went first (no X compares below NaN); X = -max * 0.1 has 38
  // integer digits; Y = 10 - max * 0.1.
  EXPECT_EQ(text,
            "(nan,10.00000)"
            "(-34028234663852885981170418348451692544.00000,"
            "-34028234663852885981170418348451692544.00000)"
            "(0.00000,10.00000)"
            "(inf,inf)");
  const kurvo::AxisArrays arrays = store.formatAxisArrays();
  EXPECT_EQ(arrays.x, "nan,-34028234663852885981170418348451692544,0,inf,");
  // (100 - max) * 0.1 and (100 - -inf) * 0.1.
  EXPECT_EQ(arrays.y, "10,-34028234663852885981170418348451692544,10,inf,");
  const kurvo::AxisArrays expected = kurvo_reference::formatAxisArrays(store.nodes());
  EXPECT_EQ(arrays.x, expected.x);
  EXPECT_EQ(arrays.y, expected.y);
}

TEST(FormatNodeText, NegativeZeroKeepsItsSign) {
  NodeStore store;
  store.insertNode(-0.0f, 100.0f);  // Y = 10 - 10 = +0
  store.insertNode(-1e-6f, 100.0f);
  EXPECT_EQ(store.formatNodeText(), "(-0.00000,0.00000)(-0.00000,0.00000)");
  EXPECT_EQ(store.formatAxisArrays().x, "-0,-0,");
  EXPECT_EQ(store.formatAxisArrays().y, "0,0,");
}

TEST(FormatNodeText, UsesTenMinusGyTimesATenthAndTheArraysAHundredMinusGy) {
  // 10 - gy * 0.1 and (100 - gy) * 0.1 differ in the last bit for these gy,
  // which shows in the fifth and sixth decimal.
  NodeStore store;
  store.insertNode(0, 0x1.8a4e48p+6f);  // 98.5764465
  EXPECT_EQ(store.formatNodeText(), "(0.00000,0.14235)");
  EXPECT_EQ(store.formatAxisArrays().y, "0.142355,");
  NodeStore other;
  other.insertNode(0, 0x1.149738p+3f);  // 8.64345932
  EXPECT_EQ(other.formatNodeText(), "(0.00000,9.13565)");
  EXPECT_EQ(other.formatAxisArrays().y, "9.135653,");
}

TEST(FormatAxisArrays, TrimsEveryNumber) {
  NodeStore store = Parsed("(0,0)(1.25,10)(-3.5,5)(100,2.5)(0.05,0.000001)");
  const kurvo::AxisArrays arrays = store.formatAxisArrays();
  EXPECT_EQ(arrays.x, "0,1.25,-3.5,100,0.05,");
  EXPECT_EQ(arrays.y, "0,10,5,2.5,0.000001,");
}

TEST(TrimNumber, NeverPastTheFirstCharacter) {
  EXPECT_EQ(trimNumber(""), "");
  EXPECT_EQ(trimNumber("0"), "0");
  EXPECT_EQ(trimNumber("-0.000000"), "-0");
  EXPECT_EQ(trimNumber("0.100000"), "0.1");
  EXPECT_EQ(trimNumber("inf"), "inf");
  EXPECT_EQ(trimNumber("-nan"), "-nan");
  EXPECT_EQ(trimNumber(".000"), "");
  EXPECT_EQ(trimNumber("."), "");
  EXPECT_EQ(trimNumber("000"), "0");
  EXPECT_EQ(trimNumber("100"), "1");  // not a "%f" text: the rule as it stands
}

// ------------------------------------------------------------ join

TEST(JoinAxisArrays, CopiesNumberTextsAsTheyStand) {
  EXPECT_EQ(joinAxisArrays("1,2,", "3,4,"), "(1,3)(2,4)");
  EXPECT_EQ(joinAxisArrays(" 1.50 ,x,", "3,,"), "( 1.50 ,3)(x,)");
  EXPECT_EQ(joinAxisArrays("1,2,3,", "4,"), "(1,4)");
  EXPECT_EQ(joinAxisArrays(",", ","), "(,)");
  EXPECT_EQ(joinAxisArrays("", ""), "");
  EXPECT_EQ(joinAxisArrays("1", "2"), "");
}

TEST(JoinAxisArrays, ThenParseGivesTheNodes) {
  NodeStore store;
  EXPECT_TRUE(store.parseNodeText(joinAxisArrays("1,2,", "3,4,"), kDefaultInitConfig));
  EXPECT_TRUE(SameNodes(store, {{10, 70}, {20, 60}}));
}

// ---------------------------------------------------------- insert, remove

TEST(InsertNode, KeepsXOrderThroughGrowthPast40And80) {
  std::mt19937 random(4);
  std::uniform_int_distribution<int> coarse(0, 30);  // many equal X
  NodeStore store;
  std::vector<BreakpointNode> model;
  for (int i = 0; i < 130; ++i) {
    const float gx = static_cast<float>(coarse(random)) * 2.5f;
    const float gy = static_cast<float>(i);  // tells equal-X nodes apart
    store.insertNode(gx, gy);
    const auto at = std::find_if(model.begin(), model.end(),
                                 [gx](const BreakpointNode& n) { return !(n.x < gx); });
    model.insert(at, {gx, gy});
    ASSERT_TRUE(SameNodes(store, model)) << "after " << i + 1;
    const std::size_t count = store.count();
    ASSERT_EQ(store.capacity(), std::max<std::size_t>(40, (count + 39) / 40 * 40));
  }
  EXPECT_EQ(store.capacity(), 160u);
  // Ascending X; among equal X the node inserted last comes first.
  for (std::size_t i = 1; i < store.count(); ++i) {
    EXPECT_LE(store[i - 1].x, store[i].x);
    if (store[i - 1].x == store[i].x) {
      EXPECT_GT(store[i - 1].y, store[i].y);
    }
  }
}

TEST(InsertNode, GoesBeforeTheFirstNodeNotBelowItsX) {
  // An unsorted store (as a text may give it): the first node whose X is
  // equal or greater decides.
  NodeStore store = Parsed("(5,0)(1,0)(9,0)");
  store.insertNode(30, 1);
  EXPECT_TRUE(SameNodes(store, {{30, 1}, {50, 100}, {10, 100}, {90, 100}}));
  store.insertNode(70, 2);
  EXPECT_TRUE(SameNodes(store, {{30, 1}, {50, 100}, {10, 100}, {70, 2}, {90, 100}}));
  store.insertNode(1000, 3);
  EXPECT_EQ(store[5].x, 1000.0f);
}

TEST(RemoveNode, MovesTheRestDownAndKeepsTheCapacity) {
  NodeStore store = Parsed(TextOf(45));
  ASSERT_EQ(store.capacity(), 80u);
  EXPECT_TRUE(store.removeNode(0));
  EXPECT_TRUE(store.removeNode(20));
  EXPECT_TRUE(store.removeNode(store.count() - 1));
  EXPECT_EQ(store.count(), 42u);
  EXPECT_EQ(store.capacity(), 80u);
  EXPECT_EQ(store[0].x, 10.0f);
  EXPECT_EQ(store[19].x, 200.0f);
  EXPECT_EQ(store[20].x, 220.0f);
  EXPECT_EQ(store[41].x, 430.0f);
  EXPECT_FALSE(store.removeNode(42));
  EXPECT_FALSE(store.removeNode(static_cast<std::size_t>(-1)));
  EXPECT_EQ(store.count(), 42u);
  while (store.count() > 0) EXPECT_TRUE(store.removeNode(0));
  EXPECT_FALSE(store.removeNode(0));
  EXPECT_EQ(store.capacity(), 80u);
}

TEST(NodeStore, CopiesAndMoves) {
  NodeStore a = Parsed(TextOf(50));
  NodeStore b(a);
  EXPECT_EQ(b.capacity(), 80u);
  EXPECT_TRUE(SameNodes(b, Nodes(a)));
  b.removeNode(0);
  EXPECT_EQ(a.count(), 50u);
  NodeStore c;
  c = a;
  EXPECT_TRUE(SameNodes(c, Nodes(a)));
  NodeStore d(std::move(c));
  EXPECT_TRUE(SameNodes(d, Nodes(a)));
  EXPECT_EQ(c.count(), 0u);     // NOLINT(bugprone-use-after-move): a documented state
  EXPECT_EQ(c.capacity(), 0u);  // NOLINT(bugprone-use-after-move)
  c.insertNode(1, 2);           // and usable
  EXPECT_EQ(c.capacity(), 40u);
  EXPECT_TRUE(c.parseNodeText(TextOf(3), ""));
  NodeStore e;
  e = std::move(d);
  EXPECT_EQ(e.count(), 50u);
  NodeStore f;
  f = std::move(d);  // NOLINT(bugprone-use-after-move)
  EXPECT_TRUE(f.parseNodeText(TextOf(41), ""));
  EXPECT_EQ(f.capacity(), 80u);
}

// ------------------------------------------------------------ round trips

// Curve values on a grid of 1/32: exact in float and in five decimals, and
// X * 10 * 0.1 and (10 - (10 - Y) * 10 * 0.1) give them back exactly.
std::vector<BreakpointNode> GridNodes(int count, unsigned seed, bool sorted) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> xs(-3200, 32000), ys(-320, 640);
  std::vector<BreakpointNode> nodes;
  for (int i = 0; i < count; ++i) {
    const float x = static_cast<float>(xs(random)) / 32;
    const float y = static_cast<float>(ys(random)) / 32;
    nodes.push_back({kurvo::graphXFromCurve(x), kurvo::graphYFromCurve(y)});
  }
  if (sorted) {
    std::stable_sort(nodes.begin(), nodes.end(),
                     [](const BreakpointNode& a, const BreakpointNode& b) { return a.x < b.x; });
  }
  return nodes;
}

NodeStore StoreOf(const std::vector<BreakpointNode>& nodes) {
  NodeStore store;
  for (const BreakpointNode& n : nodes) store.insertNode(n.x, n.y);
  return store;
}

TEST(RoundTrip, FormatThenParseGivesTheSameStore) {
  for (const int count : {1, 2, 40, 41, 81, 1000}) {
    const NodeStore store = StoreOf(GridNodes(count, static_cast<unsigned>(count), true));
    NodeStore back;
    EXPECT_TRUE(back.parseNodeText(store.formatNodeText(), kDefaultInitConfig));
    EXPECT_TRUE(SameNodes(back, Nodes(store))) << count;
    EXPECT_EQ(back.capacity(), store.capacity());
  }
}

TEST(RoundTrip, AnUnsortedTextComesBackInItsOrder) {
  const std::vector<BreakpointNode> nodes = GridNodes(300, 7, false);
  std::string text;
  for (const BreakpointNode& n : nodes) {
    text += "(" + cnum::formatFixed(kurvo::curveXFromGraph(n.x), 5) + "," +
            cnum::formatFixed(kurvo::nodeTextYFromGraph(n.y), 5) + ")";
  }
  NodeStore store;
  EXPECT_TRUE(store.parseNodeText(text, ""));
  EXPECT_TRUE(SameNodes(store, nodes));
  EXPECT_EQ(store.formatNodeText(), text);
}

TEST(RoundTrip, AxisArraysThenJoinThenParseGiveTheSameCurve) {
  for (const int count : {1, 2, 40, 41, 81, 1000}) {
    const NodeStore store = StoreOf(GridNodes(count, 100u + static_cast<unsigned>(count), true));
    const kurvo::AxisArrays arrays = store.formatAxisArrays();
    NodeStore back;
    EXPECT_TRUE(back.parseNodeText(joinAxisArrays(arrays.x, arrays.y), kDefaultInitConfig));
    EXPECT_TRUE(SameNodes(back, Nodes(store))) << count;
  }
}

TEST(RoundTrip, AnyWrittenTextIsAFixedPointAfterOneRound) {
  // Random values with all their digits: the first round loses what five
  // decimals cannot hold; from then on text and store stay the same. (This
  // holds for every five-decimal X below 102.4 and Y above -54 in size; past
  // them the float arithmetic of the conversions can move a value by 0.00001 on each
  // round, which no text written for the panel's range meets.)
  std::mt19937 random(11);
  std::uniform_real_distribution<float> curve(-50.0f, 50.0f);
  NodeStore store;
  for (int i = 0; i < 2000; ++i) store.insertNode(curve(random) * 10, curve(random) * 10);
  NodeStore once;
  ASSERT_TRUE(once.parseNodeText(store.formatNodeText(), ""));
  const std::string text = once.formatNodeText();
  NodeStore twice;
  ASSERT_TRUE(twice.parseNodeText(text, ""));
  EXPECT_EQ(twice.formatNodeText(), text);
  // (The stores can still differ in the last bit: five decimals do not tell
  // every float apart. From the second reading on they are the same text
  // read again.)
}

TEST(RoundTrip, AxisArraysOfAnyCurveComeBackToSixDecimals) {
  std::mt19937 random(12);
  std::uniform_real_distribution<float> curve(-50.0f, 50.0f);
  NodeStore store;
  for (int i = 0; i < 2000; ++i) store.insertNode(curve(random) * 10, curve(random) * 10);
  const kurvo::AxisArrays arrays = store.formatAxisArrays();
  NodeStore joined;
  ASSERT_TRUE(joined.parseNodeText(joinAxisArrays(arrays.x, arrays.y), ""));
  ASSERT_EQ(joined.count(), store.count());
  for (std::size_t i = 0; i < store.count(); ++i) {
    // Six decimals of the curve value, then float rounding of a graph value
    // below 1,000 (an ulp of 0.00006).
    EXPECT_NEAR(joined[i].x, store[i].x, 1e-4) << i;
    EXPECT_NEAR(joined[i].y, store[i].y, 1e-4) << i;
  }
}

TEST(RoundTrip, SpecialValuesComeBack) {
  NodeStore store = Parsed("(inf,-inf)(-inf,inf)(nan,1)(1,-nan)");
  NodeStore back;
  EXPECT_TRUE(back.parseNodeText(store.formatNodeText(), ""));
  EXPECT_TRUE(SameNodes(back, Nodes(store)));
  const kurvo::AxisArrays arrays = store.formatAxisArrays();
  EXPECT_TRUE(back.parseNodeText(joinAxisArrays(arrays.x, arrays.y), ""));
  EXPECT_TRUE(SameNodes(back, Nodes(store)));
}

// ------------------------------- against the rules written out step by step

TEST(AgainstTheReference, RandomTextsParseAndFormatTheSame) {
  // Texts made of the characters that matter, numbers of every kind.
  const std::vector<std::string> pieces = {
      "(",     ")",     ",",           " ", "1", "-2.5", "1e3",      "0x1p-2",       "inf",
      "nan",   "1e40",  "1e-50",       "x", ".", "e",    "0.000001", "12345.678901", "+",
      "(3,4)", "9e-46", "3.4028236e38"};
  std::mt19937 random(5);
  std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
  std::uniform_int_distribution<int> length(0, 40);
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    for (int n = length(random); n > 0; --n) text += pieces[pick(random)];
    NodeStore store;
    std::vector<BreakpointNode> expected;
    const bool complete = kurvo_reference::parseNodeText(expected, text, "(0.0,5.0)(10.0,5.0)");
    ASSERT_EQ(store.parseNodeText(text, kDefaultInitConfig), complete) << text;
    ASSERT_TRUE(SameNodes(store, expected)) << text;
    ASSERT_EQ(store.formatNodeText(), kurvo_reference::formatNodeText(expected)) << text;
    const kurvo::AxisArrays arrays = store.formatAxisArrays();
    const kurvo::AxisArrays expectedArrays = kurvo_reference::formatAxisArrays(expected);
    ASSERT_EQ(arrays.x, expectedArrays.x) << text;
    ASSERT_EQ(arrays.y, expectedArrays.y) << text;
    ASSERT_EQ(joinAxisArrays(text, arrays.y), kurvo_reference::joinAxisArrays(text, arrays.y));
  }
}

}  // namespace
