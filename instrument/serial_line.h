#pragma once

#include <QByteArray>
#include <QString>

namespace tiltdgh {

// How opening a port failed. InvalidPort and PortInUse are the two conditions the operator is
// told about ("no such port", "port already open"); Other is any other failure.
enum class PortError { None, InvalidPort, PortInUse, Other };

// One serial port as the DGH exchange and the port set-up use it: the port number, open/close,
// and the five operations of polled reception. Implementations: the QSerialPort line, the
// simulated modules, and scripted lines in the tests. All calls come from the UI thread.
class SerialLine {
public:
  virtual ~SerialLine() = default;

  virtual int commPort() const = 0;
  // Chooses the port that the next open() opens; the open state is not touched.
  virtual void setCommPort(int port) = 0;
  // Opens the port chosen by commPort(). Opening an open port is PortInUse.
  virtual PortError open() = 0;
  virtual void close() = 0;
  // True while the port is open. A line that finds its device gone closes itself.
  virtual bool portOpen() = 0;

  // Sends the bytes at once (they leave before output() returns or are queued in the OS).
  virtual void output(const QByteArray &bytes) = 0;
  // Number of characters that one input() takes; 0 takes everything waiting.
  virtual void setInputLen(int count) = 0;
  // Received characters waiting, including those still held by the operating system.
  virtual int inBufferCount() = 0;
  virtual QByteArray input() = 0;

  // For messages: the device behind commPort(), and why the last open() failed.
  virtual QString deviceName() const { return QString(); }
  virtual QString lastErrorText() const { return QString(); }
};

} // namespace tiltdgh
