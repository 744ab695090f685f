"""org.gnome.SessionManager (python3-dbusmock template); its log has each call.
farm.meadowline.test.Session.Send(s) sends the registered client the signal
named, as a logout does."""
BUS_NAME = MAIN_IFACE = "org.gnome.SessionManager"
MAIN_OBJ = "/org/gnome/SessionManager"
SYSTEM_BUS = False
CLIENT = "/org/gnome/SessionManager/Client1"


def load(mock, _parameters):
    mock.AddMethods(MAIN_IFACE, [
        ("RegisterClient", "ss", "o", f'ret = "{CLIENT}"'), ("UnregisterClient", "o", "", ""),
        ("Inhibit", "susu", "u", "ret = 7"), ("Uninhibit", "u", "", "")])
    mock.AddObject(CLIENT, "org.gnome.SessionManager.ClientPrivate", {},
                   [("EndSessionResponse", "bs", "", "")])
    mock.AddMethod("farm.meadowline.test.Session", "Send", "s", "",
                   f'objects["{CLIENT}"].EmitSignal("org.gnome.SessionManager.ClientPrivate", args[0], '
                   '*(("", []) if args[0] == "CancelEndSession" else ("u", [dbus.UInt32(0)])))')
