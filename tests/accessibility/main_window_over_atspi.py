#!/usr/bin/python3
"""Drives the real program, on its simulated modules, only through the accessibility bus (AT-SPI),
as a screen reader or a test robot sees the window.

Usage: main_window_over_atspi.py BRELLIS_EXECUTABLE

Run it inside a display and a D-Bus session with the Qt accessibility bridge on (run_under_xvfb.sh
does that). Every wait polls for its condition with a generous deadline, so a busy machine only
makes the test slower.
"""

import ctypes
import subprocess
import sys
import time

import pyatspi

TITLE_START = "Brellis (DGH Controller)"

# Caption -> the display's text at start.
DISPLAYS = {
    "mV1": "0000.00", "mV2": "0000.00",
    "pH1 (raw)": "000", "pH2 (raw)": "000",
    "pH1 (w/corr.)": "000", "pH2 (w/corr.)": "000",
    "Frequency": "000", "Liters / min": "000", "Total Liters": "000",
    "Therm. 1 (raw)": "000", "Therm. 2 (raw)": "000", "Therm. 3 (raw)": "000",
    "Temp 1": "000", "Temp 2": "000", "Temp 3": "000",
}

# Channel -> (the area holding its switch, the switch's face when off, displays blanked when off).
CHANNELS = {
    "pH": ("pH Probe", "Enable DGH", ["mV1", "pH1 (raw)"]),
    "flow": ("Electronic Flow Gauge", "Start", ["Frequency", "Liters / min", "Total Liters"]),
    "thermistors": ("Thermistors", "Start", ["Therm. 1 (raw)", "Therm. 2 (raw)", "Therm. 3 (raw)"]),
}

# Total Liters grows by one frequency reading / 6900 per read tick (the flow total's rule), so its
# growth over a span of time counts the ticks in it.
HZ_PER_LITER_TICK = 6900.0

KEY_RETURN = 0xFF0D
KEY_HOME = 0xFF50
KEY_DOWN = 0xFF54

failures = []


def check(condition, message):
    print(("ok      " if condition else "FAILED  ") + message, flush=True)
    if not condition:
        failures.append(message)
    return condition


class Timeout(Exception):
    pass


def wait_for(what, probe, timeout=60.0, interval=0.2):
    """Polls probe() until it returns something true and returns that."""
    deadline = time.monotonic() + timeout
    while True:
        try:
            result = probe()
        except Exception:  # an object that went away while being read; try again
            result = None
        if result:
            return result
        if time.monotonic() > deadline:
            raise Timeout("timed out waiting for " + what)
        time.sleep(interval)


def fresh(obj):
    obj.clear_cache()
    return obj


def name_of(obj):
    return fresh(obj).name


def has_state(obj, state):
    return fresh(obj).getState().contains(state)


def walk(obj):
    yield obj
    for i in range(obj.childCount):
        child = obj.getChildAtIndex(i)
        if child is not None:
            yield from walk(child)


# Role names that newer AT-SPI libraries (Debian 13's) spell differently from Debian 12's.
ROLE_SPELLINGS = {"button": "push button"}


def role_of(obj):
    name = obj.getRoleName()
    return ROLE_SPELLINGS.get(name, name)


def find_all(root, role=None, name=None):
    return [o for o in walk(root)
            if (role is None or role_of(o) == role) and (name is None or o.name == name)]


def find_one(root, role, name):
    found = find_all(root, role, name)
    if len(found) != 1:
        raise AssertionError("expected one %s %r, found %d" % (role, name, len(found)))
    return found[0]


def do_action(obj, action):
    iface = obj.queryAction()
    names = [iface.getName(i) for i in range(iface.nActions)]
    if action not in names:
        raise AssertionError("%s %r offers %r, not %r" % (obj.getRoleName(), obj.name, names, action))
    iface.doAction(names.index(action))


def key(keysym):
    pyatspi.Registry.generateKeyboardEvent(keysym, None, pyatspi.KEY_SYM)


def type_text(text):
    pyatspi.Registry.generateKeyboardEvent(0, text, pyatspi.KEY_STRING)


def relation_target(obj, relation):
    for rel in obj.getRelationSet():
        if rel.getRelationType() == relation and rel.getNTargets() > 0:
            return rel.getTarget(0)
    return None


def inside(obj, area_name):
    parent = obj.parent
    while parent is not None:
        if parent.name == area_name:
            return True
        parent = parent.parent
    return False


def find_application():
    for app in pyatspi.Registry.getDesktop(0):
        if app is None or app.name != "brellis":
            continue
        for i in range(app.childCount):
            window = app.getChildAtIndex(i)
            if window is not None and window.name.startswith(TITLE_START):
                return app, window
    return None


