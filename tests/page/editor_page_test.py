#!/usr/bin/env python3
"""The page in the real editor (WebKitGTK), through brivola-host's editor mode.

Opens the bundle's editor, waits for the page's first reveal, checks that the shell's controls
show, drives the "Filter" fader with pointer events made in the page and checks that the value
reaches the processor's parameter (published back to the page, and in the saved state). Also
saves screenshots of the editor in both themes.

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
  const check = window.__pageCheck = { errors: [], csp: [], filter: [] };
  window.addEventListener('error', (e) => check.errors.push(String(e.message)));
  document.addEventListener('securitypolicyviolation', (e) => check.csp.push(e.violatedDirective));
  const original = console.error.bind(console);
  console.error = (...a) => { check.errors.push(a.join(' ')); original(...a); };
  const note = (v) => { const p = typeof v === 'string' ? JSON.parse(v) : v;
                        if (p && typeof p.filter === 'number') check.filter.push(p.filter); };
  window.__JUCE__.backend.addEventListener('fx', note);
  window.__JUCE__.backend.addEventListener('frame', (f) => { const p = typeof f === 'string' ? JSON.parse(f) : f;
                                                             if (p && p.fx) note(p.fx); });
  const opacity = (id) => getComputedStyle(document.getElementById(id)).opacity;
  return JSON.stringify({ title: document.title, shown: %s.map((id) => [id, opacity(id)]),
                          faders: opacity('slider-bank'), paused: opacity('host-paused') });
})()""" % json.dumps(CONTROL_IDS)

OPEN_FADERS = "document.getElementById('btn-beaker').click(); 'clicked'"
FADERS_SHOWN = "getComputedStyle(document.getElementById('slider-bank')).opacity === '1'"

# A press at 40 % of the fader's height and a release there: value 1 - (0.4 * 144 - 27.5) / 89.
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
PUBLISHED = "window.__pageCheck.filter.some((v) => Math.abs(v - %f) < 0.002)" % EXPECTED
REPORT = "JSON.stringify(window.__pageCheck)"
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
    data = open(path, "rb").read()
    assert data[:4] == b"VC2!", "state is not the framework's XML container"
    xml = data[8:].split(b"\0", 1)[0].decode("utf-8")
    match = re.search(r'<PARAM\s+id="%s"\s+value="([^"]+)"' % re.escape(param_id), xml)
    assert match, "parameter %s missing from the saved state" % param_id
    return float(match.group(1))


class PageInRealEditor(unittest.TestCase):
    def test_controls_revealed_and_fader_reaches_parameter(self):
        state = os.path.join(tempfile.mkdtemp(prefix="brivola-page-"), "state.bin")
        os.makedirs(OUT, exist_ok=True)
        light = os.path.join(OUT, "editor-light-beaker.png")
        dark = os.path.join(OUT, "editor-dark-beaker.png")
        report = run_host("--wait-until", REVEALED, "--eval", INSTALL,
                          "--eval", OPEN_FADERS, "--wait-until", FADERS_SHOWN,
                          "--eval", DRAG, "--wait-until", PUBLISHED,
                          "--wait", "0.5", "--screenshot", light,
                          "--eval", DARK, "--wait-until", IS_DARK, "--wait", "0.5", "--screenshot", dark,
                          "--eval", REPORT, "--save-raw-state", state)
        shown, _, _, value, _, check = [decode(e) for e in report["evaluations"]]

        self.assertEqual(shown["title"], "Brivola")
        for element, opacity in shown["shown"]:
            self.assertEqual(opacity, "1", element)
        self.assertEqual(shown["paused"], "0")
        self.assertAlmostEqual(float(value), EXPECTED, places=3)
        self.assertTrue(any(abs(v - EXPECTED) < 0.002 for v in check["filter"]), check["filter"])
        self.assertEqual(check["errors"], [])
        self.assertEqual(check["csp"], [])
        self.assertAlmostEqual(saved_parameter(state, "filter"), EXPECTED, delta=0.002)
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
