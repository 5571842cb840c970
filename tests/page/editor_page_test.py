#!/usr/bin/env python3
"""The page in the real editor (WebKitGTK), through brivola-host's editor mode.

Opens the bundle's editor, waits for the page's first reveal, checks that the shell's controls
show, drives the "Filter" fader with pointer events made in the page, switches to the dark theme,
and checks that all of it reached the processor: a reopened editor's fresh page shows the same
fader value, bank and theme, and the saved state holds the parameter. Saves screenshots of the
editor in both themes.

Usage: editor_page_test.py --host PATH --bundle PATH --out DIR [unittest options]
"""
import argparse
import json
import os
import re
import subprocess
import sys
import tempfile
import unittest

HOST = None
BUNDLE = None
OUT = None

CONTROL_IDS = ["petri-dish", "app-logo", "btn-pipette", "btn-beaker", "home-flip", "btn-chart", "btn-culture",
               "btn-theme", "arc-slot", "keyboard", "scope-bank"]

REVEALED = "document.querySelectorAll('.init-hidden').length === 0 && !!window.__JUCE__"

INSTALL = """(() => {
  const check = window.__pageCheck = { errors: [], csp: [], sent: [] };
  window.addEventListener('error', (e) => check.errors.push(String(e.message)));
  document.addEventListener('securitypolicyviolation', (e) => check.csp.push(e.violatedDirective));
  const original = console.error.bind(console);
  console.error = (...a) => { check.errors.push(a.join(' ')); original(...a); };
  const backend = window.__JUCE__.backend;
  const emit = backend.emitEvent.bind(backend);
  backend.emitEvent = (name, payload) => { check.sent.push([name, payload]); return emit(name, payload); };
  const opacity = (id) => getComputedStyle(document.getElementById(id)).opacity;
  return JSON.stringify({ title: document.title, shown: %s.map((id) => [id, opacity(id)]),
                          faders: opacity('slider-bank'), paused: opacity('host-paused') });
})()""" % json.dumps(CONTROL_IDS)

OPEN_FADERS = "document.getElementById('btn-beaker').click(); 'clicked'"
FADERS_SHOWN = "getComputedStyle(document.getElementById('slider-bank')).opacity === '1'"

# A press low on the fader, a move to 40 % of its height and a release there: value about
# 1 - (0.4 * 144 - 27.5) / 89 (WebKit rounds the pointer position to whole pixels).
SHARE = 0.4
EXPECTED = 1 - (SHARE * 144 - 27.5) / 89
DRAG = """(() => {
  const el = document.getElementById('slider-filter');
  const r = el.getBoundingClientRect();
  const at = (type, share) => el.dispatchEvent(new PointerEvent(type, { pointerId: 7, bubbles: true,
      cancelable: true, buttons: type === 'pointerup' ? 0 : 1,
      clientX: r.left + r.width / 2, clientY: r.top + r.height * share }));
  at('pointerdown', 0.9); at('pointermove', %f); at('pointerup', %f);
  return el.getAttribute('aria-valuenow');
})()""" % (SHARE, SHARE)
REPORT = "JSON.stringify(window.__pageCheck)"
REOPENED = """JSON.stringify({ filter: document.getElementById('slider-filter').getAttribute('aria-valuenow'),
  dark: document.body.classList.contains('is-theme-dark'),
  faders: getComputedStyle(document.getElementById('slider-bank')).opacity,
  beaker: document.getElementById('btn-beaker').classList.contains('is-active') })"""
DARK = "document.getElementById('btn-theme').click(); 'clicked'"
IS_DARK = "document.body.classList.contains('is-theme-dark') && !document.body.classList.contains('is-theme-moving')"


