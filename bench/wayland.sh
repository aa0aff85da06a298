#!/bin/bash
# vantrel on Wayland beside vantrel on X11: full-scan time (start to exit,
# for a title no window has) and peak memory with 1, 100 and 500 windows
# open, on headless sway (the window list of wlroots' foreign-toplevel
# protocol), or labwc from the test bed of Debian sid, and on Xvfb under
# openbox.
#   bench/wayland.sh [ROUNDS] [sway|labwc]        (default 5, sway)
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-5} compositor=${2:-sway}
scripts/install-deps
cmake --preset linux >/dev/null
cmake --build --preset linux -j2 --target vantrel xhelper wlhelper benchrun >/dev/null

. bench/lib.sh
sway=$build/bench-$compositor
xorg=$build/bench-x11
if [ "$compositor" = labwc ]; then desktop "$sway" --sid labwc; else desktop "$sway" --sway; fi
desktop "$xorg" --wm openbox
wayland=(env -u DISPLAY XDG_RUNTIME_DIR="$sway/runtime" WAYLAND_DISPLAY="$(cat "$sway/wayland")")
x11=(env -u WAYLAND_DISPLAY -u XDG_RUNTIME_DIR DISPLAY=":$(cat "$xorg/display")")

# LOG FLAGS:TITLE...: windows that log close requests and stay. sway's
# windows belong to its own user, as on a real desktop.
wl_windows() {
    windows "$1" setpriv --reuid=65534 --regid=65534 --clear-groups "${wayland[@]}" "$wlhelper" 3600 "${@:2}"
}
x_windows() { windows "$1" "${x11[@]}" "$xhelper" 3600 "${@:2}"; }

scan() { # NAME ENV...: one benchrun line, "NAME MEDIAN_MS PEAK_RSS_KIB"
    "${@:2}" "$build/bench/benchrun" time "$rounds" "$1" "$vantrel" "no such window zq" 0 | tail -n1
}

# Each run must have searched its desktop: on Wayland, nothing on stderr.
"${wayland[@]}" "$vantrel" "no such window zq" 0 >/dev/null 2>"$work/err"
[ ! -s "$work/err" ] || { echo "vantrel did not search $compositor:"; cat "$work/err"; exit 1; }

echo "## Full scan: median of $rounds runs, start to exit; largest peak RSS"
echo
echo "| windows open | Wayland ($compositor) | X11 (Xvfb + openbox) | peak RSS Wayland | peak RSS X11 |"
echo "|---|---|---|---|---|"
open=0
for n in 1 100 500; do
    wl_windows "wl$n.log" "keep,*$((n - open)):Bench window"
    x_windows "x$n.log" "keep,*$((n - open)):Bench window"
    open=$n
    # What the compositor announced to a client of its window list.
    listed_wl=$("${wayland[@]}" WAYLAND_DEBUG=1 "$vantrel" "no such window zq" 0 2>&1 | grep -c 'title("Bench window")')
    listed_x=$("${x11[@]}" xprop -root _NET_CLIENT_LIST | tr ',' '\n' | grep -c 0x)
    if [ "$listed_wl" -ne "$n" ] || [ "$listed_x" -ne "$n" ]; then
        echo "windows listed: $listed_wl by $compositor, $listed_x by openbox, not $n"; exit 1
    fi
    read -r _ wl_ms wl_kib < <(scan wayland "${wayland[@]}")
    read -r _ x_ms x_kib < <(scan x11 "${x11[@]}")
    awk -v n="$n" -v wm="$wl_ms" -v xm="$x_ms" -v wk="$wl_kib" -v xk="$x_kib" \
        'BEGIN { printf "| %d | %s ms | %s ms | %.2f MiB | %.2f MiB |\n", n, wm, xm, wk / 1024, xk / 1024 }'
done
echo
echo "Goals on Wayland: at most 5 ms with 100 windows, peak RSS at most 2.5 MiB."
