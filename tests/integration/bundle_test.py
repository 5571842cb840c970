#!/usr/bin/env python3
"""Integration tests through the real VST3 bundle, driven by brivola-host.

Usage: bundle_test.py --host PATH --bundle PATH [unittest options]
"""
import argparse
import json
import xml.etree.ElementTree as ElementTree
import os
import random
import struct
import subprocess
import unittest

from harness import run_in_private_home

HOST = None
BUNDLE = None
WORK = None


def run_host(*args, expect=0):
    cmd = [HOST, *args, BUNDLE]
    proc = subprocess.run(cmd, capture_output=True, text=True, timeout=600)
    if proc.returncode != expect:
        raise AssertionError(f"{' '.join(cmd)} exited {proc.returncode} (expected {expect})\n"
                             f"stdout: {proc.stdout[-2000:]}\nstderr: {proc.stderr[-2000:]}")
    return proc.stdout


def read_wav(path):
    """Returns (rate, channels, frames as a list of tuples of floats)."""
    with open(path, "rb") as f:
        data = f.read()
    assert data[:4] == b"RIFF" and data[8:12] == b"WAVE"
    pos, fmt, samples = 12, None, None
    while pos + 8 <= len(data):
        cid, size = data[pos:pos + 4], struct.unpack_from("<I", data, pos + 4)[0]
        body = data[pos + 8:pos + 8 + size]
        if cid == b"fmt ":
            fmt = struct.unpack_from("<HHIIHH", body)
        elif cid == b"data":
            samples = body
        pos += 8 + size + (size & 1)
    tag, channels, rate, _, _, bits = fmt
    if tag == 0xFFFE:
        tag = struct.unpack_from("<H", data, data.index(b"fmt ") + 8 + 24)[0]
    if tag == 3 and bits == 32:
        values = struct.unpack(f"<{len(samples) // 4}f", samples)
    elif tag == 1 and bits == 16:
        values = [v / 32768.0 for v in struct.unpack(f"<{len(samples) // 2}h", samples)]
    elif tag == 1 and bits == 24:
        values = []
        for i in range(0, len(samples) - 2, 3):
            v = samples[i] | (samples[i + 1] << 8) | (samples[i + 2] << 16)
            values.append((v - (1 << 24) if v & 0x800000 else v) / 8388608.0)
    else:
        raise AssertionError(f"unsupported WAV format {tag}/{bits}")
    frames = [tuple(values[i:i + channels]) for i in range(0, len(values) - channels + 1, channels)]
    return rate, channels, frames


def midi_file(path, notes, ppq=480):
    """Writes a one-track SMF at 120 bpm; notes are (start tick, length ticks, note, velocity)."""
    events = []
    for start, length, note, vel in notes:
        events.append((start, bytes([0x90, note, vel])))
        events.append((start + length, bytes([0x80, note, 0])))
    events.sort(key=lambda e: (e[0], e[1][0] == 0x90))
    track, last = bytearray(), 0

    def vlq(v):
        out = [v & 0x7F]
        v >>= 7
        while v:
            out.insert(0, (v & 0x7F) | 0x80)
            v >>= 7
        return bytes(out)

    track += vlq(0) + bytes([0xFF, 0x51, 3]) + (500000).to_bytes(3, "big")
    for tick, msg in events:
        track += vlq(tick - last) + msg
        last = tick
    track += vlq(0) + bytes([0xFF, 0x2F, 0])
    with open(path, "wb") as f:
        f.write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, ppq))
        f.write(b"MTrk" + struct.pack(">I", len(track)) + track)


def first_sound(frames):
    for i, fr in enumerate(frames):
        if any(v != 0.0 for v in fr):
            return i
    return -1


def peak(frames):
    return max((abs(v) for fr in frames for v in fr), default=0.0)


class Identity(unittest.TestCase):
    def test_identity_buses_and_parameters(self):
        info = json.loads(run_host("--info", "--json"))
        self.assertEqual(info["name"], "Brivola")
        self.assertEqual(info["manufacturer"], "Brivola")
        self.assertEqual(info["category"], "Instrument|Synth")
        self.assertEqual(info["version"], "1.0.0")
        self.assertEqual(info["sdkVersion"], "VST 3.7.12")  # the SDK bundled with JUCE 8.0.6
        self.assertTrue(info["acceptsMidi"])
        self.assertFalse(info["producesMidi"])
        self.assertFalse(info["isMidiEffect"])
        self.assertEqual(info["numPrograms"], 0)
        self.assertEqual(info["tailSeconds"], 10.0)
        self.assertEqual(info["buses"]["inputs"], [])
        (out,) = info["buses"]["outputs"]
        self.assertEqual(out["name"], "Output")
        self.assertEqual(out["defaultLayout"]["channels"], 2)
        supported = {l["name"] for l in out["supportedLayouts"]}
        self.assertIn("Mono", supported)
        self.assertIn("Stereo", supported)
        self.assertNotIn("5.1 Surround", supported)
        names = [p["name"] for p in info["parameters"] if not p["bypass"]]
        self.assertEqual(names, ["Filter", "Attack", "Chorus", "Reverb", "Sub Osc", "Saturation", "Delay",
                                 "Stereo Width", "Detune", "Shimmer", "Formant", "Phaser"])
        self.assertTrue(all(p["default"] == 0.0 for p in info["parameters"]))


