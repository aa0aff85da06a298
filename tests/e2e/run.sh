#!/bin/bash
# Runs one row of cases.txt on one window system, against real windows that
# the system's helper opens; or lists the rows that apply to a system.
#   run.sh SYSTEM CASE        run.sh --list SYSTEM
# From CTest: DESKTOP (what scripts/desktop started), VANTREL, HELPER (the
# system's window helper), XHELPER (X11 windows on Wayland), SCRATCH, and
# for Windows WINE_RUN and VANTREL_BUILD.
set -u
export LC_ALL=C
table=$(dirname "$0")/cases.txt

trim() { local s=${1#"${1%%[![:space:]]*}"}; printf '%s' "${s%"${s##*[![:space:]]}"}"; }

applies() { # ON SYSTEM: whether a row's systems include this one
    local word named=0 listed=0
    for word in $1; do
        case $word in
            '!'*) [[ $2 == "${word#!}" || $2 == "${word#!}"-* ]] && return 1 ;;
            all) [ "$2" != weston ] && named=1; listed=1 ;;
            *) listed=1; [[ $2 == "$word" || $2 == "$word"-* ]] && named=1 ;;
        esac
    done
    [ $named -eq 1 ] || { [ $listed -eq 0 ] && [ "$2" != weston ]; }
}

rows() { # prints NAME|ON|WINDOWS|ARGUMENTS|EXPECT|CHECKS|STDERR for each row
    grep -v -E '^[[:space:]]*(#|$)' "$table"
}

if [ "$1" = --list ]; then
    while IFS='|' read -r name on _; do
        applies "$(trim "$on")" "$2" && trim "$name" && echo
    done < <(rows)
    exit 0
fi

system=$1
while IFS='|' read -r name on windows args expect checks experr; do
    [ "$(trim "$name")" = "$2" ] && applies "$(trim "$on")" "$system" && break
    name=
done < <(rows)
[ -n "$name" ] || { echo "no case $2 for $system"; exit 2; }
windows=$(trim "$windows") expect=$(trim "$expect") checks=" $(trim "$checks") " experr=$(trim "$experr")
has() { [[ $checks == *" $1 "* ]]; }
option() { [[ $checks =~ \ $1=([^ ]*)\  ]] && printf '%s' "${BASH_REMATCH[1]}"; }

work=$(mktemp -d "${SCRATCH:?}/e2e.XXXXXX")
chmod 777 "$work"
pids=()
failures=0
cleanup() {
    for pid in "${pids[@]}"; do kill -9 "$pid" 2>/dev/null; done
    wait 2>/dev/null
    [ "$failures" -eq 0 ] && rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# --- The window systems ---
user=() handles=known NL=$'\n' tool=("$VANTREL") program=$VANTREL
helper_for() { echo "$HELPER"; }
case $system in
    windows)
        NL=$'\r\n'
        helper_for() { echo "$WINE_RUN $HELPER"; }
        tool=("$WINE_RUN" "$VANTREL")
        program=$("$WINE_RUN" winepath -w "$VANTREL" 2>/dev/null | tr -d '\r')
        ;;
    x11-*)
        export DISPLAY=":$(head -n1 "$DESKTOP/display")"
        unset WAYLAND_DISPLAY XDG_RUNTIME_DIR DBUS_SESSION_BUS_ADDRESS
        ;;
    sway | weston | kwin)
        export XDG_RUNTIME_DIR=$DESKTOP/runtime WAYLAND_DISPLAY=$(cat "$DESKTOP/wayland")
        unset DISPLAY DBUS_SESSION_BUS_ADDRESS
        xdisplay=:$(head -n1 "$DESKTOP/display")
        helper_for() { [[ $1 == *xwayland* ]] && echo "env DISPLAY=$xdisplay $XHELPER" || echo "$HELPER"; }
        handles=unknown
        if [ "$system" = kwin ]; then
            export DBUS_SESSION_BUS_ADDRESS=$(cat "$DESKTOP/bus")
            focus() { "$(dirname "$0")/kwin/activate" "$1"; }
            handles=xwayland # known for X11 windows only
        else
            focus() { swaymsg -q -s "$(cat "$DESKTOP/swaysock")" "[title=\"^$1\$\"] focus"; }
            # The compositor and its XWayland serve only their own user.
            user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
            tool=("${user[@]}" "$VANTREL")
        fi
        # A bus of its own, run by an unprivileged user: as root its daemon
        # complains of the file limit on standard error.
        if [ -n "$(option stand-in)" ]; then
            install -d -o 65534 -g 65534 "$work/runtime"
            tool=(env XDG_RUNTIME_DIR="$work/runtime" setpriv --reuid=65534 --regid=65534 --clear-groups
                dbus-run-session -- "$(dirname "$0")/kwin/silentkwin.py" "$(option stand-in)" "$VANTREL")
        fi
        ;;
