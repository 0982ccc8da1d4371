#pragma once

#include "calibration/calibration_store.h"

#include <QFile>
#include <QLocale>
#include <QSet>
#include <QSettings>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <memory>

// Bytes of a literal, embedded NULs included.
template <std::size_t N> QByteArray bytesOf(const char (&text)[N]) {
  return QByteArray(text, N - 1);
}

// Points the user-scope settings store at a fresh temporary folder for each test and restores the
// default locale afterwards.
class TempStore : public ::testing::Test {
protected:
  void SetUp() override { freshStore(); }

  // Moves the store to a new empty folder.
  void freshStore() {
    m_dir = std::make_unique<QTemporaryDir>();
    ASSERT_TRUE(m_dir->isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir->path());
  }
  void TearDown() override { QLocale::setDefault(m_savedLocale); }

  QString filePath() const { return m_dir->filePath("Quorran Science DGH Driver.conf"); }

  QByteArray fileBytes() const {
    QFile file(filePath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  void writeFile(const QByteArray &bytes) const {
    QFile file(filePath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }

  // The keys in the file's "Coefficients" section, as they are on disk.
  QSet<QString> keysOnDisk() const {
    QSet<QString> keys;
    bool inGroup = false;
    for (const QByteArray &line : fileBytes().split('\n')) {
      if (line.startsWith('['))
        inGroup = line.trimmed() == "[Coefficients]";
      else if (inGroup && line.contains('='))
        keys.insert(QUrl::fromPercentEncoding(line.left(line.indexOf('=')).trimmed()));
    }
    return keys;
  }

  // What the store now holds under `key` (absent: the null text).
  QString stored(const QString &key) const {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope,
                       calibration::settingsApplication());
    return settings.value("Coefficients/" + key).toString();
  }

  void store(const QString &key, const QString &text) const {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope,
                       calibration::settingsApplication());
    settings.setValue("Coefficients/" + key, text);
  }

  std::unique_ptr<QTemporaryDir> m_dir;
  QLocale m_savedLocale;
};
