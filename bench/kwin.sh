#!/bin/bash
# vantrel under headless KWin 5.27 (its scripting, on the session bus): time
# from start to exit and peak memory with 10, 100 and 1,100 native windows
# open (more than a table of 1,024 would hold), for a title no window has (a
# full scan) and for the oldest window (found last).
#   bench/kwin.sh [ROUNDS]        (default 5; WLHELPER=PATH for another helper)
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-5}
cmake --preset linux >/dev/null
targets=(vantrel benchrun)
[ -n "${WLHELPER:-}" ] || targets+=(wlhelper)
cmake --build --preset linux -j2 --target "${targets[@]}" >/dev/null

. bench/lib.sh
dir=$build/bench-kwin
desktop "$dir" --kwin
kwin=(env -u DISPLAY XDG_RUNTIME_DIR="$dir/runtime" WAYLAND_DISPLAY="$(cat "$dir/wayland")"
      DBUS_SESSION_BUS_ADDRESS="$(cat "$dir/bus")")

# LOG FLAGS:TITLE...: windows that log close requests and stay.
kwindows() { windows "$1" "${kwin[@]}" "$wlhelper" 3600 "${@:2}"; }

time_run() { # NAME FRAGMENT: one benchrun line, "NAME MEDIAN_MS PEAK_RSS_KIB"
    "${kwin[@]}" "$build/bench/benchrun" time "$rounds" "$1" "$vantrel" "$2" 0 | tail -n1
}

echo "## vantrel under headless KWin: median of $rounds runs, start to exit; largest peak RSS"
echo
echo "| windows open | full scan | oldest window found | peak RSS |"
echo "|---|---|---|---|"
kwindows oldest.log "keep:Bench oldest"
open=1
for n in 10 100 1100; do
    kwindows "w$n.log" "keep,*$((n - open)):Bench window"
    open=$n
    # Each run must have searched KWin's list, all of it: nothing on
    # standard error, and the oldest window found.
    "${kwin[@]}" "$vantrel" "bench oldest" 0 >"$work/out" 2>"$work/err"
    if [ -s "$work/err" ] || ! grep -q '^Located target window: Bench oldest' "$work/out"; then
        echo "vantrel did not search KWin's $n windows:"
        cat "$work/out" "$work/err"
        exit 1
    fi
    read -r _ scan_ms scan_kib < <(time_run scan "no such window zq")
    read -r _ found_ms found_kib < <(time_run found "bench oldest")
    awk -v n="$n" -v s="$scan_ms" -v f="$found_ms" -v a="$scan_kib" -v b="$found_kib" \
        'BEGIN { printf "| %d | %s ms | %s ms | %.2f MiB |\n", n, s, f, (a > b ? a : b) / 1024 }'
done
echo
echo "Goal: at most 50 ms with 100 windows."
