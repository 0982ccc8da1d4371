// The settings store on Windows: the registry, under HKEY_CURRENT_USER\Software\<organization>
// itself (QSettings' own choice for an organization without an application would add an
// "OrganizationDefaults" key). Keys are not files: nothing can stand in the store's place, so
// nothing is refused.
#include "common/own_settings.h"

namespace common {

QString userSettingsPath(const QString &organization) {
  return QStringLiteral("HKEY_CURRENT_USER\\Software\\") + organization;
}

QString settingsRefusal(const QString &) { return {}; }

std::unique_ptr<QSettings> openOwnSettings(const QString &organization, QString *refusal) {
  if (refusal)
    refusal->clear();
  return std::make_unique<QSettings>(userSettingsPath(organization), QSettings::NativeFormat);
}

} // namespace common
