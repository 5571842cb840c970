#!/usr/bin/env python3
"""The removal scripts against a sandbox root that each test prepares.

Both scripts run with --root (tests only) and HOME inside the sandbox; nothing outside the sandbox
is touched. Checked: real bundles are removed; foreign bundles with our names, symbolic links and
the user's store folder survive; refusals leave everything in place and exit non-zero with a
message on standard error; a second run is harmless; the output keeps the application's contract.

Usage: scripts_test.py --scripts DIR [--bundle PATH-TO-BUILT-Brivola.vst3] [unittest options]
"""
import argparse
import contextlib
import hashlib
import json
import os
import pathlib
import plistlib
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

SCRIPTS = None
BUILT_BUNDLE = None

MARKER = "Unrecognized files were left untouched"
COMPONENT_CID = "ABCDEF019182FAEB42766C6142766C31"
FIXTURES = pathlib.Path(__file__).resolve().parent / "fixtures"


# ==================================================================================================
# Bundles as the build makes them, and look-alikes.

def write(path, data, mode=0o644):
    path.parent.mkdir(parents=True, exist_ok=True)
    if isinstance(data, str):
        data = data.encode()
    path.write_bytes(data)
    path.chmod(mode)


def make_linux_bundle(bundle, moduleinfo=None, binary=True):
    """A Brivola.vst3 like the build's: moduleinfo.json and the module binary."""
    text = moduleinfo if moduleinfo is not None else (FIXTURES / "moduleinfo.json").read_text()
    write(bundle / "Contents" / "Resources" / "moduleinfo.json", text)
    if binary:
        write(bundle / "Contents" / "x86_64-linux" / "Brivola.so", b"\x7fELF fake module", 0o755)


def make_mac_bundle(bundle, identifier="com.brivola.brivola", executable="Brivola", binary_plist=False):
    """A Brivola.vst3 or Brivola.component: Info.plist and Contents/MacOS/<executable>."""
    info = {"CFBundleIdentifier": identifier, "CFBundleExecutable": executable,
            "CFBundlePackageType": "BNDL", "CFBundleName": "Brivola"}
    fmt = plistlib.FMT_BINARY if binary_plist else plistlib.FMT_XML
    write(bundle / "Contents" / "Info.plist", plistlib.dumps(info, fmt=fmt))
    write(bundle / "Contents" / "MacOS" / executable, b"\xcf\xfa\xed\xfe fake binary", 0o755)
    write(bundle / "Contents" / "Resources" / "moduleinfo.json", "{}")


# ==================================================================================================
# The two platforms' places.

class Linux:
    script = "uninstall-linux.sh"
    bundle_name = "Brivola.vst3"

    @staticmethod
    def user_bundles(home):
        return [home / ".vst3" / "Brivola.vst3"]

    @staticmethod
    def system_bundles(root):
        return [root / "usr" / "lib" / "vst3" / "Brivola.vst3", root / "usr" / "local" / "lib" / "vst3" / "Brivola.vst3"]

    @staticmethod
    def store(home):
        return home / ".config" / "Brivola"

    make_real = staticmethod(make_linux_bundle)

    @staticmethod
    def make_foreign(bundle):
        text = (FIXTURES / "moduleinfo.json").read_text().replace(COMPONENT_CID, "ABCDEF019182FAEB0000000000000001")
        make_linux_bundle(bundle, moduleinfo=text.replace('"Name": "Brivola"', '"Name": "Other"'))


class Mac:
    script = "uninstall-macos.sh"
    bundle_name = "Brivola.vst3"

    @staticmethod
    def user_bundles(home):
        plugins = home / "Library" / "Audio" / "Plug-Ins"
        return [plugins / "VST3" / "Brivola.vst3", plugins / "Components" / "Brivola.component"]

    @staticmethod
    def system_bundles(root):
        plugins = root / "Library" / "Audio" / "Plug-Ins"
        return [plugins / "VST3" / "Brivola.vst3", plugins / "Components" / "Brivola.component"]

    @staticmethod
    def store(home):
        return home / "Library" / "Application Support" / "Brivola"

    make_real = staticmethod(make_mac_bundle)

    @staticmethod
    def make_foreign(bundle):
        make_mac_bundle(bundle, identifier="com.example.brivola")


# The Linux script uses GNU tools; on a Mac only the Mac script is tried.
PLATFORMS = (Mac,) if sys.platform == "darwin" else (Linux, Mac)


