#!/usr/bin/env python3
"""Compares the events a Mac delivered with the events the agent posted.

usage: compare-traces.py [--markdown FILE] OBSERVED EXPECTED

OBSERVED holds mac-input-watch's lines (or a simulated desktop's trace), EXPECTED the trace the
simulated agent wrote for the same session (MII_SIM_TRACE). Both are read as one JSON object per
line. EXPECTED ends with the agent's exit line ({"exit":true,...}); OBSERVED may end with one (a
simulated trace does, the watcher writes none). Events are compared in order, on what a delivered
event keeps of a posted one:

  - the type, and the modifier bits of the flags (Shift, Control, Option, Command, and the
    function-key and numeric-pad bits the agent sets on arrows); other bits (Caps Lock, the
    device-dependent left/right bits, non-coalesced) depend on the machine and are not compared;
  - key events: key code, down or up, and the text when the agent attached one (a Mac also
    reports the layout's translation of keys that carry none, which is not compared);
  - mouse events: the position within 1 point, the button, the click state (field 1), and the
    event number (field 0) by relation: a release or a drag carries the number of its button's
    latest press, or it does not;
  - scroll events: both wheels' line deltas.

Timing is never compared. Plain mouse moves (type 5) that the agent did not post at that point
are skipped as noise: the Mac's own mouse, or moves the system makes up. Any other event too many
or too few is a difference.

An event is an object with an integer "type" and "flags" (an integer, or null when none was set);
a key event has an integer "keycode", a boolean "down" and maybe a string "text"; a mouse event
finite numbers "x" and "y", an integer "button" and an object "fields" whose "0" and "1", when
there, are integers; a scroll event integers "wheel1" and "wheel2". Values are taken as written:
1 is not true, "1" is not 1. In OBSERVED, a line that is not such an event (the watcher writes
null for a position that is not finite) keeps its place and matches nothing: a difference.

A trace it cannot read, whichever side: a file that is not UTF-8; a line that is not JSON, which
includes NaN, Infinity and numbers too large for a double, so that no position is "within 1
point" of everything. EXPECTED is the reference, and a faulty one would make anything pass or
fail, so it also cannot be read with a line that is not an event, without events (a full disk
leaves an empty file, and the agent goes on after warning), without its exit line (cut short, by
a full disk or an agent that did not end), or with a line after it (two sessions appended to one
file). Exit lines in OBSERVED are left out wherever they are: the watcher writes none, and a
simulated trace may hold several runs of the agent.

Exit status: 0 when the traces agree, 1 at the first difference (both lines shown), 2 when a
trace cannot be read (what is wrong shown).
"""

import json
import math
import sys

KEY_TYPES = {10: "key down", 11: "key up", 12: "modifier change"}
MOUSE_TYPES = {
    1: "left button press", 2: "left button release", 3: "right button press",
    4: "right button release", 5: "move", 6: "left drag", 7: "right drag",
    25: "other button press", 26: "other button release", 27: "other drag",
}
SCROLL_TYPES = {22: "scroll"}
TYPE_NAMES = {**KEY_TYPES, **MOUSE_TYPES, **SCROLL_TYPES}
PRESSES = {1, 3, 25}
RELEASES = {2, 4, 26}
DRAGS = {6, 7, 27}
MOVE = 5

FLAG_NAMES = [
    (0x20000, "Shift"), (0x40000, "Control"), (0x80000, "Option"), (0x100000, "Command"),
    (0x200000, "NumericPad"), (0x800000, "Fn"),
]
FLAG_MASK = sum(bit for bit, _ in FLAG_NAMES)
POSITION_TOLERANCE = 1.0


class UnreadableTrace(Exception):
    pass


def integer(value):
    # JSON's true and false load as Python's True and False, which are ints too.
    return isinstance(value, int) and not isinstance(value, bool)


def coordinate(value):
    if not (integer(value) or isinstance(value, float)):
        return False
    try:
        float(value)  # an integer past a double's range would fail the subtraction later
    except OverflowError:
        return False
    return True


# What a value of an event must be, as (what it is, whether it is); each kind of event lists its
# values as (key, what it must be, whether it may be left out).
INTEGER = ("an integer", integer)
FLAGS = ("an integer or null", lambda value: value is None or integer(value))
BOOLEAN = ("true or false", lambda value: isinstance(value, bool))
STRING = ("a string", lambda value: isinstance(value, str))
NUMBER = ("a finite number", coordinate)
FIELDS = ('an object whose "0" and "1" are integers',
          lambda value: isinstance(value, dict) and all(
              integer(value[key]) for key in ("0", "1") if key in value))
