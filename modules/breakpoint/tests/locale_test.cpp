// The texts are read and written as in the "C" locale even when the process
// runs in a locale whose decimal separator is a comma (where strtod would
// read "1.5" as 1 and printf write "1,50000", and the "," would split the
// entry).
#include <gtest/gtest.h>

#include "breakpoint/node_store.h"
#include "comma_locale.h"
#include "common/c_numbers.h"

namespace {

using testing_locale::CommaLocale;

TEST_F(CommaLocale, NumbersAreReadAndWrittenWithAPoint) {
  EXPECT_EQ(cnum::readCNumber("1.5"), 1.5);
  EXPECT_EQ(cnum::readCNumber("1,5"), 1.0);
  EXPECT_EQ(cnum::formatFixed(1.5, 5), "1.50000");
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
