#!/usr/bin/env python3
"""scripts/compare-traces.py on two traces of one session made by the simulated agent: they agree,
and so do the watcher's lines of the same events and plain moves nobody posted; a changed click
state, units or repeat, a missing release, a changed flag, an extra key or an observed line that
is no event each fail with that named, and a pair it cannot read (no events, no exit line, two
sessions, a seq that does not count from 1, NaN, a FIFO) or a table it cannot write fail as such.
Its kinds of event are the agent's: the same types, carrying the same parts.

usage: compare_traces_test.py AGENT SOURCE_DIR
"""

import importlib.util
import json
import os
import re
import subprocess
import sys
import tempfile
import unittest

AGENT, SOURCE_DIR = sys.argv[1], sys.argv[2]
COMPARE = os.path.join(SOURCE_DIR, "scripts", "compare-traces.py")
SCRIPT = os.path.join(SOURCE_DIR, "scripts", "mac-conformance.sh")


def header_kinds():
    """kPostedEventKinds in src/event_kinds.h as {type number: (name, parts)}, the numbers read from
    the platform layer's copy of Apple's constants."""
    def read(*path):
        with open(os.path.join(SOURCE_DIR, "src", *path), encoding="utf-8") as header:
            return header.read()
    constants = re.findall(r"(kCGEvent\w+) = (\w+),", read("platform", "quartz.h"))
    numbers = {name: int(value, 0) for name, value in constants}
    rows = re.findall(r'\{(kCGEvent\w+), "(\w+)", EventParts::(\w+)\}', read("event_kinds.h"))
    return {numbers[constant]: (name, parts) for constant, name, parts in rows}


def compare_traces_module():
    sys.path.insert(0, os.path.dirname(COMPARE))  # where it finds trace_lines
    sys.dont_write_bytecode = True
    found = importlib.util.spec_from_file_location("compare_traces", COMPARE)
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module


def simulated_trace(path):
    session = subprocess.run(["bash", SCRIPT, "--print-session"], check=True,
                             capture_output=True, text=True).stdout
    env = {key: value for key, value in os.environ.items() if not key.startswith("MII_SIM_")}
    env.update(MII_SIM_TRACE=path, MII_SIM_DISPLAYS="1440x900")
    subprocess.run([AGENT], input=session, env=env, check=True, capture_output=True, text=True)


def first(events, predicate):
    return next(i for i, event in enumerate(events) if predicate(event))


def left_press(event):
    return event.get("type") == 1


def second_click(event):
    return event.get("type") == 1 and event["fields"].get("1") == 2


def command_chord(event):
    return event.get("type") == 10 and event.get("flags") == 0x100000


def repeat(event):
    return event.get("fields", {}).get("8") == 1


def pixel_scroll(event):
    return event.get("units") == 0


def as_watched(event):
    """The line the watcher writes for a trace's event, as a Mac would fill the fields the trace
    does not hold: about ten pixels a line, and line deltas derived from a pixel scroll's."""
    line = {"type": event["type"], "flags": event["flags"] or 0}
    fields = event.get("fields", {})
    if "keycode" in event:
        line.update(keycode=event["keycode"], down=event["down"])
        if "text" in event:
            line["text"] = event["text"]
        line["fields"] = {"8": fields.get("8", 0)}
    elif "x" in event:
        line.update(x=event["x"], y=event["y"], button=event["button"],
                    fields={"0": fields.get("0", 0), "1": fields.get("1", 0)})
    elif "units" in event:
        wheels = event["wheel1"], event["wheel2"]
        pixels = wheels if event["units"] == 0 else tuple(10 * wheel for wheel in wheels)
        lines = tuple(round(pixel / 10) for pixel in pixels)
        line.update(wheel1=lines[0], wheel2=lines[1],
                    fields={"88": fields.get("88", 0), "96": pixels[0], "97": pixels[1]})
    line["time"] = event["time"]
    return line


def watched(events):
    return [as_watched(event) for event in events if "exit" not in event]


def renumbered(events):
    """The events with "seq" counting from 1 again in each run, as a trace that lost nothing."""
    due = 1
    for event in events:
        if "exit" in event:
            due = 1
        elif "seq" in event:
            event["seq"] = due
            due += 1
    return events