class Robustness(unittest.TestCase):
    def test_strict_host_run(self):
        out = run_host("--robustness", "--quiet", "--seed", "7", "--time-limit", "20")
        self.assertIn("OK robustness", out)


class Rendering(unittest.TestCase):
    def render(self, name, *args, expect=0):
        path = os.path.join(WORK, name)
        run_host("--render", path, "--bits", "32", *args, expect=expect)
        return read_wav(path)

    def test_demo_sounds_at_every_rate_and_block_pattern(self):
        for rate in ("44100", "48000", "96000"):
            _, _, frames = self.render(f"demo-{rate}.wav", "--rate", rate, "--blocks", "1,7,128,4096",
                                       "--length", "4", "--require-sound")
            self.assertGreater(peak(frames), 0.01, rate)
            self.assertLessEqual(peak(frames), 0.8913, rate)

    def test_same_input_gives_identical_audio(self):
        mid = os.path.join(WORK, "phrase.mid")
        midi_file(mid, [(0, 960, 60, 100), (960, 480, 64, 90), (1440, 960, 67, 110)])
        a = self.render("twice-a.wav", "--midi", mid, "--tail", "3", "--blocks", "64,300,512")
        b = self.render("twice-b.wav", "--midi", mid, "--tail", "3", "--blocks", "64,300,512")
        self.assertEqual(a, b)

    def test_note_onset_follows_its_sample_position(self):
        # At 120 bpm and 480 ticks per beat one tick is 50 samples at 48 kHz: tick 2 is sample 100.
        onsets = []
        for tick in (0, 2):
            mid = os.path.join(WORK, f"onset-{tick}.mid")
            midi_file(mid, [(tick, 480, 60, 100)])
            _, _, frames = self.render(f"onset-{tick}.wav", "--midi", mid, "--length", "0.06",
                                       "--rate", "48000", "--block", "512")
            onsets.append(first_sound(frames))
        self.assertGreaterEqual(onsets[0], 0)
        self.assertEqual(onsets[1] - onsets[0], 100)

    def test_bypass_is_silent(self):
        _, _, frames = self.render("bypass.wav", "--set", "Bypass=1", "--length", "3")
        self.assertEqual(peak(frames), 0.0)

    def test_everything_at_full_stays_below_minus_one_dbfs(self):
        settings = []
        for name in ("filter", "attack", "chorus", "reverb", "sub", "sat", "delay", "width", "detune",
                     "shimmer", "formant", "phaser"):
            settings += ["--set", f"{name}=1"]
        mid = os.path.join(WORK, "chord.mid")
        midi_file(mid, [(0, 480 * 40, 48, 127), (0, 480 * 40, 55, 127), (0, 480 * 40, 64, 127)])
        _, _, frames = self.render("full.wav", "--midi", mid, "--length", "30", *settings)
        self.assertGreater(peak(frames), 0.05)
        self.assertLessEqual(peak(frames), 0.8913)

    def test_random_automation_of_every_parameter(self):
        rng = random.Random(11)
        lanes = []
        for name in ("filter", "attack", "chorus", "reverb", "sub", "sat", "delay", "width", "detune",
                     "shimmer", "formant", "phaser"):
            points = ",".join(f"{t / 100:.2f}:{rng.random():.3f}" for t in range(0, 1000, 2))
            lanes += ["--automate", f"{name}={points}"]
        mid = os.path.join(WORK, "chord2.mid")
        midi_file(mid, [(0, 480 * 20, 50, 127), (0, 480 * 20, 57, 127), (0, 480 * 20, 62, 127)])
        _, _, frames = self.render("automated.wav", "--midi", mid, "--length", "10", "--block", "256", *lanes)
        self.assertGreater(peak(frames), 0.01)
        self.assertLessEqual(peak(frames), 0.8913)


JUCE_BASE64 = ".ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+"


def decode_juce_base64(text):
    """The framework's "<byte count>.<digits>" form: 6 bits a digit, least significant first."""
    count, digits = text.split(".", 1)
    value = 0
    for i, ch in enumerate(digits):
        value |= JUCE_BASE64.index(ch) << (6 * i)
    return (value & ((1 << (8 * int(count))) - 1)).to_bytes(int(count), "little")


