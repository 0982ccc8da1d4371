#pragma once

#include <QByteArray>
#include <QString>

namespace calibration {

// Appends `bytes` to the file at `path` (created when missing) in one write, and returns once
// they are on the disk, not merely handed to the operating system: a program killed or a machine
// losing power afterwards keeps them. Returns the reason it failed, or an empty text.
QString appendDurably(const QString &path, const QByteArray &bytes);

// Replaces the file at `path` with `bytes`, on the disk when it returns.
QString replaceDurably(const QString &path, const QByteArray &bytes);

} // namespace calibration
