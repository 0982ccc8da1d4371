#include "calibration/calibration_store.h"

#include "calibration/probe_care.h"
#include "common/date_text.h"
#include "common/number_text.h"
#include "common/own_file.h"
#include "common/own_settings.h"
#include "state/quantities.h"

#include <QDir>
#include <QStringDecoder>

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
  Store() : m_settings(common::openOwnSettings(settingsApplication(), &m_refusal)) {
    m_settings->beginGroup(settingsGroup());
  }

  QSettings &settings() { return *m_settings; }
  QString refusal() const { return m_refusal; }

  // A file that cannot be read holds no keys, so every field falls back to its default. Of a
  // damaged file Qt keeps the entries it could parse; they pass the same checks as any other
  // stored text. (Qt reports FormatError only to the first reader of a file, so that status
  // cannot decide what later readers in the same run see.)
  QString text(const QString &key, const QString &fallback) {
    const QVariant value = m_settings->value(key, fallback);
    // A hand-edited value with unquoted commas comes back as a list.
    if (value.typeId() == QMetaType::QStringList)
      return value.toStringList().join(QLatin1Char(','));
    return value.toString();
  }

  // Each stored text that does not read, or reads as a slope of 0 (which gives no pH), comes
  // back as its default; `problems` gets a line for each.
  ProbeTexts probe(int probe, QStringList *problems = nullptr) {
    const ProbeKeys keys = keysOf(probe);
    const ProbeTexts fallback = defaultTexts();
    ProbeTexts texts{text(keys.offset, fallback.offset), text(keys.slope, fallback.slope),
                     text(keys.serialNumber, fallback.serialNumber),
                     text(keys.date, fallback.date)};
    const auto replace = [&](QString &stored, const QString &key, const QString &with,
                             const char *why) {
      if (problems)
        problems->append(
            storedValueProblem(settingsGroup(), key, stored, QLatin1String(why), with));
      stored = with;
    };
    const std::optional<double> slope = readCoefficientNumber(texts.slope);
    if (!readCoefficientNumber(texts.offset))
      replace(texts.offset, keys.offset, fallback.offset, "is not a finite number");
    if (!slope)
      replace(texts.slope, keys.slope, fallback.slope, "is not a finite number");
    else if (*slope == 0)
      replace(texts.slope, keys.slope, fallback.slope, "is a slope of 0, which gives no pH");
    if (!readCoefficientDate(texts.date))
      replace(texts.date, keys.date, fallback.date, "is not a date");
    return texts;
  }

private:
  QString m_refusal;
  std::unique_ptr<QSettings> m_settings;
};

// Whether the bytes of a settings file are text (UTF-8, no NUL), as every file Qt writes is.
bool isText(const QByteArray &bytes) {
  if (bytes.contains('\0'))
    return false;
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  (void)utf8.decode(bytes);
  return !utf8.hasError();
}

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

QStringList settingsProblems() {
  QStringList problems;
  Store store;
  const QString path = QDir::toNativeSeparators(settingsFileName());
  if (!store.refusal().isEmpty())
    return {QStringLiteral("The settings file \"%1\" cannot be used (%2): the default "
                           "coefficients and calibration care are used, and nothing can be saved "
                           "there.")
                .arg(path, store.refusal())};
  const common::OwnFileRead file =
      common::readOwnFile(settingsFileName(), common::maxSettingsBytes);
  if (!file.error.isEmpty())
    problems << QStringLiteral("The settings file \"%1\" cannot be read (%2): the default "
                               "coefficients are used.")
                    .arg(path, file.error);
  else if (!file.missing && !isText(file.bytes))
    problems << QStringLiteral(
                    "The settings file \"%1\" is damaged (it holds bytes that are not "
                    "text): what does not read in it is replaced by its default, and the "
                    "next Save writes it anew.")
                    .arg(path);
  for (int probe = 1; probe <= 2; ++probe)
    store.probe(probe, &problems);
  for (int probe = 1; probe <= 2; ++probe)
    readProbeCare(probe, &problems);
  return problems;
}

QSettings::Status loadCoefficients(AcquisitionState &state) {
  Store store;
  for (const state::ProbeInfo &p : state::probes) {
    const ProbeTexts texts = store.probe(p.number);
    // Every text reads: Store::probe replaced those that did not by their defaults.
    state.*p.offset = *readCoefficientNumber(texts.offset);
    state.*p.slope = *readCoefficientNumber(texts.slope);
    state.*p.serial = texts.serialNumber;
    state.*p.calDate = *readCoefficientDate(texts.date);
  }
  return store.refusal().isEmpty() ? store.settings().status() : QSettings::AccessError;
}

QSettings::Status saveProbeCoefficients(const AcquisitionState &state, int probe) {
  if (probe != 1 && probe != 2)
    return QSettings::NoError;
  const state::ProbeInfo &p = state::probe(probe);
  const ProbeKeys keys = keysOf(probe);
  Store store;
  QSettings &settings = store.settings();
  settings.setValue(keys.offset, common::generalNumber(state.*p.offset));
  settings.setValue(keys.slope, common::generalNumber(state.*p.slope));
  settings.setValue(keys.serialNumber, state.*p.serial);
  settings.setValue(keys.date, common::shortDate(state.*p.calDate));
  settings.sync();
  return settings.status();
}

} // namespace calibration
