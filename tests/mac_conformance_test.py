#!/usr/bin/env python3
"""scripts/mac-conformance.sh away from a Mac: it says it did not run, as its last line, and
exits 0 (1 where MII_CONFORMANCE_REQUIRED asks for a run); the watcher it would start says it
watches nothing here, and exits 3. Then its Mac path, with stand-ins for what only a Mac has: the
simulated agent as the real one, a watcher that prints what that agent's simulated desktop
delivered, and uname, sw_vers, screencapture and cmake that answer as a Mac with a built tree
would.

usage: mac_conformance_test.py WATCHER AGENT SOURCE_DIR
"""

import os
import platform
import shutil
import stat
import subprocess
import sys
import tempfile
import unittest

WATCHER, AGENT, SOURCE_DIR = sys.argv[1], sys.argv[2], sys.argv[3]


@unittest.skipIf(platform.system() == "Darwin", "on a Mac the script runs for real")
class AwayFromAMacTest(unittest.TestCase):
    def test_the_script_does_not_run_and_says_so(self):
        env = {key: value for key, value in os.environ.items()
               if key not in ("GITHUB_ACTIONS", "MII_CONFORMANCE_REQUIRED")}
        done = subprocess.run(["bash", os.path.join(SOURCE_DIR, "scripts", "mac-conformance.sh")],
                              capture_output=True, text=True, env=env)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        self.assertEqual(done.stdout.splitlines()[-1], "not run: not a Mac")

    def test_under_actions_it_warns(self):
        env = dict(os.environ, GITHUB_ACTIONS="true")
        env.pop("MII_CONFORMANCE_REQUIRED", None)
        done = subprocess.run(["bash", os.path.join(SOURCE_DIR, "scripts", "mac-conformance.sh")],
                              capture_output=True, text=True, env=env)
        self.assertEqual(done.returncode, 0)
        self.assertTrue(done.stdout.startswith("::warning "), done.stdout)

    def test_the_watcher_watches_nothing(self):
        done = subprocess.run([WATCHER, "--seconds", "1"], capture_output=True, text=True,
                              stdin=subprocess.DEVNULL)
        self.assertEqual(done.returncode, 3)
        self.assertEqual(done.stderr, "mac-input-watch: no event tap away from macOS\n")


STAND_INS = {
    "uname": 'case "$1" in -m) echo arm64 ;; *) echo Darwin ;; esac\n',
    "sw_vers": "echo 15.1\n",
    "screencapture": ': >"${@: -1}"\n',
    "cmake": "exit 0\n",  # the tree is built already
    # The Mac's delivery: every event the "real" agent's simulated desktop took, less those that
    # STAND_IN_LOSES matches, and without their seq, as the watcher writes none; or, with
    # STAND_IN_EXIT, a watcher that ends before watching.
    "mac-input-watch": 'if [ -n "${STAND_IN_EXIT:-}" ]; then\n'
                       '  echo "stand-in: no tap" >&2; exit "$STAND_IN_EXIT"\nfi\n'
                       'echo WATCHING >&2\ncat >/dev/null\n'
                       '{ grep -v -e "${STAND_IN_LOSES:-^$}" "$DELIVERED" || true; } |\n'
                       '  sed \'s/^{"seq":[0-9]*,/{/\'\n',
}


def write_program(path, body):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8") as program:
        program.write("#!/usr/bin/env bash\n" + body)
    os.chmod(path, stat.S_IRWXU)


RETINA = "a Retina main display with an id of its own, and another display"