# ==================================================================================================
def snapshot(top):
    """Every entry under top, without following links: type, link target, mode and content hash."""
    entries = {}
    for folder, dirs, files in os.walk(top, followlinks=False):
        for name in dirs + files:
            path = pathlib.Path(folder) / name
            rel = str(path.relative_to(top))
            if path.is_symlink():
                entries[rel] = ("link", os.readlink(path))
            elif path.is_dir():
                entries[rel] = ("dir", path.stat().st_mode & 0o7777)
            else:
                entries[rel] = ("file", path.stat().st_mode & 0o7777, hashlib.sha256(path.read_bytes()).hexdigest())
    return entries


class Sandbox(unittest.TestCase):
    """Each case runs in a fresh sandbox root with a user's home inside, removed afterwards."""

    @contextlib.contextmanager
    def sandbox(self):
        self.top = pathlib.Path(tempfile.mkdtemp(prefix="brivola-uninstall-"))
        try:
            self.root = self.top / "root"
            self.home = self.root / "home" / "user"
            self.home.mkdir(parents=True)
            # Outside the sandbox root: what links may point at. It must survive every run.
            self.outside = self.top / "outside"
            write(self.outside / "precious.txt", "keep me")
            yield
        finally:
            shutil.rmtree(self.top, ignore_errors=True)

    def run_script(self, platform, *args, env=None, root=True):
        environment = {"HOME": str(self.home), "PATH": os.environ.get("PATH", "/usr/bin:/bin")}
        environment.update(env or {})
        command = ["/bin/bash", str(SCRIPTS / platform.script)]
        command += ["--root", str(self.root)] if root else []
        command += list(args)
        result = subprocess.run(command, env=environment, capture_output=True, text=True, timeout=60)
        self.assertNotIn(result.returncode, (126, 127), "the script's status would read as a canceled approval")
        return result

    def make_store(self, platform):
        store = platform.store(self.home)
        write(store / "brivola.shared.v1.json", json.dumps({"version": 2, "presets": []}))
        write(store / "brivola.shared.v1.json.bak", "{}")
        write(store / "brivola.shared.v1.lock", "")
        return store


