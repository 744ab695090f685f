"""Desktop services a test can put on a shell's own session bus."""
from pathlib import Path

HERE = Path(__file__).resolve().parent


def add_file_manager(shell):
    """Registers a file manager the bus starts on demand; returns the file
    its ShowItems calls are recorded in."""
    services = shell.data_home / "dbus-1" / "services"
    services.mkdir(parents=True, exist_ok=True)
    log = shell.root / "shown-items.log"
    (services / "org.freedesktop.FileManager1.service").write_text(
        "[D-BUS Service]\nName=org.freedesktop.FileManager1\n"
        f"Exec=/usr/bin/python3 {HERE / 'fake_file_manager.py'} {log}\n")
    return log
