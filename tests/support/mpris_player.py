#!/usr/bin/python3
# A small MPRIS player on the session bus of $DBUS_SESSION_BUS_ADDRESS, driven over standard
# input, for what real players do only now and then: a track without tags, a cover named a
# moment after the title, a FIFO as the cover, a title of megabytes.
#
# Usage: mpris_player.py BUS-NAME. It prints "ready" once it owns the name. Each command is one
# JSON object a line and is answered with "ok" once its change signal has gone out:
#   {"status": "Playing", "metadata": {...}, "position": 12.5}   any of the three
# {"hold": true} holds back every property answer (each as it was when asked) until
# {"hold": false} sends them all, in order: an answer overtaken by the player's own news.
# {"flood": N} sends N track changes at once, titled "Flood 1" to "Flood N" (ids /flood/1 ...),
# and {"seeked": N} N Seeked signals: a player that floods the bus.
# {"count": true} is answered "held N", N being the property answers held back so far.
# {"busy": true} answers every property request with the error a caller gets from a player
# too slow to answer (org.freedesktop.DBus.Error.NoReply) until {"busy": false}.
# Metadata keys are MPRIS's: "xesam:title" (text), "xesam:artist" (list of texts),
# "xesam:album", "xesam:url", "mpris:artUrl" (texts), "mpris:trackid" (object path),
# "mpris:length" (microseconds); {"types": {"mpris:trackid": "s"}} sends a key with another
# D-Bus type from then on, as players that break the rules do. Transport calls are answered and written to standard output as
# "call NAME", but change nothing: the script says what the player shows.
# End of input ends it.
import json
import sys
import threading

from gi.repository import Gio, GLib

ROOT = 'org.mpris.MediaPlayer2'
PLAYER = 'org.mpris.MediaPlayer2.Player'
PATH = '/org/mpris/MediaPlayer2'
XML = '''
<node>
  <interface name="org.mpris.MediaPlayer2">
    <method name="Raise"/><method name="Quit"/>
    <property name="Identity" type="s" access="read"/>
    <property name="CanQuit" type="b" access="read"/>
    <property name="CanRaise" type="b" access="read"/>
    <property name="HasTrackList" type="b" access="read"/>
    <property name="SupportedUriSchemes" type="as" access="read"/>
    <property name="SupportedMimeTypes" type="as" access="read"/>
  </interface>
  <interface name="org.mpris.MediaPlayer2.Player">
    <method name="Next"/><method name="Previous"/><method name="Pause"/><method name="PlayPause"/>
    <method name="Stop"/><method name="Play"/>
    <method name="Seek"><arg type="x" direction="in"/></method>
    <method name="SetPosition"><arg type="o" direction="in"/><arg type="x" direction="in"/></method>
    <method name="OpenUri"><arg type="s" direction="in"/></method>
    <signal name="Seeked"><arg type="x"/></signal>
    <property name="PlaybackStatus" type="s" access="read"/>
    <property name="Rate" type="d" access="read"/>
    <property name="Metadata" type="a{sv}" access="read"/>
    <property name="Volume" type="d" access="read"/>
    <property name="Position" type="x" access="read"/>
    <property name="MinimumRate" type="d" access="read"/>
    <property name="MaximumRate" type="d" access="read"/>
    <property name="CanGoNext" type="b" access="read"/>
    <property name="CanGoPrevious" type="b" access="read"/>
    <property name="CanPlay" type="b" access="read"/>
    <property name="CanPause" type="b" access="read"/>
    <property name="CanSeek" type="b" access="read"/>
    <property name="CanControl" type="b" access="read"/>
  </interface>
</node>
'''

TYPES = {'xesam:artist': 'as', 'mpris:trackid': 'o', 'mpris:length': 'x'}


