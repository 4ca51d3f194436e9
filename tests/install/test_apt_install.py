#!/usr/bin/env python3
"""scripts/apt-install against an apt-get that fails the way a mirror in the
middle of a sync made it fail (fake_apt_get.py): the update tried again with
a pause, the install tried with what apt has, then with the failed suite
pinned low in a folder of its own, and a message that says what to do when
nothing serves.  `sleep` is a fake too: the pauses are logged, not waited."""

import json
import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPT = os.path.join(HERE, "..", "..", "scripts", "apt-install")
sys.path.insert(0, HERE)
from fake_apt_get import STALE_INDEX, STALE_SUITE  # noqa: E402

PACKAGES = ["wine", "wine32:i386"]


class AptInstall(unittest.TestCase):
    def run_script(self, update_fails, install, tries=None):
        """(exit code, stderr, apt-get's calls, the pauses slept, the
        machine's preferences folder)."""
        work = tempfile.mkdtemp()
        self.addCleanup(subprocess.run, ["rm", "-rf", work])
        bin_dir = os.path.join(work, "bin")
        os.mkdir(bin_dir)
        with open(os.path.join(bin_dir, "sleep"), "w") as f:
            f.write(f'#!/bin/sh\necho "$1" >> {work}/slept\n')
        os.chmod(os.path.join(bin_dir, "sleep"), 0o755)
        machine_pins = os.path.join(work, "preferences.d")
        os.mkdir(machine_pins)
        with open(os.path.join(machine_pins, "backports-qemu-only"), "w") as f:
            f.write("Package: qemu-user-static\nPin: release n=bookworm-backports\n"
                    "Pin-Priority: 500\n")
        env = dict(os.environ, PATH=bin_dir + os.pathsep + os.environ["PATH"],
                   APT_GET=os.path.join(HERE, "fake_apt_get.py"),
                   APT_PREFERENCES_PARTS=machine_pins, TMPDIR=work,
                   FAKE_APT_LOG=os.path.join(work, "apt.log"),
                   FAKE_APT_UPDATE_FAILS=str(update_fails), FAKE_APT_INSTALL=install)
        env.pop("APT_RETRY_PAUSE", None)
        if tries:
            env["APT_UPDATE_TRIES"] = str(tries)
        else:
            env.pop("APT_UPDATE_TRIES", None)
        open(env["FAKE_APT_LOG"], "w").close()
        result = subprocess.run([SCRIPT] + PACKAGES, env=env, capture_output=True, text=True,
                                timeout=60)
        with open(env["FAKE_APT_LOG"]) as f:
            calls = [json.loads(line) for line in f]
        slept = []
        if os.path.exists(os.path.join(work, "slept")):
            with open(os.path.join(work, "slept")) as f:
                slept = f.read().split()
        left = sorted(set(os.listdir(work)) - {"bin", "preferences.d", "apt.log", "slept"})
        return result.returncode, result.stderr, calls, slept, left

    def test_update_and_install(self):
        # (update failures, install mode, tries) -> exit code, updates,
        # pauses, installs, whether the second install pinned the suite
        cases = [
            ("a whole mirror", 0, "ok", None, 0, 1, [], 1),
            ("the mirror whole again at the third try", 2, "ok", None, 0, 3, ["20", "20"], 1),
            ("an index stale throughout, not needed by the install",
             "always", "ok", None, 0, 3, ["20", "20"], 1),
            ("an index stale throughout, the install served by the whole suites",
             "always", "pinned", None, 0, 3, ["20", "20"], 2),
            ("an index stale throughout, nothing serves", "always", "broken", None, 1, 3,
             ["20", "20"], 2),
            ("tries set to one", "always", "pinned", 1, 0, 1, [], 2),
            ("every index whole, the install impossible", 0, "broken", None, 1, 1, [], 1),
        ]
        for what, fails, install, tries, code, updates, pauses, installs in cases:
            with self.subTest(what):
                status, stderr, calls, slept, left = self.run_script(fails, install, tries)
                self.assertEqual(status, code, stderr)
                kinds = [c["args"][0] for c in calls]
                self.assertEqual(kinds, ["update"] * updates + ["install"] * installs)
                self.assertEqual(slept, pauses)
                for call in calls[updates:]:
                    self.assertEqual(call["args"][1:], PACKAGES)
                self.assertNotIn("preferences", calls[updates])
                self.assertEqual(left, [], "a temporary folder left behind")

    def test_the_pinned_try(self):
        status, stderr, calls, _, _ = self.run_script("always", "pinned")
        self.assertEqual(status, 0, stderr)
        pinned = calls[-1]
        # The machine's own pins are kept beside the stale suite's.
        self.assertIn("backports-qemu-only", pinned["files"])
        self.assertTrue(any(STALE_SUITE in name for name in pinned["files"]), pinned["files"])
        self.assertFalse(pinned["preferences"].startswith("/etc"))
        self.assertFalse(os.path.exists(pinned["preferences"]))
        self.assertIn(STALE_INDEX, stderr)
        self.assertIn("apt-get upgrade", stderr)

    def test_the_message_when_nothing_serves(self):
        status, stderr, _, _, _ = self.run_script("always", "broken")
        self.assertEqual(status, 1)
        message = stderr[stderr.index("apt-install: could not install"):]
        for piece in ["wine wine32:i386", "libssl3:i386", STALE_INDEX, "3 tries", "wait",
                      "run the same command again"]:
            self.assertIn(piece, message)

    def test_the_message_when_every_index_came(self):
        status, stderr, _, _, _ = self.run_script(0, "broken")
        self.assertEqual(status, 1)
        self.assertIn("every index downloaded", stderr)
        self.assertNotIn("sync", stderr[stderr.index("apt-install: could not install"):])


if __name__ == "__main__":
    unittest.main()
