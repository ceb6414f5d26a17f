#!/usr/bin/env python3
"""scripts/mac-conformance.sh away from a Mac: it says it did not run, as its last line, and
exits 0; the watcher it would start says it watches nothing here, and exits 3.

usage: mac_conformance_test.py WATCHER SOURCE_DIR
"""

import os
import platform
import subprocess
import sys
import unittest

WATCHER, SOURCE_DIR = sys.argv[1], sys.argv[2]


@unittest.skipIf(platform.system() == "Darwin", "on a Mac the script runs for real")
class AwayFromAMacTest(unittest.TestCase):
    def test_the_script_does_not_run_and_says_so(self):
        env = {key: value for key, value in os.environ.items() if key != "GITHUB_ACTIONS"}
        done = subprocess.run(["bash", os.path.join(SOURCE_DIR, "scripts", "mac-conformance.sh")],
                              capture_output=True, text=True, env=env)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        self.assertEqual(done.stdout.splitlines()[-1], "not run: not a Mac")

    def test_under_actions_it_warns(self):
        env = dict(os.environ, GITHUB_ACTIONS="true")
        done = subprocess.run(["bash", os.path.join(SOURCE_DIR, "scripts", "mac-conformance.sh")],
                              capture_output=True, text=True, env=env)
        self.assertEqual(done.returncode, 0)
        self.assertTrue(done.stdout.startswith("::warning "), done.stdout)

    def test_the_watcher_watches_nothing(self):
        done = subprocess.run([WATCHER, "--seconds", "1"], capture_output=True, text=True,
                              stdin=subprocess.DEVNULL)
        self.assertEqual(done.returncode, 3)
        self.assertEqual(done.stderr, "mac-input-watch: no event tap away from macOS\n")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
