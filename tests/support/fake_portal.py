#!/usr/bin/python3
"""A stand-in for the desktop's portal (org.freedesktop.portal.Desktop) on a private session bus.

ScreenCast hands out one PipeWire node (a connection to the daemon's socket as the remote);
GlobalShortcuts binds shortcuts and sends Activated when a test calls org.vexa.Test.Activate(id).
FileChooser (with --folder URI) answers OpenFile with that URI, or as cancelled when it is "cancel".
Every call is appended to --calls as one JSON line. Prints "ready" once it owns the name.
"""
import argparse
import json
import os
import socket
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

PATH = '/org/freedesktop/portal/desktop'
SCREENCAST = 'org.freedesktop.portal.ScreenCast'
SHORTCUTS = 'org.freedesktop.portal.GlobalShortcuts'
FILECHOOSER = 'org.freedesktop.portal.FileChooser'
PROPS = 'org.freedesktop.DBus.Properties'


def plain(value):
    """dbus values as JSON-friendly ones."""
    if isinstance(value, (dbus.Dictionary, dict)):
        return {str(k): plain(v) for k, v in value.items()}
    if isinstance(value, (dbus.Array, dbus.Struct, list, tuple)):
        return [plain(v) for v in value]
    if isinstance(value, dbus.Boolean):
        return bool(value)
    if isinstance(value, (dbus.String, dbus.ObjectPath)):
        return str(value)
    if isinstance(value, (int, float)):
        return int(value) if not isinstance(value, float) else float(value)
    return str(value)


class Request(dbus.service.Object):
    @dbus.service.signal('org.freedesktop.portal.Request', signature='ua{sv}')
    def Response(self, code, results):
        pass


class Session(dbus.service.Object):
    def __init__(self, bus, path, portal):
        super().__init__(bus, path)
        self.portal = portal

    @dbus.service.method('org.freedesktop.portal.Session', in_signature='', out_signature='')
    def Close(self):
        self.portal.record('Session.Close', {'path': self._object_path})
        self.remove_from_connection()


class ScreenCastPortal(dbus.service.Object):
    """The ScreenCast half; GlobalShortcuts' methods of the same names live in the subclass (dbus-python
    finds a method by name along the class hierarchy, one interface per class)."""

    def __init__(self, bus, opts):
        super().__init__(bus, PATH)
        self.bus = bus
        self.opts = opts
        self.shortcut_session = None
        self.sessions = []

    def record(self, method, args):
        if self.opts.calls:
            with open(self.opts.calls, 'a') as f:
                f.write(json.dumps({'method': method, 'args': plain(args)}) + '\n')

    def answer(self, sender, options, code, results):
        token = str(options.get('handle_token', 'none'))
        path = '%s/request/%s/%s' % (PATH, sender[1:].replace('.', '_'), token)
        request = Request(self.bus, path)

        def send():
            request.Response(dbus.UInt32(code), dbus.Dictionary(results, signature='sv'))
            request.remove_from_connection()
            return False
        GLib.idle_add(send)  # after the method's reply
        return dbus.ObjectPath(path)

    def new_session(self, sender, options):
        token = str(options.get('session_handle_token', 'session'))
        path = '%s/session/%s/%s' % (PATH, sender[1:].replace('.', '_'), token)
        self.sessions.append(Session(self.bus, path, self))
        return path

    # ---- properties ----
    def properties(self, interface):
        if interface == SCREENCAST and not self.opts.no_screencast:
            return {'version': dbus.UInt32(4), 'AvailableSourceTypes': dbus.UInt32(1),
                    'AvailableCursorModes': dbus.UInt32(self.opts.cursor_modes)}
        if interface == SHORTCUTS and self.opts.shortcuts:
            return {'version': dbus.UInt32(1)}
        if interface == FILECHOOSER and self.opts.folder:
            return {'version': dbus.UInt32(self.opts.file_chooser_version)}
        raise dbus.exceptions.DBusException('no such interface ' + interface,
                                            name='org.freedesktop.DBus.Error.UnknownInterface')

    @dbus.service.method(PROPS, in_signature='ss', out_signature='v')
    def Get(self, interface, name):
        props = self.properties(interface)
        if name not in props:
            raise dbus.exceptions.DBusException('no property ' + name,
                                                name='org.freedesktop.DBus.Error.UnknownProperty')
        return props[name]

    @dbus.service.method(PROPS, in_signature='s', out_signature='a{sv}')
    def GetAll(self, interface):
        return self.properties(interface)

    # ---- ScreenCast ----
    @dbus.service.method(SCREENCAST, in_signature='a{sv}', out_signature='o', sender_keyword='sender')
    def CreateSession(self, options, sender=None):
        self.record('CreateSession', options)
        session = self.new_session(sender, options)
        return self.answer(sender, options, 0, {'session_handle': dbus.String(session)})

    @dbus.service.method(SCREENCAST, in_signature='oa{sv}', out_signature='o', sender_keyword='sender')
    def SelectSources(self, session, options, sender=None):
        self.record('SelectSources', options)
        return self.answer(sender, options, 0, {})

    @dbus.service.method(SCREENCAST, in_signature='osa{sv}', out_signature='o', sender_keyword='sender')
    def Start(self, session, parent, options, sender=None):
        self.record('Start', options)
        if self.opts.refuse:
            return self.answer(sender, options, 1, {})
        if self.opts.deny:
            return self.answer(sender, options, 2, {})
        stream = dbus.Struct((dbus.UInt32(self.opts.node),
                              dbus.Dictionary({'size': dbus.Struct((dbus.Int32(self.opts.width),
                                                                    dbus.Int32(self.opts.height)))},
                                              signature='sv')), signature='ua{sv}')
        results = {'streams': dbus.Array([stream], signature='(ua{sv})'),
                   'restore_token': dbus.String('token-%d' % (len(self.sessions)))}
        return self.answer(sender, options, 0, results)

    @dbus.service.method(SCREENCAST, in_signature='oa{sv}', out_signature='h')
    def OpenPipeWireRemote(self, session, options):
        self.record('OpenPipeWireRemote', options)
        s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        s.connect(self.opts.pipewire_socket)
        fd = dbus.types.UnixFd(s.fileno())
        s.close()
        return fd


