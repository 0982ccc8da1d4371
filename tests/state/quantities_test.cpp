#include "state/quantities.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

// Lookups go by position: an entry out of place would describe another reading.
TEST(Quantities, EachEntryStandsAtItsOwnPosition) {
  for (int k = 0; k < state::quantityCount; ++k)
    EXPECT_EQ(static_cast<int>(state::quantities[k].quantity), k);
  for (int k = 0; k < state::channelCount; ++k)
    EXPECT_EQ(static_cast<int>(state::channels[k].channel), k);
  EXPECT_EQ(state::thermistor(3), state::Quantity::Therm3);
}

// Two readings sharing a key, topic, display, column or field would overwrite each other.
TEST(Quantities, NamesColumnsAndFieldsAreUnique) {
  using Text = const char *state::QuantityInfo::*;
  for (Text text :
       {&state::QuantityInfo::key, &state::QuantityInfo::display, &state::QuantityInfo::topic,
        &state::QuantityInfo::exportColumn, &state::QuantityInfo::logTitle}) {
    std::set<std::string> seen;
    for (const state::QuantityInfo &q : state::quantities)
      EXPECT_TRUE(seen.insert(q.*text).second) << q.*text;
  }
  std::set<int> columns;
  std::set<const double *> fields;
  const AcquisitionState record;
  for (const state::QuantityInfo &q : state::quantities) {
    EXPECT_TRUE(q.logColumn >= 0 && q.logColumn < state::quantityCount) << q.key;
    EXPECT_TRUE(columns.insert(q.logColumn).second) << q.key;
    EXPECT_TRUE(fields.insert(&(record.*q.field)).second) << q.key;
  }
}

} // namespace
