#!/bin/bash
# Runs one row of cases.txt on one window system, against real windows that
# the system's helper opens; or lists the rows that name a system.
#   run.sh SYSTEM NAME        run.sh --list SYSTEM
# From CTest: VERSION, DESKTOP (what scripts/desktop started), VANTREL, HELPER (the
# system's window helper), XHELPER (X11 windows on Wayland), SCRATCH, and for
# Windows WINE_RUN and VANTREL_BUILD. systems/*.sh set each system up.
set -u
export LC_ALL=C
here=$(dirname "$0")
trim() { local s=${1#"${1%%[![:space:]]*}"}; printf '%s' "${s%"${s##*[![:space:]]}"}"; }
words() { printf '%s\n' "$1" | xargs -r printf '%s\0'; } # split as a shell would, nothing expanded
declare -A group
while read -r word _ members; do group[$word]=" $members "; done < <(grep -E '^[a-z0-9-]+ += ' "$here/cases.txt")
applies() { # SYSTEMS: whether they name this system, or a group that holds it
    for word in $1; do [[ $word == "$system" || ${group[$word]:-} == *" $system "* ]] && return 0; done
    return 1
}
rows() { grep -E '^[^#]*\|' "$here/cases.txt"; }
if [ "$1" = --list ]; then
    system=$2
    while IFS='|' read -r name on _; do applies "$on" && trim "$name" && echo; done < <(rows)
    exit 0
fi
system=$1
[ -n "${TESTBED:-}" ] && [ -s "$SCRATCH/testbed-skip" ] && { cat "$SCRATCH/testbed-skip"; exit 77; }
while IFS='|' read -r name on windows run expect experr; do
    [ "$(trim "$name")" = "$2" ] && applies "$on" && break
    name=
done < <(rows)
[ -n "$name" ] || { echo "no case $2 for $system"; exit 2; }

# --- The row ---
readarray -d '' -t words < <(words "$expect")
kind=${words[0]} target=${words[1]:-} settings=" ${words[*]:2} " env=() args=() shown=
[[ $expect =~ shown=\"(.*)\" ]] && shown=${BASH_REMATCH[1]}
readarray -d '' -t words < <(words "$run")
for i in "${!words[@]}"; do
    case ${words[i]} in
        vantrel) args=("${words[@]:i+1}"); break ;;
        [A-Z]*=*) env+=("${words[i]}") ;;
        unset=*) env+=(-u "${words[i]#*=}") ;;
        *) settings+="${words[i]} " ;;
    esac
done
has() { [[ $settings == *" $1 "* ]]; }
option() { [[ $settings =~ \ $1=([^ ]*)\  ]] && printf '%s' "${BASH_REMATCH[1]}"; }

