#!/usr/bin/env python3
"""The stand-alone application in a real window: starts without a sound card, shows the web page,
quits on the window manager's close request and leaves no process (WebKit helpers) behind.

Needs a display with a window manager (scripts/test.sh runs CTest under scripts/with-display.sh).

Usage: standalone_test.py --app PATH --artifacts DIR [unittest options]
"""
import argparse
import os
import subprocess
import sys
import time
import unittest
import uuid

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from editor_test import read_png  # noqa: E402
from harness import reap_marked, run_in_private_home  # noqa: E402

APP = None
ARTIFACTS = None
WORK = None


def xdotool(*args, timeout=30):
    return subprocess.run(["xdotool", *args], capture_output=True, text=True, timeout=timeout)


def wait_for_window(pid, seconds):
    """The id of the application's visible top-level window, or None."""
    deadline = time.time() + seconds
    while time.time() < deadline:
        found = xdotool("search", "--onlyvisible", "--pid", str(pid)).stdout.split()
        if found:
            return found[-1]
        time.sleep(0.3)
    return None


class Standalone(unittest.TestCase):

    def test_starts_without_sound_card_shows_the_page_and_quits_on_close(self):
        mark = f"BRIVOLA_STANDALONE_TEST_RUN={uuid.uuid4().hex}"
        key, value = mark.split("=", 1)
        env = dict(os.environ, **{key: value})
        # No sound card: ALSA finds no device at all, whatever the machine has.
        env["ALSA_CONFIG_PATH"] = os.path.join(WORK, "no-devices.conf")
        with open(env["ALSA_CONFIG_PATH"], "w") as f:
            f.write("# no cards, no devices\n")
        log = open(os.path.join(WORK, "standalone.log"), "w+")
        app = subprocess.Popen([APP], env=env, stdout=log, stderr=subprocess.STDOUT)
        try:
            window = wait_for_window(app.pid, 60)
            self.assertIsNotNone(window, "no window appeared")
            self.assertIsNone(app.poll(), "the application ended by itself")
            self.assertIn("Brivola", xdotool("getwindowname", window).stdout)

            # The page needs a moment to load and draw its first frames.
            time.sleep(6)
            shot = os.path.join(ARTIFACTS, "standalone.png")
            if os.path.exists(shot):
                os.remove(shot)
            subprocess.run(["import", "-window", window, f"PNG24:{shot}"], check=True, timeout=60)
            width, height, rows = read_png(shot)
            self.assertGreater(width, 300)
            self.assertGreater(height, 400)
            colours = {pixel for row in rows[::4] for pixel in row[::4]}
            self.assertGreater(len(colours), 20, "the window is nearly uniform: the page did not draw")
            self.assertIsNone(app.poll(), "the application ended while showing its page")

            # A close request through the window manager (openbox closes the active window on Alt+F4
            # by sending WM_DELETE_WINDOW).
            xdotool("windowactivate", "--sync", window)
            xdotool("key", "--clearmodifiers", "alt+F4")
            try:
                status = app.wait(timeout=30)
            except subprocess.TimeoutExpired:
                status = None
            self.assertEqual(status, 0, "the application did not quit cleanly on a close request")
        finally:
            if app.poll() is None:
                app.kill()
                app.wait()
            log.seek(0)
            output = log.read()
            log.close()

        left = reap_marked(mark.encode())
        self.assertEqual(left, [], f"processes left running after the application quit\n{output[-2000:]}")


def main():
    global APP, ARTIFACTS
    parser = argparse.ArgumentParser()
    parser.add_argument("--app", required=True)
    parser.add_argument("--artifacts", required=True)
    args, rest = parser.parse_known_args()
    APP = os.path.abspath(args.app)
    ARTIFACTS = os.path.abspath(args.artifacts)
    os.makedirs(ARTIFACTS, exist_ok=True)
    if not os.environ.get("DISPLAY"):
        print("standalone_test.py: no DISPLAY; run it under scripts/with-display.sh", file=sys.stderr)
        sys.exit(1)
    # Neither the device settings nor the shared store may touch the user's real folders.
    run_in_private_home("brivola-standalone-", rest, globals())


if __name__ == "__main__":
    main()
