#pragma once

#include <QString>
#include <QStringList>

#include <ostream>

// Lets GoogleTest show Qt texts as text in failure messages. Include in any test that compares
// QString or QStringList values.
inline void PrintTo(const QString &text, std::ostream *os) {
  *os << '"' << text.toStdString() << '"';
}

inline void PrintTo(const QStringList &list, std::ostream *os) {
  *os << "{\n";
  for (const QString &s : list)
    *os << "  \"" << s.toStdString() << "\"\n";
  *os << "}";
}
