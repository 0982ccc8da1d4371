#include "calibration/probe_care.h"

#include "calibration/calibration_store.h"
#include "calibration/fixed_text.h"
#include "common/number_text.h"
#include "common/own_settings.h"

#include <QDir>
#include <QLocale>

#include <cmath>

namespace calibration {
namespace {

struct LimitKey {
  const char *name;
  Limits ConditionLimits::*member;
};
constexpr LimitKey limitKeys[] = {{"slope of default", &ConditionLimits::slopeOfDefault},
                                  {"slope of previous", &ConditionLimits::slopeOfPrevious},
                                  {"offset change mV", &ConditionLimits::offsetChangeMv}};

QString probePrefix(int probe) { return QStringLiteral("probe%1/").arg(probe == 2 ? 2 : 1); }

// A stored limit: a finite number, 0 or more, as the dialog accepts; otherwise `fallback`, said.
double storedNumber(const QSettings &settings, const QString &key, double fallback,
                    QStringList *problems) {
  const QVariant stored = settings.value(key);
  if (!stored.isValid())
    return fallback;
  bool ok = false;
  const double value = stored.toDouble(&ok);
  if (ok && std::isfinite(value) && value >= 0)
    return value;
  if (problems)
    problems->append(storedValueProblem(careGroup(), key, stored.toString(),
                                        QStringLiteral("is not a number, 0 or more"),
                                        common::generalNumber(fallback)));
  return fallback;
}

// A stored interval: a whole number of days from 0 to INT_MAX, as the dialog accepts.
int storedDays(const QSettings &settings, const QString &key, int fallback, QStringList *problems) {
  const QVariant stored = settings.value(key);
  if (!stored.isValid())
    return fallback;
  bool ok = false;
  const int days = stored.toString().trimmed().toInt(&ok);
  if (ok && days >= 0)
    return days;
  if (problems)
    problems->append(storedValueProblem(careGroup(), key, stored.toString(),
                                        QStringLiteral("is not a whole number of days, 0 or more"),
                                        QString::number(fallback)));
  return fallback;
}

QString fixed(double value, int places, bool sign = false) {
  const QString text = fixedText(value, places);
  return sign && value >= 0 ? QStringLiteral("+") + text : text;
}

void judge(Condition &c, double deviation, const Limits &limits, const QString &what) {
  if (deviation > limits.refuse) {
    c.verdict = Verdict::Refuse;
    c.reasons.prepend(what + QStringLiteral(" is beyond the refusal limit (%1)")
                                 .arg(common::generalNumber(limits.refuse)));
  } else if (deviation > limits.warn) {
    if (c.verdict == Verdict::Good)
      c.verdict = Verdict::Warn;
    c.reasons.append(what + QStringLiteral(" is beyond the warning limit (%1)")
                                .arg(common::generalNumber(limits.warn)));
  }
}

} // namespace

QString careGroup() { return QStringLiteral("Calibration care"); }

QString storedValueProblem(const QString &group, const QString &key, const QString &stored,
                           const QString &why, const QString &used) {
  return QStringLiteral("In the settings file \"%1\", [%2] %3 = \"%4\" %5; %6 is used instead.")
      .arg(QDir::toNativeSeparators(settingsFileName()), group, key, stored, why, used);
}

ProbeCare readProbeCare(int probe, QStringList *problems) {
  QString refusal;
  const std::unique_ptr<QSettings> settings = common::openOwnSettings(settingsApplication(), &refusal);
  settings->beginGroup(careGroup());
  const QString prefix = probePrefix(probe);
  ProbeCare care;
  care.dueDays = storedDays(*settings, prefix + QStringLiteral("due days"), care.dueDays, problems);
  for (const LimitKey &key : limitKeys) {
    Limits &limits = care.limits.*key.member;
    const Limits defaults = limits;
    const QString base = prefix + QLatin1String(key.name);
    limits.warn = storedNumber(*settings, base + QStringLiteral(" warn"), limits.warn, problems);
    limits.refuse = storedNumber(*settings, base + QStringLiteral(" refuse"), limits.refuse, problems);
    // A result is warned of before it is refused: a pair out of that order is no pair.
    if (limits.warn > limits.refuse) {
      if (problems)
        problems->append(storedValueProblem(
            careGroup(), base + QStringLiteral(" warn"), common::generalNumber(limits.warn),
            QStringLiteral("is above its refusal limit, %1").arg(common::generalNumber(limits.refuse)),
            QStringLiteral("%1 (refusing above %2)")
                .arg(common::generalNumber(defaults.warn), common::generalNumber(defaults.refuse))));
      limits = defaults;
    }
  }
  return care;
}

QSettings::Status saveProbeCare(int probe, const ProbeCare &care) {
  const std::unique_ptr<QSettings> store = common::openOwnSettings(settingsApplication());
  QSettings &settings = *store;
  settings.beginGroup(careGroup());
  const QString prefix = probePrefix(probe);
  settings.setValue(prefix + QStringLiteral("due days"), care.dueDays);
  for (const LimitKey &key : limitKeys) {
    const Limits &limits = care.limits.*key.member;
    const QString base = prefix + QLatin1String(key.name);
    settings.setValue(base + QStringLiteral(" warn"), limits.warn);
    settings.setValue(base + QStringLiteral(" refuse"), limits.refuse);
  }
  settings.sync();
  return settings.status();
}

QString Condition::summary() const {
  return QStringLiteral("Slope %1 % of default, %2 % of previous; offset %3 mV")
      .arg(fixed(slopeOfDefaultPct, 1), fixed(slopeOfPreviousPct, 1),
           fixed(offsetChangeMv, 2, true));
}

Condition judgeCondition(double offset, double slope, double previousOffset, double previousSlope,
                         const ConditionLimits &limits) {
  Condition c;
  c.slopeOfDefaultPct = 100 * slope / defaultGain;
  c.slopeOfPreviousPct = previousSlope != 0 ? 100 * slope / previousSlope : NAN;
  c.offsetChangeMv = 1000 * (offset - previousOffset);
  // A comparison that is not a number (a previous slope of 0) counts as beyond every limit.
  const auto deviation = [](double pct) {
    return std::isfinite(pct) ? std::abs(pct - 100) : INFINITY;
  };
  judge(c, deviation(c.slopeOfDefaultPct), limits.slopeOfDefault,
        QStringLiteral("the slope against the default, %1 %,").arg(fixed(c.slopeOfDefaultPct, 1)));
  judge(
      c, deviation(c.slopeOfPreviousPct), limits.slopeOfPrevious,
      QStringLiteral("the slope against the previous, %1 %,").arg(fixed(c.slopeOfPreviousPct, 1)));
  judge(c, std::isfinite(c.offsetChangeMv) ? std::abs(c.offsetChangeMv) : INFINITY,
        limits.offsetChangeMv,
        QStringLiteral("the offset's change, %1 mV,").arg(fixed(c.offsetChangeMv, 2, true)));
  return c;
}

std::optional<QString> implausibleSlope(double slope, double presentSlope) {
  const QString value = common::generalNumber(slope);
  const bool present = std::isfinite(presentSlope) && presentSlope > 0;
  QString what;
  if (!(slope > 0))
    what = QStringLiteral("of the wrong sign");
  else if (slope < defaultGain / 2 || (present && slope < presentSlope / 2))
    what = QStringLiteral("under half the probe's present or the default slope");
  else if (slope > defaultGain * 2 || (present && slope > presentSlope * 2))
    what = QStringLiteral("over twice the probe's present or the default slope");
  else
    return std::nullopt;
  const bool tooFlat = !(slope > 0) || slope < defaultGain;
  return QStringLiteral("The fitted slope, %1, is %2: no working probe gives it, so it cannot be "
                        "applied. %3")
      .arg(value, what,
           tooFlat ? QStringLiteral("The readings hardly changed between the buffers: did the "
                                    "probe go into the next buffer? Measure them again.")
                   : QStringLiteral("The readings changed far more than the buffers' pH: are "
                                    "the buffers' pH right? Measure them again."));
}

bool isCalibrationDue(const QDate &calibrated, int dueDays, const QDate &today) {
  if (dueDays <= 0 || !calibrated.isValid() || !today.isValid())
    return false;
  return calibrated.daysTo(today) > dueDays;
}

} // namespace calibration
