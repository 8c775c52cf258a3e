#!/bin/bash
# kde_desktop.sh VEXA_RECORD BUILD_DIR: the desktop program on KDE Plasma 5.27 (kwin_wayland on its
# virtual backend with XWayland and the KDE portal; `make test-wayland-bed DESKTOP=kde`). Its
# hotkeys go through the GlobalShortcuts portal into KWin's kglobalaccel, which the test presses
# the way KDE does when a person presses the keys (invokeShortcut): the show/hide hotkey hides and
# shows the main window, the start/stop hotkey asks for a recording. The share dialog follows, and
# tools/wayland-bed/answer_share.py answers it through the accessibility bus and KWin's fake input:
# first Cancel (the program must say "declined" plainly), then Share (the recording starts, and the
# portal's restore token is kept), and the next recording needs no dialog.
# KWin's virtual backend sends no pictures, so the recorded pictures are checked on sway and GNOME.
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

use_bed_home
settings count_down dword 0
# KWin lets vinput use its fake input once a desktop entry names it.
mkdir -p "$BED/home/.local/share/applications"
printf '[Desktop Entry]\nType=Application\nName=vinput\nExec=%s\nNoDisplay=true\nX-KDE-Wayland-Interfaces=org_kde_kwin_fake_input\n' \
  "$vinput" >"$BED/home/.local/share/applications/vinput.desktop"
dialogs=$out/dialogs.txt
echo Cancel >"$dialogs.answer"
/usr/bin/python3 "$(dirname "$0")/../../tools/wayland-bed/answer_share.py" "$dialogs" "$vinput" \
  2>"$BED/log/answer_share.log" &
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
# The dialog is cancelled: the portal declines, which is no fault of the program's.
if wait_for 60 logged_after "$n" 'declined sharing the screen'; then
  ok "a declined share is reported as declined"
  logged_after "$n" 'cannot close the screen-sharing session' && ko "a spurious session-close error" ||
    ok "no spurious session-close error"
  # The message says so in a box of its own (class VexaRecorder): a person presses Return on it.
  box() { xdotool search --onlyvisible --class '^VexaRecorder$' | head -1; }
  if wait_for 20 eval '[ -n "$(box)" ]'; then
    xdotool windowactivate --sync "$(box)" key Return
    wait_for 20 eval '[ -z "$(box)" ]' && ok "the message box closes on Return" || ko "the message box did not close"
  else
    ko "no message box said so"
  fi
else
  ko "no word of a declined share: $(tail -n +$((n + 1)) "$log" | tail -2 | tr '\n' ' ')"
fi

# Shared, then again: the second recording presents the restore token, and KDE asks no more.
echo Share >"$dialogs.answer"
for i in 1 2; do
  n=$(lines)
  sleep 1
  invoke F7
  if wait_for 60 logged_after "$n" 'recording started'; then
    ok "recording $i started"
    sleep 1
    n=$(lines)
    invoke F7
    # KWin's virtual backend sends no picture: the stop says nothing was recorded.
    wait_for 60 logged_after "$n" 'recording finished\|nothing was recorded' || ko "recording $i did not end"
  else
    ko "recording $i did not start: $(tail -n +$((n + 1)) "$log" | tail -2 | tr '\n' ' ')"
  fi
done
[ "$(grep -c . "$dialogs")" = 2 ] && ok "KDE asked twice: declined once, shared once, then the restore token" ||
  ko "KDE asked $(grep -c . "$dialogs") times: $(tr '\n' ' ' <"$dialogs")"
[ -n "$("$build/tools/vexa-settings/vexa-settings" get screencast_restore_token 2>/dev/null)" ] &&
  ok "the restore token is kept with the settings" || ko "no restore token in the settings"

finish
