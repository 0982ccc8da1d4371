#include "common/login_name.h"

namespace common {

QString loginName() {
  for (const char *name : {"USER", "LOGNAME", "USERNAME"}) {
    const QString value = qEnvironmentVariable(name);
    if (!value.isEmpty())
      return value;
  }
  return {};
}

} // namespace common