class Player:
    def __init__(self, connection):
        self.connection = connection
        self.status = 'Stopped'
        self.metadata = {}
        self.types = dict(TYPES)
        self.position = 0
        self.holding = False
        self.busy = False
        self.held = []  # property answers held back: (invocation, answer as it was asked)
        self.fixed = {
            'Identity': GLib.Variant('s', 'Test Player'), 'CanQuit': GLib.Variant('b', False),
            'CanRaise': GLib.Variant('b', False), 'HasTrackList': GLib.Variant('b', False),
            'SupportedUriSchemes': GLib.Variant('as', []), 'SupportedMimeTypes': GLib.Variant('as', []),
            'Rate': GLib.Variant('d', 1.0), 'Volume': GLib.Variant('d', 1.0),
            'MinimumRate': GLib.Variant('d', 1.0), 'MaximumRate': GLib.Variant('d', 1.0),
            'CanGoNext': GLib.Variant('b', True), 'CanGoPrevious': GLib.Variant('b', True),
            'CanPlay': GLib.Variant('b', True), 'CanPause': GLib.Variant('b', True),
            'CanSeek': GLib.Variant('b', True), 'CanControl': GLib.Variant('b', True),
        }

    def metadata_variant(self):
        return GLib.Variant('a{sv}', {key: GLib.Variant(self.types.get(key, 's'), value)
                                      for key, value in self.metadata.items()})

    def property(self, name):
        if name == 'PlaybackStatus':
            return GLib.Variant('s', self.status)
        if name == 'Metadata':
            return self.metadata_variant()
        if name == 'Position':
            return GLib.Variant('x', int(self.position * 1e6))
        return self.fixed.get(name)

    def call(self, connection, sender, path, interface, method, parameters, invocation):
        if interface == 'org.freedesktop.DBus.Properties':
            self.answer_properties(method, parameters, invocation)
            return
        print('call', method, flush=True)
        invocation.return_value(None)

    # Properties are answered here rather than by GDBus, so that answers can be held back.
    def answer_properties(self, method, parameters, invocation):
        if method == 'Get':
            interface, name = parameters.unpack()
            value = self.property(name) if interface == PLAYER else self.fixed.get(name)
            answer = GLib.Variant('(v)', (value,)) if value is not None else None
        elif method == 'GetAll':
            interface = parameters.unpack()[0]
            names = (['PlaybackStatus', 'Metadata', 'Position'] + list(self.fixed)) if interface == PLAYER \
                else list(self.fixed)
            answer = GLib.Variant('(a{sv})', ({name: self.property(name) for name in names},))
        else:
            invocation.return_dbus_error('org.freedesktop.DBus.Error.PropertyReadOnly', 'read only')
            return
        if self.busy:
            invocation.return_dbus_error('org.freedesktop.DBus.Error.NoReply', 'did not answer in time')
        elif answer is None:
            invocation.return_dbus_error('org.freedesktop.DBus.Error.UnknownProperty', 'no such property')
        elif self.holding:
            self.held.append((invocation, answer))
        else:
            invocation.return_value(answer)

    def apply(self, command):
        if command.get('count'):
            return 'held %d' % len(self.held)
        for n in range(1, command.get('flood', 0) + 1):
            self.metadata = {'xesam:title': 'Flood %d' % n, 'mpris:trackid': '/flood/%d' % n}
            self.emit_changed({'Metadata': self.property('Metadata')})
        for _ in range(command.get('seeked', 0)):
            self.connection.emit_signal(None, PATH, PLAYER, 'Seeked', GLib.Variant('(x)', (int(self.position * 1e6),)))
        if 'hold' in command:
            self.holding = command['hold']
            if not self.holding:
                for invocation, answer in self.held:
                    invocation.return_value(answer)
                self.held = []
        self.busy = command.get('busy', self.busy)
        self.types.update(command.get('types', {}))
        changed = {}
        if 'status' in command:
            self.status = command['status']
            changed['PlaybackStatus'] = self.property('PlaybackStatus')
        if 'metadata' in command:
            self.metadata = command['metadata']
            changed['Metadata'] = self.property('Metadata')
        if 'position' in command:
            self.position = command['position']
        if changed:
            self.emit_changed(changed)
        self.connection.flush_sync(None)
        return 'ok'

    def emit_changed(self, changed):
        self.connection.emit_signal(None, PATH, 'org.freedesktop.DBus.Properties', 'PropertiesChanged',
                                    GLib.Variant('(sa{sv}as)', (PLAYER, changed, [])))


def main():
    bus_name = sys.argv[1]
    connection = Gio.bus_get_sync(Gio.BusType.SESSION, None)
    player = Player(connection)
    for interface in Gio.DBusNodeInfo.new_for_xml(XML).interfaces:
        connection.register_object(PATH, interface, player.call, None, None)
    loop = GLib.MainLoop()

    def owned(*_):
        print('ready', flush=True)

    Gio.bus_own_name_on_connection(connection, bus_name, Gio.BusNameOwnerFlags.NONE, owned, lambda *_: loop.quit())

    def command(line):
        try:
            print(player.apply(json.loads(line)), flush=True)
        except Exception as error:  # noqa: BLE001 - every failure is answered, never fatal
            print('error', str(error).replace('\n', ' '), flush=True)
        return False

    # Standard input is read on a thread of its own; each command is carried out on the loop.
    def read():
        for line in sys.stdin:
            if line.strip():
                GLib.idle_add(command, line)
        GLib.idle_add(loop.quit)

    threading.Thread(target=read, daemon=True).start()
    loop.run()


if __name__ == '__main__':
    main()
