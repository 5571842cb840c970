"""What the integration test scripts share: running their tests with the user's home in a
temporary folder, and finding the processes a run started (marked through their environment)."""
import os
import sys
import tempfile
import time
import unittest


def run_in_private_home(prefix, unittest_args, script_globals):
    """Runs the script's unittest cases (with `unittest_args`, the arguments the script's own
    parser left) with HOME and XDG_CONFIG_HOME in a new temporary folder, which also becomes the
    script's WORK, so that no test touches the user's real store or installed bundles. Exits with
    0 when all passed."""
    with tempfile.TemporaryDirectory(prefix=prefix) as work:
        script_globals["WORK"] = work
        os.environ["HOME"] = work
        os.environ["XDG_CONFIG_HOME"] = os.path.join(work, ".config")
        program = unittest.main(argv=[sys.argv[0], *unittest_args], exit=False, verbosity=2)
        sys.exit(0 if program.result.wasSuccessful() else 1)


def process_marks(mark):
    """Processes whose environment carries our mark."""
    found = []
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open(f"/proc/{pid}/environ", "rb") as f:
                env = f.read().split(b"\0")
        except OSError:
            continue
        if mark in env:
            try:
                with open(f"/proc/{pid}/cmdline", "rb") as f:
                    cmd = f.read().replace(b"\0", b" ").decode(errors="replace").strip()
            except OSError:
                cmd = "?"
            found.append((int(pid), cmd))
    return found


def reap_marked(mark, grace=5.0):
    """Gives the marked processes `grace` seconds to end, kills those still running and returns
    them as (pid, command line) pairs: an empty list when everything ended by itself."""
    left = process_marks(mark)
    deadline = time.time() + grace
    while left and time.time() < deadline:
        time.sleep(0.2)
        left = process_marks(mark)
    for pid, _ in left:
        try:
            os.kill(pid, 9)
        except OSError:
            pass
    return left
