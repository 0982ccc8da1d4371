#include "common/date_text.h"

#include <gtest/gtest.h>

namespace {

const QLocale us(QLocale::English, QLocale::UnitedStates);
const QLocale german(QLocale::German, QLocale::Germany);
const QLocale british(QLocale::English, QLocale::UnitedKingdom);

TEST(ShortDate, UsesTheRegionalOrderWithAFourDigitYear) {
  EXPECT_EQ(common::shortDate(QDate(2001, 1, 1), us), "1/1/2001");
  EXPECT_EQ(common::shortDate(QDate(2026, 12, 7), us), "12/7/2026");
  EXPECT_EQ(common::shortDate(QDate(2026, 12, 7), german), "07.12.2026");
  EXPECT_EQ(common::shortDate(QDate(2026, 12, 7), british), "07/12/2026");
}

TEST(ParseTypedDate, ReadsWhatShortDateWritesAndTheDefault) {
  const QLocale locales[] = {us, german, british, QLocale::c()};
  const QDate dates[] = {QDate(2001, 1, 1), QDate(1999, 12, 31), QDate(2026, 2, 28),
                         QDate(1930, 6, 15)};
  for (const QLocale &locale : locales) {
    EXPECT_EQ(common::parseTypedDate("01/01/01", locale), QDate(2001, 1, 1))
        << locale.name().toStdString();
    for (const QDate &d : dates)
      EXPECT_EQ(common::parseTypedDate(common::shortDate(d, locale), locale), d)
          << locale.name().toStdString() << ' ' << d.toString().toStdString();
  }
}

TEST(ParseTypedDate, TwoDigitYearsAndBadTexts) {
  EXPECT_EQ(common::parseTypedDate("12/31/29", us), QDate(2029, 12, 31));
  EXPECT_EQ(common::parseTypedDate("12/31/30", us), QDate(1930, 12, 31));
  EXPECT_EQ(common::parseTypedDate("31.12.99", german), QDate(1999, 12, 31));
  EXPECT_EQ(common::parseTypedDate("2001-02-03", german), QDate(2001, 2, 3));
  const char *bad[] = {"", "yesterday", "13/1/2001", "2/30/2001", "1/1", "1/1/1/1", "1/1/201"};
  for (const char *text : bad)
    EXPECT_FALSE(common::parseTypedDate(text, us).has_value()) << text;
}

} // namespace
