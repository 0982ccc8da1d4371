#pragma once

#include <QDate>
#include <QSettings>
#include <QString>
#include <QStringList>

#include <optional>

namespace calibration {

// The gain of a probe that follows the Nernst relation exactly, as the store's default slope.
inline constexpr double defaultGain = 4.5427;

// How far a value may stray, in its own unit, before it is shown with a warning and before
// applying it needs the operator's confirmation.
struct Limits {
  double warn = 0;
  double refuse = 0;
};

struct ConditionLimits {
  Limits slopeOfDefault{5, 20};  // percentage points from 100 % of the default gain
  Limits slopeOfPrevious{5, 20}; // percentage points from 100 % of the previous slope
  // Millivolts. Refused beyond about two pH units of the zero point (59 mV a pH unit at 25 °C):
  // a probe recalibrated after weeks may well have drifted by one.
  Limits offsetChangeMv{15, 120};
};

// Per probe: the calibration interval in days (0: never due) and the condition limits. Kept in
// the settings store in a group of their own, never beside the probe's coefficients.
struct ProbeCare {
  int dueDays = 7;
  ConditionLimits limits;
};

QString careGroup();

// One line of calibration::settingsProblems: 'In the settings file "<file>", [<group>] <key> =
// "<stored>" <why>; <used> is used instead.'
QString storedValueProblem(const QString &group, const QString &key, const QString &stored,
                           const QString &why, const QString &used);
// Probe `probe`'s care as stored; each stored value the dialog would not accept (not a number, 0
// or more; days not a whole number; a warning limit above its refusal limit) is replaced by its
// default, with a line in `problems` (see storedValueProblem).
ProbeCare readProbeCare(int probe, QStringList *problems = nullptr);
// AccessError when the store could not be written.
QSettings::Status saveProbeCare(int probe, const ProbeCare &care);

enum class Verdict { Good, Warn, Refuse };

struct Condition {
  double slopeOfDefaultPct = 100;
  double slopeOfPreviousPct = 100;
  double offsetChangeMv = 0;
  Verdict verdict = Verdict::Good;
  QStringList reasons; // one per limit passed, worst first

  // "Slope 98.6 % of default, 100.2 % of previous; offset +1.20 mV"
  QString summary() const;
};

// A probe's new offset (volts) and slope judged against the default gain and its previous
// calibration.
Condition judgeCondition(double offset, double slope, double previousOffset, double previousSlope,
                         const ConditionLimits &limits);

// Why a fitted slope cannot be a working probe's (of the wrong sign, under half or over twice
// the present or the default gain), with what probably happened; nullopt when it can be.
std::optional<QString> implausibleSlope(double slope, double presentSlope);

// True when a calibration dated `calibrated` is older than `dueDays` on `today`; never with 0.
bool isCalibrationDue(const QDate &calibrated, int dueDays, const QDate &today);

} // namespace calibration
