#!/bin/bash
# vantrel on a desktop that it asks over the session bus: headless KWin 5.27
# (its scripting) or GNOME Shell 43 (vantrel's extension), or from the test
# bed of Debian sid KWin 6.7 (kwin-6) or GNOME Shell 51 (gnome-51). Time from start to
# exit and peak memory with more and more native windows open (KWin: up to
# 1,100, more than a table of 1,024 would hold), for a title no window has
# (a full scan) and for the oldest window (found last).
#   bench/bus.sh kwin|gnome|kwin-6|gnome-51 [ROUNDS]        (default 5)
set -euo pipefail
cd "$(dirname "$0")/.."
kind=${1:?usage: bench/bus.sh kwin|gnome|kwin-6|gnome-51 [ROUNDS]} rounds=${2:-5}
case $kind in
    kwin) name="KWin 5.27" counts=(10 100 1100) goal=50 option=(--kwin) ;;
    gnome) name="GNOME Shell 43" counts=(1 100) goal=20 option=(--gnome) ;;
    kwin-6) name="KWin 6.7" counts=(10 100 1100) goal=50 option=(--sid kwin6) ;;
    gnome-51) name="GNOME Shell 51" counts=(1 100) goal=20 option=(--sid gnome51) ;;
    *) echo "usage: bench/bus.sh kwin|gnome|kwin-6|gnome-51 [ROUNDS]"; exit 2 ;;
esac
scripts/install-deps
cmake --preset linux >/dev/null
cmake --build --preset linux -j2 --target vantrel manpage benchrun wlhelper >/dev/null

. bench/lib.sh
dir=$build/bench-$kind
desktop "$dir" "${option[@]}"
on=(env -u DISPLAY XDG_RUNTIME_DIR="$dir/runtime" WAYLAND_DISPLAY="$(cat "$dir/wayland")"
    DBUS_SESSION_BUS_ADDRESS="$(cat "$dir/bus")")

time_run() { # NAME FRAGMENT: one benchrun line, "NAME MEDIAN_MS PEAK_RSS_KIB"
    "${on[@]}" setsid "$build/bench/benchrun" time "$rounds" "$1" "$vantrel" "$2" 0 | tail -n1
}

echo "## vantrel under headless $name: median of $rounds runs, start to exit; largest peak RSS"
echo
echo "| windows open | full scan | oldest window found | peak RSS |"
echo "|---|---|---|---|"
# Windows that log close requests and stay.
windows oldest.log "${on[@]}" "$wlhelper" 3600 "keep:Bench oldest"
open=1
for n in "${counts[@]}"; do
    [ "$n" -gt "$open" ] && windows "w$n.log" "${on[@]}" "$wlhelper" 3600 "keep,*$((n - open)):Bench window"
    open=$n
    # Each run must have searched the whole list: nothing on standard
    # error, and the oldest window found.
    "${on[@]}" setsid "$vantrel" "bench oldest" 0 >"$work/out" 2>"$work/err"
    if [ -s "$work/err" ] || ! grep -q '^Located target window: Bench oldest' "$work/out"; then
        echo "vantrel did not search the $n windows of $name:"
        cat "$work/out" "$work/err"
        exit 1
    fi
    read -r _ scan_ms scan_kib < <(time_run scan "no such window zq")
    read -r _ found_ms found_kib < <(time_run found "bench oldest")
    awk -v n="$n" -v s="$scan_ms" -v f="$found_ms" -v a="$scan_kib" -v b="$found_kib" \
        'BEGIN { printf "| %d | %s ms | %s ms | %.2f MiB |\n", n, s, f, (a > b ? a : b) / 1024 }'
done
echo
echo "Goal: at most $goal ms with 100 windows."
