#!/usr/bin/env bash
# Opens a measurement the way a user does, on the virtual X display given by
# xvfb-run: "&File" > "&Open...", the path typed into the file dialog, then
# "Density (KDE)" as colour and the contour overlay chosen in their combo
# boxes. Waits for each step on screen and keeps a screenshot of the result.
# Arguments: the tessary executable, the tessary-synth executable, the path
# of the screenshot to write.
set -u
exe="$1"
synth="$2"
shot="$3"
work=$(mktemp -d)
trap 'rm -rf "$work"; [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null' EXIT
export XDG_CONFIG_HOME="$work/config"    # settings of this run only
mkdir -p "$XDG_CONFIG_HOME"
fail() { echo "FAIL: $*"; [ -n "${win:-}" ] && import -window root "$shot" 2>/dev/null; exit 1; }

measurement="$work/blood cells.rtdc"    # a space, as user paths have
"$synth" "$measurement" --events 5000 >/dev/null || fail "could not write the measurement"

"$exe" >"$work/stdout" 2>"$work/stderr" &
pid=$!
win=""
for _ in $(seq 1 150); do
    win=$(xdotool search --onlyvisible --name '^Tessary - RT-DC Data Analysis$' 2>/dev/null | head -1)
    [ -n "$win" ] && break
    kill -0 "$pid" 2>/dev/null || fail "the program ended before its window appeared"
    sleep 0.1
done
[ -n "$win" ] || fail "no main window appeared"
eval "$(xdotool getwindowgeometry --shell "$win")"   # X, Y of the window
at() { xdotool mousemove $((X + $1)) $((Y + $2)) click 1; }
# Screen regions (window coordinates at 1400 x 900): the x-axis feature combo
# box. The density colouring is recognised wherever the plot stands, by the
# top colour of its colour map (the plot's place moves with the docks' widths).
region() { import -window root "$work/now.png" && convert "$work/now.png" -crop "$1" +repage -format "$2" info:; }
densitytop() {
    import -window root "$work/now.png" &&
    convert "$work/now.png" -crop "1400x900+$X+$Y" +repage -fuzz 3% -fill black +opaque "rgb(253,231,37)" \
        -fill white -opaque "rgb(253,231,37)" -format '%[fx:int(mean*w*h+0.5)]' info:
}
xcombo="110x20+$((X + 345))+$((Y + 132))"
empty_combo=$(region "$xcombo" '%#')

xdotool windowfocus --sync "$win" 2>/dev/null || xdotool windowfocus "$win"
xdotool key --window "$win" alt+f
sleep 0.3
xdotool key o
dialog=""
for _ in $(seq 1 50); do
    dialog=$(xdotool search --onlyvisible --name '^Open RT-DC File\(s\)$' 2>/dev/null | head -1)
    [ -n "$dialog" ] && break
    sleep 0.1
done
[ -n "$dialog" ] || fail "\"&File\" > \"&Open...\" showed no file dialog"
sleep 0.3
xdotool type --delay 5 "$measurement"
xdotool key Return

# Loaded: the feature combo boxes fill only once the preload has ended.
loaded=""
for _ in $(seq 1 100); do
    [ "$(region "$xcombo" '%#')" != "$empty_combo" ] && { loaded=1; break; }
    kill -0 "$pid" 2>/dev/null || fail "the program ended while opening the file"
    sleep 0.2
done
[ -n "$loaded" ] || fail "the dataset did not load"
xdotool search --onlyvisible --name '^Open RT-DC File\(s\)$' >/dev/null 2>&1 && fail "the file dialog stayed open"

at 466 202          # "Color by"
sleep 0.4
xdotool key Down Return                  # "Density (KDE)"
sleep 0.3
at 795 144          # "Contour Overlay"
sleep 0.4
xdotool key Down Return                  # "Overlay"

coloured=""
for _ in $(seq 1 50); do
    [ "$(densitytop)" -gt 20 ] && { coloured=1; break; }
    sleep 0.2
done
[ -n "$coloured" ] || fail "no density colour bar appeared"
sleep 0.5
import -window root "$shot" || fail "no screenshot"
echo "screenshot: $shot"

xdotool key --window "$win" ctrl+q
for _ in $(seq 1 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
kill -0 "$pid" 2>/dev/null && fail "the program did not close on Ctrl+Q"
wait "$pid"
code=$?
pid=""
[ "$code" -eq 0 ] || { cat "$work/stderr"; fail "exit code $code"; }
echo "PASS"
