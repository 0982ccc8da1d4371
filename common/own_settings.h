#pragma once

#include <QSettings>
#include <QString>

#include <memory>

namespace common {

// The most a settings file of ours holds (a few kilobytes in use); a larger one is not ours.
inline constexpr qint64 maxSettingsBytes = 1024 * 1024;

// The file behind QSettings(NativeFormat, UserScope, organization), found without reading it
// (QSettings reads its file as it is made): "$XDG_CONFIG_HOME/<organization>.conf" on Linux, or
// wherever QSettings::setPath moved the user scope. On Windows the store is the registry key
// "HKEY_CURRENT_USER\Software\<organization>" (own_settings_win32.cpp), never refused.
QString userSettingsPath(const QString &organization);

// Why the store's file may not be opened: it is a link, a FIFO, a device, a socket or a folder,
// or larger than maxSettingsBytes (see ownFileRefusal). Empty when it is a regular file of a
// settings file's size, or missing. Looks without opening.
QString settingsRefusal(const QString &path);

// QSettings(NativeFormat, UserScope, organization) when its file may be opened. Otherwise a store
// that holds nothing and cannot be written (its status after a sync is AccessError), so that
// nothing reads from or writes through the file that was refused; `*refusal` then says why.
std::unique_ptr<QSettings> openOwnSettings(const QString &organization, QString *refusal = nullptr);

} // namespace common