# ==================================================================================================
class RemovesWhatIsOursAndNothingElse(Sandbox):
    def test_real_bundles_go_foreign_ones_and_the_store_stay(self):
        for platform in PLATFORMS:
            with self.subTest(platform.__name__), self.sandbox():
                real = platform.user_bundles(self.home)[:1] + platform.system_bundles(self.root)[:1]
                foreign = platform.system_bundles(self.root)[1]
                for bundle in real:
                    platform.make_real(bundle)
                platform.make_foreign(foreign)
                store = self.make_store(platform)
                neighbour = real[0].parent / "Other.vst3"
                platform.make_real(neighbour)  # our files under another name: not ours to judge
                keep = {path: snapshot(path) for path in (store, foreign, neighbour)}

                result = self.run_script(platform)

                self.assertEqual(result.returncode, 0, result.stderr)
                for bundle in real:
                    self.assertFalse(os.path.lexists(bundle), bundle)
                    self.assertIn(f"Removed {bundle}", result.stdout)
                    self.assertTrue(bundle.parent.is_dir(), "the plug-in folder itself stays")
                for path, before in keep.items():
                    self.assertEqual(snapshot(path), before, path)
                self.assertIn(MARKER, result.stdout)
                self.assertIn(str(foreign), result.stdout)
                self.assertEqual(result.stderr, "")

                # A second run: the foreign bundle is still reported, nothing else changes.
                again = self.run_script(platform)
                self.assertEqual(again.returncode, 0, again.stderr)
                self.assertIn(MARKER, again.stdout)
                self.assertNotIn("Removed", again.stdout)
                for path, before in keep.items():
                    self.assertEqual(snapshot(path), before, path)

    def test_every_location_is_cleared_and_a_clean_machine_is_fine(self):
        for platform in PLATFORMS:
            with self.subTest(platform.__name__), self.sandbox():
                bundles = platform.user_bundles(self.home) + platform.system_bundles(self.root)
                for bundle in bundles:
                    platform.make_real(bundle)
                store = self.make_store(platform)
                before = snapshot(store)

                result = self.run_script(platform)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertNotIn(MARKER, result.stdout)
                for bundle in bundles:
                    self.assertFalse(os.path.lexists(bundle), bundle)
                self.assertEqual(snapshot(store), before)

                again = self.run_script(platform)
                self.assertEqual(again.returncode, 0, again.stderr)
                self.assertIn("No Brivola plug-in was found.", again.stdout)
                self.assertNotIn(MARKER, again.stdout)

    def test_look_alikes_are_left_and_reported(self):
        """Each is something with our name that the script must not recognise."""
        linux_info = (FIXTURES / "moduleinfo.json").read_text()
        cases = [
            (Linux, "moduleinfo of another module", lambda b: make_linux_bundle(b, moduleinfo=linux_info.replace(COMPONENT_CID, "0" * 32))),
            (Linux, "no module binary", lambda b: make_linux_bundle(b, binary=False)),
            (Linux, "a plain file", lambda b: write(b, "not a bundle")),
            (Linux, "moduleinfo.json is a link to a real one", lambda b: (
                make_linux_bundle(self.outside / "real.vst3"),
                write(b / "Contents" / "x86_64-linux" / "Brivola.so", b"x"),
                (b / "Contents" / "Resources").mkdir(parents=True),
                (b / "Contents" / "Resources" / "moduleinfo.json").symlink_to(self.outside / "real.vst3" / "Contents" / "Resources" / "moduleinfo.json"))),
            (Linux, "oversized moduleinfo.json", lambda b: make_linux_bundle(b, moduleinfo=linux_info + " " * 1048576)),
            (Mac, "another identifier", lambda b: make_mac_bundle(b, identifier="com.brivola.brivolax")),
            (Mac, "another executable", lambda b: make_mac_bundle(b, executable="Brivola2")),
            (Mac, "binary property list, no PlistBuddy here", lambda b: make_mac_bundle(b, binary_plist=True)),
            (Mac, "executable missing", lambda b: (make_mac_bundle(b), (b / "Contents" / "MacOS" / "Brivola").unlink())),
        ]
        for platform, what, make in cases:
            if platform not in PLATFORMS:
                continue
            if platform is Mac and what.startswith("binary") and os.path.exists("/usr/libexec/PlistBuddy"):
                continue
            with self.subTest(f"{platform.__name__}: {what}"), self.sandbox():
                bundle = platform.user_bundles(self.home)[0]
                make(bundle)
                before = snapshot(self.top)
                result = self.run_script(platform)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertIn(MARKER, result.stdout)
                self.assertEqual(snapshot(self.top), before)


# ==================================================================================================
class RefusesSymbolicLinks(Sandbox):
    def check_refused(self, platform, result, before):
        self.assertEqual(result.returncode, 3, result.stdout + result.stderr)
        self.assertIn("Refused", result.stderr)
        self.assertIn("Nothing was removed", result.stderr)
        self.assertNotIn("Removed", result.stdout)
        self.assertEqual(snapshot(self.top), before, "a refusal leaves everything in place")

    def test_links_out_of_a_bundle_or_as_the_bundle_stop_the_whole_run(self):
        def link_as_bundle(platform, bundle):
            platform.make_real(self.outside / "elsewhere" / bundle.name)
            bundle.parent.mkdir(parents=True, exist_ok=True)
            bundle.symlink_to(self.outside / "elsewhere" / bundle.name)

        def absolute_link_inside(platform, bundle):
            platform.make_real(bundle)
            (bundle / "Contents" / "Resources" / "data").symlink_to(self.outside)

        def climbing_link_inside(platform, bundle):
            platform.make_real(bundle)
            (bundle / "Contents" / "Resources" / "up").symlink_to("../../../../../../../outside/precious.txt")

        def plug_in_folder_is_a_link(platform, bundle):
            platform.make_real(self.outside / "folder" / bundle.name)
            bundle.parent.parent.mkdir(parents=True, exist_ok=True)
            bundle.parent.symlink_to(self.outside / "folder")

        for platform in PLATFORMS:
            for make in (link_as_bundle, absolute_link_inside, climbing_link_inside, plug_in_folder_is_a_link):
                with self.subTest(f"{platform.__name__}: {make.__name__}"), self.sandbox():
                    # A real bundle elsewhere that would otherwise be removed.
                    other = platform.system_bundles(self.root)[0]
                    platform.make_real(other)
                    make(platform, platform.user_bundles(self.home)[0])
                    before = snapshot(self.top)
                    self.check_refused(platform, self.run_script(platform), before)

    def test_links_that_stay_inside_a_bundle_are_removed_with_it_and_not_followed(self):
        for platform in PLATFORMS:
            with self.subTest(platform.__name__), self.sandbox():
                bundle = platform.user_bundles(self.home)[0]
                platform.make_real(bundle)
                (bundle / "Contents" / "Current").symlink_to("Resources")
                (bundle / "Contents" / "Resources" / "again").symlink_to("moduleinfo.json")
                outside = snapshot(self.outside)
                result = self.run_script(platform)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertFalse(os.path.lexists(bundle))
                self.assertEqual(snapshot(self.outside), outside)