# Observed traces that agree with the expected one, made from its events, and what is said.
AGREEING = [
    ("plain moves nobody posted",
     lambda events: events.insert(first(events, left_press), {
         "type": 5, "flags": 0, "x": 1, "y": 2, "button": 0, "fields": {}}),
     "1 observed plain moves skipped"),
    ("the watcher's lines of the same events",
     lambda events: events.__setitem__(slice(None), watched(events)), "the traces agree"),
]


# Each change to the observed trace, and what the comparison must name.
CHANGES = [
    ("changed click state",
     lambda events: events[first(events, second_click)]["fields"].update({"1": 1}),
     "click state differs"),
    ("missing release",
     lambda events: events.pop(first(events, lambda e: e.get("type") == 2)),
     "missing left button release"),
    ("changed flag",
     lambda events: events[first(events, command_chord)].update(flags=0x40000),
     "flags differs (observed Control, expected Command)"),
    ("extra key",
     lambda events: events.insert(3, {"type": 10, "flags": 0, "keycode": 0, "down": True}),
     "extra key down"),
    ("missing last event",
     lambda events: events.pop(first(events, lambda e: "exit" in e) - 1),
     "missing key up: the watcher saw nothing more"),
    ("a line that is no event", lambda events: events.insert(3, {"time": 4}),
     'observed line 4 is not an event (no "type")'),
    ("lines for pixels",
     lambda events: events[first(events, lambda e: e.get("units") == 1)].update(units=0),
     "units differs (observed pixels, expected lines)"),
    ("a repeat as a fresh press",
     lambda events: events[first(events, repeat)].pop("fields"),
     "autorepeat differs (observed 0, expected 1)"),
    ("a watched pixel scroll by other pixels, the same lines",
     lambda events: events.__setitem__(slice(None), [
         dict(e, fields=dict(e["fields"], **{"96": e["fields"]["96"] - 1}))
         if e["type"] == 22 and e["fields"]["88"] else e for e in watched(events)]),
     "deltas differs (observed (-13, 0), expected (-12, 0))"),
    ("a watched pixel scroll that is not continuous",
     lambda events: events.__setitem__(slice(None), [
         dict(e, fields=dict(e["fields"], **{"88": 0}))
         if e["type"] == 22 and e["fields"]["88"] else e for e in watched(events)]),
     "units differs (observed lines, expected pixels)"),
    ("flags not an integer", lambda events: events[first(events, command_chord)].update(flags="x"),
     '("flags" is "x", not an integer or null)'),
    ("fields not an object", lambda events: events[first(events, left_press)].update(fields=[1]),
     '("fields" is [1], not an object'),
    ("down as 1, not true",
     lambda events: events[first(events, lambda e: e.get("down") is True)].update(down=1),
     '("down" is 1, not true or false)'),
    ("a missing field", lambda events: events[first(events, left_press)].pop("x"), '(no "x")'),
]


def lines(trace, count):
    return b"".join(trace.splitlines(True)[:count])


def without_line(trace, index):
    rows = trace.splitlines(True)
    return b"".join(rows[:index] + rows[index + 1:])


FIFO = object()  # a side made a FIFO that nobody writes


# Pairs it cannot compare, (observed, expected) made from a whole trace, and what it must say.
UNREADABLE = [
    ("a line cut short", lambda trace: (trace + b'{"type":1,"fl\n', trace), "not JSON"),
    ("not UTF-8", lambda trace: (trace + b'"\xff"\n', trace), "cannot read"),
    ("two empty files", lambda trace: (b"", b""), "no event"),
    ("only an exit line", lambda trace: (b"", trace.splitlines(True)[-1]), "no event"),
    ("lines that are no events",
     lambda trace: (trace, b'[1]\n{"seq":1}\n' + trace), ":1: not an event (not an object)"),
    ("both cut at the same line", lambda trace: (lines(trace, 10), lines(trace, 10)),
     "no exit line"),
    ("a NaN position", lambda trace: (trace.replace(b'"x":240,', b'"x":NaN,', 1), trace),
     "NaN is no JSON number"),
    ("two sessions in one file", lambda trace: (trace + trace, trace + trace), "two sessions"),
    ("a missing field", lambda trace: (trace, trace.replace(b'"keycode":56,', b"", 1)),
     '(no "keycode")'),
    ("a trace cut at its start", lambda trace: (trace, without_line(trace, 0)),
     "expected.jsonl:1: seq 2 first: the trace does not start at its run's first event"),
    ("two runs, the first with no exit line",
     lambda trace: (trace, b"".join(trace.splitlines(True)[:-1]) + trace),
     "a second run began with no exit line before it"),
    ("an event lost from what was delivered", lambda trace: (without_line(trace, 4), trace),
     "observed.jsonl:5: seq 6 after seq 4: events are missing"),
    ("seq that is not a number", lambda trace: (trace, trace.replace(b'"seq":1,', b'"seq":"1",')),
     '("seq" is "1", not an integer)'),
    ("a line of 64 KiB and more",
     lambda trace: (b'{"text":"' + b"a" * 65536 + b'"}\n' + trace, trace),
     "observed.jsonl:1: a line longer than 65536 bytes"),
    ("a FIFO nobody writes", lambda trace: (FIFO, trace), "observed.jsonl: not a regular file"),
    ("a table in a folder that is not there",
     lambda trace: (trace, trace, "/nonexistent/table.md"),
     "cannot write the table: /nonexistent/table.md: No such file or directory"),
]


