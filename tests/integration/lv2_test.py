#!/usr/bin/env python3
"""The LV2 bundle as LV2 hosts see it: through lilv's own tools (lv2ls, lv2info) its Turtle files
parse and describe one instrument with a MIDI input and a stereo output; through brivola-host's LV2
hosting it sounds like the VST3, its state restores the dish, and it survives the robustness run.

Usage: lv2_test.py --bundle PATH --host PATH --vst3 PATH [unittest options]
"""
import argparse
import os
import re
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bundle_test import decode_juce_base64, dish_of_state, midi_file, peak, read_wav  # noqa: E402
from harness import run_in_private_home  # noqa: E402

BUNDLE = None
HOST = None
VST3 = None
WORK = None
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


def run_host(bundle, *args):
    cmd = [HOST, *args, bundle]
    proc = subprocess.run(cmd, capture_output=True, text=True, timeout=600)
    if proc.returncode != 0:
        raise AssertionError(f"{' '.join(cmd)} exited {proc.returncode}\n"
                             f"stdout: {proc.stdout[-2000:]}\nstderr: {proc.stderr[-2000:]}")
    return proc.stdout


def own_state(lv2_state_path):
    """The plug-in's own state bytes inside the LV2 host state (a Turtle preset)."""
    with open(lv2_state_path) as f:
        text = f.read()
    match = re.search(r'<urn:brivola:brivola:StateString>\s+"([0-9]+\.[^"]*)"', text)
    assert match, text[:2000]
    return decode_juce_base64(match.group(1))


class Lv2Hosting(unittest.TestCase):

    def test_same_midi_sounds_through_vst3_and_lv2(self):
        mid = os.path.join(WORK, "phrase.mid")
        midi_file(mid, [(0, 960, 57, 100), (960, 960, 60, 90), (1920, 1920, 64, 110)])
        results = {}
        for name, bundle in (("vst3", VST3), ("lv2", BUNDLE)):
            out = os.path.join(WORK, f"phrase-{name}.wav")
            run_host(bundle, "--render", out, "--midi", mid, "--length", "3", "--rate", "48000", "--require-sound")
            rate, channels, frames = read_wav(out)
            results[name] = (rate, channels, len(frames))
            self.assertGreater(peak(frames), 0.01, name)
        self.assertEqual(results["lv2"], results["vst3"])

    def test_state_restores_the_dish(self):
        lived = os.path.join(WORK, "lived.lv2state")
        run_host(BUNDLE, "--render", os.path.join(WORK, "lived.wav"), "--length", "4", "--rate", "48000",
                 "--set", "reverb=0.5", "--save-state", lived)
        original = own_state(lived)
        dish = dish_of_state(original)
        self.assertEqual(dish["tickCounter"], 240)
        self.assertGreater(dish["active"], 0)

        fresh = os.path.join(WORK, "fresh.lv2state")
        run_host(BUNDLE, "--info", "--save-state", fresh)
        self.assertNotEqual(dish_of_state(own_state(fresh))["tickCounter"], 240)

        again = os.path.join(WORK, "again.lv2state")
        run_host(BUNDLE, "--info", "--load-state", lived, "--save-state", again)
        self.assertEqual(own_state(again), original)

    def test_strict_host_run(self):
        out = run_host(BUNDLE, "--robustness", "--quiet", "--seed", "7", "--time-limit", "20")
        self.assertIn("OK robustness", out)


def main():
    global BUNDLE, HOST, VST3
    parser = argparse.ArgumentParser()
    parser.add_argument("--bundle", required=True)
    parser.add_argument("--host", required=True)
    parser.add_argument("--vst3", required=True)
    args, rest = parser.parse_known_args()
    BUNDLE, HOST, VST3 = (os.path.abspath(p) for p in (args.bundle, args.host, args.vst3))
    # Neither the store nor bundles installed in ~/.lv2 (the same URI) may take part.
    run_in_private_home("brivola-lv2-", rest, globals())


if __name__ == "__main__":
    main()
