#pragma once

#include <QDate>
#include <QString>

#include <string_view>

// The items of one log line as the reader takes them apart: views into the line's bytes, read
// without copying. Internal to the log reader.
namespace logging::items {

struct Item {
  std::string_view text; // without the quotes; doubled quotes still doubled
  bool quoted = false;
};

// Splits a line into at most `maxItems` items. False when a quoted item is not closed or is
// followed by anything but a comma, or when there are more items.
bool splitItems(std::string_view line, Item *items, int maxItems, int &count);

// A quoted item's text, doubled quotes made single, in the system's 8-bit encoding.
QString itemText(std::string_view text);

// A bare number with "." as the decimal point, the whole text and nothing else.
bool parseNumber(std::string_view text, double &value);

// Total Liters: the regional decimal separator may be "," and "" or "000" (no total shown) is
// NaN.
bool parseTotal(std::string_view text, double &value);

// "hh:mm:ss" with any separator the locale used (":" or "."), the same one twice.
bool parseTimeOfDay(std::string_view t, int &seconds);

// #yyyy-mm-dd#; invalid for anything else, e.g. 2026-02-30.
QDate parseDateItem(const Item &item);

} // namespace logging::items
