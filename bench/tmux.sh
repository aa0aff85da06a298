#!/bin/bash
# How long tmux (set-titles on) takes to pass a pane's new name on to the
# terminal window attached to the session: on Xvfb under openbox, an xterm
# attached to a session started detached. In the pane a script names it
# ROUNDS times (half of them just after 2,000 lines of output) and notes the
# time; xprop -spy notes when the xterm window's title shows the name.
#   bench/tmux.sh [ROUNDS]        (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-60}
scripts/install-deps
cmake --preset linux >/dev/null
cmake --build --preset linux -j2 --target benchrun >/dev/null

. bench/lib.sh
desktop "$build/bench-tmux" --wm openbox
export DISPLAY=":$(cat "$build/bench-tmux/display")"
tmux=(tmux -L "vantrel-bench-$$" -f /dev/null)

# Monotonic nanoseconds, the same clock on both sides.
cat >"$work/pane.py" <<'EOF'
import sys, time
rounds, log = int(sys.argv[1]), open(sys.argv[2], "w")
time.sleep(2)
for i in range(rounds):
    if i % 2:
        sys.stdout.write("".join("output line %d\n" % n for n in range(2000)))
    sys.stdout.write("\033]0;mark %d\a" % i)
    sys.stdout.flush()
    log.write("%d %d\n" % (i, time.monotonic_ns()))
    log.flush()
    time.sleep(0.3)
time.sleep(1)
EOF
cat >"$work/watch.py" <<'EOF'
import subprocess, sys, time
spy = subprocess.Popen(["xprop", "-spy", "-id", sys.argv[1], "_NET_WM_NAME"], stdout=subprocess.PIPE, text=True)
with open(sys.argv[2], "w") as log:
    for line in spy.stdout:
        log.write("%d %s" % (time.monotonic_ns(), line))
        log.flush()
EOF
"${tmux[@]}" new-session -d -s bench python3 "$work/pane.py" "$rounds" "$work/written" \; set-option -g set-titles on
trap '"${tmux[@]}" kill-server 2>/dev/null; stop' EXIT
xterm -e "${tmux[@]}" attach </dev/null >/dev/null 2>&1 &
pids+=($!)
until window=$(xdotool search --limit 1 --class xterm 2>/dev/null); do sleep 0.1; done
python3 "$work/watch.py" "$window" "$work/shown" &
pids+=($!)
while "${tmux[@]}" has-session -t bench 2>/dev/null; do sleep 0.5; done

# The first time the window's title showed each name, less the time it was written.
awk 'NR == FNR { written[$1] = $2; next }
     match($0, /"[^"]*mark [0-9]+/) {
         n = substr($0, RSTART, RLENGTH); sub(/.*mark /, "", n)
         if (!(n in seen)) { seen[n] = 1; printf "%d %.3f\n", n, ($1 - written[n]) / 1e6 }
     }' "$work/written" "$work/shown" >"$work/delays"
summary() { # LABEL: median and largest of the delays given on standard input
    sort -n | awk -v label="$1" '{ d[NR] = $1 } END {
        if (NR == 0) { print "| " label " | none shown | |"; exit }
        printf "| %s | %d | %.2f ms | %.2f ms |\n", label, NR, d[int((NR + 1) / 2)], d[NR] }'
}
echo "## tmux $("${tmux[@]}" -V | cut -d' ' -f2): a pane's name in the attached xterm window"
echo
echo "| names | shown | median | largest |"
echo "|---|---|---|---|"
awk '$1 % 2 == 0 { print $2 }' "$work/delays" | summary "after a quiet pane"
awk '$1 % 2 == 1 { print $2 }' "$work/delays" | summary "after 2,000 lines of output"
echo
echo "Names written: $rounds; over 250 ms: $(awk '$2 > 250' "$work/delays" | wc -l); never shown: $((rounds - $(wc -l <"$work/delays")))"
