#!/bin/bash
# vantrel against wmctrl and xdotool on Xvfb under openbox: full-scan time
# and peak memory with 100, 1,000 and 2,000 windows open, an early match, the
# bottom-most of 2,001 windows, and how punctual and quiet a one-minute wait is.
#   bench/x11.sh [ROUNDS]        (default 5 rounds: xdotool takes ~20 s a scan
#                                 at 2,000 windows; the wait adds one minute)
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-5}
scripts/install-deps bench
cmake --preset linux >/dev/null
cmake --build --preset linux -j"$(nproc)" --target vantrel xhelper benchrun >/dev/null

. bench/lib.sh
desktop "$build/bench-desktop" --wm openbox
DISPLAY=":$(head -n1 "$build/bench-desktop/display")"
export DISPLAY

xwindows() { windows "$1" "$xhelper" 3600 "${@:2}"; } # LOG FLAGS:TITLE...: windows that stay

scan() { # label, then each program scanning for a title no window has
    echo "### $1"
    # xdotool takes seconds a scan and keeps the server busy: it is timed on
    # its own, after vantrel and wmctrl have taken turns four times as often.
    "$build/bench/benchrun" time "$((rounds * 4))" \
        vantrel "$vantrel" "no such window zq" 0 -- \
        wmctrl wmctrl -c "no such window zq"
    "$build/bench/benchrun" time "$rounds" xdotool xdotool search --name "no such window zq" | tail -n1
    echo
}

echo "## Start-up: no windows open, and a match with one window open"
xwindows solo.log "keep:Solo Target"
"$build/bench/benchrun" time "$rounds" \
    vantrel "$vantrel" "no such window zq" 0 -- \
    "vantrel 1" "$vantrel" "solo target" 0
echo

xwindows bottom.log "keep:Bottom Target"
open=2
for n in 100 1000 2000; do
    xwindows "w$n.log" "keep,*$((n - open)):Bench window"
    open=$n
    scan "Full scan, $n windows open"
done

xwindows top.log "keep:Top Target"
sleep 5 # let openbox finish its work on 2,000 new windows
echo "## Early match: the topmost of 2,001 windows"
"$build/bench/benchrun" time "$rounds" vantrel "$vantrel" "top target" 0
echo
echo "## Found among 2,001 windows (1 = found)"
echo "| window | vantrel | wmctrl -l |"
echo "|---|---|---|"
for t in "Bottom Target" "Top Target"; do
    echo "| $t | $("$vantrel" "$t" 0 | grep -c "Located target window: $t") | $(wmctrl -l | grep -c "$t") |"
done
echo

xwindows late.log ":Late Target"
echo "## One-minute wait"
"$build/bench/benchrun" watch "Sending WM_CLOSE" "$vantrel" "late target" 1 >"$work/watch"
announced=$(sed -n 's/^line_ns=\([0-9]*\).*/\1/p' "$work/watch")
closed=$(awk '$1 == "close" { print $3 }' "$work/late.log")
echo "- close request after the deadline: $(((closed - announced - 60000000000) / 1000)) us"
echo "- $(grep '^line_ns' "$work/watch" | cut -d' ' -f2-)"