def read_displays(window):
    """Caption -> the accessible of the reading it labels."""
    displays = {}
    for caption in DISPLAYS:
        labelled = [o for o in find_all(window, "label", caption)
                    if relation_target(o, pyatspi.RELATION_LABEL_FOR) is not None]
        if len(labelled) != 1:
            raise AssertionError("display %r: %d captions that label something"
                                 % (caption, len(labelled)))
        reading = relation_target(labelled[0], pyatspi.RELATION_LABEL_FOR)
        back = relation_target(reading, pyatspi.RELATION_LABELLED_BY)
        check(back is not None and back.name == caption,
              "%r is labelled by its caption" % caption)
        displays[caption] = reading
    return displays


def is_reading(text):
    try:
        float(text)
    except ValueError:
        return False
    return text not in ("0000.00", "000")


def liters_and_hz(displays):
    return float(name_of(displays["Total Liters"])), float(name_of(displays["Frequency"]))


def tick_rate(displays, seconds=10.0):
    """Read ticks per second over the next `seconds`, counted by the flow total's growth."""
    start = time.monotonic()
    liters0, hz0 = liters_and_hz(displays)
    while time.monotonic() - start < seconds:
        time.sleep(0.25)
    liters1, hz1 = liters_and_hz(displays)
    elapsed = time.monotonic() - start
    ticks = (liters1 - liters0) * HZ_PER_LITER_TICK / ((hz0 + hz1) / 2.0)
    return ticks / elapsed


def choose_from_list(combo, downs):
    """Opens the list with its own action and picks the entry `downs` below the first."""
    do_action(combo, "ShowMenu")
    wait_for("the list of %r to open" % combo.name,
             lambda: has_state(combo, pyatspi.STATE_EXPANDED), timeout=30)
    key(KEY_HOME)
    for _ in range(downs):
        key(KEY_DOWN)
    key(KEY_RETURN)
    wait_for("the list of %r to close" % combo.name,
             lambda: not has_state(combo, pyatspi.STATE_EXPANDED), timeout=30)


def main_window_checks(window, displays, switches):
    for caption, text in DISPLAYS.items():
        check(name_of(displays[caption]) == text, "%r reads %r at start" % (caption, text))

    for channel, switch in switches.items():
        do_action(switch, "Toggle")
    for caption, reading in displays.items():
        try:
            text = wait_for("a reading in %r" % caption,
                            lambda: (lambda t: t if is_reading(t) else None)(name_of(reading)))
            check(True, "%r reads %s with every channel on" % (caption, text))
        except Timeout as error:
            check(False, str(error))

    for channel, switch in switches.items():
        blanked = CHANNELS[channel][2]
        do_action(switch, "Toggle")
        try:
            wait_for("the %s displays to blank" % channel,
                     lambda: all(name_of(displays[c]) == "" for c in blanked), timeout=30)
            check(True, "switching %s off blanks %s" % (channel, ", ".join(blanked)))
        except Timeout as error:
            check(False, str(error))
        kept = [c for c in DISPLAYS if c not in blanked and name_of(displays[c]) == ""]
        check(not kept, "switching %s off keeps every other display (blank: %s)"
              % (channel, ", ".join(kept) or "none"))
        check(not has_state(switch, pyatspi.STATE_CHECKED), "%s switch reads off" % channel)
        do_action(switch, "Toggle")
        try:
            wait_for("the %s readings to return" % channel,
                     lambda: all(is_reading(name_of(displays[c])) for c in blanked), timeout=30)
            check(True, "switching %s on again brings its readings back" % channel)
        except Timeout as error:
            check(False, str(error))


def update_rate_checks(window, displays, switches):
    # Only the flow channel on: a tick is then one short exchange, at any rate.
    for channel in ("pH", "thermistors"):
        do_action(switches[channel], "Toggle")
    rate_box = [o for o in find_all(window, "combo box") if find_all(o, "text")]
    if not check(len(rate_box) == 1, "one editable combo box: the update rate"):
        return
    rate_box = rate_box[0]
    field = find_all(rate_box, "text")[0]
    update = find_one(window, "push button", "Update")
    check(name_of(rate_box) == "1000", "the update-rate box reads 1000 at start")
    labelled_by = relation_target(rate_box, pyatspi.RELATION_LABELLED_BY)
    check(labelled_by is not None and labelled_by.name == "Update rate (ms)",
          "the update-rate box is labelled \"Update rate (ms)\"")

    # Typing "500" and Enter, then "Update": the typed text is never a rate.
    field.queryComponent().grabFocus()
    length = field.queryText().characterCount
    field.queryText().setSelection(0, 0, length)
    type_text("500")
    key(KEY_RETURN)
    try:
        wait_for("the typed 500 in the box", lambda: name_of(rate_box) == "500", timeout=30)
    except Timeout as error:
        check(False, str(error))
        return
    do_action(update, "Press")
    rate = tick_rate(displays)
    check(0.3 <= rate <= 1.4,
          "after typing 500, Enter and Update the period stays 1000 ms (%.2f ticks/s)" % rate)

    # The same box with "250" chosen from its list and "Update": the period changes. This is what
    # shows that the measurement above can tell the periods apart.
    choose_from_list(rate_box, 2)
    check(name_of(rate_box) == "250", "\"250\" chosen from the list reads back as 250")
    do_action(update, "Press")
    rate = tick_rate(displays)
    check(rate >= 1.7, "\"250\" from the list and Update make the ticks faster (%.2f ticks/s)"
          % rate)


