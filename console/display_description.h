#pragma once

#include <QLabel>
#include <QStringList>

// A display's accessible description is shared: an alarm on its value and its probe's calibration
// being due each say their own part, and neither wipes the other's.
namespace console {

inline constexpr const char *alarmPart = "brellisAlarmDescription";
inline constexpr const char *calibrationDuePart = "brellisCalibrationDueDescription";

// Sets `part` (one of the two above) of `display`'s description to `text` (empty: nothing to
// say) and the description to the parts that say something, alarm first.
inline void describeDisplay(QLabel *display, const char *part, const QString &text) {
  display->setProperty(part, text);
  QStringList parts;
  for (const char *each : {alarmPart, calibrationDuePart}) {
    const QString said = display->property(each).toString();
    if (!said.isEmpty())
      parts << said;
  }
  const QString description = parts.join(QStringLiteral("; "));
  if (display->accessibleDescription() != description)
    display->setAccessibleDescription(description);
}

} // namespace console