# ==================================================================================================
class TestRootIsForTestsOnly(Sandbox):
    def test_bad_arguments_are_refused_before_anything_is_looked_at(self):
        cases = [
            ("relative root", ["--root", "relative/path"], {}),
            ("HOME outside the root", ["--root", "ROOT"], {"HOME": "OUTSIDE"}),
            ("unknown option", ["--force"], {}),
            ("extra argument", ["--root", "ROOT", "more"], {}),
        ]
        for platform in PLATFORMS:
            for what, args, env in cases:
                with self.subTest(f"{platform.__name__}: {what}"), self.sandbox():
                    platform.make_real(platform.user_bundles(self.home)[0])
                    args = [str(self.root) if a == "ROOT" else a for a in args]
                    env = {k: str(self.outside) if v == "OUTSIDE" else v for k, v in env.items()}
                    before = snapshot(self.top)
                    result = self.run_script(platform, *args, env=env, root=False)
                    self.assertEqual(result.returncode, 2, result.stdout + result.stderr)
                    self.assertNotEqual(result.stderr.strip(), "")
                    self.assertEqual(snapshot(self.top), before)

    @unittest.skipIf(Linux not in PLATFORMS, "Linux script")
    def test_linux_refuses_a_root_under_pkexec(self):
        with self.sandbox():
            Linux.make_real(Linux.user_bundles(self.home)[0])
            before = snapshot(self.top)
            result = self.run_script(Linux, env={"PKEXEC_UID": str(os.getuid())})
            self.assertEqual(result.returncode, 2)
            self.assertIn("pkexec", result.stderr)
            self.assertEqual(snapshot(self.top), before)


# ==================================================================================================
@unittest.skipIf(Linux not in PLATFORMS, "the build makes a Linux bundle")
class TheBuiltBundle(Sandbox):
    def test_the_bundle_the_build_makes_is_recognised_and_removed(self):
        if BUILT_BUNDLE is None:
            self.skipTest("no built bundle given (--bundle)")
        self.assertTrue(BUILT_BUNDLE.is_dir(), BUILT_BUNDLE)
        with self.sandbox():
            bundle = Linux.system_bundles(self.root)[0]
            shutil.copytree(BUILT_BUNDLE, bundle, symlinks=True)
            store = self.make_store(Linux)
            before = snapshot(store)
            result = self.run_script(Linux)
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertNotIn(MARKER, result.stdout)
            self.assertIn(f"Removed {bundle}", result.stdout)
            self.assertFalse(os.path.lexists(bundle))
            self.assertEqual(snapshot(store), before)

    def test_the_fixture_matches_the_built_moduleinfo(self):
        if BUILT_BUNDLE is None:
            self.skipTest("no built bundle given (--bundle)")
        built = json.loads(strip_trailing_commas((BUILT_BUNDLE / "Contents" / "Resources" / "moduleinfo.json").read_text()))
        fixture = json.loads(strip_trailing_commas((FIXTURES / "moduleinfo.json").read_text()))
        self.assertEqual(built["Name"], fixture["Name"])
        self.assertEqual([c["CID"] for c in built["Classes"]], [c["CID"] for c in fixture["Classes"]])


def strip_trailing_commas(text):
    """moduleinfo.json is JSON5-like: trailing commas before closing brackets."""
    return re.sub(r",(\s*[}\]])", r"\1", text)


# ==================================================================================================
if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--scripts", required=True, type=pathlib.Path)
    parser.add_argument("--bundle", type=pathlib.Path)
    args, rest = parser.parse_known_args()
    SCRIPTS = args.scripts.resolve()
    BUILT_BUNDLE = args.bundle
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
