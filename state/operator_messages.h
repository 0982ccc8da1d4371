#pragma once

#include <QString>

namespace tiltdgh {

// The operator's modal OK box. An empty title means the box has no title of its own.
// showMessage returns after the operator has closed the box.
class OperatorMessages {
public:
  virtual ~OperatorMessages() = default;
  virtual void showMessage(const QString &text, const QString &title = QString()) = 0;
};

} // namespace tiltdgh
