#include "sim/dgh_modules.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace sim {
namespace {

// A module's reading changes at most this often: eight updates a second.
constexpr qint32 updatePeriodMs = 125;

quint32 afterUs(quint32 start, qint64 us) { return start + quint32((us + 999) / 1000); }

// "*" + sign + the magnitude in 8 characters with 2 decimals, as the modules send it.
QByteArray dataText(double value) {
  const double magnitude = std::min(std::abs(value), 99999.99);
  char digits[32];
  std::snprintf(digits, sizeof digits, "%08.2f", magnitude);
  return QByteArray(value < 0 ? "-" : "+") + QByteArray(digits);
}

} // namespace

DghModules::DghModules(quint32 seed) : m_random(seed) {
  const auto module = [](double base, double driftAmp, double driftSecs, double noise) {
    Module m{};
    m.base = base;
    m.driftAmp = driftAmp;
    m.driftSecs = driftSecs;
    m.noise = noise;
    return m;
  };
  m_modules['6'] = module(2577.70, 1.5, 300, 0.05);
  m_modules['7'] = module(2581.30, 1.2, 420, 0.05);
  m_modules['1'] = module(21.46, 0.3, 600, 0.02);
  m_modules['2'] = module(21.10, 0.3, 660, 0.02);
  m_modules['3'] = module(22.30, 0.3, 720, 0.02);
  m_modules['5'] = module(115.00, 2.0, 60, 0.5);
}

void DghModules::resetInput() { m_partial.clear(); }

void DghModules::setEcho(bool on) { m_echo = on; }

void DghModules::setFault(char address, const ModuleFault &fault) {
  const auto it = m_modules.find(address);
  if (it != m_modules.end())
    it->second.fault = fault;
}

void DghModules::clearFaults() {
  for (auto &[address, module] : m_modules)
    module.fault = ModuleFault{};
}

void DghModules::pinReading(char address, std::optional<double> value) {
  const auto it = m_modules.find(address);
  if (it != m_modules.end())
    it->second.pinned = value;
}

double DghModules::uniform() {
  // Built from the raw 32-bit output so the sequence is the same with every standard library.
  return double(m_random()) / 2147483648.0 - 1.0;
}

double DghModules::readingAt(Module &module, quint32 now) {
  if (module.pinned)
    return *module.pinned;
  if (module.everUpdated && qint32(now - module.updatedAt) < updatePeriodMs)
    return module.reading;
  const double seconds = now / 1000.0;
  const double drift =
      module.driftAmp * std::sin(2 * std::numbers::pi * seconds / module.driftSecs);
  module.reading = module.base + drift + module.noise * uniform();
  module.updatedAt = now;
  module.everUpdated = true;
  return module.reading;
}

QByteArray DghModules::replyFor(const QByteArray &command, quint32 at, Module *&module) {
  module = nullptr;
  if (command.size() < 2 || command.at(0) != '$')
    return QByteArray();
  const auto it = m_modules.find(command.at(1));
  if (it == m_modules.end())
    return QByteArray();
  module = &it->second;
  if (module->fault.silent)
    return QByteArray();
  if (command.mid(2) != "RD")
    return QByteArray("?") + command.at(1) + '\r';

  QByteArray reply = module->fault.garbageBefore;
  reply += module->fault.errorReply ? '?' : '*';
  reply += dataText(readingAt(*module, at));
  reply += '\r';
  if (module->fault.lineFeedAfter)
    reply += '\n';
  reply += module->fault.garbageAfter;
  if (module->fault.highBit) {
    for (char &c : reply)
      c = char(quint8(c) | 0x80);
  }
  return reply;
}

std::vector<TimedByte> DghModules::receive(const QByteArray &bytes, quint32 now) {
  // Each echoed character and each reply is a burst; the line carries one character at a time,
  // so a burst that is ready while another is still on the line follows it whole (two commands
  // in one call would otherwise have their replies' characters fall between each other).
  struct Burst {
    qint64 startUs; // when its first character starts on the line
    QByteArray bytes;
    bool held;
  };
  std::vector<Burst> bursts;
  for (qsizetype i = 0; i < bytes.size(); ++i) {
    const char c = bytes.at(i);
    // Character i has fully left the host after i + 1 character times; the chain sends it back
    // one character time later.
    const qint64 doneUs = (i + 1) * characterUs;
    if (m_echo)
      bursts.push_back({doneUs, QByteArray(1, c), false});
    if (c != '\r') {
      m_partial += c;
      continue;
    }
    const QByteArray command = m_partial;
    m_partial.clear();
    const quint32 doneAt = afterUs(now, doneUs);
    Module *module = nullptr;
    const QByteArray reply = replyFor(command, doneAt, module);
    // The reply follows the echo of the carriage return and the module's own latency.
    qint64 startUs = doneUs + characterUs + latencyUs;
    if (module)
      startUs += qint64(module->fault.lateMs) * 1000;
    const bool held = module && module->fault.lateMs > 0;
    if (!reply.isEmpty() && m_replyObserver)
      m_replyObserver(reply);
    if (!reply.isEmpty())
      bursts.push_back({startUs, reply, held});
  }
  std::stable_sort(bursts.begin(), bursts.end(),
                   [](const Burst &a, const Burst &b) { return a.startUs < b.startUs; });
  std::vector<TimedByte> out;
  qint64 lineFreeUs = 0;
  for (const Burst &burst : bursts) {
    const qint64 startUs = std::max(burst.startUs, lineFreeUs);
    for (qsizetype k = 0; k < burst.bytes.size(); ++k)
      out.push_back(
          {afterUs(now, startUs + (k + 1) * characterUs), burst.bytes.at(k), burst.held, k == 0});
    lineFreeUs = startUs + burst.bytes.size() * characterUs;
  }
  return out;
}

} // namespace sim