KEY_VALUES = [("keycode", INTEGER, False), ("down", BOOLEAN, False), ("text", STRING, True)]
MOUSE_VALUES = [("x", NUMBER, False), ("y", NUMBER, False), ("button", INTEGER, False),
                ("fields", FIELDS, False)]
SCROLL_VALUES = [("wheel1", INTEGER, False), ("wheel2", INTEGER, False)]


def event_fault(value):
    """What keeps a trace line from being a comparable event, or None."""
    if not isinstance(value, dict):
        return "not an event (not an object)"
    if "type" not in value:
        return 'not an event (no "type")'
    checks = [("type", INTEGER, False)]
    if integer(value["type"]):
        checks.append(("flags", FLAGS, False))
        kind = value["type"]
        checks += (KEY_VALUES if kind in KEY_TYPES else MOUSE_VALUES if kind in MOUSE_TYPES
                   else SCROLL_VALUES if kind in SCROLL_TYPES else [])
    for key, (what, fits), optional in checks:
        if key not in value:
            if not optional:
                return f'a malformed event (no "{key}")'
        elif not fits(value[key]):
            return f'a malformed event ("{key}" is {json.dumps(value[key])}, not {what})'
    return None


def exit_line(value):
    return isinstance(value, dict) and "type" not in value and value.get("exit") is True


def no_constant(name):
    raise ValueError(f"{name} is no JSON number")


def finite_float(text):
    value = float(text)
    if not math.isfinite(value):
        raise ValueError(f"{text} is beyond a double's range")
    return value


def read_trace(path, reference):
    """The events of the trace, in order, as (line, event, fault): the fault says what keeps the
    line from being an event (None when nothing does). A reference trace, whose faults would make
    any comparison pass or fail, raises UnreadableTrace at a fault instead, and must hold one
    session: events, then the exit line."""
    events = []
    exit_number = None
    with open(path, encoding="utf-8") as lines:
        for number, line in enumerate(lines, 1):
            line = line.strip()
            if not line:
                continue
            try:
                value = json.loads(line, parse_constant=no_constant, parse_float=finite_float)
            except (ValueError, RecursionError) as error:
                raise UnreadableTrace(f"{path}:{number}: not JSON ({error})") from None
            if reference and exit_number is not None:
                raise UnreadableTrace(
                    f"{path}:{number}: a line after the exit line (line {exit_number}): two "
                    "sessions in one file")
            if exit_line(value):
                # Only the reference must be one session. The watcher writes no exit line; a
                # simulated trace read as what was delivered may hold several runs of the agent
                # (the conformance run asks one for the screen first), and an event that another
                # run delivered is an extra event, found as such.
                exit_number = number
                continue
            fault = event_fault(value)
            if fault is not None:
                if reference:
                    raise UnreadableTrace(f"{path}:{number}: {fault}")
                fault = f"line {number} is {fault}"
            events.append((line, value, fault))
    if reference and not events:
        raise UnreadableTrace(f"{path}: no event")
    if reference and exit_number is None:
        raise UnreadableTrace(f"{path}: no exit line: the trace was cut short")
    return events


def button_of(event):
    kind = event["type"]
    if kind in (1, 2, 6):
        return 0
    if kind in (3, 4, 7):
        return 1
    return event["button"]


def normalize(events):
    """The compared values of each event, in order; event numbers become relations."""
    latest_press = {}
    normalized = []
    for line, event, fault in events:
        if fault is not None:
            normalized.append((line, {"fault": fault}))
            continue
        kind = event["type"]
        values = {"type": kind, "flags": (event["flags"] or 0) & FLAG_MASK}
        if kind in KEY_TYPES:
            values["key code"] = event["keycode"]
            values["down"] = event["down"]
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
            values["wheels"] = (event["wheel1"], event["wheel2"])
        normalized.append((line, values))
    return normalized


def flag_text(flags):
    return "+".join(name for bit, name in FLAG_NAMES if flags & bit) or "none"


