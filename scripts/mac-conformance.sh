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
#   --print-session   prints the session and exits
# Output in ${MII_CONFORMANCE_DIR:-build/conformance}: observed.jsonl (the watcher's lines),
# expected.jsonl (the simulated agent's trace), comparison.md, screen.png, and the programs' output.
set -euo pipefail
cd "$(dirname "$0")/.."

# Absolute moves first, so that the cursor is known; modifiers, and Control+C going out as
# Command+C; text with a line break and non-ASCII; clicks, a double click, drags, the three
# buttons, both wheels. The right click's menu is closed with Escape. Presses give their click
# count, so that the count does not hang on how fast the lines come.
session() {
  cat <<'EOF'
MOVE 240 200
MOVE 260.5 210.25
MOVERATIO 0.25 0.25
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
  session
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

# What the agent finds here: the permission (its banner), the main display and the cursor.
reply=$(printf 'RESOLUTION\nGETPOS\nQUIT\n' | "$agent" 2>"$out/preflight.err") ||
  failed "the agent failed answering RESOLUTION and GETPOS (status $?)" "$out/preflight.err"
banner=$(printf '%s\n' "$reply" | sed -n 1p)
[ "$banner" = "$ready" ] ||
  not_run "the agent has no Accessibility permission in this session (its banner: $banner)"
read -r _ width height _ <<<"$(printf '%s\n' "$reply" | grep '^SCREEN ' || true)"
read -r _ cursor_x cursor_y <<<"$(printf '%s\n' "$reply" | grep '^POS ' || true)"
if [ -z "${width:-}" ] || [ -z "${height:-}" ]; then
  not_run "the agent gave no RESOLUTION reply"
fi
macos=$(sw_vers -productVersion)
echo "mac-conformance: macOS $macos on $(uname -m), main display ${width}x${height} points"

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
if ! session | while IFS= read -r line; do
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

session | MII_SIM_TRACE="$out/expected.jsonl" MII_SIM_DISPLAYS="${width}x${height}" \
  MII_SIM_CURSOR="${cursor_x:-0},${cursor_y:-0}" MII_SIM_MACOS="${macos%%.*}" \
  "$simulated" >"$out/simulated.out" 2>"$out/simulated.err" ||
  failed "the simulated agent failed on the session" "$out/simulated.err"

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
