#!/usr/bin/env bash
# The real agent against a real Mac: while mac-input-watch taps the login session, the agent runs
# a fixed session of input commands; then the simulated agent runs the same session on a desktop
# of the same size, and scripts/compare-traces.py compares what the Mac delivered with what the
# agent posted. Builds build/ (the real agent and the watcher) and build-simulated/ first.
#
# Exit 0 when the traces agree, 1 at a difference or when a program of its own fails (the agent
# or the watcher ending badly, the build). When it cannot run (not a Mac, no Accessibility
# permission, no event tap) it says why, emits a GitHub warning under Actions, and exits 0 with
# "not run: ..." as its last line: never a pass it did not earn. With MII_CONFORMANCE_REQUIRED=1
# (the macOS workflow sets it) "not run" exits 1 instead, with a GitHub error under Actions: a job
# that compared nothing must not go green.
#   --print-session [DISPLAY]   prints the session, its MOVEDISPLAY to display id DISPLAY
#                               (default 1, the simulated desktop's main display), and exits
# Output in ${MII_CONFORMANCE_DIR:-build/conformance}: observed.jsonl (the watcher's lines),
# expected.jsonl (the simulated agent's trace), comparison.md, screen.png, and the programs' output.
set -euo pipefail
cd "$(dirname "$0")/.."

# Absolute moves first, so that the cursor is known, one of them to the main display by its id
# (the argument), which only the Mac's DISPLAYS reply tells; its layout; modifiers, and Control+C
# going out as Command+C; a held arrow repeating; text with a line break and non-ASCII; clicks, a
# double click, drags, the three buttons, both wheels, scrolls in pixels whose fractions carry,
# relative moves, a Shift-click and the back button.
# The right click's menu is closed with Escape. Presses give their click count, so that the count
# does not hang on how fast the lines come.
session() {
  cat <<EOF
MOVE 240 200
MOVE 260.5 210.25
MOVERATIO 0.25 0.25
DISPLAYS
MOVEDISPLAY ${1:-1} 0.2 0.2
LAYOUT
KEYDOWN 16
KEYDOWN 65
KEYUP 65
KEYUP 16
KEYDOWN 17
KEYDOWN 67
KEYUP 67
KEYUP 17
KEYDOWN 18
KEYDOWN 91
KEYUP 91
KEYUP 18
KEYPRESS 39
KEYDOWN 39
KEYDOWN 39
KEYDOWN 39
KEYUP 39
TEXT TGluZSBvbmUKWmVpbGUgendlaTogY2Fmw6kgw7xiZXIg8J+YgA==
MOVE 300 240
CLICK left
MOVE 320 260
DBLCLICK left
MOUSEDOWN left 1
MOVE 340 280
MOVE 380 300
MOUSEUP left
MOVE 400 300
MOUSEDOWN middle 1
MOVE 410 310
MOUSEUP middle
CLICK middle
WHEEL 1
WHEEL -1
HWHEEL 1
HWHEEL -1
SCROLL 0 12.5
SCROLL -7 0.5
MOVEREL 12.5 -4
MOVEREL 0.5 0
KEYDOWN 16
CLICK left
KEYUP 16
CLICK back
CLICK right
KEYPRESS 27
QUIT
EOF
}

# Run by hand, a Mac that cannot take part gets a notice. Where a run is required, any value but
# empty or 0 asks for it, so that "true" or "yes" does not quietly turn the failure into a notice.
not_run() {
  local annotation=warning status=0
  if [ "${MII_CONFORMANCE_REQUIRED:-0}" != 0 ]; then
    annotation=error
    status=1
    echo "mac-conformance: MII_CONFORMANCE_REQUIRED is set, and not running is a failure"
  fi
  if [ "${GITHUB_ACTIONS:-}" = true ]; then
    echo "::$annotation title=Mac conformance not run::$1"
  fi
  echo "not run: $1"
  exit "$status"
}

# The simulated desktop's display list (MII_SIM_DISPLAYS) for a DISPLAYS reply on stdin: each
# display's size in points, its origin (the main one, first, is at the origin), its pixels per
# point and its id, so that the simulated agent lists the displays as the Mac did.
simulated_displays() {
  awk '{
    for (i = 3; i <= NF; i++) {
      split($i, d, /[:,]/)  # id x y w h pw ph
      entry = d[4] "x" d[5]
      if (i > 3) entry = entry "@" d[2] "," d[3]
      entry = entry "*" (d[4] > 0 ? sprintf("%.17g", d[6] / d[4]) : 1) "#" d[1]
      list = list (i > 3 ? "," : "") entry
    }
    print list
  }'
}