work=$(mktemp -d "${SCRATCH:?}/e2e.XXXXXX")
chmod 777 "$work"
pids=() failures=0 label='' server='' shell=''
cleanup() {
    [ -n "$server" ] && kill -CONT "$server" # stopped or not, it goes on for later rows
    declare -F restore >/dev/null && restore # what the system's set-up changed for this row
    has tmux && "${user[@]}" tmux -L "vantrel-$$" kill-server 2>/dev/null
    # What the row started, and what that started in turn (a foot server, a
    # terminal's own terminal), names its folder.
    kill -- "${pids[@]}" "-$shell" 2>/dev/null; pkill -f -- "$work"; sleep 0.2
    kill -9 -- "${pids[@]}" "-$shell" 2>/dev/null; pkill -9 -f -- "$work"
    wait 2>/dev/null
    [ "$failures" -eq 0 ] && rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP
fail() { echo "FAIL$label: $*"; failures=$((failures + 1)); }
within() { # SECONDS COMMAND...: true once COMMAND is
    local end=$((SECONDS + $1))
    until "${@:2}" 2>/dev/null; do [ $SECONDS -lt $end ] || return 1; sleep 0.1; done
}
start() { # LOG COMMAND...: in the background, once it has logged "ready"
    "${@:2}" </dev/null >"$1" 2>&1 &
    pids+=($!)
    within 60 grep -q -a '^ready' "$1" || { echo "did not come up: ${*:2}"; cat "$1"; exit 1; }
}

# --- The window system, and the tool's environment ---
NL=$'\n' tool=("$VANTREL") program=$VANTREL user=()
helper_for() { echo "$HELPER"; } # FLAGS: the command that opens such a window
known() { true; }                 # FLAGS: whether the helper knows the handle the tool shows
. "$here/systems/${system%%-*}.sh"
has tty && env+=(TERM=xterm) # a terminal that understands titles, whatever CTest's says
# stand-in=MODE: standin.py on a bus of its own, run by an unprivileged
# user: as root the bus daemon complains of the file limit on standard error.
if [ -n "$(option stand-in)" ]; then
    install -d -o 65534 -g 65534 "$work/runtime"
    tool=(env XDG_RUNTIME_DIR="$work/runtime" setpriv --reuid=65534 --regid=65534 --clear-groups
        dbus-run-session -- "$here/standin.py" "$(option stand-in)" "${tool[@]}")
fi
has stdout=closed && tool=(bash -c 'exec "$@" >&-' stdout-closed "${tool[@]}")
has sigalrm=blocked && tool=(perl -MPOSIX -e 'sigprocmask(SIG_BLOCK, POSIX::SigSet->new(SIGALRM)); exec @ARGV' "${tool[@]}")
for i in "${!env[@]}"; do
    value=
    case ${env[i]} in # @mute: a socket that never answers, in the form the variable takes
        WAYLAND_DISPLAY=@mute) value=vantrel-mute path=$XDG_RUNTIME_DIR/vantrel-mute ;;
        DISPLAY=@mute) value=:$((900 + $$ % 100)) path=@/tmp/.X11-unix/X$((900 + $$ % 100)) ;;
        DBUS_SESSION_BUS_ADDRESS=@mute) value=unix:path=$work/mute path=$work/mute ;;
        *=@mute) value=$work/mute path=$work/mute ;;
    esac
    [ -n "$value" ] && start "$work/mute.$i" "${user[@]}" "$here/mute.py" "$path" && env[i]=${env[i]%%=*}=$value
    # @dead: a socket file nobody listens on, as a compositor leaves behind.
    [[ ${env[i]} == *=@dead ]] && "${user[@]}" /usr/bin/python3 -c 'import socket, sys; socket.socket(socket.AF_UNIX).bind(sys.argv[1])' \
        "$work/dead" && env[i]=${env[i]%%=*}=$work/dead
    [[ ${env[i]} == *=@nested ]] && nested && env[i]=${env[i]%%=*}=$nested # another compositor's IPC
    env[i]=${env[i]//@display/${xdisplay:-}}
done
errors=$(printf '%s' "$experr" | tr '|' '\n' | sed -E 's/^ +| +$//g; /^$/d; s/^/vantrel: /')
errors=${errors//@display/$(env "${env[@]}" printenv DISPLAY)}
errors=${errors//@wayland/$(env "${env[@]}" printenv WAYLAND_DISPLAY)}
errors=${errors//@ipc/$(env "${env[@]}" printenv SWAYSOCK NIRI_SOCKET | head -n1)}

# --- The windows ---
expand() { printf '%b' "$(printf '%s' "$1" | perl -pe 's/\{([^{}*]*)\*(\d+)\}/$1 x $2/ge')"; } # TEXT: {TEXT*N}, escapes read
described=() titles=()
IFS=$'\x1f' read -ra parts <<<"${windows// ; /$'\x1f'}"
for part in "${parts[@]}"; do
    part=${part//@own/vantrel $VERSION}
    [ -n "$(trim "$part")" ] && described+=("$(expand "$(trim "$part")")") && titles+=("${described[-1]#*:}")
done
open_windows() { # LOG: the row's windows, oldest first, one helper each
    helpers=${#pids[@]}
    for w in "${!described[@]}"; do
        logs[w]=$work/$1.$w
        if [[ ${described[w]%%:*} == *footclient* ]]; then
            start "${logs[w]}" foot_window 150 "${described[w]}"
        else # shellcheck disable=SC2046 # the helper's command is words
            start "${logs[w]}" "${user[@]}" $(helper_for "${described[w]%%:*}") 150 "${described[w]}"
        fi
        ids[w]=$(sed -n 's/^window \([0-9A-F]*\) .*/\1/p' "${logs[w]}") procs[w]=${pids[-1]}
        [[ ${described[w]%%:*} =~ (scratchpad|workspace=[0-9]+) ]] && place "${BASH_REMATCH[1]}" "${procs[w]}"
    done
}
# A foot server of the row's own holds the terminal (term=foot-server) and
# its footclient windows: one process, many windows, as gnome-terminal has.
foot_terminal() { # SCRIPT ARGUMENT...
    "${user[@]}" env HOME="$work" LC_ALL=C.UTF-8 foot --server="$work/foot.sock" </dev/null >"$work/foot.log" 2>&1 &
    within 10 test -S "$work/foot.sock"
    exec "${user[@]}" env HOME="$work" LC_ALL=C.UTF-8 footclient --server-socket="$work/foot.sock" bash "$@"
}
foot_window() { # SECONDS FLAGS:TITLE, logged as the helpers log theirs
    echo "window 0 ${2#*:}"
    within 10 test -S "$work/foot.sock"
    local started=$work/foot.$BASHPID
    # What runs in it runs once the window is there; shown a moment later.
    "${user[@]}" footclient --server-socket="$work/foot.sock" --title="${2#*:}" \
        sh -c 'touch "$0" && exec sleep "$1"' "$started" "$1" &
    within 10 test -e "$started" && sleep 0.3 && echo ready
    wait $!
    echo "close 0" && echo "destroyed 0" # gone: closed as asked
}
closes() { grep -c -a -E "^close ${2:-[0-9A-F]+}( |"$'\r'"?\$)" "$1"; } # LOG [ID]: how many it got

# --- Run ---
# The terminal played by the row itself, whose state is the check.
[ "$kind" = played ] && { "$here/ptyplayer.py" "$target" env "${env[@]}" "${tool[@]}" "${args[@]}" && echo "PASS $system $2"; exit; }
limit=30
[ "${args[1]:-}" = 1 ] && limit=100 # a one-minute wait
runs=$(option runs || echo 1) term=$(option term)
typing=("$here/shell.sh" "$work" "$runs" "$settings" timeout --foreground "$limit" env "${env[@]}" "${tool[@]}" "${args[@]}")
prompt='user@host: /home/user/reports'
# A second xterm started from the first one's shell, which passes it the
# first one's WINDOWID, as terminals that leave the variable alone do. It
# keeps the title it starts with, as a terminal that passes titles on late
# shows it while the tool looks.
if has windowid=inherited; then
    prompt='user@host: ~/alpha-reports'
    typing=(-c 'xterm -T "$0" -xrm "XTerm*allowTitleOps: false" -e env WINDOWID="$WINDOWID" bash "$@"' "$prompt" "${typing[@]}")
fi
if has tmux; then # in a tmux session started detached, then attached from the terminal
    "${user[@]}" tmux -L "vantrel-$$" -f /dev/null new-session -d -s reports bash "${typing[@]}" \; \
        set-option -g set-titles on
    typing=(-c "exec tmux -L vantrel-$$ attach" attach) prompt=".*$prompt.*"
fi
if [ -n "$term" ]; then
    terminal "$term" "${typing[@]}" </dev/null >"$work/terminal.log" 2>&1 &
else # without a controlling terminal
    setsid "${user[@]}" bash "${typing[@]}" </dev/null >/dev/null 2>&1 &
fi
shell=$!
pids+=("$shell")
ended() { [ -s "$work/status.$run" ] || ! kill -0 "$shell"; } # the run, or the shell
for run in $(seq "$runs"); do
    [ "$runs" -gt 1 ] && label=" (run $run)"
    out=$work/out.$run err=$work/err.$run firstids=() firstlogs=()
    [ ${#described[@]} -gt 0 ] && open_windows "windows.$run"
    for n in $(option focus | tr , ' '); do
        within 10 focus "${titles[n - 1]}" "${procs[n - 1]}" || fail "could not focus window $n"
    done
    [ -n "$term" ] && { within 30 focus "$prompt" || fail "no terminal titled by the prompt"; }
    [ "$(option stop)" = before ] && kill -STOP "$server"
    touch "$work/go.$run"
    { [ "$kind" = waiting ] || has reopen || has stop=during; } &&
        { within 30 grep -q -a 'Sending WM_CLOSE' "$out" || fail "no announcement"; }
    if has reopen; then # the windows go, and the same windows come anew
        firstids=("${ids[@]}") firstlogs=("${logs[@]}")
        kill -9 "${pids[@]:helpers:${#described[@]}}"
        sleep 0.5
        open_windows "second.$run"
        has same-id && [ "${ids[0]}" != "${firstids[0]}" ] && fail "set-up: the new window got ${ids[0]}, not ${firstids[0]}"
    fi
    has stop=during && kill -STOP "$server"
    if [ "$kind" = waiting ]; then # and it is let be
        sleep 0.5
        [ -e "$work/status.$run" ] && fail "the tool is no longer waiting"
        echo 0 >"$work/status.$run"
    fi
    within $((limit + 10)) ended || fail "the tool did not end"
    status=$(cat "$work/status.$run" 2>/dev/null || echo "unknown: its shell is gone")
    [ -n "$(option stop)" ] && kill -CONT "$server" && sleep 1 # what it was sent arrives now

    # --- Check ---
    [ "$status" = 0 ] || fail "exit status $status$([ "$status" = 124 ] && echo ": it did not end within $limit s")"
    expected="vantrel $VERSION${NL}Asks a window to close after a delay.${NL}${NL}"
    case $kind in
        usage) expected+="Usage: $program windowtitle delayminutes${NL}" ;;
        none) expected+="Exiting, did not find target window.${NL}" ;;
        *)
            handle=${firstids[target - 1]:-${ids[target - 1]}} title=${titles[target - 1]}
            known "${described[target - 1]%%:*}" || handle=$(sed -n 's/^Sending WM_CLOSE to window handle \([0-9A-F]\{8\}\) .*/\1/p' "$out")
            [ -n "$shown" ] && title=$(expand "$shown")
            expected+="Located target window: $title${NL}${NL}Sending WM_CLOSE to window handle ${handle:-(none)}"
            expected+=" after $(option after || echo "${args[1]}") minutes.${NL}"
            [ "$kind" = found ] && expected+="Message sent to target window.${NL}"
            ;;
    esac
    # On its terminal: the title, and nothing else of the tool's own.
    has tty && expected=$'\e]0;'"vantrel $VERSION"$'\a'$expected && tr -d '\r' <"$out" >"$out.lf" && out=$out.lf
    has stdout=closed || printf '%s' "$expected" | cmp -s - "$out" ||
        { fail "output differs"; diff <(printf '%s' "$expected" | od -c) <(od -c "$out") | head -40; }
    [ "$(tr -d '\r' <"$err")" = "$errors" ] || { fail "standard error differs"; cat "$err"; }

    # Which window got the close request: the found one, or the one the row
    # names, and no other, old or new.
    closed=$(option closes || { [ "$kind" = found ] && echo "$target"; } || echo 0)
    for i in "${!described[@]}"; do
        # A foot window is known to have been asked once it has gone, a moment later.
        [ $((i + 1)) = "$closed" ] && within 5 closes "${firstlogs[i]:-${logs[i]}}" "${firstids[i]:-${ids[i]}}" >/dev/null
        got=$(closes "${firstlogs[i]:-${logs[i]}}" "${firstids[i]:-${ids[i]}}")
        [ "$got" = "$(((i + 1) == closed))" ] || fail "window $((i + 1)) got $got close requests"
        has reopen && [ "$(closes "${logs[i]}" "${ids[i]}")" -ne 0 ] && fail "the new window $((i + 1)) got a close request"
    done
    if has destroyed; then within 30 grep -q "^destroyed ${ids[target - 1]}" "${logs[target - 1]}" || fail "the window did not close"; fi
    if has kept; then sleep 1; grep -q "^destroyed" "${logs[target - 1]}" && fail "the window was destroyed"; fi
    if has disconnected; then within 30 grep -q "^disconnected" "${logs[target - 1]}" || fail "the client was not disconnected"; fi
    if [ -n "$term" ]; then sleep 0.5; kill -0 "$shell" 2>/dev/null || fail "the terminal was closed"; fi
    [ "$failures" -eq 0 ] || break
done
[ "$failures" -eq 0 ] && echo "PASS $system $2"
exit $((failures > 0))
