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

// What one locale writes, the same locale reads back: every locale Qt knows, those that write
// digits other than 0 to 9 (Arabic-Indic, Bengali, Devanagari ...) and direction marks included.
TEST(ParseTypedDate, ReadsBackWhatEveryLocaleWrites) {
  const QDate dates[] = {QDate(2004, 1, 1), QDate(1999, 12, 31), QDate(2026, 12, 7)};
  int otherDigits = 0;
  for (const QLocale &locale :
       QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory)) {
    otherDigits += locale.zeroDigit() != QStringLiteral("0");
    for (const QDate &d : dates) {
      const QString written = common::shortDate(d, locale);
      EXPECT_EQ(common::parseTypedDate(written, locale), d)
          << locale.name().toStdString() << " wrote " << written.toStdString();
    }
  }
  EXPECT_GT(otherDigits, 10) << "the table should hold locales with digits of their own";
  // A date written in ASCII digits before locales' own digits were read keeps reading.
  const QLocale egypt(QLocale::Arabic, QLocale::Egypt);
  EXPECT_EQ(common::parseTypedDate("1/1/2004", egypt), QDate(2004, 1, 1));
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
