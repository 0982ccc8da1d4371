#include "logging/log_items.h"

#include <charconv>
#include <limits>

namespace logging::items {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

} // namespace

bool splitItems(std::string_view line, Item *items, int maxItems, int &count) {
  count = 0;
  size_t i = 0;
  while (true) {
    if (count == maxItems)
      return false;
    Item &item = items[count++];
    if (i < line.size() && line[i] == '"') {
      size_t j = i + 1;
      while (true) {
        const size_t q = line.find('"', j);
        if (q == std::string_view::npos)
          return false;
        if (q + 1 < line.size() && line[q + 1] == '"') {
          j = q + 2;
          continue;
        }
        item.text = line.substr(i + 1, q - i - 1);
        item.quoted = true;
        i = q + 1;
        break;
      }
      if (i == line.size())
        return true;
      if (line[i] != ',')
        return false;
      ++i;
    } else {
      const size_t comma = line.find(',', i);
      item.text =
          line.substr(i, comma == std::string_view::npos ? std::string_view::npos : comma - i);
      item.quoted = false;
      if (comma == std::string_view::npos)
        return true;
      i = comma + 1;
    }
  }
}

QString itemText(std::string_view text) {
  QString out = QString::fromLocal8Bit(text.data(), qsizetype(text.size()));
  out.replace(QStringLiteral("\"\""), QStringLiteral("\""));
  return out;
}

bool parseNumber(std::string_view text, double &value) {
  if (text.empty())
    return false;
  const auto res = std::from_chars(text.data(), text.data() + text.size(), value);
  return res.ec == std::errc() && res.ptr == text.data() + text.size();
}

bool parseTotal(std::string_view text, double &value) {
  if (text.empty() || text == "000") {
    value = std::numeric_limits<double>::quiet_NaN();
    return true;
  }
  if (text.size() > 64)
    return false;
  char buf[64];
  for (size_t i = 0; i < text.size(); ++i)
    buf[i] = text[i] == ',' ? '.' : text[i];
  return parseNumber(std::string_view(buf, text.size()), value);
}

bool parseTimeOfDay(std::string_view t, int &seconds) {
  if (t.size() < 8 || !isDigit(t[0]) || !isDigit(t[1]))
    return false;
  size_t i = 2;
  while (i < t.size() && !isDigit(t[i]))
    ++i;
  const std::string_view sep = t.substr(2, i - 2);
  if (sep.empty() || t.size() != 6 + 2 * sep.size() || t.substr(4 + sep.size(), sep.size()) != sep)
    return false;
  const size_t m = 2 + sep.size();
  const size_t s = m + 2 + sep.size();
  if (!isDigit(t[m]) || !isDigit(t[m + 1]) || !isDigit(t[s]) || !isDigit(t[s + 1]))
    return false;
  const int hh = (t[0] - '0') * 10 + (t[1] - '0');
  const int mm = (t[m] - '0') * 10 + (t[m + 1] - '0');
  const int ss = (t[s] - '0') * 10 + (t[s + 1] - '0');
  if (hh > 23 || mm > 59 || ss > 59)
    return false;
  seconds = hh * 3600 + mm * 60 + ss;
  return true;
}

QDate parseDateItem(const Item &item) {
  const std::string_view t = item.text;
  if (item.quoted || t.size() != 12 || t[0] != '#' || t[5] != '-' || t[8] != '-' || t[11] != '#')
    return {};
  int parts[3] = {0, 0, 0};
  const size_t starts[3] = {1, 6, 9};
  const size_t lengths[3] = {4, 2, 2};
  for (int p = 0; p < 3; ++p)
    for (size_t k = 0; k < lengths[p]; ++k) {
      const char c = t[starts[p] + k];
      if (!isDigit(c))
        return {};
      parts[p] = parts[p] * 10 + (c - '0');
    }
  return QDate(parts[0], parts[1], parts[2]); // invalid for 2026-02-30
}

} // namespace logging::items