def log_setup_checks(app):
    do_action(find_one(app, "menu item", "Setup"), "Press")
    dialog = wait_for("the Logger dialog",
                      lambda: [w for w in (app.getChildAtIndex(i) for i in range(app.childCount))
                               if w is not None and w.name == "Logger"], timeout=30)[0]
    select_file = find_one(dialog, "push button", "Select File")
    ok = find_one(dialog, "push button", "OK")
    append = find_one(dialog, "radio button", "Append")
    overwrite = find_one(dialog, "radio button", "Overwrite")
    check(not has_state(select_file, pyatspi.STATE_ENABLED), "Select File starts disabled")

    do_action(find_one(dialog, "radio button", "Write to File"), "Toggle")
    try:
        wait_for("Select File to be enabled",
                 lambda: has_state(select_file, pyatspi.STATE_ENABLED), timeout=30)
        check(True, "\"Write to File\" by its action enables Select File")
    except Timeout as error:
        check(False, str(error))
    check(has_state(append, pyatspi.STATE_ENABLED) and has_state(overwrite, pyatspi.STATE_ENABLED),
          "\"Write to File\" enables Append and Overwrite")
    check(not has_state(ok, pyatspi.STATE_ENABLED), "OK waits for a file")
    if has_state(overwrite, pyatspi.STATE_ENABLED):
        do_action(overwrite, "Toggle")
        try:
            wait_for("Overwrite to be selected",
                     lambda: has_state(overwrite, pyatspi.STATE_CHECKED), timeout=30)
            check(True, "\"Overwrite\" by its action is selected")
        except Timeout as error:
            check(False, str(error))
    check(has_state(select_file, pyatspi.STATE_ENABLED), "Select File stays enabled")

    boxes = find_all(dialog, "combo box")
    if not check(len(boxes) == 1, "the Logger dialog has one list: the interval"):
        return
    interval = boxes[0]
    choose_from_list(interval, 6)
    check(name_of(interval) == "1", "the interval chosen from the list reads back as 1 (seconds)")


# Exit status telling run_under_xvfb.sh that the display belongs to another run.
NOT_OUR_DISPLAY = 75


def display_is_ours():
    """True when the display in DISPLAY accepts a connection with this run's XAUTHORITY."""
    xcb = ctypes.CDLL("libxcb.so.1")
    xcb.xcb_connect.restype = ctypes.c_void_p
    xcb.xcb_connect.argtypes = [ctypes.c_char_p, ctypes.c_void_p]
    xcb.xcb_connection_has_error.argtypes = [ctypes.c_void_p]
    xcb.xcb_disconnect.argtypes = [ctypes.c_void_p]
    connection = xcb.xcb_connect(None, None)
    error = xcb.xcb_connection_has_error(connection)
    xcb.xcb_disconnect(connection)
    return error == 0


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    if not display_is_ours():
        print("cannot connect to the display this run was given")
        return NOT_OUR_DISPLAY
    program = subprocess.Popen([sys.argv[1], "--simulate"])
    try:
        app, window = wait_for("the main window on the accessibility bus", find_application,
                               timeout=120, interval=0.5)
        displays = read_displays(window)
        switches = {}
        for channel, (area, face, _) in CHANNELS.items():
            candidates = [o for o in find_all(window, "check box", face) if inside(o, area)]
            if len(candidates) != 1:
                raise AssertionError("the %s switch %r: found %d" % (channel, face, len(candidates)))
            switches[channel] = candidates[0]
        main_window_checks(window, displays, switches)
        # Keys go to the main window while it is the active one: before any dialog opens.
        update_rate_checks(window, displays, switches)
        log_setup_checks(app)
        do_action(find_one(app, "menu item", "Exit"), "Press")
        program.wait(timeout=60)
        check(program.returncode == 0, "\"Exit\" ends the program (exit code %s)"
              % program.returncode)
    except (Timeout, AssertionError, subprocess.TimeoutExpired) as error:
        check(False, str(error))
    finally:
        if program.poll() is None:
            program.kill()
            program.wait()
    if failures:
        print("%d check(s) failed" % len(failures))
        return 1
    print("all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
