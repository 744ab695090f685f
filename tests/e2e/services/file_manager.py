"""org.freedesktop.FileManager1 (python3-dbusmock template); its log has each ShowItems call."""
BUS_NAME = MAIN_IFACE = "org.freedesktop.FileManager1"
MAIN_OBJ = "/org/freedesktop/FileManager1"
SYSTEM_BUS = False


def load(mock, _parameters):
    mock.AddMethod(MAIN_IFACE, "ShowItems", "ass", "", "")