class EventKindsTest(unittest.TestCase):
    def test_the_comparison_knows_the_kinds_the_agent_posts(self):
        kinds = header_kinds()
        script = compare_traces_module()
        by_parts = {"Keyboard": script.KEY_TYPES, "Mouse": script.MOUSE_TYPES,
                    "Scroll": script.SCROLL_TYPES}
        self.assertEqual({number: parts for number, (_, parts) in kinds.items()},
                         {number: parts for parts, types in by_parts.items() for number in types})
        mouse = {number: name for number, (name, parts) in kinds.items() if parts == "Mouse"}
        roles = {"down": script.PRESSES, "up": script.RELEASES, "drag": script.DRAGS,
                 "move": {script.MOVE}}
        for ending, numbers in roles.items():
            with self.subTest(ending):
                self.assertEqual({n for n, name in mouse.items() if name.endswith(ending)}, numbers)


class CompareTracesTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.TemporaryDirectory()
        cls.expected = os.path.join(cls.dir.name, "expected.jsonl")
        cls.again = os.path.join(cls.dir.name, "again.jsonl")
        simulated_trace(cls.expected)
        simulated_trace(cls.again)
        with open(cls.expected, encoding="utf-8") as lines:
            cls.events = [json.loads(line) for line in lines]

    @classmethod
    def tearDownClass(cls):
        cls.dir.cleanup()

    def compare(self, observed_events):
        observed = os.path.join(self.dir.name, "observed.jsonl")
        with open(observed, "w", encoding="utf-8") as out:
            for event in observed_events:
                out.write(json.dumps(event, ensure_ascii=False) + "\n")
        return self.run_compare(observed)

    def run_compare(self, observed, expected=None, table=None):
        table = table or os.path.join(self.dir.name, "table.md")
        done = subprocess.run([sys.executable, COMPARE, "--markdown", table, observed,
                               expected or self.expected], capture_output=True, text=True,
                              timeout=60)
        return done.returncode, done.stdout + done.stderr

    def changed(self, change):
        events = json.loads(json.dumps(self.events))
        change(events)
        return renumbered(events)

    def test_two_traces_of_one_session_agree(self):
        status, output = self.run_compare(self.again)
        self.assertEqual(status, 0, output)
        self.assertIn("the traces agree", output)

    def test_what_a_mac_may_deliver_otherwise_agrees(self):
        for name, change, said in AGREEING:
            with self.subTest(name):
                status, output = self.compare(self.changed(change))
                self.assertEqual(status, 0, output)
                self.assertIn(said, output)

    def test_each_change_fails_with_what_changed(self):
        for name, change, named in CHANGES:
            with self.subTest(name):
                status, output = self.compare(self.changed(change))
                self.assertEqual(status, 1, output)
                self.assertIn(named, output)
                self.assertIn("observed: ", output)
                self.assertIn("expected: ", output)

    def test_a_pair_it_cannot_read_is_not_a_difference(self):
        with open(self.expected, "rb") as whole:
            trace = whole.read()
        for name, pair, said in UNREADABLE:
            with self.subTest(name):
                paths = [os.path.join(self.dir.name, side)
                         for side in ("observed.jsonl", "expected.jsonl")]
                contents = pair(trace)
                for path, content in zip(paths, contents):
                    if os.path.exists(path):
                        os.remove(path)
                    if content is FIFO:
                        os.mkfifo(path)
                        continue
                    with open(path, "wb") as out:
                        out.write(content)
                status, output = self.run_compare(*paths, table=(contents + (None,))[2])
                self.assertEqual(status, 2, output)
                self.assertIn(said, output)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