class MacPathWithStandInsTest(unittest.TestCase):
    def run_script(self, tree, **env_extra):
        for script in ("mac-conformance.sh", "compare-traces.py", "trace_lines.py"):
            os.makedirs(os.path.join(tree, "scripts"), exist_ok=True)
            shutil.copy(os.path.join(SOURCE_DIR, "scripts", script), os.path.join(tree, "scripts"))
        for name in ("uname", "sw_vers", "screencapture", "cmake"):
            write_program(os.path.join(tree, "bin", name), STAND_INS[name])
        write_program(os.path.join(tree, "build", "src", "watch", "mac-input-watch"),
                      STAND_INS["mac-input-watch"])
        for build in ("build", "build-simulated"):
            os.makedirs(os.path.join(tree, build), exist_ok=True)
            os.symlink(AGENT, os.path.join(tree, build, "mac-input-injector"))
        env = {key: value for key, value in os.environ.items()
               if not key.startswith("MII_SIM_")
               and key not in ("GITHUB_ACTIONS", "MII_CONFORMANCE_REQUIRED")}
        env.update(PATH=os.path.join(tree, "bin") + os.pathsep + env["PATH"],
                   DELIVERED=os.path.join(tree, "delivered.jsonl"),
                   MII_SIM_TRACE=os.path.join(tree, "delivered.jsonl"),
                   MII_SIM_DISPLAYS="1440x900",
                   GITHUB_STEP_SUMMARY=os.path.join(tree, "summary.md"))
        env.update(env_extra)
        return subprocess.run(["bash", os.path.join(tree, "scripts", "mac-conformance.sh")],
                              capture_output=True, text=True, env=env, timeout=60)

    def test_outcomes(self):
        agreed = "mac-conformance: the Mac delivered what the agent posted"
        # The session's MOVEDISPLAY goes to the main display by the id it has there.
        traced = {RETINA: '"type":5,"source":null,"flags":0,"x":302.4'}
        cases = [
            # name, extra environment, exit status, in the output, last line, compared
            ("the Mac delivered it all", {}, 0, "", agreed, True),
            (RETINA,
             {"MII_SIM_DISPLAYS": "1512x982*2#69733378,1920x1080@1512,-98#724238"}, 0,
             "", agreed, True),
            ("a French Mac", {"MII_SIM_LAYOUT": "french"}, 0, "layout com.apple.keylayout.French",
             agreed, True),
            ("a release went missing", {"STAND_IN_LOSES": '"type":4,'}, 1,
             "missing right button release", None, True),
            ("a scroll's pixels went missing", {"STAND_IN_LOSES": '"wheel1":-12,'}, 1,
             "missing scroll", None, True),
            ("no layout to read", {"MII_SIM_FAIL": "layout"}, 0, "",
             "not run: the Mac's keyboard layout (none) is not one the simulated desktop has",
             False),
            ("an input method", {"MII_SIM_LAYOUT": "input-method"}, 0, "",
             "not run: the Mac's keyboard", False),
            ("no permission", {"MII_SIM_TRUSTED": "0"}, 0, "",
             "not run: the agent has no Accessibility permission in this session", False),
            ("the watcher cannot tap", {"STAND_IN_EXIT": "3"}, 0, "",
             "not run: the watcher cannot tap events here (stand-in: no tap)", False),
            # Where a run is required (the macOS workflow), "not run" fails the job.
            ("no permission, a run required under Actions",
             {"MII_SIM_TRUSTED": "0", "MII_CONFORMANCE_REQUIRED": "1", "GITHUB_ACTIONS": "true"}, 1,
             "::error title=Mac conformance not run::the agent has no Accessibility permission",
             "not run: the agent has no Accessibility permission in this session", False),
            ("the watcher cannot tap, a run required",
             {"STAND_IN_EXIT": "3", "MII_CONFORMANCE_REQUIRED": "1"}, 1, "",
             "not run: the watcher cannot tap events here (stand-in: no tap)", False),
            ("MII_CONFORMANCE_REQUIRED=0, as if unset",
             {"STAND_IN_EXIT": "3", "MII_CONFORMANCE_REQUIRED": "0"}, 0, "",
             "not run: the watcher cannot tap events here (stand-in: no tap)", False),
            ("the watcher fails", {"STAND_IN_EXIT": "1"}, 1,
             "the watcher did not start watching (status 1)\nstand-in: no tap", None, False),
        ]
        for name, extra, status, said, last, compared in cases:
            with self.subTest(name), tempfile.TemporaryDirectory() as tree:
                done = self.run_script(tree, **extra)
                output = done.stdout + done.stderr
                self.assertEqual(done.returncode, status, output)
                self.assertIn(said, output)
                if last is not None:
                    self.assertTrue(done.stdout.splitlines()[-1].startswith(last), output)
                out = os.path.join(tree, "build", "conformance")
                # Everything left there is a plain file, which an upload can read.
                for entry in os.scandir(out):
                    self.assertTrue(entry.is_file(follow_symlinks=False), entry.path)
                if name in traced:
                    with open(os.path.join(out, "expected.jsonl"), encoding="utf-8") as trace:
                        self.assertIn(traced[name], trace.read())
                if compared:
                    with open(os.path.join(tree, "summary.md"), encoding="utf-8") as summary:
                        self.assertIn("### Mac conformance: macOS 15.1, arm64", summary.read())


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
