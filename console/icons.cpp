#include "console/icons.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace console {

QString iconsFolder(const QString &configured) {
  if (!configured.isEmpty())
    return configured;
  const QDir programDir(QCoreApplication::applicationDirPath());
  const QString beside = programDir.filePath(QStringLiteral("icons"));
  if (QFileInfo(beside).isDir())
    return beside;
  return QDir::cleanPath(programDir.filePath(QStringLiteral("../share/brellis/icons")));
}

QIcon applicationIcon(const QString &folder) {
  QIcon icon;
  for (int size : {16, 32, 48, 64, 128, 256}) {
    const QString file =
        QDir(folder).filePath(QStringLiteral("hicolor/%1x%1/apps/brellis.png").arg(size));
    if (QFileInfo::exists(file))
      icon.addFile(file, QSize(size, size));
  }
  return icon;
}

} // namespace console