# The simulated layout (MII_SIM_LAYOUT) that types as the Mac's current one, by its input source
# id. ABC is the name newer macOS gives its U.S. layout in most regions, with the same keys: the
# simulated U.S. stands for it.
simulated_layout() {
  case "$1" in
    com.apple.keylayout.US | com.apple.keylayout.ABC) echo us ;;
    com.apple.keylayout.French) echo french ;;
    com.apple.keylayout.German) echo german ;;
    com.apple.keylayout.Dvorak) echo dvorak ;;
    com.apple.keylayout.DVORAK-QWERTYCMD) echo dvorak-qwerty-cmd ;;
    com.apple.keylayout.Russian) echo russian ;;
    *) return 1 ;;
  esac
}

# A program of the run failed: what it said, then exit 1.
failed() {
  echo "mac-conformance: $1"
  if [ -s "$2" ]; then tail -n 20 "$2"; fi
  if [ "${GITHUB_ACTIONS:-}" = true ]; then
    echo "::error title=Mac conformance failed::$1"
  fi
  exit 1
}

if [ "${1:-}" = --print-session ]; then
  session "${2:-1}"
  exit 0
fi
[ "$(uname -s)" = Darwin ] || not_run "not a Mac"

out=${MII_CONFORMANCE_DIR:-build/conformance}
jobs=$(getconf _NPROCESSORS_ONLN 2>/dev/null || echo 2)
mkdir -p "$out"
echo "mac-conformance: building build/ and build-simulated/ (log: $out/build.log)"
if ! {
  cmake -S . -B build -G Ninja &&
    cmake --build build -j "$jobs" &&
    cmake -S . -B build-simulated -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DMII_PLATFORM=simulated -DMII_BUILD_BENCHMARKS=OFF &&
    cmake --build build-simulated -j "$jobs" --target mac-input-injector
} >"$out/build.log" 2>&1; then
  tail -n 20 "$out/build.log"
  echo "mac-conformance: the build failed"
  exit 1
fi
agent=build/mac-input-injector
watch=build/src/watch/mac-input-watch
simulated=build-simulated/mac-input-injector
ready="READY: macOS CGEvent Input Injector Online"

# What the agent finds here: the permission (its banner), the main display, the cursor, every
# display and the keyboard layout.
reply=$(printf 'RESOLUTION\nGETPOS\nDISPLAYS\nLAYOUT\nQUIT\n' | "$agent" 2>"$out/preflight.err") ||
  failed "the agent failed answering RESOLUTION, GETPOS, DISPLAYS and LAYOUT (status $?)" \
    "$out/preflight.err"
banner=$(printf '%s\n' "$reply" | sed -n 1p)
[ "$banner" = "$ready" ] ||
  not_run "the agent has no Accessibility permission in this session (its banner: $banner)"
read -r _ width height _ <<<"$(printf '%s\n' "$reply" | grep '^SCREEN ' || true)"
read -r _ cursor_x cursor_y <<<"$(printf '%s\n' "$reply" | grep '^POS ' || true)"
if [ -z "${width:-}" ] || [ -z "${height:-}" ]; then
  not_run "the agent gave no RESOLUTION reply"
fi
displays=$(printf '%s\n' "$reply" | grep '^DISPLAYS ' || true)
read -r _ display_count main_display _ <<<"$displays"
[ "${display_count:-0}" != 0 ] || not_run "the agent lists no display (its reply: $displays)"
main_display=${main_display%%:*}
layout_reply=$(printf '%s\n' "$reply" | grep '^LAYOUT ' || true)
read -r _ layout input_method <<<"$layout_reply"
# An input method composes the keys into text of its own: what reaches the tap is not the keys.
[ -z "${input_method:-}" ] ||
  not_run "the Mac's keyboard input goes through an input method ($input_method): switch to ABC"
sim_layout=$(simulated_layout "${layout:-}") ||
  not_run "the Mac's keyboard layout (${layout:-none}) is not one the simulated desktop has:" \
    "switch to ABC"
macos=$(sw_vers -productVersion)
echo "mac-conformance: macOS $macos on $(uname -m), main display ${width}x${height} points," \
  "layout $layout"

