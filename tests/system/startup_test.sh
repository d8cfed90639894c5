#!/usr/bin/env bash
# Starts the real executable on the virtual X display given by xvfb-run, waits
# for the main window, checks its size and the session log beside the
# executable, closes the window with Ctrl+Q and expects a clean exit.
set -u
exe="$1"
exe_dir=$(cd "$(dirname "$exe")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"; [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null' EXIT
export XDG_CONFIG_HOME="$work/config"    # settings of this run only
mkdir -p "$XDG_CONFIG_HOME"
fail() { echo "FAIL: $*"; exit 1; }

before=$(ls "$exe_dir"/Tessary_log_*.txt 2>/dev/null | wc -l)
"$exe" >"$work/stdout" 2>"$work/stderr" &
pid=$!

# The splash screen comes first, alone, for about 1.5 s.
splash=""
for _ in $(seq 1 200); do
    splash=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -1)
    [ -n "$splash" ] && break
    kill -0 "$pid" 2>/dev/null || fail "the program ended before anything appeared"
    sleep 0.05
done
[ -n "$splash" ] || fail "no splash screen appeared"
splash_ms=$(date +%s%3N)
xdotool search --onlyvisible --name '^Tessary - RT-DC Data Analysis$' >/dev/null 2>&1 \
    && fail "the main window was shown together with the splash screen"

win=""
for _ in $(seq 1 100); do
    win=$(xdotool search --onlyvisible --name '^Tessary - RT-DC Data Analysis$' 2>/dev/null | head -1)
    [ -n "$win" ] && break
    kill -0 "$pid" 2>/dev/null || fail "the program ended before its window appeared"
    sleep 0.1
done
[ -n "$win" ] || fail "no window titled 'Tessary - RT-DC Data Analysis' appeared"
shown_ms=$(( $(date +%s%3N) - splash_ms ))
echo "main window shown ${shown_ms} ms after the splash screen"
[ "$shown_ms" -ge 700 ] || fail "the main window came ${shown_ms} ms after the splash, expected about 1500"
xdotool search --onlyvisible --pid "$pid" 2>/dev/null | grep -qx "$splash" && fail "the splash screen is still shown"

geometry=$(xdotool getwindowgeometry "$win" | sed -n 's/.*Geometry: //p')
[ "$geometry" = "1400x900" ] || fail "window is $geometry, expected 1400x900"

log=$(ls -t "$exe_dir"/Tessary_log_*.txt 2>/dev/null | head -1)
[ -n "$log" ] || fail "no session log beside the executable in $exe_dir"
grep -q '\[INFO \] Tessary session started ' "$log" || fail "the session log $log lacks its first line"
after=$(ls "$exe_dir"/Tessary_log_*.txt | wc -l)
[ "$after" -le 11 ] || fail "more than 11 session logs remain (there were $before before this run)"

xdotool windowfocus --sync "$win" 2>/dev/null || xdotool windowfocus "$win"
xdotool key --window "$win" ctrl+q
for _ in $(seq 1 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
    fail "the program did not close on Ctrl+Q"
fi
wait "$pid"
code=$?
pid=""
[ "$code" -eq 0 ] || { cat "$work/stderr"; fail "exit code $code"; }
grep -q '\[FATAL\]' "$log" && fail "fatal message in the session log"
echo "PASS"