esac
at() { local t=${1//@display/${xdisplay:-}}; printf '%s' "${t//@wayland/${WAYLAND_DISPLAY:-}}"; }
if [ -n "$(option env)" ]; then
    export "$(at "$(option env)")"
fi
experr=$(at "$experr")

# --- The windows of the row ---
expand() { # TEXT: bytes, with {TEXT*N} repeated and backslash escapes read
    local s=$1 rep i
    while [[ $s =~ \{([^{}*]*)\*([0-9]+)\} ]]; do
        rep=
        for ((i = 0; i < BASH_REMATCH[2]; i++)); do rep+=${BASH_REMATCH[1]}; done
        s=${s/"${BASH_REMATCH[0]}"/$rep}
    done
    printf '%b' "$s"
}

described=() titles=() logs=() ids=()
if [ -n "$windows" ]; then
    IFS=';' read -ra parts <<<"$windows"
    for part in "${parts[@]}"; do
        part=$(trim "$part")
        described+=("$(expand "$part")")
        titles+=("$(expand "${part#*:}")")
    done
fi

# open_windows LOG: opens the row's windows, oldest first, each by its
# system's helper, and waits until each is up.
open_windows() {
    local i
    for i in "${!described[@]}"; do
        logs[$i]=$work/$1.$i
        # shellcheck disable=SC2046
        "${user[@]}" $(helper_for "${described[$i]%%:*}") 150 "${described[$i]}" </dev/null >"${logs[$i]}" 2>&1 &
        pids+=($!)
        wait_for '^ready' "${logs[$i]}" || { echo "helper did not come up:"; cat "${logs[$i]}"; exit 1; }
        ids[$i]=$(sed -n 's/^window \([0-9A-F]*\) .*/\1/p' "${logs[$i]}")
    done
}

wait_for() { # PATTERN FILE: true once a line of FILE matches, within 30 s
    for _ in $(seq 300); do
        grep -q -a "$1" "$2" 2>/dev/null && return 0
        sleep 0.1
    done
    return 1
}

closes() { grep -c -a -E "^close $2( |"$'\r'"?\$)" "$1"; } # LOG ID

# --- Run ---
[ ${#described[@]} -gt 0 ] && open_windows first
[ -n "$(option focus)" ] && { focus "${titles[$(($(option focus) - 1))]}" || fail "could not focus"; }
eval "arguments=($args)"
out=$work/out err=$work/err
run() { timeout 120 "$@"; status=$?; }
if has tty; then
    printf -v quoted '%q ' "${tool[@]}" "${arguments[@]}"
    run script -qfec "$quoted" /dev/null </dev/null >"$out.tty" 2>"$err"
    tr -d '\r' <"$out.tty" >"$out"
elif has stdout-closed; then
    run "${tool[@]}" "${arguments[@]}" </dev/null >&- 2>"$err"
    : >"$out"
elif has in-xterm; then # typed into a terminal whose shell shows the running command in its title
    printf -v quoted '%q ' "${tool[@]}" "${arguments[@]}"
    cat >"$work/term.sh" <<SCRIPT
trap 'printf "\\033]0;%s\\007" "\$BASH_COMMAND" >/dev/tty; sleep 0.5' DEBUG
$quoted >"$out" 2>"$err"
echo \$? >"$work/status"
exec sleep 60
SCRIPT
    xterm -e bash "$work/term.sh" &
    xterm=$!
    pids+=($xterm)
    wait_for . "$work/status" || fail "the tool did not end in the terminal"
    status=$(cat "$work/status")
    kill -0 "$xterm" 2>/dev/null || fail "the terminal was closed"
elif [[ $expect == waiting* || -n "$(option during)" ]]; then
    "${tool[@]}" "${arguments[@]}" </dev/null >"$out" 2>"$err" &
    toolpid=$!
    pids+=($toolpid)
    wait_for 'Sending WM_CLOSE' "$out" || fail "no announcement"
    if [[ $expect == waiting* ]]; then
        sleep 0.5
        kill -0 "$toolpid" 2>/dev/null || fail "the tool is no longer waiting"
        kill -9 "$toolpid"
        status=0
    else # reopen: the windows go, and the same windows come anew
        firstids=("${ids[@]}") firstlogs=("${logs[@]}")
        for pid in "${pids[@]}"; do [ "$pid" != "$toolpid" ] && kill -9 "$pid" 2>/dev/null; done
        sleep 0.5
        open_windows second
        has same-id && [ "${ids[0]}" != "${firstids[0]}" ] && fail "set-up: the new window got ${ids[0]}, not ${firstids[0]}"
        wait "$toolpid"
        status=$?
    fi
else
    run "${tool[@]}" "${arguments[@]}" </dev/null >"$out" 2>"$err"
fi

# --- Check ---
[ "$status" -eq 124 ] && fail "the tool did not end"
[ "$status" -eq 0 ] || fail "exit status $status"

read -r kind target <<<"$expect"
banner="vantrel 1.0${NL}Asks a window to close after a delay.${NL}${NL}"
case $kind in
    usage) expected="${banner}Usage: $program windowtitle delayminutes${NL}" ;;
    none) expected="${banner}Exiting, did not find target window.${NL}" ;;
    found | waiting)
        i=$((target - 1))
        title=${titles[$i]:0:511}
        has tty && title=$(printf '%s' "$title" | sed $'s/\xc2[\x80-\x9f]/?/g; s/[\x01-\x1f\x7f]/?/g')
        handle=${firstids[$i]:-${ids[$i]}}
        if [ $handles = unknown ] || { [ $handles = xwayland ] && [[ ${described[$i]%%:*} != *xwayland* ]]; }; then
            handle=$(sed -n 's/^Sending WM_CLOSE to window handle \([0-9A-F]\{8\}\) .*/\1/p' "$out")
        fi
        minutes=$((10#${arguments[1]#+}))
        printf -v expected '%sLocated target window: %s%s%sSending WM_CLOSE to window handle %s after %s minutes.%s' \
            "$banner" "$title" "$NL" "$NL" "${handle:-(none)}" "$minutes" "$NL"
        [ "$kind" = found ] && expected+="Message sent to target window.${NL}"
        ;;
esac
has tty && expected=$'\e]0;vantrel 1.0\a\e[c'$expected
if ! has stdout-closed && ! printf '%s' "$expected" | cmp -s - "$out"; then
    fail "output differs"
    echo "--- expected"; printf '%s' "$expected" | od -c | head -30
    echo "--- actual"; od -c "$out" | head -30
fi

[ "$(tr -d '\r' <"$err")" = "${experr:+vantrel: $experr}" ] || { fail "standard error differs"; cat "$err"; }

# Which window got the close request: the found one, or the one the row
# names, and no other, old or new.
closed=$(option closes)
[ -z "$closed" ] && [ "$kind" = found ] && closed=$target
for i in "${!described[@]}"; do
    want=0
    [ "$((i + 1))" = "$closed" ] && want=1
    got=$(closes "${firstlogs[$i]:-${logs[$i]}}" "${firstids[$i]:-${ids[$i]}}")
    [ "$got" -eq "$want" ] || fail "window $((i + 1)) got $got close requests, not $want"
    [ -n "$(option during)" ] && [ "$(closes "${logs[$i]}" "${ids[$i]}")" -ne 0 ] && fail "the new window $((i + 1)) got a close request"
done
if has destroyed; then wait_for "^destroyed ${ids[$((target - 1))]}" "${logs[$((target - 1))]}" || fail "the window did not close"; fi
if has kept; then sleep 1; grep -q "^destroyed" "${logs[0]}" && fail "the window was destroyed"; fi
if has disconnected; then wait_for '^disconnected' "${logs[0]}" || fail "the client was not disconnected"; fi

[ "$failures" -eq 0 ] && echo "PASS $system $2"
exit $((failures > 0))