# The watcher reads a FIFO that this script holds open: closing it is the watcher's end of input.
# The FIFO lives outside the output folder, whose files are uploaded: a reader of the folder would
# block opening it.
watch_pid=""
fifo_dir=$(mktemp -d)
fifo=$fifo_dir/watch-stdin
stop_watcher() {
  exec 3>&-
  if [ -n "$watch_pid" ]; then
    kill "$watch_pid" 2>/dev/null || true
    wait "$watch_pid" 2>/dev/null || true
    watch_pid=""
  fi
  rm -rf "$fifo_dir"
}
trap stop_watcher EXIT
rm -f "$out/watch-stdin" "$out/observed.jsonl" "$out/expected.jsonl" "$out/screen.png"
mkfifo "$fifo"
"$watch" --seconds 300 <"$fifo" >"$out/observed.jsonl" 2>"$out/watch.err" &
watch_pid=$!
exec 3>"$fifo"
for _ in $(seq 100); do
  grep -qx WATCHING "$out/watch.err" && break
  kill -0 "$watch_pid" 2>/dev/null || break
  sleep 0.1
done
if ! grep -qx WATCHING "$out/watch.err"; then
  # Status 3 is the watcher's own "cannot tap here"; anything else, or no word in 10 s, is a fault.
  watched=0
  if kill -0 "$watch_pid" 2>/dev/null; then
    watched=timeout
  else
    wait "$watch_pid" || watched=$?
  fi
  watch_pid=""
  stop_watcher
  [ "$watched" != 3 ] ||
    not_run "the watcher cannot tap events here ($(head -n 1 "$out/watch.err"))"
  failed "the watcher did not start watching (status $watched)" "$out/watch.err"
fi

# One line every 20 ms, as a host would send them.
if ! session "$main_display" | while IFS= read -r line; do
  printf '%s\n' "$line"
  sleep 0.02
done | "$agent" >"$out/agent.out" 2>"$out/agent.err"; then
  failed "the agent failed during the session" "$out/agent.err"
fi
# Its warnings (Secure Event Input on, for one) explain keys that went missing.
grep '^WARNING' "$out/agent.err" || true
sleep 1  # what is still on its way to the tap
screencapture -x "$out/screen.png" 2>/dev/null || echo "mac-conformance: no screenshot (screencapture failed)"
exec 3>&-
watched=0
wait "$watch_pid" || watched=$?
watch_pid=""
[ "$watched" -eq 0 ] || failed "the watcher ended with status $watched" "$out/watch.err"
[ "$(sed -n 1p "$out/agent.out")" = "$ready" ] ||
  not_run "the agent lost the Accessibility permission during the session ($(sed -n 1p "$out/agent.out"))"
grep -v -x WATCHING "$out/watch.err" || true

session "$main_display" | MII_SIM_TRACE="$out/expected.jsonl" \
  MII_SIM_DISPLAYS="$(simulated_displays <<<"$displays")" MII_SIM_LAYOUT="$sim_layout" \
  MII_SIM_CURSOR="${cursor_x:-0},${cursor_y:-0}" MII_SIM_MACOS="${macos%%.*}" \
  "$simulated" >"$out/simulated.raw" 2>"$out/simulated.err" ||
  failed "the simulated agent failed on the session" "$out/simulated.err"
# The simulated layout stands for the Mac's, whose name it may not have (ABC): the Mac's name is
# what the real agent must have answered.
awk -v mac="$layout_reply" '/^LAYOUT /{ $0 = mac } 1' "$out/simulated.raw" >"$out/simulated.out"
rm -f "$out/simulated.raw"

status=0
if ! cmp -s "$out/agent.out" "$out/simulated.out"; then
  echo "mac-conformance: the real agent's replies differ from the simulated agent's:"
  diff "$out/agent.out" "$out/simulated.out" || true
  status=1
fi
compared=0
python3 scripts/compare-traces.py --markdown "$out/comparison.md" \
  "$out/observed.jsonl" "$out/expected.jsonl" || compared=$?
if [ -n "${GITHUB_STEP_SUMMARY:-}" ] && [ -f "$out/comparison.md" ]; then
  {
    echo "### Mac conformance: macOS $macos, $(uname -m)"
    echo
    cat "$out/comparison.md"
  } >>"$GITHUB_STEP_SUMMARY"
fi
[ "$compared" -ne 2 ] || failed "the traces could not be read" /dev/null
[ "$compared" -eq 0 ] || status=1
if [ "$status" -eq 0 ]; then
  echo "mac-conformance: the Mac delivered what the agent posted"
fi
exit "$status"
