#!/usr/bin/env python3
"""The LV2 bundle as LV2 hosts see it, through lilv's own tools (lv2ls, lv2info): its Turtle files
parse and describe one instrument with a MIDI input and a stereo output.

Usage: lv2_test.py --bundle PATH [unittest options]
"""
import argparse
import os
import re
import subprocess
import sys
import unittest

BUNDLE = None
URI = "urn:brivola:brivola"
LV2 = "http://lv2plug.in/ns/lv2core#"
ATOM = "http://lv2plug.in/ns/ext/atom#"


def lilv(*args):
    # Only the bundle's folder: what else the machine has installed must not count.
    env = dict(os.environ, LV2_PATH=os.path.dirname(BUNDLE))
    proc = subprocess.run(list(args), capture_output=True, text=True, timeout=120, env=env)
    if proc.returncode != 0:
        raise AssertionError(f"{' '.join(args)} exited {proc.returncode}\n{proc.stdout}\n{proc.stderr}")
    return proc.stdout, proc.stderr


def ports(info):
    """The ports of lv2info's report: a list of {"types": [...], "symbol": ..., "designation": ...}."""
    found = []
    for block in re.split(r"\n\s*Port \d+:\n", info)[1:]:
        port, key = {"types": []}, None
        for line in block.splitlines():
            match = re.match(r"\s*(Type|Symbol|Designation|Name):\s*(.*)", line)
            if match:
                key = match.group(1)
                value = match.group(2).strip()
            elif key == "Type" and line.strip().startswith("http"):
                value = line.strip()
            else:
                key = None
                continue
            if key == "Type":
                port["types"].append(value)
            else:
                port[key.lower()] = value
        found.append(port)
    return found


class Lv2Bundle(unittest.TestCase):

    def test_one_plugin_with_our_uri(self):
        out, err = lilv("lv2ls")
        self.assertEqual(out.split(), [URI])
        self.assertNotIn("error", err.lower())

    def test_an_instrument_with_midi_input_and_stereo_output(self):
        info, err = lilv("lv2info", URI)
        self.assertNotIn("error", err.lower())
        self.assertIn("Name:              Brivola", info)
        every = ports(info)
        audio_out = [p for p in every if LV2 + "AudioPort" in p["types"] and LV2 + "OutputPort" in p["types"]]
        audio_in = [p for p in every if LV2 + "AudioPort" in p["types"] and LV2 + "InputPort" in p["types"]]
        events_in = [p for p in every if ATOM + "AtomPort" in p["types"] and LV2 + "InputPort" in p["types"]]
        self.assertEqual(len(audio_out), 2, every)
        self.assertEqual(sorted(p.get("designation", "") for p in audio_out),
                         ["http://lv2plug.in/ns/ext/port-groups#left", "http://lv2plug.in/ns/ext/port-groups#right"])
        self.assertEqual(audio_in, [])
        self.assertEqual(len(events_in), 1, every)
        # Plug-in class and the event input's MIDI support, as written in the bundle's description
        # (lilv resolves class names only with the LV2 core bundle installed).
        with open(os.path.join(BUNDLE, "dsp.ttl")) as f:
            dsp = f.read()
        self.assertIn("a lv2:InstrumentPlugin", dsp)
        symbol = dsp.index(f'lv2:symbol "{events_in[0]["symbol"]}"')
        port_text = dsp[dsp.rindex("[", 0, symbol):dsp.index("]", symbol)]
        self.assertIn("midi:MidiEvent", port_text)
        self.assertIn("Extension Data:    http://lv2plug.in/ns/ext/state#interface", info)


def main():
    global BUNDLE
    parser = argparse.ArgumentParser()
    parser.add_argument("--bundle", required=True)
    args, rest = parser.parse_known_args()
    BUNDLE = os.path.abspath(args.bundle)
    program = unittest.main(argv=[sys.argv[0], *rest], exit=False, verbosity=2)
    sys.exit(0 if program.result.wasSuccessful() else 1)


if __name__ == "__main__":
    main()
