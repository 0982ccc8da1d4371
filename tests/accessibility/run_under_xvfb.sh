#!/bin/sh
# Runs the accessibility test in a display and a D-Bus session of its own, with the program's
# settings in a temporary folder.
#   run_under_xvfb.sh PYTHON TEST_SCRIPT BRELLIS_EXECUTABLE
# PYTHON must import pyatspi (Debian's python3-pyatspi); the session bus starts the accessibility
# bus (at-spi-bus-launcher) and its registry on first use.
set -eu
python=$1 script=$2 brellis=$3

for tool in xvfb-run dbus-run-session; do
  command -v "$tool" >/dev/null 2>&1 || { echo "$tool is missing (scripts/setup installs it)" >&2; exit 1; }
done
"$python" -c 'import pyatspi' || { echo "$python cannot import pyatspi (python3-pyatspi)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -m 700 "$work/runtime" "$work/config"
export XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$work/config"
# The accessibility bridge lives in the xcb platform plugin; the offscreen platform has none.
export QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
unset DBUS_SESSION_BUS_ADDRESS AT_SPI_BUS_ADDRESS DISPLAY

# xvfb-run -a picks the first display number without a lock file; another xvfb-run starting at the
# same moment can pick the same one, and then one of the two servers fails to start while its
# command still runs against the other's display. The test script checks that it can connect
# (with this run's authorisation) before anything else and exits with 75 when it cannot; the
# whole run is then tried again. -noreset: that first connection is closed before the program
# connects, and an X server resetting as its last client leaves may not come back.
attempt=1
while :; do
  status=0
  xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" \
    dbus-run-session -- "$python" "$script" "$brellis" || status=$?
  if [ "$status" -ne 75 ] || [ "$attempt" -ge 5 ]; then
    exit "$status"
  fi
  echo "the display was not this run's own; trying again" >&2
  sleep "$attempt"
  attempt=$((attempt + 1))
done
