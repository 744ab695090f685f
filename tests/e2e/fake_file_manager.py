#!/usr/bin/python3
"""A stand-in file manager on the session bus: records the URIs of every
ShowItems call in the file named by its first argument, one per line."""
import sys

from gi.repository import Gio, GLib

INTERFACE = """
<node>
  <interface name="org.freedesktop.FileManager1">
    <method name="ShowItems">
      <arg type="as" name="uris" direction="in"/>
      <arg type="s" name="startup_id" direction="in"/>
    </method>
  </interface>
</node>
"""

log = sys.argv[1]
loop = GLib.MainLoop()


def call(connection, sender, path, interface, method, parameters, invocation):
    uris, _ = parameters.unpack()
    with open(log, "a") as out:
        for uri in uris:
            out.write(uri + "\n")
    invocation.return_value(None)


def acquired(connection, name):
    info = Gio.DBusNodeInfo.new_for_xml(INTERFACE)
    connection.register_object("/org/freedesktop/FileManager1", info.interfaces[0], call, None, None)


Gio.bus_own_name(Gio.BusType.SESSION, "org.freedesktop.FileManager1",
                 Gio.BusNameOwnerFlags.NONE, acquired, None, lambda *a: loop.quit())
GLib.timeout_add_seconds(120, loop.quit)
loop.run()