def dish_of_state(raw):
    """The parts of the saved dish blob these tests look at."""
    length = struct.unpack_from("<I", raw, 4)[0]
    root = ElementTree.fromstring(raw[8:8 + length].decode("utf-8"))
    blob = decode_juce_base64(root.get("dish"))
    version, = struct.unpack_from("<i", blob, 0)
    tick_counter, = struct.unpack_from("<Q", blob, 28)
    active = [struct.unpack_from("<i", blob, 40 + 144 * k + 4)[0] != 0 for k in range(24)]
    ticks, merges, splits, spawns = struct.unpack_from("<4Q", blob, 40 + 3456 + 24 + 64)
    return {"version": version, "size": len(blob), "tickCounter": tick_counter, "active": sum(active),
            "ticks": ticks, "merges": merges, "splits": splits, "spawns": spawns}


class Culture(unittest.TestCase):
    def lived(self, name, *args):
        state = os.path.join(WORK, f"{name}.state")
        mid = os.path.join(WORK, "culture.mid")
        midi_file(mid, [(0, 1920, 57, 100), (1920, 1920, 60, 90), (3840, 3840, 64, 110)])
        run_host("--render", os.path.join(WORK, f"{name}.wav"), "--midi", mid, "--save-raw-state", state, *args)
        with open(state, "rb") as f:
            return dish_of_state(f.read())

    def test_fresh_dish_fills_and_lives(self):
        first = self.lived("first-second", "--length", "1.2", "--rate", "48000")
        self.assertEqual(first["version"], 5)
        self.assertEqual(first["size"], 5716)
        self.assertGreaterEqual(first["spawns"], 12)  # the founder and its eleven arrivals
        twenty = self.lived("twenty-seconds", "--length", "20", "--rate", "48000")
        self.assertEqual(twenty["tickCounter"], 1200)
        self.assertGreater(twenty["merges"], 0)
        self.assertGreater(twenty["splits"], 0)
        self.assertGreater(twenty["active"], 0)

    def test_sixty_ticks_per_second_at_every_rate_and_block_pattern(self):
        for rate in ("44100", "48000", "96000"):
            dish = self.lived(f"ticks-{rate}", "--length", "5", "--rate", rate, "--blocks", "1,7,128,4096,333")
            self.assertEqual(dish["tickCounter"], 300, rate)
            self.assertEqual(dish["ticks"], 300, rate)


class State(unittest.TestCase):
    def saved_state(self):
        path = os.path.join(WORK, "lived.state")
        if not os.path.exists(path):
            run_host("--render", os.path.join(WORK, "lived.wav"), "--length", "6", "--set", "reverb=0.5",
                     "--save-raw-state", path)
        with open(path, "rb") as f:
            return f.read()

    def test_state_saves_back_identically(self):
        original = self.saved_state()
        again = os.path.join(WORK, "again.state")
        run_host("--info", "--load-state", os.path.join(WORK, "lived.state"), "--save-raw-state", again)
        with open(again, "rb") as f:
            self.assertEqual(f.read(), original)

    def test_hostile_states_leave_a_working_instance(self):
        original = self.saved_state()
        text = original[8:-1]
        variants = {
            "comment": text.replace(b"<brivola", b"<!-- x --><brivola", 1),
            "doctype": b"<!DOCTYPE a>" + text,
            "deep": b"<a>" * 40 + text + b"</a>" * 40,
            "huge": text.replace(b"<brivola", b"<brivola" + b" " * 270000, 1),
        }
        states = {k: struct.pack("<II", 0x21324356, len(v)) + v + b"\0" for k, v in variants.items()}
        states["magic"] = b"XXXX" + original[4:]
        states["truncated"] = original[:len(original) // 2]
        rng = random.Random(5)
        for k in range(12):
            b = bytearray(original)
            for _ in range(rng.randint(1, 10)):
                b[rng.randrange(len(b))] = rng.randrange(256)
            states[f"flipped{k}"] = bytes(b)
        mid = os.path.join(WORK, "hostile.mid")
        midi_file(mid, [(0, 960, 62, 100)])
        for name, data in states.items():
            path = os.path.join(WORK, f"hostile-{name}.state")
            with open(path, "wb") as f:
                f.write(data)
            out = os.path.join(WORK, f"hostile-{name}.wav")
            run_host("--render", out, "--load-state", path, "--midi", mid, "--length", "3", "--require-sound")


def main():
    global HOST, BUNDLE
    parser = argparse.ArgumentParser()
    parser.add_argument("--host", required=True)
    parser.add_argument("--bundle", required=True)
    args, rest = parser.parse_known_args()
    HOST, BUNDLE = os.path.abspath(args.host), os.path.abspath(args.bundle)
    # No test may touch the user's real store folder.
    run_in_private_home("brivola-bundle-", rest, globals())


if __name__ == "__main__":
    main()
