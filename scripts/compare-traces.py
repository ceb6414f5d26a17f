#!/usr/bin/env python3
"""Compares the events a Mac delivered with the events the agent posted.

usage: compare-traces.py [--markdown FILE] OBSERVED EXPECTED

OBSERVED holds mac-input-watch's lines (or a simulated desktop's trace), EXPECTED the trace the
simulated agent wrote for the same session (MII_SIM_TRACE). Both are read as they come, one JSON
object per line, and must be regular files: a FIFO or a terminal is refused rather than waited
on. Events are compared in order, on what a delivered event keeps of a posted one:

  - the type, and the modifier bits of the flags (Shift, Control, Option, Command, and the
    function-key and numeric-pad bits the agent sets on arrows); other bits (Caps Lock, the
    device-dependent left/right bits, non-coalesced) depend on the machine and are not compared;
  - key events: key code, down or up, the autorepeat field (8), and the text when the agent
    attached one (a Mac also reports the layout's translation of keys that carry none);
  - mouse events: the position within 1 point, the button, the click state (field 1), and the
    event number (field 0) by relation: a release or a drag carries the number of its button's
    latest press, or it does not;
  - scroll events: the units, the continuous field (88) and both wheels' deltas in those units.
    A trace line says its units; a delivered one (no "units") is in pixels when it is continuous,
    and then its deltas are the point deltas (fields 96 and 97), else the line deltas.

Timing is never compared. Plain mouse moves (type 5) that the agent did not post at that point
are skipped as noise: the Mac's own mouse, or moves the system makes up. Any other event too many
or too few is a difference.

An event is an object with an integer "type" and "flags" (an integer, or null when none was set);
a key event has an integer "keycode", a boolean "down", maybe a string "text"; a mouse event
finite numbers "x" and "y", an integer "button" and an object "fields"; a scroll event integers
"wheel1" and "wheel2", maybe an integer "units". Key and scroll events may have "fields" too. The
compared fields, when there, are integers; one left out reads 0. Values are taken as written: 1 is
not true, "1" is not 1. In OBSERVED, a line that is not such an event keeps its place and matches
nothing: a difference.

A trace it cannot read, whichever side: a file that is not UTF-8, or a line that is not JSON
(NaN, Infinity and numbers too large for a double included) or is longer than 64 KiB; a "seq"
that does not count 1, 2, 3... from the start of each run of the agent (a trace cut at its start,
events lost, two runs of which the first has no exit line). EXPECTED is the reference, and a faulty
one would make anything pass or fail: every line there is an event with its "seq", there is at
least one, and the exit line ({"exit":true,...}) ends it, with nothing after it. OBSERVED may hold
several runs, each ending with its exit line (a simulated trace), or none (the watcher's).

Exit status: 0 when the traces agree, 1 at the first difference (both lines shown), 2 when a trace
cannot be read or the table cannot be written (what is wrong shown).
"""

import collections
import fcntl
import json
import os
import sys

sys.dont_write_bytecode = True  # nothing written beside the scripts
from trace_lines import (  # noqa: E402 (its folder is the first on the path: this script's)
    KEY_TYPES, MOUSE_TYPES, SCROLL_TYPES, TYPE_NAMES, UnreadableTrace, open_regular, read_trace)

PRESSES = {1, 3, 25}
RELEASES = {2, 4, 26}
DRAGS = {6, 7, 27}
MOVE = 5
UNIT_NAMES = {0: "pixels", 1: "lines"}  # kCGScrollEventUnitPixel, kCGScrollEventUnitLine

FLAG_NAMES = [
    (0x20000, "Shift"), (0x40000, "Control"), (0x80000, "Option"), (0x100000, "Command"),
    (0x200000, "NumericPad"), (0x800000, "Fn"),
]
FLAG_MASK = sum(bit for bit, _ in FLAG_NAMES)
POSITION_TOLERANCE = 1.0


class UnwritableTable(Exception):
    pass


def button_of(event):
    kind = event["type"]
    if kind in (1, 2, 6):
        return 0
    if kind in (3, 4, 7):
        return 1
    return event["button"]


def scroll_values(event):
    """The units, the continuous field and the deltas in those units of a scroll event."""
    fields = event.get("fields", {})
    continuous = fields.get("88", 0)
    if "units" in event:
        return event["units"], continuous, (event["wheel1"], event["wheel2"])
    if continuous:
        return 0, continuous, (fields.get("96", 0), fields.get("97", 0))
    return 1, continuous, (event["wheel1"], event["wheel2"])


