#!/usr/bin/env python3
"""The built Linux uninstaller application on an X display (with-xvfb.sh provides one).

Starts the real executable, waits for its window, saves a screenshot, checks the window's title and
size, and quits it with Escape and with the window manager's close (Alt+F4 in openbox). Return is
not pressed here: it would ask pkexec to run the removal script as root for real; the window test
drives Return with a stand-in runner instead.

Usage: app_test.py --app PATH-TO-brivola-uninstaller
"""
import argparse
import os
import pathlib
import re
import subprocess
import sys
import tempfile
import time
import unittest

APP = None
TITLE = "Brivola Uninstaller"


def xdotool(*args, timeout=20):
    return subprocess.run(["xdotool", *args], capture_output=True, text=True, timeout=timeout)


class RunningApp:
    """The application in its own process with a private HOME; killed if it outlives the test."""

    def __enter__(self):
        self.home = tempfile.TemporaryDirectory(prefix="brivola-uninstaller-home-")
        env = dict(os.environ, HOME=self.home.name)
        self.output = tempfile.TemporaryFile(mode="w+")
        self.process = subprocess.Popen([str(APP)], env=env, stdout=self.output, stderr=subprocess.STDOUT, text=True)
        self.window = self.wait_for_window()
        return self

    def find_windows(self):
        found = xdotool("search", "--onlyvisible", "--pid", str(self.process.pid), "--name", f"^{TITLE}$")
        return found.stdout.split() if found.returncode == 0 else []

    def wait_for_window(self):
        """The application's one visible window, as soon as it is mapped."""
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                raise AssertionError(f"the application exited early ({self.process.returncode}): {self.read_output()}")
            windows = self.find_windows()
            if windows:
                assert len(windows) == 1, f"one window expected, found {windows}"
                return windows[0]
            time.sleep(0.1)
        raise AssertionError("no window appeared")

    def geometry(self):
        """Position and size of the window's content, as the X server has them."""
        text = xdotool("getwindowgeometry", self.window).stdout
        position = re.search(r"Position: (-?\d+),(-?\d+)", text)
        size = re.search(r"Geometry: (\d+)x(\d+)", text)
        assert position and size, text
        return tuple(int(v) for v in position.groups() + size.groups())

    def read_output(self):
        self.output.seek(0)
        return self.output.read()

    def activate(self):
        result = xdotool("windowactivate", "--sync", self.window)
        assert result.returncode == 0, result.stderr
        time.sleep(0.3)

    def wait_exit(self, seconds=10):
        try:
            return self.process.wait(timeout=seconds)
        except subprocess.TimeoutExpired:
            return None

    def __exit__(self, *exc):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.output.close()
        self.home.cleanup()


class UninstallerApp(unittest.TestCase):
    def test_window_title_size_script_and_screenshot(self):
        script = APP.parent / "uninstall-linux.sh"
        self.assertTrue(script.is_file(), "the removal script is installed beside the executable")
        with RunningApp() as app:
            self.assertEqual(xdotool("getwindowname", app.window).stdout.strip(), TITLE)
            # The window has its size from the moment it is mapped, and keeps it, centred across.
            for _ in range(2):
                x, y, width, height = app.geometry()
                self.assertEqual((width, height), (500, 310))
                screen_width = int(xdotool("getdisplaygeometry").stdout.split()[0])
                self.assertLessEqual(abs(x - (screen_width - width) // 2), 3)
                time.sleep(0.5)
            self.assertEqual(app.find_windows(), [app.window])

            time.sleep(0.5)
            folder = pathlib.Path(os.environ.get("BRIVOLA_SCREENSHOT_DIR", tempfile.gettempdir()))
            folder.mkdir(parents=True, exist_ok=True)
            shot = folder / "uninstaller-app.png"
            subprocess.run(["import", "-window", "root", str(shot)], check=True, timeout=30)
            self.assertGreater(shot.stat().st_size, 5000)
            print(f"Screenshot: {shot}")
            self.assertIsNone(app.process.poll(), "the application is still running")

    def test_escape_quits(self):
        with RunningApp() as app:
            app.activate()
            xdotool("key", "--clearmodifiers", "Escape")
            self.assertEqual(app.wait_exit(), 0, "Escape did not quit the application")

    def test_closing_the_window_quits(self):
        with RunningApp() as app:
            app.activate()
            xdotool("key", "--clearmodifiers", "alt+F4")
            self.assertEqual(app.wait_exit(), 0, "closing the window did not quit the application")


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--app", required=True, type=pathlib.Path)
    args, rest = parser.parse_known_args()
    APP = args.app.resolve()
    if not os.environ.get("DISPLAY"):
        sys.exit("app_test.py needs an X display: run it through with-xvfb.sh")
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
