#pragma once

#include <QDate>
#include <QString>

// The program-wide record of switches, plot choices, latest readings, operator offsets and the
// probes' calibration. One instance lives in frmMain for the whole run; every part reads and
// writes its fields directly on the user-interface thread. Readings are never cleared.
struct AcquisitionState {
  // Mirrors of the channel switches; only the switch handlers write them.
  bool phReadEnabled = false;
  bool plotPh1 = false;
  bool plotPh2 = false;
  bool flowReadEnabled = false;
  bool thermReadEnabled = false;

  // Degrees Celsius as the modules report them, rounded to 2 places, without the offsets.
  double therm1Temp = 0;
  double therm2Temp = 0;
  double therm3Temp = 0;

  // Which thermistor (1, 2 or 3) compensates each probe; any other value counts as 1.
  int ph1ThermSelect = 0;
  int ph2ThermSelect = 0;

  double flowHz = 0;       // pulses per second; a spike above 90000 is stored as 0
  double litersPerMin = 0; // rounded to 2 places
  double totalLiters = 0;  // flowHzSum / 6900, rounded to 2 places
  double flowHzSum = 0;    // every accepted frequency reading since start or the last reset
  double compTemp = 0;     // degrees Celsius, set just before each probe's pH is computed

  // pH rounded to 4 places, without the operator's corrections.
  double ph1Value = 0;
  double ph2Value = 0;
  double ph1Corr = 0;
  double ph2Corr = 0;
  double ph1Volts = 0;
  double ph2Volts = 0;
  double ph1mV = 0;
  double ph2mV = 0;

  // Live calibration coefficients: offset in volts (the reading at pH 7), slope a gain.
  double probe1Offset = 0;
  double probe2Offset = 0;
  double probe1Slope = 0;
  double probe2Slope = 0;
  QString probe1Serial;
  QString probe2Serial;
  QDate probe1CalDate = QDate(1899, 12, 30);
  QDate probe2CalDate = QDate(1899, 12, 30);

  // Operator's offsets in degrees Celsius, added only where a temperature is shown.
  double therm1Offset = 0;
  double therm2Offset = 0;
  double therm3Offset = 0;
};
