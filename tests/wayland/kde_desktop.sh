#!/bin/bash
# kde_desktop.sh VEXA_RECORD BUILD_DIR: the desktop program on KDE Plasma 5.27 (kwin_wayland on its
# virtual backend with XWayland and the KDE portal; `make test-wayland-bed DESKTOP=kde`). Its
# hotkeys go through the GlobalShortcuts portal into KWin's kglobalaccel, which the test presses
# the way KDE does when a person presses the keys (invokeShortcut): the show/hide hotkey hides and
# shows the main window, the start/stop hotkey asks for a recording (the share dialog follows; the
# bed answers none, so the portal declines, and the program must say so plainly).
# KWin's virtual backend sends no pictures, so the recorded pictures are checked on sway only.
# Prints PASS/FAIL lines and "N passed, N failed".
set -u
. "$(dirname "$0")/lib.sh"
visible() { xdotool search --onlyvisible --name '^Miravo$' >/dev/null; }
hidden() { ! visible; }
# invoke CHORD: presses the shortcut whose description names the chord ("hotkey F7") in kglobalaccel.
invoke() {
  /usr/bin/python3 - "$1" <<'PY'
import sys, dbus
bus = dbus.SessionBus()
accel = bus.get_object('org.kde.kglobalaccel', '/kglobalaccel')
for path in accel.allComponents(dbus_interface='org.kde.KGlobalAccel'):
    comp = bus.get_object('org.kde.kglobalaccel', path)
    for info in comp.allShortcutInfos(dbus_interface='org.kde.kglobalaccel.Component'):
        if str(info[1]) == 'hotkey ' + sys.argv[1]:
            comp.invokeShortcut(info[0], dbus_interface='org.kde.kglobalaccel.Component')
            sys.exit(0)
sys.exit(1)
PY
}

export HOME=$BED/home XDG_CONFIG_HOME=$BED/home/.config XDG_STATE_HOME=$BED/home/.local/state
"$build/tools/vexa-settings/vexa-settings" set count_down dword 0 >/dev/null
start_program
grep -q "global hotkeys: the desktop's GlobalShortcuts portal" "$log" && ok "the hotkeys go through GlobalShortcuts" ||
  ko "the hotkeys do not go through GlobalShortcuts: $(grep -i hotkey "$log" | tail -2)"
wait_for 20 grep -q 'global hotkeys bound by the desktop' "$log" || ko "the desktop bound no hotkeys"
wait_for 20 visible || ko "the main window never showed"

# The chords in the order of their ids (start/stop, pause, region, show/hide).
chord=$(/usr/bin/python3 - <<'PY'
import dbus
bus = dbus.SessionBus()
accel = bus.get_object('org.kde.kglobalaccel', '/kglobalaccel')
found = []
for path in accel.allComponents(dbus_interface='org.kde.KGlobalAccel'):
    comp = bus.get_object('org.kde.kglobalaccel', path)
    for i in comp.allShortcutInfos(dbus_interface='org.kde.kglobalaccel.Component'):
        if str(i[1]).startswith('hotkey ') and str(i[0]).isdigit():
            found.append((int(i[0]), str(i[1])[7:]))
print('\n'.join(c for _, c in sorted(found)))
PY
)
echo "shortcuts in kglobalaccel: $(echo $chord)"
count=$(echo "$chord" | grep -c .)
[ "$count" = 4 ] && ok "the 4 hotkeys are bound once each, in one session" || ko "kglobalaccel holds $count hotkeys"
# The show/hide hotkey, twice: the window follows each press.
showhide=$(echo "$chord" | sed -n 4p)
invoke "$showhide" && wait_for 20 hidden && ok "show/hide ($showhide) hides the window" || ko "show/hide did not hide the window"
invoke "$showhide" && wait_for 20 visible && ok "show/hide ($showhide) shows it again" || ko "show/hide did not show the window"

n=$(lines)
invoke F7 && wait_for 20 logged_after "$n" 'INFO recording requested' && ok "the start/stop hotkey asks for a recording" ||
  ko "the start/stop hotkey did nothing"
# The bed answers no share dialog: the portal declines, which is no fault of the program's.
if wait_for 30 logged_after "$n" 'declined sharing the screen'; then
  ok "a declined share is reported as declined"
  logged_after "$n" 'cannot close the screen-sharing session' && ko "a spurious session-close error" ||
    ok "no spurious session-close error"
fi

kill "$app" 2>/dev/null
wait "$app" 2>/dev/null
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
