#!/usr/bin/env python3
"""The plug-in's web editor in real windows, through the real VST3 bundle, driven by brivola-host.

Needs a display with a window manager (scripts/test.sh runs CTest under scripts/with-display.sh).
Every host run must leave no process behind (an orphaned WebKit helper spins at 100 % CPU).

Usage: editor_test.py --host PATH --bundle PATH --artifacts DIR [unittest options]
"""
import argparse
import json
import os
import struct
import subprocess
import sys
import unittest
import uuid
import zlib

from bundle_test import decode_juce_base64
from harness import reap_marked, run_in_private_home

HOST = None
BUNDLE = None
WORK = None
ARTIFACTS = None

# Records every message the native side sends to the page from now on, then asks for the handshake
# again by sending "ready" as the page does after loading.
RECORD_AND_SEND_READY = """(() => {
  const backend = window.__JUCE__.backend;
  if (!window.__brivolaRecord) {
    window.__brivolaRecord = [];
    const deliver = backend.emitByBackend.bind(backend);
    backend.emitByBackend = (name, payload) => {
      let value = null;
      try { value = JSON.parse(payload); } catch (e) { value = "unparsable"; }
      window.__brivolaRecord.push([name, value]);
      return deliver(name, payload);
    };
  }
  window.__brivolaRecord.length = 0;
  backend.emitEvent("ready", {});
  return true;
})()"""

# Everything recorded so far, as JSON text.
RECORDED = "JSON.stringify(window.__brivolaRecord)"

# True once a "ui" message arrived since the recording started.
HAS_UI = "window.__brivolaRecord.some(m => m[0] === 'ui')"


def run_host(*args, expect=0, timeout=300):
    """Runs brivola-host with --json; returns the summary. Fails when processes it started outlive it."""
    mark = f"BRIVOLA_EDITOR_TEST_RUN={uuid.uuid4().hex}"
    env = dict(os.environ)
    key, value = mark.split("=", 1)
    env[key] = value
    cmd = [HOST, *args, "--json", BUNDLE]
    try:
        proc = subprocess.run(cmd, capture_output=True, text=True, timeout=timeout, env=env)
    except subprocess.TimeoutExpired as timed_out:
        proc = subprocess.CompletedProcess(cmd, "timeout", timed_out.stdout or "", timed_out.stderr or "")
    left = reap_marked(mark.encode())
    if left:
        raise AssertionError(f"processes left running after {' '.join(cmd)}: {left}")
    if proc.returncode != expect:
        raise AssertionError(f"{' '.join(cmd)} exited {proc.returncode} (expected {expect})\n"
                             f"stdout: {proc.stdout[-3000:]}\nstderr: {proc.stderr[-3000:]}")
    return json.loads(proc.stdout)  # with --json, stdout holds only the summary


def decoded(evaluation):
    """A snippet's result: the host gives the value as JSON; snippets return JSON text themselves."""
    assert not evaluation.startswith("error:"), evaluation
    value = json.loads(evaluation)
    return json.loads(value) if isinstance(value, str) else value


def read_png(path):
    """Returns (width, height, rows of (r, g, b) tuples) of an 8-bit RGB or RGBA PNG."""
    with open(path, "rb") as f:
        data = f.read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack_from(">I4s", data, pos)
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth, colour, _, _, interlace = header
    assert depth == 8 and colour in (2, 6) and interlace == 0, header
    channels = 3 if colour == 2 else 4
    raw, stride, rows, previous = zlib.decompress(idat), width * channels, [], bytearray(width * channels)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b, c = previous[i], previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append([tuple(line[x * channels:x * channels + 3]) for x in range(width)])
        previous = line
    return width, height, rows


def energy(cells):
    return sum(c[2] for c in cells) / len(cells)


def drift(cells):
    return sum(c[0] for c in cells) / len(cells)