def normalize(events):
    """The compared values of each event, in order; event numbers become relations."""
    latest_press = {}
    for line, event, fault in events:
        if fault is not None:
            yield line, {"fault": fault}
            continue
        kind = event["type"]
        values = {"type": kind, "flags": (event["flags"] or 0) & FLAG_MASK}
        if kind in KEY_TYPES:
            values["key code"] = event["keycode"]
            values["down"] = event["down"]
            values["autorepeat"] = event.get("fields", {}).get("8", 0)
            if "text" in event:
                values["text"] = event["text"]
        elif kind in MOUSE_TYPES:
            fields = event["fields"]
            values["position"] = (event["x"], event["y"])
            values["button"] = event["button"]
            values["click state"] = fields.get("1", 0)
            number = fields.get("0", 0)
            if kind in PRESSES:
                latest_press[button_of(event)] = number
            elif kind in RELEASES or kind in DRAGS:
                press = latest_press.get(button_of(event))
                if press is None:
                    values["event number"] = "no press before it"
                else:
                    values["event number"] = (
                        "its press's" if number == press else "not its press's")
        elif kind in SCROLL_TYPES:
            values["units"], values["continuous"], values["deltas"] = scroll_values(event)
        yield line, values


def flag_text(flags):
    return "+".join(name for bit, name in FLAG_NAMES if flags & bit) or "none"


def same_position(observed, expected):
    return all(abs(a - b) <= POSITION_TOLERANCE for a, b in zip(observed, expected))


def shown(name, value):
    if name == "flags":
        return flag_text(value or 0)
    if name == "type":
        return type_name(value)
    if name == "text":
        return shown_text(value)
    if name == "units":
        return UNIT_NAMES.get(value, f"units {value}")
    return value


def first_mismatch(observed, expected):
    """The name and both values of the first compared value that differs, or None."""
    if "fault" in observed:
        return "event", observed["fault"], "an event"
    for name, want in expected.items():
        if name == "text" and name not in observed:
            return name, "(no text)", shown_text(want)
        got = observed.get(name)
        if name == "position":
            if not same_position(got, want):
                return name, got, want
        elif type(got) is not type(want) or got != want:
            return name, shown(name, got), shown(name, want)
    return None


def shown_text(text):
    # As JSON, readable beyond ASCII. A lone surrogate, which the watcher writes as a \u escape,
    # has no UTF-8: it stays escaped, or writing it would fail.
    return "".join(f"\\u{ord(c):04x}" if 0xD800 <= ord(c) <= 0xDFFF else c
                   for c in json.dumps(text, ensure_ascii=False))


def type_name(kind):
    return TYPE_NAMES.get(kind, f"type {kind}")


def describe(values):
    parts = [type_name(values["type"])]
    if "key code" in values:
        parts.append(str(values["key code"]))
        if values["type"] == 12:
            parts.append("down" if values["down"] else "up")
        if values["autorepeat"]:
            parts.append("repeat")
    if "position" in values:
        x, y = values["position"]
        parts.append(f"@{x},{y}")
        if values["click state"]:
            parts.append(f"click {values['click state']}")
    if "deltas" in values:
        parts.append("%s,%s" % values["deltas"])
        parts.append(shown("units", values["units"]))
    if "text" in values:
        parts.append(shown_text(values["text"]))
    if values["flags"]:
        parts.append(flag_text(values["flags"]))
    return " ".join(parts)


class Lookahead:
    """An iterator whose next two items can be looked at first; None past its end."""

    def __init__(self, items):
        self.items = iter(items)
        self.ahead = collections.deque()

    def peek(self, index=0):
        while len(self.ahead) <= index:
            item = next(self.items, None)
            if item is None:
                return None
            self.ahead.append(item)
        return self.ahead[index]

    def take(self):
        item = self.peek()
        self.ahead.popleft()
        return item

    def drain(self):
        """How many items are left, each read (and so checked) to the end."""
        return len(self.ahead) + sum(1 for _ in self.items)


