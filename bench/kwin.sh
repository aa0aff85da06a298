#!/bin/bash
# vantrel under headless KWin 5.27 (its scripting, on the session bus): time
# from start to exit and peak memory with 10 and 100 native windows open, for
# a title no window has (a full scan) and for the oldest window (found last).
#   bench/kwin.sh [ROUNDS]        (default 5; WLHELPER=PATH for another helper)
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-5}
cmake --preset linux >/dev/null
targets=(vantrel benchrun)
[ -n "${WLHELPER:-}" ] || targets+=(wlhelper)
cmake --build --preset linux -j2 --target "${targets[@]}" >/dev/null

build=$PWD/build/linux
vantrel=$build/vantrel
wlhelper=${WLHELPER:-$build/tests/e2e/wayland/wlhelper}
desktop=$build/bench-kwin
work=$(mktemp -d)
pids=()
stop() {
    # Everything is stopped, whatever fails on the way.
    set +e
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    scripts/desktop-kwin down "$desktop" >/dev/null
    rm -rf "$work"
}
trap stop EXIT
scripts/desktop-kwin up "$desktop" >/dev/null
kwin=(env -u DISPLAY XDG_RUNTIME_DIR="$desktop/runtime" WAYLAND_DISPLAY="$(cat "$desktop/wayland")"
      DBUS_SESSION_BUS_ADDRESS="$(cat "$desktop/bus")")

# LOG FLAGS:TITLE...: windows that log close requests and stay.
windows() {
    "${kwin[@]}" "$wlhelper" 3600 "${@:2}" </dev/null >"$work/$1" 2>&1 &
    local pid=$!
    pids+=("$pid")
    until grep -q '^ready' "$work/$1"; do
        kill -0 "$pid" 2>/dev/null || { echo "helper failed:"; cat "$work/$1"; exit 1; }
        sleep 0.1
    done
}

time_run() { # NAME FRAGMENT: one benchrun line, "NAME MEDIAN_MS PEAK_RSS_KIB"
    "${kwin[@]}" "$build/bench/benchrun" time "$rounds" "$1" "$vantrel" "$2" 0 | tail -n1
}

echo "## vantrel under headless KWin: median of $rounds runs, start to exit; largest peak RSS"
echo
echo "| windows open | full scan | oldest window found | peak RSS |"
echo "|---|---|---|---|"
windows oldest.log "keep:Bench oldest"
open=1
for n in 10 100; do
    windows "w$n.log" "keep,*$((n - open)):Bench window"
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
