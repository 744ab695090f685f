#!/usr/bin/python3
"""Stand-in desktop services for a test's session bus.

fake_services.py portal N      a settings portal answering org.freedesktop.appearance
                               color-scheme with N; a test changes it with
                               farm.meadowline.test.Appearance.SetColorScheme(u),
                               announced with SettingChanged as a desktop does
fake_services.py file-manager LOG
                               org.freedesktop.FileManager1, writing the URIs of every
                               ShowItems call to LOG, one a line
fake_services.py session-manager LOG
                               org.gnome.SessionManager, writing each call to LOG, one a
                               line; farm.meadowline.test.Session.Send(s) sends its client
                               the signal named, as a logout does
"""
import sys

from gi.repository import Gio, GLib

PORTAL = """<node><interface name="org.freedesktop.portal.Settings">
  <method name="ReadAll"><arg type="as" direction="in"/><arg type="a{sa{sv}}" direction="out"/></method>
  <method name="Read"><arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="v" direction="out"/></method>
  <method name="ReadOne"><arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="v" direction="out"/></method>
  <signal name="SettingChanged"><arg type="s"/><arg type="s"/><arg type="v"/></signal>
  <property name="version" type="u" access="read"/>
</interface><interface name="farm.meadowline.test.Appearance">
  <method name="SetColorScheme"><arg type="u" direction="in"/></method>
</interface></node>"""
FILE_MANAGER = """<node><interface name="org.freedesktop.FileManager1">
  <method name="ShowItems"><arg type="as" direction="in"/><arg type="s" direction="in"/></method>
</interface></node>"""
SESSION = """<node><interface name="org.gnome.SessionManager">
  <method name="RegisterClient"><arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="o" direction="out"/></method>
  <method name="UnregisterClient"><arg type="o" direction="in"/></method>
  <method name="Inhibit"><arg type="s" direction="in"/><arg type="u" direction="in"/><arg type="s" direction="in"/><arg type="u" direction="in"/><arg type="u" direction="out"/></method>
  <method name="Uninhibit"><arg type="u" direction="in"/></method>
</interface><interface name="farm.meadowline.test.Session">
  <method name="Send"><arg type="s" direction="in"/></method>
</interface></node>"""
CLIENT = """<node><interface name="org.gnome.SessionManager.ClientPrivate">
  <method name="EndSessionResponse"><arg type="b" direction="in"/><arg type="s" direction="in"/></method>
  <signal name="QueryEndSession"><arg type="u"/></signal><signal name="EndSession"><arg type="u"/></signal>
  <signal name="CancelEndSession"/>
</interface></node>"""
CLIENT_PATH = "/org/gnome/SessionManager/Client1"
NAMESPACE, KEY = "org.freedesktop.appearance", "color-scheme"
kind, argument = sys.argv[1], sys.argv[2]
scheme = int(argument) if kind == "portal" else None


def portal(connection, sender, path, interface, method, parameters, invocation):
    global scheme
    value = GLib.Variant("u", scheme)
    if method == "SetColorScheme":
        scheme = parameters.unpack()[0]
        connection.emit_signal(None, path, "org.freedesktop.portal.Settings", "SettingChanged",
                               GLib.Variant("(ssv)", (NAMESPACE, KEY, GLib.Variant("u", scheme))))
        invocation.return_value(None)
    elif method == "ReadAll":
        invocation.return_value(GLib.Variant("(a{sa{sv}})", ({NAMESPACE: {KEY: value}},)))
    elif parameters.unpack() != (NAMESPACE, KEY):
        invocation.return_dbus_error("org.freedesktop.portal.Error.NotFound", "Requested setting not found")
    else:  # the older Read wraps the value once more
        invocation.return_value(GLib.Variant("(v)", (GLib.Variant("v", value) if method == "Read" else value,)))


def file_manager(connection, sender, path, interface, method, parameters, invocation):
    with open(argument, "a") as out:
        out.writelines(uri + "\n" for uri in parameters.unpack()[0])
    invocation.return_value(None)


def session_manager(connection, sender, path, interface, method, parameters, invocation):
    with open(argument, "a") as out:
        out.write(f"{method} {parameters.unpack()}\n")
    if method == "Send":
        signal = parameters.unpack()[0]
        connection.emit_signal(None, CLIENT_PATH, "org.gnome.SessionManager.ClientPrivate", signal,
                               None if signal == "CancelEndSession" else GLib.Variant("(u)", (0,)))
    answers = {"RegisterClient": GLib.Variant("(o)", (CLIENT_PATH,)), "Inhibit": GLib.Variant("(u)", (7,))}
    invocation.return_value(answers.get(method))


name, objects, call = {
    "portal": ("org.freedesktop.portal.Desktop", {"/org/freedesktop/portal/desktop": PORTAL}, portal),
    "file-manager": ("org.freedesktop.FileManager1", {"/org/freedesktop/FileManager1": FILE_MANAGER},
                     file_manager),
    "session-manager": ("org.gnome.SessionManager",
                        {"/org/gnome/SessionManager": SESSION, CLIENT_PATH: CLIENT}, session_manager)}[kind]


def acquired(connection, _):
    for path, xml in objects.items():
        for interface in Gio.DBusNodeInfo.new_for_xml(xml).interfaces:
            connection.register_object(path, interface, call, lambda *a: GLib.Variant("u", 2), None)


loop = GLib.MainLoop()
Gio.bus_own_name(Gio.BusType.SESSION, name, Gio.BusNameOwnerFlags.NONE, acquired, None, lambda *a: loop.quit())
GLib.timeout_add_seconds(300, loop.quit)
loop.run()
