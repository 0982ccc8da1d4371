#pragma once

#include "common/own_settings.h"
#include "state/acquisition_state.h"

#include <QDate>
#include <QSettings>
#include <QString>
#include <QStringList>

#include <optional>

namespace calibration {

// The per-user settings store of the probe coefficients: QSettings in its native format, user
// scope, under this name, section "Coefficients". On Linux the file is
// "$XDG_CONFIG_HOME/Quorran Science DGH Driver.conf".
inline QString settingsApplication() { return QStringLiteral("Quorran Science DGH Driver"); }
inline QString settingsGroup() { return QStringLiteral("Coefficients"); }

// One probe's four values as the store holds them, in the store's order.
struct ProbeTexts {
  QString offset;
  QString slope;
  QString serialNumber;
  QString date;
};

// An offset or slope as the operator types it or the store holds it: the regional decimal
// separator, or "." (which the default texts use). Anything else, non-finite values included,
// gives nullopt.
std::optional<double> readCoefficientNumber(const QString &text);

// A calibration date as the store holds it: the regional day/month/year order; two-digit years
// fall in 2000-2029 and 1930-1999, so "01/01/01" is 1 January 2001.
std::optional<QDate> readCoefficientDate(const QString &text);

// Probe `probe`'s (1 or 2) four texts, each with its default ("2.5777", "4.5427", "180312",
// "01/01/01"). A stored offset, slope or date that does not read comes back as its default text,
// and so does every field of a store that cannot be read; a serial number comes back exactly as
// stored, the empty text included. Writes nothing.
ProbeTexts readProbeCoefficients(int probe);

// Reads both probes' values, as readProbeCoefficients gives them, into the eight calibration
// fields of `state`. Returns the store's status for the caller's information (AccessError: the
// file could not be read, or was refused (see settingsProblems), and every field has its
// default; FormatError: Qt found damage in the file and kept what it could parse). Writes
// nothing.
QSettings::Status loadCoefficients(AcquisitionState &state);

// Writes probe `probe`'s (1 or 2) four keys from the live fields of `state` (numbers in the
// general text form, the date in the regional short form with a four-digit year) and nothing
// else. Returns AccessError when the store could not be written; any other status means the
// keys were written (FormatError only says the old file did not read, and it has been replaced).
// Any other probe number writes nothing and returns NoError.
QSettings::Status saveProbeCoefficients(const AcquisitionState &state, int probe);

// The file behind the store, for messages; found without reading it.
inline QString settingsFileName() { return common::userSettingsPath(settingsApplication()); }

// What is wrong with the store and the stored values the program uses (both probes'
// coefficients and calibration care), one line each, for the operator to be told once at start:
// a file that cannot be used (a link, FIFO, device or folder in its place, a size no settings
// file has: nothing is read from or written to it), one that cannot be read or is not text, and
// each stored value that does not read or is out of range, naming the group, the key, the stored
// text and what is used instead. Empty when all is well. Writes nothing: the stored texts stay as
// they are until the next Save.
QStringList settingsProblems();


} // namespace calibration
