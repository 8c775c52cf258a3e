#!/usr/bin/python3
"""answer_share.py LOG [VINPUT]: answers the desktop's screen-sharing dialog like a person, through
the accessibility bus, each time one opens, until killed; appends one line to LOG per dialog it
answered ("shared", or "declined" when the file LOG.answer says Cancel), so a test can count how
often the desktop asked.

GNOME (xdg-desktop-portal-gnome 43): selects the only monitor in the dialog's list, presses Share.
KDE (xdg-desktop-portal-kde 5.27): the screen cards take no accessibility action, so the card is
clicked with the pointer (VINPUT, the bed's virtual input through KWin's fake input) at the place a
KWin script reports for the dialog; then Share is pressed.
"""
import os
import subprocess
import sys
import time

import pyatspi

DIALOGS = {'Screen Share': 'gnome', 'Screen Sharing': 'kde'}


def find(node, pred):
    try:
        if pred(node):
            return node
        for child in node:
            hit = find(child, pred)
            if hit is not None:
                return hit
    except Exception:  # a window that closes while it is walked
        pass
    return None


def dialog():
    return find(pyatspi.Registry.getDesktop(0),
                lambda a: a.getRoleName() == 'frame' and a.name in DIALOGS)


def press(dlg, label):
    button = find(dlg, lambda a: a.getRoleName() == 'push button' and a.name.split()[-1] == label)
    button.queryAction().doAction(0)


def answer_gnome(dlg, button):
    if button == 'Cancel':
        return press(dlg, button)
    monitors = find(dlg, lambda a: a.getRoleName() == 'list')
    monitors.querySelection().selectChild(0)
    time.sleep(0.3)
    press(dlg, 'Share')


def kwin_buffer_origin(caption):
    """Where KWin shows the client area of the window titled CAPTION (a KWin script prints it)."""
    import dbus
    log = os.path.join(os.environ['BED'], 'log', 'kwin.log')
    script = os.path.join(os.environ['BED'], 'where-%d.js' % time.monotonic_ns())
    with open(script, 'w') as f:
        f.write('var l = workspace.clientList();\n'
                'for (var i = 0; i < l.length; i++) { var b = l[i].bufferGeometry;\n'
                '  print("WHERE|" + l[i].caption + "|" + b.x + "|" + b.y); }\n')
    scripting = dbus.SessionBus().get_object('org.kde.KWin', '/Scripting')
    scripting.loadScript(script, dbus_interface='org.kde.kwin.Scripting')
    scripting.start(dbus_interface='org.kde.kwin.Scripting')
    for _ in range(50):
        with open(log, errors='replace') as f:
            hits = [l.split('|') for l in f if 'WHERE|' + caption in l]
        if hits:
            return int(hits[-1][2]), int(hits[-1][3])
        time.sleep(0.1)
    raise RuntimeError('KWin did not say where the dialog is')


def answer_kde(dlg, vinput, button):
    if button == 'Cancel':
        return press(dlg, button)
    cards = []

    def collect(node):
        for child in node:
            if child.getRoleName() == 'list item':
                cards.append(child)
            else:
                collect(child)
    collect(dlg)
    # KWin's virtual backend lists a stale output first; the last card is the live screen.
    card = cards[-1].queryComponent().getExtents(pyatspi.WINDOW_COORDS)
    x0, y0 = kwin_buffer_origin(dlg.name)
    x, y = x0 + card.x + card.width // 2, y0 + card.y + card.height // 2
    subprocess.run([vinput], input='move %d %d\nsleep 100\ndown\nsleep 100\nup\nsleep 300\n' % (x, y),
                   text=True, check=True)
    press(dlg, 'Share')


def main():
    log, vinput = sys.argv[1], (sys.argv[2] if len(sys.argv) > 2 else None)
    while True:
        dlg = dialog()
        if dlg is None:
            time.sleep(0.2)
            continue
        time.sleep(0.5)  # let the dialog fill its list
        try:
            with open(log + '.answer') as f:
                button = f.read().strip() or 'Share'
        except OSError:
            button = 'Share'
        try:
            if DIALOGS[dlg.name] == 'gnome':
                answer_gnome(dlg, button)
            else:
                answer_kde(dlg, vinput, button)
            with open(log, 'a') as f:
                f.write('shared\n' if button == 'Share' else 'declined\n')
        except Exception as e:  # noqa: BLE001 - the dialog may close under us; try again
            print('answer_share:', e, file=sys.stderr, flush=True)
        for _ in range(100):  # until the dialog has gone
            if dialog() is None:
                break
            time.sleep(0.1)


if __name__ == '__main__':
    main()
