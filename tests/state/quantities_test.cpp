#include "console/window_controls.h"
#include "logging/log_schema.h"
#include "publish/topics.h"
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

// Two readings sharing a key, topic, display, column or field would overwrite each other; every
// table beside the catalogue lists its quantities at their own positions.
TEST(Quantities, NamesColumnsAndFieldsAreUnique) {
  std::set<std::string> keys, displays, topics, titles, tidyNames;
  std::set<int> columns;
  std::set<const double *> fields;
  const AcquisitionState record;
  for (const state::QuantityInfo &q : state::quantities) {
    const int k = static_cast<int>(q.quantity);
    EXPECT_EQ(console::quantityControls[k].quantity, q.quantity);
    EXPECT_EQ(publish::topics::quantityTopics[k].quantity, q.quantity);
    EXPECT_TRUE(keys.insert(q.key).second) << q.key;
    EXPECT_TRUE(displays.insert(console::controls(q.quantity).display).second) << q.key;
    EXPECT_TRUE(topics.insert(publish::topics::of(q.quantity).topic).second) << q.key;
    const int column = logging::logColumnOf(q.quantity);
    ASSERT_TRUE(column >= 0 && column < state::quantityCount) << q.key;
    EXPECT_TRUE(columns.insert(column).second) << q.key;
    EXPECT_TRUE(titles.insert(std::string(logging::kLogColumns[size_t(column)].title)).second);
    EXPECT_TRUE(tidyNames.insert(std::string(logging::kLogColumns[size_t(column)].tidyName)).second);
    EXPECT_TRUE(fields.insert(&(record.*q.field)).second) << q.key;
  }
}

// The corrected value is the stored one plus the correction the record holds now, for exactly
// the quantities that have one.
TEST(Quantities, ACorrectionIsAddedOnlyWhereTheQuantityHasOne) {
  AcquisitionState record;
  record.ph2Corr = 0.25;
  record.therm3Offset = -1.5;
  EXPECT_EQ(state::corrected(state::info(state::Quantity::Ph2), 7, record), 7.25);
  EXPECT_EQ(state::corrected(state::info(state::Quantity::Therm3), 20, record), 18.5);
  EXPECT_EQ(state::corrected(state::info(state::Quantity::Ph1), 7, record), 7);
  EXPECT_EQ(state::corrected(state::info(state::Quantity::Ph2mV), 7, record), 7);
  EXPECT_EQ(state::probe(2).pHQuantity, state::Quantity::Ph2);
  EXPECT_EQ(state::probeAt(QStringLiteral("7")), &state::probes[1]);
  EXPECT_EQ(state::probeAt(QStringLiteral("5")), nullptr);
}

} // namespace
