#!/usr/bin/env python3
"""Compares the events a Mac delivered with the events the agent posted.

usage: compare-traces.py [--markdown FILE] OBSERVED EXPECTED

OBSERVED holds mac-input-watch's lines (or a simulated desktop's trace), EXPECTED the trace the
simulated agent wrote for the same session (MII_SIM_TRACE). Both are read as one JSON object per
line; lines without a "type" (the trace's exit line) are left out. Events are compared in order,
on what a delivered event keeps of a posted one:

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
or too few is a difference. Exit status: 0 when the traces agree, 1 at the first difference (both
lines shown), 2 when a file cannot be read.
"""

import json
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


def read_events(path):
    events = []
    with open(path, encoding="utf-8") as lines:
        for number, line in enumerate(lines, 1):
            line = line.strip()
            if not line:
                continue
            try:
                event = json.loads(line)
            except ValueError as error:
                raise UnreadableTrace(f"{path}:{number}: not JSON ({error})") from None
            if isinstance(event, dict) and isinstance(event.get("type"), int):
                events.append((line, event))
    return events


def button_of(event):
    kind = event["type"]
    if kind in (1, 2, 6):
        return 0
    if kind in (3, 4, 7):
        return 1
    return event.get("button", 2)


def normalize(events):
    """The compared values of each event, in order; event numbers become relations."""
    latest_press = {}
    normalized = []
    for line, event in events:
        kind = event["type"]
        values = {"type": kind, "flags": (event.get("flags") or 0) & FLAG_MASK}
        if kind in KEY_TYPES:
            values["key code"] = event.get("keycode")
            values["down"] = event.get("down")
            if "text" in event:
                values["text"] = event["text"]
        elif kind in MOUSE_TYPES:
            fields = event.get("fields") or {}
            values["position"] = (event.get("x"), event.get("y"))
            values["button"] = event.get("button", 0)
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
            values["wheels"] = (event.get("wheel1", 0), event.get("wheel2", 0))
        normalized.append((line, values))
    return normalized


def flag_text(flags):
    return "+".join(name for bit, name in FLAG_NAMES if flags & bit) or "none"


def same_position(observed, expected):
    for a, b in zip(observed, expected):
        if a is None or b is None:
            if a is not b:
                return False
        elif abs(a - b) > POSITION_TOLERANCE:
            return False
    return True


def first_mismatch(observed, expected):
    """The name and both values of the first compared value that differs, or None."""
    for name, want in expected.items():
        if name == "text" and name not in observed:
            return name, "(no text)", want
        got = observed.get(name)
        if name == "position":
            if got is None or not same_position(got, want):
                return name, got, want
        elif got != want:
            if name == "flags":
                return name, flag_text(got or 0), flag_text(want)
            if name == "type":
                return name, type_name(got), type_name(want)
            return name, got, want
    return None


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
        parts.append(json.dumps(values["text"], ensure_ascii=False))
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
    rest = [entry for entry in observed[i:] if entry[1]["type"] != MOVE]
    skipped += len(observed) - i - len(rest)
    if rest:
        line, values = rest[0]
        return rows, (f"after event {len(expected)}: extra {type_name(values['type'])} that the "
                      f"agent did not post\n  observed: {line}\n  expected: (end)"), skipped
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
        observed = normalize(read_events(args[0]))
        expected = normalize(read_events(args[1]))
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
