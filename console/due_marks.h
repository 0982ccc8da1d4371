#pragma once

#include <QLabel>

#include <array>
#include <vector>

namespace console {

// The "calibration due" marks of the pH displays: per probe, its displays are handed over once;
// a mark is made the first time its probe is due, and hidden, never destroyed, when it no longer
// is. Each display's accessible description says it too.
class DueMarks {
public:
  // Probe 1's displays, then probe 2's; null entries are skipped.
  explicit DueMarks(std::array<std::vector<QLabel *>, 2> displays);

  void show(int probe, bool due);

  // How far a mark reaches below the bottom edge of its display, in pixels: the room a display's
  // parent must leave below the display for the mark to show whole at every window size.
  static int overhang();

private:
  struct Marked {
    QLabel *display;
    QLabel *mark = nullptr;
  };
  std::array<std::vector<Marked>, 2> m_probes;
};

} // namespace console