def compare(observed, expected, row):
    """Compares two Lookaheads of (line, values), calling row(number, posted, delivered, result) for
    each expected event compared. Returns (compared, difference, skipped): how many expected
    events were compared, the first difference as text (None when the traces agree), and how many
    observed moves were skipped."""
    skipped = 0
    k = 0
    while expected.peek() is not None:
        want_line, want = expected.take()
        k += 1
        following = expected.peek()
        while True:
            if observed.peek() is None:
                return k - 1, (f"event {k}: missing {type_name(want['type'])}: the watcher saw "
                               f"nothing more\n  observed: (end)\n  expected: {want_line}"), skipped
            got_line, got = observed.peek()
            if "fault" in got:
                row(k, describe(want), "(not an event)", got["fault"])
                return k, (f"event {k}: observed {got['fault']}\n  observed: {got_line}\n"
                           f"  expected: {want_line}"), skipped
            mismatch = first_mismatch(got, want)
            if mismatch is None:
                break
            after = observed.peek(1)
            if following is not None and first_mismatch(got, following[1]) is None:
                what = f"missing {type_name(want['type'])}"
            elif got["type"] == MOVE:
                # A move nobody posted here is noise.
                observed.take()
                skipped += 1
                continue
            elif mismatch[0] == "type" and after is not None and \
                    first_mismatch(after[1], want) is None:
                what = f"extra {type_name(got['type'])} that the agent did not post"
            else:
                what = "%s differs (observed %s, expected %s)" % mismatch
            row(k, describe(want), describe(got), what)
            return k, (f"event {k}: {what}\n  observed: {got_line}\n"
                       f"  expected: {want_line}"), skipped
        row(k, describe(want), describe(got), "same")
        observed.take()
    while observed.peek() is not None:
        line, values = observed.take()
        if values.get("type") == MOVE:
            skipped += 1
            continue
        what = (f"observed {values['fault']}" if "fault" in values else
                f"extra {type_name(values['type'])} that the agent did not post")
        return k, (f"after event {k}: {what}\n  observed: {line}\n  expected: (end)"), skipped
    return k, None, skipped


class Table:
    """The markdown table, written row by row as the comparison goes; nothing when no file."""

    def __init__(self, path):
        self.out = None
        if path is None:
            return
        try:
            # Without blocking, so that a FIFO with no reader fails at once rather than hangs.
            fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC | os.O_NONBLOCK |
                         os.O_NOCTTY, 0o666)
            fcntl.fcntl(fd, fcntl.F_SETFL, fcntl.fcntl(fd, fcntl.F_GETFL) & ~os.O_NONBLOCK)
            self.out = os.fdopen(fd, "w", encoding="utf-8")
        except OSError as error:
            raise UnwritableTable(f"{path}: {error.strerror}") from None
        self.path = path
        self.write("| # | posted (simulated agent) | delivered (watcher) | result |\n"
                   "|---:|---|---|---|\n")

    def write(self, text):
        if self.out is None:
            return
        try:
            self.out.write(text)
        except OSError as error:
            raise UnwritableTable(f"{self.path}: {error.strerror}") from None

    def row(self, number, want, got, result):
        want, got, result = (text.replace("|", "\\|") for text in (want, got, result))
        self.write(f"| {number} | `{want}` | `{got}` | {result} |\n")

    def close(self, text):
        self.write(text)
        if self.out is not None:
            try:
                self.out.close()
            except OSError as error:
                raise UnwritableTable(f"{self.path}: {error.strerror}") from None


def main(argv):
    args = argv[1:]
    path = None
    if len(args) >= 2 and args[0] == "--markdown":
        path = args[1]
        args = args[2:]
    if len(args) != 2:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    table = None
    try:
        files = [open_regular(name) for name in args]
        table = Table(path)
        observed = Lookahead(normalize(read_trace(args[0], files[0], reference=False)))
        expected = Lookahead(normalize(read_trace(args[1], files[1], reference=True)))
        compared, difference, skipped = compare(observed, expected, table.row)
        # Both are read to the end whatever was found: a trace that cannot be read says so
        # rather than a difference in it, and every expected event is counted.
        total = compared + expected.drain()
        observed.drain()
        if compared < total:
            table.write(f"| {compared + 1}-{total} | | | not compared |\n")
        verdict = "agree" if difference is None else "differ"
        table.close(f"\nThe traces {verdict}: {compared} of {total} events compared, {skipped} "
                    "observed plain moves skipped. Timing is not compared.\n")
    except UnreadableTrace as error:
        if table is not None:
            try:
                table.close(f"\nThe traces cannot be read: {error}\n")
            except UnwritableTable:
                pass  # what matters is said below
        print(f"compare-traces: cannot read the traces: {error}", file=sys.stderr)
        return 2
    except UnwritableTable as error:
        print(f"compare-traces: cannot write the table: {error}", file=sys.stderr)
        return 2
    if difference is not None:
        print(f"compare-traces: first difference at {difference}")
        return 1
    print(f"compare-traces: the traces agree on {total} events "
          f"({skipped} observed plain moves skipped)")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
