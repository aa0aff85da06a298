#!/bin/bash
# vantrel under headless GNOME Shell 43 (vantrel's extension, on the session
# bus): time from start to exit and peak memory with 1 and 100 native
# windows open, for a title no window has (a full scan) and for the oldest
# window (found last).
#   bench/gnome.sh [ROUNDS]        (default 5)
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-5}
scripts/install-deps
cmake --preset linux >/dev/null
cmake --build --preset linux -j2 --target vantrel manpage benchrun wlhelper >/dev/null

. bench/lib.sh
dir=$build/bench-gnome
desktop "$dir" --gnome
gnome=(env -u DISPLAY XDG_RUNTIME_DIR="$dir/runtime" WAYLAND_DISPLAY="$(cat "$dir/wayland")"
       DBUS_SESSION_BUS_ADDRESS="$(cat "$dir/bus")")

time_run() { # NAME FRAGMENT: one benchrun line, "NAME MEDIAN_MS PEAK_RSS_KIB"
    "${gnome[@]}" setsid "$build/bench/benchrun" time "$rounds" "$1" "$vantrel" "$2" 0 | tail -n1
}

echo "## vantrel under headless GNOME Shell: median of $rounds runs, start to exit; largest peak RSS"
echo
echo "| windows open | full scan | oldest window found | peak RSS |"
echo "|---|---|---|---|"
windows oldest.log "${gnome[@]}" "$wlhelper" 3600 "keep:Bench oldest"
open=1
for n in 1 100; do
    [ "$n" -gt "$open" ] && windows "w$n.log" "${gnome[@]}" "$wlhelper" 3600 "keep,*$((n - open)):Bench window"
    open=$n
    # Each run must have searched GNOME's list: nothing on standard error,
    # and the oldest window found.
    "${gnome[@]}" "$vantrel" "bench oldest" 0 >"$work/out" 2>"$work/err"
    if [ -s "$work/err" ] || ! grep -q '^Located target window: Bench oldest' "$work/out"; then
        echo "vantrel did not search GNOME's $n windows:"
        cat "$work/out" "$work/err"
        exit 1
    fi
    read -r _ scan_ms scan_kib < <(time_run scan "no such window zq")
    read -r _ found_ms found_kib < <(time_run found "bench oldest")
    awk -v n="$n" -v s="$scan_ms" -v f="$found_ms" -v a="$scan_kib" -v b="$found_kib" \
        'BEGIN { printf "| %d | %s ms | %s ms | %.2f MiB |\n", n, s, f, (a > b ? a : b) / 1024 }'
done
echo
echo "Goal: at most 20 ms with 100 windows."
