#pragma once

#include <QString>

namespace mqtt {

// Where the broker is and how to reach it, already checked.
struct Endpoint {
  QString host;
  int port = 1883;
  bool tls = false;
  QString user;     // empty: connect without a user name
  QString password; // empty: none
  QString caFile;   // empty with TLS: the system's certificate authorities

  // "mqtt://host:port" or "mqtts://[::1]:port", for the operator.
  QString address() const;
};

} // namespace mqtt
