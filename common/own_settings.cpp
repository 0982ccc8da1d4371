#include "common/own_settings.h"

#include "common/own_file.h"

#include <QFileInfo>

namespace common {

QString userSettingsPath(const QString &organization) {
  // QSettings tells no folder, only files: ask for the file of a name nobody uses.
  const QString probe = QSettings(QSettings::NativeFormat, QSettings::UserScope,
                                  QStringLiteral("brellis settings folder probe"))
                            .fileName();
  return QFileInfo(probe).path() + QLatin1Char('/') + organization + QStringLiteral(".conf");
}

QString settingsRefusal(const QString &path) {
  if (QString refusal = ownFileRefusal(path); !refusal.isEmpty())
    return refusal;
  const QFileInfo info(path);
  if (info.exists() && info.size() > maxSettingsBytes)
    return QStringLiteral("%1 holds %2 bytes, more than a settings file of %3")
        .arg(path)
        .arg(info.size())
        .arg(maxSettingsBytes);
  return {};
}

std::unique_ptr<QSettings> openOwnSettings(const QString &organization, QString *refusal) {
  const QString why = settingsRefusal(userSettingsPath(organization));
  if (refusal)
    *refusal = why;
  if (why.isEmpty())
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, organization);
  // No file can be made under a character device, not even by root: reads find nothing, and a
  // write fails with AccessError.
  return std::make_unique<QSettings>(QStringLiteral("/dev/null/refused.conf"), QSettings::IniFormat);
}

} // namespace common
