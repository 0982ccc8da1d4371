#include "common/number_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

const QLocale us(QLocale::English, QLocale::UnitedStates);
const QLocale german(QLocale::German, QLocale::Germany);

TEST(GeneralNumber, WritesTheShortestPlainTextInTheRegionalForm) {
  struct Row {
    double value;
    const char *us;
    const char *german;
  };
  const Row rows[] = {
      {7, "7", "7"},
      {7.05, "7.05", "7,05"},
      {2577.7, "2577.7", "2577,7"},
      {0, "0", "0"},
      {-0.0, "0", "0"},
      {-0.5, "-0.5", "-0,5"},
      {1234567, "1234567", "1234567"}, // no grouping
      {0.1 + 0.2, "0.3", "0,3"},       // 15 significant digits hide the binary noise
      {2.5777, "2.5777", "2,5777"},
      {123456789012345.6, "123456789012346", "123456789012346"},
      {0.000198416, "0.000198416", "0,000198416"},
      {1e308, "1E+308", "1E+308"},
      {-1.5e-20, "-1.5E-20", "-1,5E-20"},
  };
  for (const Row &r : rows) {
    EXPECT_EQ(common::generalNumber(r.value, us).toStdString(), r.us) << r.value;
    EXPECT_EQ(common::generalNumber(r.value, german).toStdString(), r.german) << r.value;
    EXPECT_EQ(common::bareNumber(r.value).toStdString(), r.us) << r.value;
  }
}

TEST(GeneralNumber, FifteenSignificantDigitsReadBackUnchanged) {
  const double values[] = {2.57771234567891, 4.54270000000001, 0.123456789012345,
                           -98765.4321012345};
  for (double v : values) {
    const auto back = common::parseTypedNumber(common::generalNumber(v, german), german);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, v);
  }
}

TEST(RoundHalfEven, JudgesHalvesOnTheShortestDecimalDigits) {
  struct Row {
    double value;
    int places;
    double expected;
  };
  const Row rows[] = {
      {21.125, 2, 21.12},   {21.135, 2, 21.14},   {0.125, 2, 0.12},
      {0.135, 2, 0.14},     {21.456, 2, 21.46},   {21.454, 2, 21.45},
      {-21.125, 2, -21.12}, {2.5, 0, 2},          {3.5, 0, 4},
      {0.5, 0, 0},          {9.995, 2, 10},       {99.996, 2, 100},
      {7.00005, 4, 7},      {7.00015, 4, 7.0002}, {0.004, 2, 0},
      {0.005, 2, 0},        {0.0051, 2, 0.01},    {0.0001, 2, 0},
      {12.5, 2, 12.5},      {1e308, 2, 1e308},    {1.6666666666666667, 2, 1.67},
  };
  for (const Row &r : rows)
    EXPECT_EQ(common::roundHalfEven(r.value, r.places), r.expected)
        << r.value << " to " << r.places;
  EXPECT_TRUE(std::isnan(common::roundHalfEven(std::nan(""), 2)));
}

TEST(ParseNumber, AcceptsWholeNumbersOnly) {
  struct Row {
    const char *text;
    bool reads;
    double value;
  };
  const Row rows[] = {
      {"02577.70", true, 2577.7},
      {" 12.5 ", true, 12.5},
      {"+1", true, 1},
      {"-0.5", true, -0.5},
      {"2.", true, 2},
      {".5", true, 0.5},
      {"1e3", true, 1000},
      {"1E-2", true, 0.01},
      {"99999999", true, 99999999},
      {"1e308", true, 1e308},
      {"1e-400", true, 0},
      {"1e400", false, 0},
      {"", false, 0},
      {" ", false, 0},
      {"-", false, 0},
      {".", false, 0},
      {"e5", false, 0},
      {"12.5x", false, 0},
      {"1,5", false, 0},
      {"0x10", false, 0},
      {"nan", false, 0},
      {"inf", false, 0},
      {"1 2", false, 0},
      {"\xd9\xa3", false, 0}, // an Arabic-Indic digit is not a module digit
  };
  for (const Row &r : rows) {
    const auto got = common::parseModuleNumber(QString::fromUtf8(r.text));
    EXPECT_EQ(got.has_value(), r.reads) << '"' << r.text << '"';
    if (got && r.reads) {
      EXPECT_EQ(*got, r.value) << '"' << r.text << '"';
    }
  }
}

TEST(ParseNumber, TypedNumbersUseTheRegionalSeparator) {
  EXPECT_EQ(common::parseTypedNumber("2,6", german), 2.6);
  EXPECT_EQ(common::parseTypedNumber("2,", german), 2.0);
  EXPECT_FALSE(common::parseTypedNumber("2.6", german).has_value());
  EXPECT_FALSE(common::parseTypedNumber(",", german).has_value());
  EXPECT_EQ(common::parseTypedNumber("2.6", us), 2.6);
  EXPECT_FALSE(common::parseTypedNumber("2,6", us).has_value());
  // Module values read with "." whatever the operator's locale.
  QLocale::setDefault(german);
  EXPECT_EQ(common::parseModuleNumber("2.6"), 2.6);
  QLocale::setDefault(QLocale::c());
}

} // namespace
