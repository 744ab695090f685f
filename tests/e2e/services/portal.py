"""A settings portal (python3-dbusmock template) answering
org.freedesktop.appearance color-scheme with the parameter `scheme`; a test
changes it with farm.meadowline.test.Appearance.SetColorScheme(u), announced
with SettingChanged as a desktop does."""
import dbus

BUS_NAME = "org.freedesktop.portal.Desktop"
MAIN_OBJ = "/org/freedesktop/portal/desktop"
MAIN_IFACE = "org.freedesktop.portal.Settings"
SYSTEM_BUS = False
# The older Read wraps the value in one variant more than ReadOne.
READ = """if tuple(args) != ("org.freedesktop.appearance", "color-scheme"):
    raise dbus.exceptions.DBusException("Requested setting not found", name="org.freedesktop.portal.Error.NotFound")
ret = dbus.UInt32(self.scheme, variant_level={})"""


def load(mock, parameters):
    mock.scheme = parameters["scheme"]
    mock.AddProperty(MAIN_IFACE, "version", dbus.UInt32(2))
    mock.AddMethods(MAIN_IFACE, [
        ("ReadAll", "as", "a{sa{sv}}",
         'ret = {"org.freedesktop.appearance": {"color-scheme": dbus.UInt32(self.scheme)}}'),
        ("Read", "ss", "v", READ.format(2)),
        ("ReadOne", "ss", "v", READ.format(1))])
    mock.AddMethod("farm.meadowline.test.Appearance", "SetColorScheme", "u", "",
                   'self.scheme = args[0]; self.EmitSignal("org.freedesktop.portal.Settings", "SettingChanged", '
                   '"ssv", ["org.freedesktop.appearance", "color-scheme", dbus.UInt32(args[0], variant_level=1)])')
