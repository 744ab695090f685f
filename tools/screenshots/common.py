"""What the screenshot makers share, and the start screen. The pictures in
docs/screenshots/ come from the real program under the current X display:

    xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" python3 tools/screenshots/records.py
    xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" python3 tools/screenshots/farm_work.py
    xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" python3 tools/screenshots/planned_work.py
    xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" python3 tools/screenshots/desktop.py
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

# The end-to-end tests' harness drives the program for these pictures too.
sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tests" / "e2e"))

from harness import Shell  # noqa: E402
from test_webapp import probe, probed_copy  # noqa: E402

HERE = Path(__file__).resolve().parent
OUT = HERE.parents[1] / "docs" / "screenshots"
SETTLE = 1.5  # for the page to finish painting before a picture
# The first picture of the page reaches the window seconds after its scripts
# have run (software rendering on a busy machine): wait well past that.
FIRST_PAINT = 6.0


def picture(wid, path):
    subprocess.run(["import", "-window", wid, str(path)], check=True, timeout=30)


def weston_picture(weston, path):
    folder = Path(tempfile.mkdtemp(dir=weston.runtime))
    env = {k: v for k, v in dict(os.environ, **weston.client_env()).items() if v is not None}
    subprocess.run(["weston-screenshooter"], env=env, cwd=folder, check=True, capture_output=True, timeout=30)
    shutil.move(next(folder.glob("*.png")), path)


def typed(shell, wid, *steps):
    """Each step is text to type, or a list of keys to press."""
    for step in steps:
        if isinstance(step, list):
            shell.keys_to(wid, *step)
        else:
            shell.type_to(wid, step)
        time.sleep(0.15)


def start_screen(web):
    shell = Shell(web)
    try:
        shell.start()
        main = shell.window()
        probe(shell)
        time.sleep(FIRST_PAINT)
        picture(main, OUT / "start-screen.png")
    finally:
        shell.close()


def make_pictures(*makers):
    """Runs each maker against one probed copy of the application."""
    OUT.mkdir(parents=True, exist_ok=True)
    with tempfile.TemporaryDirectory(prefix="mlfk-screens-") as scratch:
        web = Path(scratch) / "web"
        probed_copy(web)
        for make in makers:
            make(web)
