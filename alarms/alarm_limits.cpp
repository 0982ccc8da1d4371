#include "alarms/alarm_limits.h"

#include <QLocale>

#include <cmath>

namespace alarms {
namespace {

QString number(double value) { return QString::number(value, 'g', QLocale::FloatingPointShortest); }

// A stored number: absent or empty is "off" (nullopt in `value`); false when text is there that
// is no finite number.
bool readNumber(QSettings &store, const QString &key, std::optional<double> &value) {
  value.reset();
  const QString text = store.value(key).toString().trimmed();
  if (text.isEmpty())
    return true;
  bool ok = false;
  const double parsed = QLocale::c().toDouble(text, &ok);
  if (!ok || !std::isfinite(parsed))
    return false;
  value = parsed;
  return true;
}

QString unreadable(const QString &key, QSettings &store, const QString &consequence) {
  return QStringLiteral("Alarm setting %1/%2 (\"%3\") is not a number: %4")
      .arg(QLatin1String(settingsGroup), key, store.value(key).toString(), consequence);
}

void loadLimits(QSettings &store, Alarm alarm, LoadedSettings &loaded) {
  const QString prefix = key(alarm) + QLatin1Char('/');
  std::optional<double> low, high, deadband, delay;
  bool rowOff = false;
  for (auto [suffix, target] : {std::pair{"low", &low}, std::pair{"high", &high},
                                std::pair{"deadband", &deadband}, std::pair{"delay", &delay}})
    if (!readNumber(store, prefix + QLatin1String(suffix), *target)) {
      // A deadband or delay that cannot be read would change when the alarm comes and goes:
      // the whole row stays off rather than run on a guess.
      const bool whole = target == &deadband || target == &delay;
      loaded.problems << unreadable(prefix + QLatin1String(suffix), store,
                                    whole ? QStringLiteral("the limits of %1 are off.").arg(name(alarm))
                                          : QStringLiteral("that limit is off."));
      rowOff = rowOff || whole;
    }
  if (rowOff)
    return;
  Limits limits{low, high, deadband.value_or(0), delay.value_or(0)};
  if (const QString why = refusal(name(alarm), limits); !why.isEmpty()) {
    loaded.problems << QStringLiteral("Stored alarm limits refused, %1 The limits are off.").arg(why);
    return;
  }
  loaded.settings.limits[index(alarm)] = limits;
}

} // namespace

QString refusal(const QString &row, const Limits &limits) {
  if (limits.low && limits.high && *limits.low >= *limits.high)
    return QStringLiteral("%1: the low limit must be below the high limit.").arg(row);
  if (limits.deadband < 0)
    return QStringLiteral("%1: the deadband cannot be negative.").arg(row);
  if (limits.low && limits.high && limits.deadband >= *limits.high - *limits.low)
    return QStringLiteral("%1: the deadband must be smaller than the high limit minus the low "
                          "limit.")
        .arg(row);
  if (limits.onDelaySeconds < 0)
    return QStringLiteral("%1: the on-delay cannot be negative.").arg(row);
  return {};
}

QString refusalOfNoReading(const QString &row, double seconds) {
  if (seconds < 0)
    return QStringLiteral("%1: the time without a reading cannot be negative.").arg(row);
  return {};
}

LoadedSettings loadAlarmSettings(QSettings &store) {
  LoadedSettings loaded;
  store.beginGroup(QLatin1String(settingsGroup));
  for (const Alarm alarm : allAlarms) {
    if (!isNoReading(alarm)) {
      loadLimits(store, alarm, loaded);
      continue;
    }
    const QString settingKey = key(alarm) + QStringLiteral("/no_reading");
    std::optional<double> seconds;
    if (!readNumber(store, settingKey, seconds))
      loaded.problems << unreadable(settingKey, store, QStringLiteral("that alarm is off."));
    else if (seconds && refusalOfNoReading(name(alarm), *seconds).isEmpty())
      loaded.settings.noReadingSeconds[static_cast<int>(channel(alarm))] = *seconds;
    else if (seconds)
      loaded.problems << refusalOfNoReading(name(alarm), *seconds);
  }
  store.endGroup();
  return loaded;
}

void saveAlarmSettings(QSettings &store, const AlarmSettings &settings) {
  store.beginGroup(QLatin1String(settingsGroup));
  store.remove(QString()); // the group only: keys of limits now off go
  for (int i = 0; i < limitAlarmCount; ++i) {
    const Limits &limits = settings.limits[i];
    const QString prefix = key(static_cast<Alarm>(i)) + QLatin1Char('/');
    if (limits.low)
      store.setValue(prefix + "low", number(*limits.low));
    if (limits.high)
      store.setValue(prefix + "high", number(*limits.high));
    if (limits.deadband != 0)
      store.setValue(prefix + "deadband", number(limits.deadband));
    if (limits.onDelaySeconds != 0)
      store.setValue(prefix + "delay", number(limits.onDelaySeconds));
  }
  for (int c = 0; c < state::channelCount; ++c)
    if (settings.noReadingSeconds[c] > 0)
      store.setValue(key(noReadingAlarm(static_cast<state::Channel>(c))) + "/no_reading",
                     number(settings.noReadingSeconds[c]));
  store.endGroup();
  store.sync();
}

} // namespace alarms
