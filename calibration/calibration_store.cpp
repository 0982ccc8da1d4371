#include "calibration/calibration_store.h"

#include "common/date_text.h"
#include "common/number_text.h"

#include <QLocale>
#include <QStringList>

namespace calibration {
namespace {

struct ProbeKeys {
  QString offset;
  QString slope;
  QString serialNumber;
  QString date;
};

ProbeKeys keysOf(int probe) {
  const QString suffix = probe == 2 ? QStringLiteral("2") : QString();
  return {QStringLiteral("offset") + suffix, QStringLiteral("slope") + suffix,
          QStringLiteral("serial number") + suffix, QStringLiteral("date") + suffix};
}

ProbeTexts defaultTexts() {
  return {QStringLiteral("2.5777"), QStringLiteral("4.5427"), QStringLiteral("180312"),
          QStringLiteral("01/01/01")};
}

class Store {
public:
  Store() : m_settings(QSettings::NativeFormat, QSettings::UserScope, settingsApplication()) {
    m_settings.beginGroup(settingsGroup());
  }

  QSettings &settings() { return m_settings; }

  // A file that cannot be read holds no keys, so every field falls back to its default. Of a
  // damaged file Qt keeps the entries it could parse; they pass the same checks as any other
  // stored text. (Qt reports FormatError only to the first reader of a file, so that status
  // cannot decide what later readers in the same run see.)
  QString text(const QString &key, const QString &fallback) {
    const QVariant value = m_settings.value(key, fallback);
    // A hand-edited value with unquoted commas comes back as a list.
    if (value.typeId() == QMetaType::QStringList)
      return value.toStringList().join(QLatin1Char(','));
    return value.toString();
  }

  ProbeTexts probe(int probe) {
    const ProbeKeys keys = keysOf(probe);
    const ProbeTexts fallback = defaultTexts();
    ProbeTexts texts{text(keys.offset, fallback.offset), text(keys.slope, fallback.slope),
                     text(keys.serialNumber, fallback.serialNumber),
                     text(keys.date, fallback.date)};
    if (!readCoefficientNumber(texts.offset))
      texts.offset = fallback.offset;
    if (!readCoefficientNumber(texts.slope))
      texts.slope = fallback.slope;
    if (!readCoefficientDate(texts.date))
      texts.date = fallback.date;
    return texts;
  }

private:
  QSettings m_settings;
};

} // namespace

std::optional<double> readCoefficientNumber(const QString &text) {
  if (const auto value = common::parseTypedNumber(text))
    return value;
  return common::parseTypedNumber(text, QLocale::c());
}

std::optional<QDate> readCoefficientDate(const QString &text) {
  return common::parseTypedDate(text);
}

ProbeTexts readProbeCoefficients(int probe) {
  if (probe != 1 && probe != 2)
    return defaultTexts();
  Store store;
  return store.probe(probe);
}

QSettings::Status loadCoefficients(AcquisitionState &state) {
  Store store;
  const ProbeTexts one = store.probe(1);
  const ProbeTexts two = store.probe(2);
  // Every text below reads: Store::probe replaced those that did not by their defaults.
  state.probe1Offset = *readCoefficientNumber(one.offset);
  state.probe2Offset = *readCoefficientNumber(two.offset);
  state.probe1Slope = *readCoefficientNumber(one.slope);
  state.probe2Slope = *readCoefficientNumber(two.slope);
  state.probe1Serial = one.serialNumber;
  state.probe2Serial = two.serialNumber;
  state.probe1CalDate = *readCoefficientDate(one.date);
  state.probe2CalDate = *readCoefficientDate(two.date);
  return store.settings().status();
}

QSettings::Status saveProbeCoefficients(const AcquisitionState &state, int probe) {
  if (probe != 1 && probe != 2)
    return QSettings::NoError;
  const bool first = probe == 1;
  const ProbeKeys keys = keysOf(probe);
  Store store;
  QSettings &settings = store.settings();
  settings.setValue(keys.offset,
                    common::generalNumber(first ? state.probe1Offset : state.probe2Offset));
  settings.setValue(keys.slope,
                    common::generalNumber(first ? state.probe1Slope : state.probe2Slope));
  settings.setValue(keys.serialNumber, first ? state.probe1Serial : state.probe2Serial);
  settings.setValue(keys.date,
                    common::shortDate(first ? state.probe1CalDate : state.probe2CalDate));
  settings.sync();
  return settings.status();
}

QString settingsFileName() {
  return QSettings(QSettings::NativeFormat, QSettings::UserScope, settingsApplication()).fileName();
}

} // namespace calibration