def live_cells(state_path):
    """(vx, vy, stirEnergy) of every live cell of the saved dish."""
    import xml.etree.ElementTree as ElementTree
    with open(state_path, "rb") as f:
        raw = f.read()
    length = struct.unpack_from("<I", raw, 4)[0]
    root = ElementTree.fromstring(raw[8:8 + length].decode("utf-8"))
    blob = decode_juce_base64(root.get("dish"))
    cells = []
    for k in range(24):
        base = 40 + 144 * k
        active, = struct.unpack_from("<i", blob, base + 4)
        x, y, vx, vy, angle, spin, mass, stir = struct.unpack_from("<8d", blob, base + 8)
        dying, = struct.unpack_from("<i", blob, base + 88)
        if active and not dying:
            cells.append((vx, vy, stir))
    return cells


class Editor(unittest.TestCase):
    """Open the editor, wait for the page's "ready", talk to the page, close it again."""

    @classmethod
    def setUpClass(cls):
        # A culture that has lived a few seconds: every run below starts from the same dish.
        cls.lived = os.path.join(WORK, "lived.state")
        subprocess.run([HOST, "--render", os.path.join(WORK, "lived.wav"), "--length", "4",
                        "--save-raw-state", cls.lived, BUNDLE], check=True, capture_output=True, timeout=300)

    def test_ready_is_answered_frames_follow_and_a_screenshot_shows_the_page(self):
        shot = os.path.join(ARTIFACTS, "editor.png")
        if os.path.exists(shot):
            os.remove(shot)
        summary = run_host("--editor", "--load-state", self.lived,
                           "--eval", RECORD_AND_SEND_READY, "--wait", "1.5", "--eval", RECORDED,
                           "--screenshot", shot)
        (opening,) = summary["openings"]
        self.assertEqual((opening["width"], opening["height"]), (415, 646))  # the base size on a 1280 x 1024 screen
        self.assertGreater(summary["blocks"], 50)  # audio ran while the editor was open

        record = decoded(summary["evaluations"][1])
        names = [name for name, _ in record]
        # The answer to "ready", in its order, before anything else of that kind.
        answers = [n for n in names if n in ("fx", "pipette", "stats", "presets", "ui")]
        self.assertEqual(answers[:5], ["fx", "pipette", "stats", "presets", "ui"], names[:20])
        payloads = dict(record)
        self.assertEqual(sorted(payloads["fx"]), sorted(["filter", "attack", "chorus", "reverb", "sub", "sat", "delay",
                                                         "width", "detune", "shimmer", "formant", "phaser"]))
        self.assertEqual(len(payloads["presets"]["slots"]), 12)
        self.assertIn(payloads["ui"]["page"], (0, 1, 2))
        self.assertTrue(0.0 <= payloads["ui"]["theme"] <= 1.0)
        self.assertIn("incubation", payloads["stats"])
        self.assertIn("discovered", payloads["pipette"])

        # Frames with the living dish keep coming.
        cells = [value["cells"]["cells"] for name, value in record if name == "frame" and "cells" in value]
        self.assertGreater(len(cells), 10, names[:40])
        for frame in cells:
            self.assertEqual(len(frame) % 13, 0)
            self.assertGreater(len(frame), 0)
        ids_first = set(cells[0][0::13])
        self.assertTrue(ids_first & set(cells[-1][0::13]), "the same cells live on from frame to frame")
        self.assertNotEqual(cells[0], cells[-1], "the cells move")

        # The screenshot is the editor's area and shows a drawn page, not an empty window.
        self.assertEqual(summary["screenshots"], [os.path.abspath(shot)])
        width, height, rows = read_png(shot)
        self.assertEqual((width, height), (415, 646))
        colours = {pixel for row in rows[::4] for pixel in row[::4]}
        self.assertGreater(len(colours), 20, "the screenshot is nearly uniform: the page did not draw")

    def test_stir_from_the_page_moves_the_cells(self):
        # Stir across the whole dish to the right, as a drag on the page does.
        stir = """(() => {
          const backend = window.__JUCE__.backend;
          backend.emitEvent("stirring", { on: true });
          for (let y = -0.9; y <= 0.9; y += 0.15)
            for (let x = -0.9; x <= 0.9; x += 0.15)
              backend.emitEvent("stir", { x: x, y: y, dx: 0.2, dy: 0 });
          backend.emitEvent("stirring", { on: false });
          return true;
        })()"""
        still = os.path.join(WORK, "still.state")
        stirred = os.path.join(WORK, "stirred.state")
        run_host("--editor", "--load-state", self.lived, "--wait", "0.3", "--save-raw-state", still)
        run_host("--editor", "--load-state", self.lived, "--wait", "0.3", "--eval", stir, "--wait", "0.05",
                 "--save-raw-state", stirred)
        calm, moved = live_cells(still), live_cells(stirred)
        self.assertTrue(calm and moved)
        print(f"stir energy {energy(calm):.4f} -> {energy(moved):.4f}, mean vx {drift(calm):.6f} -> {drift(moved):.6f}",
              file=sys.stderr)
        # Both runs open a window (the window manager placing it sloshes the dish a little); only
        # the stirred one pushes the cells to the right and excites them.
        self.assertGreater(energy(moved), energy(calm) + 0.1)
        self.assertGreater(drift(moved), drift(calm) + 0.001)

    def test_the_living_dish_is_drawn_and_a_drag_on_it_stirs_the_cells(self):
        # Where the dish sits in the window, then two pictures a second apart, then a mouse drag
        # back and forth across the dish made of pointer events, as the user's hand makes them.
        where = """JSON.stringify((() => {
          const r = document.getElementById("petri-dish").getBoundingClientRect();
          return [r.left, r.top, r.width, r.height, window.devicePixelRatio];
        })())"""
        drag = """(() => {
          const dish = document.getElementById("petri-dish");
          const r = dish.getBoundingClientRect();
          const at = (u, v) => [r.left + r.width * (0.5 + 0.5 * u), r.top + r.height * (0.5 + 0.5 * v)];
          const fire = (type, [x, y]) => dish.dispatchEvent(new PointerEvent(type, {
            bubbles: true, cancelable: true, composed: true, pointerId: 7, pointerType: "mouse", isPrimary: true,
            button: type === "pointermove" ? -1 : 0, buttons: type === "pointerup" ? 0 : 1, clientX: x, clientY: y }));
          for (const v of [-0.6, -0.4, -0.2, 0, 0.2, 0.4, 0.6]) {
            fire("pointerdown", at(-0.8, v));
            for (let k = 1; k <= 16; ++k)
              fire("pointermove", at(-0.8 + 1.6 * k / 16, v));
            fire("pointerup", at(0.8, v));
          }
          return true;
        })()"""
        first = os.path.join(ARTIFACTS, "editor-dish-1.png")
        second = os.path.join(ARTIFACTS, "editor-dish-2.png")
        still = os.path.join(WORK, "still-dish.state")
        dragged = os.path.join(WORK, "dragged-dish.state")
        run_host("--editor", "--load-state", self.lived, "--wait", "0.3", "--save-raw-state", still)
        summary = run_host("--editor", "--load-state", self.lived, "--wait", "1", "--eval", where,
                           "--screenshot", first, "--wait", "1", "--screenshot", second,
                           "--eval", drag, "--wait", "0.05", "--save-raw-state", dragged)

        left, top, width, height, ratio = decoded(summary["evaluations"][0])
        self.assertGreater(width, 100)
        # The square inside the dish's circle, in screenshot pixels.
        box = [round(v * ratio) for v in (left + 0.2 * width, top + 0.2 * height, left + 0.8 * width, top + 0.8 * height)]
        crops = []
        for path in (first, second):
            _, _, rows = read_png(path)
            crops.append([row[box[0]:box[2]] for row in rows[box[1]:box[3]]])
        colours = {pixel for row in crops[0][::3] for pixel in row[::3]}
        self.assertGreater(len(colours), 50, "the dish area is nearly uniform: no cells were drawn")
        changed = sum(1 for a, b in zip(crops[0], crops[1]) for p, q in zip(a, b)
                      if max(abs(p[i] - q[i]) for i in range(3)) > 24)
        area = (box[2] - box[0]) * (box[3] - box[1])
        self.assertGreater(changed, area // 100, "the dish looks the same a second later: it does not live")

        calm, moved = live_cells(still), live_cells(dragged)
        self.assertTrue(calm and moved)
        print(f"drag: stir energy {energy(calm):.4f} -> {energy(moved):.4f}, mean vx {drift(calm):.6f} -> "
              f"{drift(moved):.6f}; {changed} of {area} dish pixels changed in a second", file=sys.stderr)
        # Only the dragged dish is pushed to the right and excited (opening a window sloshes both
        # a little).
        self.assertGreater(energy(moved), energy(calm) + 0.05)
        self.assertGreater(drift(moved), drift(calm) + 0.001)

    def test_a_bad_payload_from_the_page_changes_nothing(self):
        # Each of these is ignored by the native side; the editor and its page go on working.
        bad = """(() => {
          const backend = window.__JUCE__.backend;
          backend.emitEvent("stir", { x: 0, y: 0, dx: 0.5 });
          backend.emitEvent("stir", { x: 0, y: 0, dx: 0.5, dy: null });
          backend.emitEvent("theme", { value: null });
          backend.emitEvent("fx", { index: 12, value: 1 });
          backend.emitEvent("pipetteSeen", { keys: [1, 2] });
          return true;
        })()"""
        summary = run_host("--editor", "--load-state", self.lived, "--eval", bad, "--wait", "0.3",
                           "--eval", RECORD_AND_SEND_READY, "--wait-until", HAS_UI, "--eval", RECORDED)
        payloads = dict(decoded(summary["evaluations"][-1]))
        self.assertEqual(payloads["ui"], {"page": 0, "theme": 1.0})
        self.assertTrue(all(v == 0.0 for v in payloads["fx"].values()), payloads["fx"])

    def test_scripts_beyond_ascii_keep_the_page_channel_in_step(self):
        summary = run_host("--editor", "--eval", "// h\u00e9 \u2026 \U0001f30a\n'h\u00e9 \u2026 \U0001f30a'.length",
                           "--eval", "6 * 7")
        self.assertEqual(summary["evaluations"], ["7", "42"])  # UTF-16 units: the wave is two

    def test_closing_and_reopening_keeps_page_number_and_theme(self):
        choose = """(() => {
          window.__JUCE__.backend.emitEvent("uiPage", { page: 2 });
          window.__JUCE__.backend.emitEvent("theme", { value: 0 });
          return true;
        })()"""
        summary = run_host("--editor", "--eval", choose, "--wait", "0.3", "--reopen",
                           "--eval", RECORD_AND_SEND_READY, "--wait-until", HAS_UI, "--eval", RECORDED)
        self.assertEqual(len(summary["openings"]), 2)
        ui = dict(decoded(summary["evaluations"][-1]))["ui"]
        self.assertEqual(ui["page"], 2)
        self.assertEqual(ui["theme"], 0.0)

    def test_editor_is_robust_against_strict_host_behaviour(self):
        summary = run_host("--robustness", "--quiet", "--seed", "3", "--time-limit", "20", "--cycles", "4")
        self.assertTrue(summary["ok"])
        self.assertNotIn("editorsSkipped", summary)
        self.assertGreaterEqual(summary["editorsOpened"], 8)
        self.assertGreaterEqual(summary["editorsReady"], 5)


def main():
    global HOST, BUNDLE, ARTIFACTS
    parser = argparse.ArgumentParser()
    parser.add_argument("--host", required=True)
    parser.add_argument("--bundle", required=True)
    parser.add_argument("--artifacts", required=True)
    args, rest = parser.parse_known_args()
    HOST, BUNDLE = os.path.abspath(args.host), os.path.abspath(args.bundle)
    ARTIFACTS = os.path.abspath(args.artifacts)
    os.makedirs(ARTIFACTS, exist_ok=True)
    if not os.environ.get("DISPLAY"):
        print("editor_test.py: no DISPLAY; run it under scripts/with-display.sh", file=sys.stderr)
        sys.exit(1)
    # No test may touch the user's real store folder.
    run_in_private_home("brivola-editor-", rest, globals())


if __name__ == "__main__":
    main()
