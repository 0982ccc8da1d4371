// The one place that asks the operating system to put a file's data on the disk.
#include "calibration/durable_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace calibration {
namespace {

bool syncToDisk(int fd) {
#ifdef Q_OS_WIN
  return _commit(fd) == 0;
#else
  return ::fsync(fd) == 0;
#endif
}

// A new file's name lives in its folder: the folder is synced too, or a power cut may lose it.
void syncFolderOf(const QString &path) {
#ifndef Q_OS_WIN
  const int fd = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), O_RDONLY);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
#else
  Q_UNUSED(path);
#endif
}

} // namespace

QString appendDurably(const QString &path, const QByteArray &bytes) {
  const bool created = !QFileInfo::exists(path);
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
    return file.errorString();
  if (file.write(bytes) != bytes.size() || !file.flush())
    return file.errorString();
  if (!syncToDisk(file.handle()))
    return QStringLiteral("the data could not be synced to the disk");
  file.close();
  if (created)
    syncFolderOf(path);
  return {};
}

QString replaceDurably(const QString &path, const QByteArray &bytes) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
    return file.errorString();
  // QSaveFile syncs the new file to disk before it renames it over the old one.
  if (!file.commit())
    return file.errorString();
  syncFolderOf(path);
  return {};
}

} // namespace calibration
