#!/bin/bash
# vantrel on Wayland beside vantrel on X11: full-scan time (start to exit,
# for a title no window has) and peak memory with 1, 100 and 1,000 windows
# open. On headless sway both ways the tool can list them, in the same run:
# sway's own IPC (GET_TREE) and the window list of wlroots' foreign-toplevel
# protocol; or labwc from the test bed of Debian sid (its window list); and
# Xvfb under openbox. The commands run in turn, round after round.
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
wayland=(env -u DISPLAY -u SWAYSOCK XDG_RUNTIME_DIR="$sway/runtime" WAYLAND_DISPLAY="$(cat "$sway/wayland")")
ipc=("${wayland[@]}" SWAYSOCK="$(cat "$sway/swaysock" 2>/dev/null)")
x11=(env -u WAYLAND_DISPLAY -u XDG_RUNTIME_DIR DISPLAY=":$(cat "$xorg/display")")

# LOG FLAGS:TITLE...: windows that log close requests and stay. sway's
# windows belong to its own user, as on a real desktop.
wl_windows() {
    windows "$1" setpriv --reuid=65534 --regid=65534 --clear-groups "${wayland[@]}" "$wlhelper" 3600 "${@:2}"
}
x_windows() { windows "$1" "${x11[@]}" "$xhelper" 3600 "${@:2}"; }

scan=("$vantrel" "no such window zq" 0)
ways=(wayland "${wayland[@]}" "${scan[@]}" -- x11 "${x11[@]}" "${scan[@]}")
[ "$compositor" = sway ] && ways=(ipc "${ipc[@]}" "${scan[@]}" -- "${ways[@]}")

# Each run must have searched its desktop the way it was meant to: nothing
# on standard error, and through the IPC no Wayland connection at all.
"${wayland[@]}" "${scan[@]}" >/dev/null 2>"$work/err"
[ ! -s "$work/err" ] || { echo "vantrel did not search $compositor:"; cat "$work/err"; exit 1; }
if [ "$compositor" = sway ] && "${ipc[@]}" WAYLAND_DEBUG=1 "${scan[@]}" 2>&1 >/dev/null | grep -q .; then
    echo "vantrel did not search through sway's IPC"; exit 1
fi

echo "## Start-up: median of $rounds runs"
echo
"$build/bench/benchrun" time "$rounds" true /bin/true -- vantrel "$vantrel" | tail -n2 |
    awk '{ printf "- %s: %s ms, peak RSS %.2f MiB\n", $1, $2, $3 / 1024 }'
echo
echo "## Full scan: median of $rounds runs, start to exit; largest peak RSS"
echo
heads=("Wayland list ($compositor)" "X11 (Xvfb + openbox)")
[ "$compositor" = sway ] && heads=("sway's IPC" "${heads[@]}")
printf '| windows open |'; printf ' %s |' "${heads[@]}"; printf ' peak RSS: %s |' "${heads[@]}"; echo
printf '|---|'; printf -- '---|---|%.0s' "${heads[@]}"; echo
open=0
for n in 1 100 1000; do
    wl_windows "wl$n.log" "keep,*$((n - open)):Bench window"
    x_windows "x$n.log" "keep,*$((n - open)):Bench window"
    open=$n
    # What the compositor announced to a client of its window list.
    listed_wl=$("${wayland[@]}" WAYLAND_DEBUG=1 "${scan[@]}" 2>&1 | grep -c 'title("Bench window")')
    listed_x=$("${x11[@]}" xprop -root _NET_CLIENT_LIST | tr ',' '\n' | grep -c 0x)
    if [ "$listed_wl" -ne "$n" ] || [ "$listed_x" -ne "$n" ]; then
        echo "windows listed: $listed_wl by $compositor, $listed_x by openbox, not $n"; exit 1
    fi
    "$build/bench/benchrun" time "$rounds" "${ways[@]}" | tail -n +2 >"$work/times"
    awk -v n="$n" '{ ms[NR] = $2; kib[NR] = $3 } END {
        printf "| %d |", n; for (i = 1; i <= NR; i++) printf " %s ms |", ms[i]
        for (i = 1; i <= NR; i++) printf " %.2f MiB |", kib[i] / 1024; print "" }' "$work/times"
done
echo
echo "Goals with 100 windows: at most 5 ms and 2.5 MiB through sway's IPC and the Wayland list."
