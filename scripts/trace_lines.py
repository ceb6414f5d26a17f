"""Reading the traces that scripts/compare-traces.py compares: one JSON object per line, each
checked as an event of its kind, with "seq" counting from 1 in each run of the agent. See
compare-traces.py for what a trace holds and what makes one unreadable."""

import json
import math
import os
import stat

# The event types of each kind the agent posts, by what they carry, named for the comparison's
# messages: the same types and kinds as the C++ side's one table (kPostedEventKinds in
# src/event_kinds.h), which tests/compare_traces_test.py holds this list to.
KEY_TYPES = {10: "key down", 11: "key up", 12: "modifier change"}
MOUSE_TYPES = {
    1: "left button press", 2: "left button release", 3: "right button press",
    4: "right button release", 5: "move", 6: "left drag", 7: "right drag",
    25: "other button press", 26: "other button release", 27: "other drag",
}
SCROLL_TYPES = {22: "scroll"}
TYPE_NAMES = {**KEY_TYPES, **MOUSE_TYPES, **SCROLL_TYPES}
LONGEST_LINE = 65536  # far beyond any event's line; a longer one is no trace


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


def fields_of(*numbers):
    keys = ", ".join(f'"{number}"' for number in numbers)
    return (f"an object whose {keys} are integers",
            lambda value: isinstance(value, dict) and all(
                integer(value[key]) for key in numbers if key in value))


# What a value of an event must be, as (what it is, whether it is); each kind of event lists its
# values as (key, what it must be, whether it may be left out).
INTEGER = ("an integer", integer)
FLAGS = ("an integer or null", lambda value: value is None or integer(value))
BOOLEAN = ("true or false", lambda value: isinstance(value, bool))
STRING = ("a string", lambda value: isinstance(value, str))
NUMBER = ("a finite number", coordinate)
KEY_VALUES = [("keycode", INTEGER, False), ("down", BOOLEAN, False), ("text", STRING, True),
              ("fields", fields_of("8"), True)]
MOUSE_VALUES = [("x", NUMBER, False), ("y", NUMBER, False), ("button", INTEGER, False),
                ("fields", fields_of("0", "1"), False)]
SCROLL_VALUES = [("units", INTEGER, True), ("wheel1", INTEGER, False),
                 ("wheel2", INTEGER, False), ("fields", fields_of("88", "96", "97"), True)]


def event_fault(value, reference):
    """What keeps a trace line from being a comparable event, or None."""
    if not isinstance(value, dict):
        return "not an event (not an object)"
    if "type" not in value:
        return 'not an event (no "type")'
    checks = [("seq", INTEGER, not reference), ("type", INTEGER, False)]
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


def open_regular(path):
    """The file at path, opened to read, when it is a regular file. Anything else is refused, as
    the simulated desktop refuses it for its settings: a FIFO whose writer never comes would hold
    the comparison for ever, and a terminal would wait for typing. Checked on what was opened too,
    and opened without blocking, in case the name was swapped between the two."""
    try:
        if not stat.S_ISREG(os.stat(path).st_mode):
            raise UnreadableTrace(f"{path}: not a regular file")
        fd = os.open(path, os.O_RDONLY | os.O_NONBLOCK | os.O_NOCTTY)
    except OSError as error:
        raise UnreadableTrace(f"{path}: {error.strerror}") from None
    if not stat.S_ISREG(os.fstat(fd).st_mode):
        os.close(fd)
        raise UnreadableTrace(f"{path}: not a regular file")
    return os.fdopen(fd, "rb")


def seq_fault(seq, due):
    if due == 1:
        return f"seq {seq} first: the trace does not start at its run's first event"
    if seq == 1:
        return f"seq 1 after seq {due - 1}: a second run began with no exit line before it"
    if seq > due:
        return f"seq {seq} after seq {due - 1}: events are missing"
    return f"seq {seq} after seq {due - 1}: out of order"


def read_trace(path, file, reference):
    """The events of the trace, in order, as (line, event, fault): the fault says what keeps the
    line from being an event (None when nothing does). A reference trace, whose faults would make
    any comparison pass or fail, raises UnreadableTrace at a fault instead, and must hold one run:
    events, then the exit line. Either side raises it when "seq" does not count from 1."""
    exit_number = None
    events = 0
    due = 1
    number = 0
    with file:
        while True:
            raw = file.readline(LONGEST_LINE + 1)
            if not raw:
                break
            number += 1
            if len(raw) > LONGEST_LINE:
                raise UnreadableTrace(f"{path}:{number}: a line longer than {LONGEST_LINE} bytes")
            try:
                line = raw.decode("utf-8").strip()
            except UnicodeDecodeError:
                raise UnreadableTrace(f"{path}:{number}: not UTF-8") from None
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
                # Only the reference must be one run. The watcher writes no exit line; a
                # simulated trace read as what was delivered may hold several runs of the agent
                # (the conformance run asks one for the screen first), and an event that another
                # run delivered is an extra event, found as such.
                exit_number = number
                due = 1
                continue
            fault = event_fault(value, reference)
            if fault is not None and reference:
                raise UnreadableTrace(f"{path}:{number}: {fault}")
            seq = value.get("seq") if isinstance(value, dict) else None
            if integer(seq):
                if seq != due:
                    raise UnreadableTrace(f"{path}:{number}: {seq_fault(seq, due)}")
                due += 1
            events += 1
            yield line, value, None if fault is None else f"line {number} is {fault}"
    if reference and not events:
        raise UnreadableTrace(f"{path}: no event")
    if reference and exit_number is None:
        raise UnreadableTrace(f"{path}: no exit line: the trace was cut short")
