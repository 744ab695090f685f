#!/usr/bin/python3
"""A stand-in settings portal on the session bus. It answers
org.freedesktop.appearance color-scheme with its first argument, and a test
changes the value while the program runs with
farm.meadowline.test.Appearance.SetColorScheme(u), which the portal announces
with SettingChanged as a desktop does."""
import sys

from gi.repository import Gio, GLib

INTERFACES = """
<node>
  <interface name="org.freedesktop.portal.Settings">
    <method name="ReadAll">
      <arg type="as" name="namespaces" direction="in"/>
      <arg type="a{sa{sv}}" name="value" direction="out"/>
    </method>
    <method name="Read">
      <arg type="s" name="namespace" direction="in"/>
      <arg type="s" name="key" direction="in"/>
      <arg type="v" name="value" direction="out"/>
    </method>
    <method name="ReadOne">
      <arg type="s" name="namespace" direction="in"/>
      <arg type="s" name="key" direction="in"/>
      <arg type="v" name="value" direction="out"/>
    </method>
    <signal name="SettingChanged">
      <arg type="s" name="namespace"/>
      <arg type="s" name="key"/>
      <arg type="v" name="value"/>
    </signal>
    <property name="version" type="u" access="read"/>
  </interface>
  <interface name="farm.meadowline.test.Appearance">
    <method name="SetColorScheme">
      <arg type="u" name="value" direction="in"/>
    </method>
  </interface>
</node>
"""
PATH = "/org/freedesktop/portal/desktop"
NAMESPACE, KEY = "org.freedesktop.appearance", "color-scheme"

scheme = int(sys.argv[1])
loop = GLib.MainLoop()


def call(connection, sender, path, interface, method, parameters, invocation):
    global scheme
    if method == "SetColorScheme":
        scheme = parameters.unpack()[0]
        connection.emit_signal(None, PATH, "org.freedesktop.portal.Settings", "SettingChanged",
                               GLib.Variant("(ssv)", (NAMESPACE, KEY, GLib.Variant("u", scheme))))
        invocation.return_value(None)
    elif method == "ReadAll":
        invocation.return_value(GLib.Variant("(a{sa{sv}})", ({NAMESPACE: {KEY: GLib.Variant("u", scheme)}},)))
    elif parameters.unpack() != (NAMESPACE, KEY):
        invocation.return_dbus_error("org.freedesktop.portal.Error.NotFound", "Requested setting not found")
    elif method == "Read":  # the older call wraps the value once more
        invocation.return_value(GLib.Variant("(v)", (GLib.Variant("v", GLib.Variant("u", scheme)),)))
    else:
        invocation.return_value(GLib.Variant("(v)", (GLib.Variant("u", scheme),)))


def get_property(connection, sender, path, interface, name):
    return GLib.Variant("u", 2)


def acquired(connection, name):
    info = Gio.DBusNodeInfo.new_for_xml(INTERFACES)
    for interface in info.interfaces:
        connection.register_object(PATH, interface, call, get_property, None)


Gio.bus_own_name(Gio.BusType.SESSION, "org.freedesktop.portal.Desktop",
                 Gio.BusNameOwnerFlags.NONE, acquired, None, lambda *a: loop.quit())
GLib.timeout_add_seconds(300, loop.quit)
loop.run()
