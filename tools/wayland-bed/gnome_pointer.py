#!/usr/bin/python3
"""gnome_pointer.py X Y [click]: puts mutter's pointer at X,Y (desktop pixels) and clicks there if asked, through mutter's
remote-desktop service (org.gnome.Mutter.RemoteDesktop), the way a person's mouse moves it:
first far up-left, where the screen's edge stops it at 0,0, then by X,Y. Prints "ready" and stays
until killed: the session's virtual mouse is the desktop's only pointing device, and without one
mutter hides the pointer."""
import sys
import time

import dbus

bus = dbus.SessionBus()
service = 'org.gnome.Mutter.RemoteDesktop'
path = bus.get_object(service, '/org/gnome/Mutter/RemoteDesktop').CreateSession(
    dbus_interface=service)
session = dbus.Interface(bus.get_object(service, path), service + '.Session')
session.Start()
session.NotifyPointerMotionRelative(-10000.0, -10000.0)
session.NotifyPointerMotionRelative(float(sys.argv[1]), float(sys.argv[2]))
if sys.argv[3:] == ['click']:
    time.sleep(0.1)
    session.NotifyPointerButton(0x110, True)  # BTN_LEFT
    time.sleep(0.06)
    session.NotifyPointerButton(0x110, False)
print('ready', flush=True)
while True:
    time.sleep(3600)