def same_position(observed, expected):
    return all(abs(a - b) <= POSITION_TOLERANCE for a, b in zip(observed, expected))


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
            if name == "flags":
                return name, flag_text(got or 0), flag_text(want)
            if name == "type":
                return name, type_name(got), type_name(want)
            if name == "text":
                return name, shown_text(got), shown_text(want)
            return name, got, want
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
    if "position" in values:
        x, y = values["position"]
        parts.append(f"@{x},{y}")
        if values["click state"]:
            parts.append(f"click {values['click state']}")
    if "wheels" in values:
        parts.append("%s,%s" % values["wheels"])
    if "text" in values:
        parts.append(shown_text(values["text"]))
    if values["flags"]:
        parts.append(flag_text(values["flags"]))
    return " ".join(parts)


def compare(observed, expected):
    """Returns (rows, difference, skipped): a row per expected event compared, the first
    difference as text (None when the traces agree), and how many observed moves were skipped."""
    rows = []
    skipped = 0
    i = 0
    for k, (want_line, want) in enumerate(expected):
        following = expected[k + 1][1] if k + 1 < len(expected) else None
        while True:
            if i == len(observed):
                return rows, (f"event {k + 1}: missing {type_name(want['type'])}: the watcher "
                              f"saw nothing more\n  observed: (end)\n  expected: {want_line}"), \
                    skipped
            got_line, got = observed[i]
            if "fault" in got:
                rows.append((k + 1, describe(want), "(not an event)", got["fault"]))
                return rows, (f"event {k + 1}: observed {got['fault']}\n  observed: {got_line}\n"
                              f"  expected: {want_line}"), skipped
            mismatch = first_mismatch(got, want)
            if mismatch is None:
                break
            if following is not None and first_mismatch(got, following) is None:
                what = f"missing {type_name(want['type'])}"
            elif got["type"] == MOVE:
                # A move nobody posted here is noise.
                i += 1
                skipped += 1
                continue
            elif mismatch[0] == "type" and i + 1 < len(observed) and \
                    first_mismatch(observed[i + 1][1], want) is None:
                what = f"extra {type_name(got['type'])} that the agent did not post"
            else:
                what = "%s differs (observed %s, expected %s)" % mismatch
            rows.append((k + 1, describe(want), describe(got), what))
            return rows, (f"event {k + 1}: {what}\n  observed: {got_line}\n"
                          f"  expected: {want_line}"), skipped
        rows.append((k + 1, describe(want), describe(got), "same"))
        i += 1
    rest = [entry for entry in observed[i:] if entry[1].get("type") != MOVE]
    skipped += len(observed) - i - len(rest)
    if rest:
        line, values = rest[0]
        what = (f"observed {values['fault']}" if "fault" in values else
                f"extra {type_name(values['type'])} that the agent did not post")
        return rows, (f"after event {len(expected)}: {what}\n  observed: {line}\n"
                      "  expected: (end)"), skipped
    return rows, None, skipped


def markdown(rows, expected_count, difference, skipped):
    out = ["| # | posted (simulated agent) | delivered (watcher) | result |",
           "|---:|---|---|---|"]
    for number, want, got, result in rows:
        want, got, result = (text.replace("|", "\\|") for text in (want, got, result))
        out.append(f"| {number} | `{want}` | `{got}` | {result} |")
    if len(rows) < expected_count:
        out.append(f"| {len(rows) + 1}-{expected_count} | | | not compared |")
    verdict = "agree" if difference is None else "differ"
    out.append("")
    out.append(f"The traces {verdict}: {len(rows)} of {expected_count} events compared, "
               f"{skipped} observed plain moves skipped. Timing is not compared.")
    return "\n".join(out) + "\n"


def main(argv):
    args = argv[1:]
    table = None
    if len(args) >= 2 and args[0] == "--markdown":
        table = args[1]
        args = args[2:]
    if len(args) != 2:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    try:
        observed = normalize(read_trace(args[0], reference=False))
        expected = normalize(read_trace(args[1], reference=True))
    except (OSError, UnicodeDecodeError, UnreadableTrace) as error:
        print(f"compare-traces: cannot read the traces: {error}", file=sys.stderr)
        return 2
    rows, difference, skipped = compare(observed, expected)
    if table:
        with open(table, "w", encoding="utf-8") as out:
            out.write(markdown(rows, len(expected), difference, skipped))
    if difference is not None:
        print(f"compare-traces: first difference at {difference}")
        return 1
    print(f"compare-traces: the traces agree on {len(expected)} events "
          f"({skipped} observed plain moves skipped)")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