def run_host(*args):
    env = dict(os.environ)
    home = tempfile.mkdtemp(prefix="brivola-page-home-")
    env["HOME"] = home
    env["XDG_CONFIG_HOME"] = os.path.join(home, ".config")
    cmd = [HOST, "--editor", "--json", "--ready-timeout", "60", "--time-limit", "240", *args, BUNDLE]
    proc = subprocess.run(cmd, capture_output=True, text=True, timeout=400, env=env)
    try:
        report = json.loads(proc.stdout.strip().splitlines()[-1])
    except (ValueError, IndexError):
        raise AssertionError(f"no JSON report (exit {proc.returncode})\nstdout: {proc.stdout[-2000:]}\n"
                             f"stderr: {proc.stderr[-3000:]}")
    if proc.returncode != 0 or not report.get("ok"):
        raise AssertionError(f"host failed (exit {proc.returncode}): {report}\nstderr: {proc.stderr[-3000:]}")
    return report


def decode(text):
    """An evaluation comes back as the JSON text of the value; snippets return JSON strings."""
    value = json.loads(text)
    return json.loads(value) if isinstance(value, str) and value[:1] in "{[" else value


def saved_parameter(path, param_id):
    with open(path, "rb") as f:
        data = f.read()
    assert data[:4] == b"VC2!", "state is not the framework's XML container"
    xml = data[8:].split(b"\0", 1)[0].decode("utf-8")
    match = re.search(r'<PARAM\s+id="%s"\s+value="([^"]+)"' % re.escape(param_id), xml)
    assert match, "parameter %s missing from the saved state" % param_id
    return float(match.group(1))


class PageInRealEditor(unittest.TestCase):
    def test_controls_revealed_and_page_changes_reach_processor(self):
        state = os.path.join(tempfile.mkdtemp(prefix="brivola-page-"), "state.bin")
        os.makedirs(OUT, exist_ok=True)
        light = os.path.join(OUT, "editor-light-beaker.png")
        dark = os.path.join(OUT, "editor-dark-beaker.png")
        report = run_host("--wait-until", REVEALED, "--eval", INSTALL,
                          "--eval", OPEN_FADERS, "--wait-until", FADERS_SHOWN,
                          "--eval", DRAG, "--wait", "0.5", "--screenshot", light,
                          "--eval", DARK, "--wait-until", IS_DARK, "--wait", "0.5", "--screenshot", dark,
                          "--eval", REPORT, "--reopen", "--wait-until", REVEALED, "--wait", "0.5",
                          "--eval", REOPENED, "--save-raw-state", state)
        shown, _, value, _, check, reopened = [decode(e) for e in report["evaluations"]]

        self.assertEqual(shown["title"], "Brivola")
        for element, opacity in shown["shown"]:
            self.assertEqual(opacity, "1", element)
        self.assertEqual(shown["paused"], "0")
        self.assertEqual(check["errors"], [])
        self.assertEqual(check["csp"], [])

        # what the page sent: the gesture around the drag, the value under the pointer last
        fx = [p for name, p in check["sent"] if name in ("fx", "fxGesture")]
        self.assertEqual(fx[0], {"index": 0, "on": True})
        self.assertEqual(fx[-1], {"index": 0, "on": False})
        sent = fx[-2]["value"]
        self.assertAlmostEqual(sent, EXPECTED, delta=0.015)
        self.assertAlmostEqual(float(value), sent, places=3)
        self.assertIn(["uiPage", {"page": 1}], check["sent"])
        self.assertIn(["theme", {"value": 0}], check["sent"])

        # the processor kept it: a fresh page after reopening shows it, and the state holds it
        self.assertAlmostEqual(float(reopened["filter"]), sent, places=3)
        self.assertTrue(reopened["dark"])
        self.assertTrue(reopened["beaker"])
        self.assertEqual(reopened["faders"], "1")
        self.assertAlmostEqual(saved_parameter(state, "filter"), sent, delta=1e-6)
        for path in (light, dark):
            self.assertTrue(os.path.getsize(path) > 1000, path)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--host", required=True)
    parser.add_argument("--bundle", required=True)
    parser.add_argument("--out", required=True)
    args, rest = parser.parse_known_args()
    HOST, BUNDLE, OUT = args.host, args.bundle, args.out
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)