class Portal(ScreenCastPortal):
    @dbus.service.method(SHORTCUTS, in_signature='a{sv}', out_signature='o', sender_keyword='sender')
    def CreateSession(self, options, sender=None):
        self.record('Shortcuts.CreateSession', options)
        self.shortcut_session = self.new_session(sender, options)
        return self.answer(sender, options, 0, {'session_handle': dbus.String(self.shortcut_session)})

    @dbus.service.method(SHORTCUTS, in_signature='oa(sa{sv})sa{sv}', out_signature='o', sender_keyword='sender')
    def BindShortcuts(self, session, shortcuts, parent, options, sender=None):
        self.record('BindShortcuts', {'session': session, 'shortcuts': shortcuts})
        bound = dbus.Array([dbus.Struct((sid, dbus.Dictionary(
            {'description': props.get('description', ''),
             'trigger_description': props.get('preferred_trigger', '')}, signature='sv')))
            for sid, props in shortcuts], signature='(sa{sv})')
        return self.answer(sender, options, 0, {'shortcuts': bound})

    @dbus.service.signal(SHORTCUTS, signature='osta{sv}')
    def Activated(self, session, shortcut_id, timestamp, options):
        pass

    @dbus.service.method(FILECHOOSER, in_signature='ssa{sv}', out_signature='o', sender_keyword='sender')
    def OpenFile(self, parent, title, options, sender=None):
        args = dict(options)
        if 'current_folder' in args:  # bytes with their terminating NUL, as text for the record
            args['current_folder'] = ''.join(chr(b) for b in args['current_folder'])
        self.record('OpenFile', {'parent': parent, 'title': title, 'options': args})
        if self.opts.folder == 'cancel':
            return self.answer(sender, options, 1, {})
        return self.answer(sender, options, 0, {'uris': dbus.Array([self.opts.folder], signature='s')})

    @dbus.service.method('org.vexa.Test', in_signature='s', out_signature='b')
    def Activate(self, shortcut_id):
        if not self.shortcut_session:
            return False
        self.Activated(dbus.ObjectPath(self.shortcut_session), shortcut_id, dbus.UInt64(0),
                       dbus.Dictionary({}, signature='sv'))
        return True


def main():
    p = argparse.ArgumentParser()
    p.add_argument('--node', type=int, default=0)
    p.add_argument('--width', type=int, default=0)
    p.add_argument('--height', type=int, default=0)
    p.add_argument('--pipewire-socket', default='')
    p.add_argument('--cursor-modes', type=int, default=7)
    p.add_argument('--refuse', action='store_true', help='the user cancels the dialog')
    p.add_argument('--deny', action='store_true', help='the desktop ends the request')
    p.add_argument('--no-screencast', action='store_true')
    p.add_argument('--shortcuts', action='store_true', help='offer GlobalShortcuts')
    p.add_argument('--folder', default='', help='offer FileChooser; OpenFile answers this URI')
    p.add_argument('--file-chooser-version', type=int, default=4)
    p.add_argument('--calls', default='')
    opts = p.parse_args()
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    portal = Portal(bus, opts)
    name = dbus.service.BusName('org.freedesktop.portal.Desktop', bus)
    print('ready', flush=True)
    loop = GLib.MainLoop()
    try:
        loop.run()
    finally:
        del name, portal


if __name__ == '__main__':
    sys.exit(main())
