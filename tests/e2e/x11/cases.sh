#!/bin/bash
# End-to-end cases for the Linux program: real X windows opened by xhelper on
# a virtual display, under openbox or with no window manager at all.
#   cases.sh CASE      (environment from CTest: WM, DESKTOP, VANTREL, XHELPER, SCRATCH)
. "$(dirname "$0")/../lib.sh"
NL=$'\n'
BANNER="vantrel 1.0${NL}Asks a window to close after a delay.${NL}${NL}"
NOT_FOUND="${BANNER}Exiting, did not find target window.${NL}"
DISPLAY=":$(head -n1 "$DESKTOP/display")"
export DISPLAY

helper() { start_helper helper.log "$XHELPER" 150 "$@"; }

# Runs vantrel with a liveness bound; sets $status, output in $work/out.
vantrel() {
    timeout 120 "$VANTREL" "$@" </dev/null >"$work/out" 2>"$work/err"
    status=$?
}

deletes() { grep -c "^WM_DELETE_WINDOW $1 " "$work/${2:-helper.log}"; }
expect_closed() { [ "$(deletes "$1")" -eq 1 ] || { fail "$1 did not get WM_DELETE_WINDOW once"; cat "$work/helper.log"; }; }
expect_not_closed() { [ "$(deletes "$1" "${2:-helper.log}")" -eq 0 ] || fail "$1 got WM_DELETE_WINDOW"; }

case_usage() {
    for args in "" "report"; do
        # shellcheck disable=SC2086
        vantrel $args
        expect_status_0
        expect_output "${BANNER}Usage: $VANTREL windowtitle delayminutes${NL}"
    done
}

case_found() { found_case nd:; }

case_not_found() {
    helper "nd:Quarterly Report - Editor"
    vantrel "no such window 7q" 0
    expect_status_0
    expect_output "$NOT_FOUND"
    expect_not_closed "$(handle_of "Quarterly Report - Editor")"
}

case_title_sources() {
    helper "nd:Net Only Alpha" "wd:Wm Only Beta" "nod:Modern Gamma" "d:"
    vantrel "legacy name" 0 # hidden behind Modern Gamma's _NET_WM_NAME
    expect_output "$NOT_FOUND"
    expect_found "" "Modern Gamma" # the untitled window above it is passed over
    expect_found "net only" "Net Only Alpha"
    expect_found "WM ONLY" "Wm Only Beta"
}

case_topmost_first() {
    helper "nd:Twin Report Alpha" "nd:Twin Report Beta"
    expect_found "twin report" "Twin Report Beta"
    expect_not_closed "$(handle_of "Twin Report Alpha")"
}

case_long_title() { long_title_case nd:; }

case_unmapped() {
    helper "und:Hidden Ledger"
    if [ "$WM" = openbox ]; then # a window manager only manages mapped windows
        vantrel "hidden ledger" 0
        expect_output "$NOT_FOUND"
    else
        expect_found "hidden ledger" "Hidden Ledger"
    fi
}

case_framed() {
    helper "fnd:Framed Report"
    if [ "$WM" = openbox ]; then # openbox manages the untitled frame, not the client inside
        vantrel "framed report" 0
        expect_output "$NOT_FOUND"
    else
        expect_found "framed report" "Framed Report"
    fi
}

case_no_delete_protocol() {
    helper "n:Stubborn Report"
    local h
    h=$(handle_of "Stubborn Report")
    vantrel "stubborn report" 0
    found_output "Stubborn Report" "$h" 0
    expect_output "$found"
    if [ "$WM" = openbox ]; then # the request went to the window manager, which closes it its own way
        wait_for '^disconnected' "$work/helper.log" || fail "openbox did not act on _NET_CLOSE_WINDOW"
    else # nobody to ask politely: nothing is sent, nothing is destroyed
        sleep 1
        grep -q '^disconnected' "$work/helper.log" && fail "the client was disconnected"
        xprop -id "0x$h" WM_NAME >/dev/null 2>&1 || fail "the window is gone"
    fi
}

# The located window closes during the wait and a new client gets its id:
# the new window must not receive the request.
case_reused_id() {
    start_helper first.log "$XHELPER" 150 "nd:Doomed Report"
    local first second pid
    first=$(handle_of "Doomed Report" first.log)
    "$VANTREL" "doomed report" 1 </dev/null >"$work/out" 2>"$work/err" &
    pid=$!
    wait_for 'after 1 minutes' "$work/out" || fail "no announcement"
    kill -9 "${helper_pids[0]}"
    wait "${helper_pids[0]}" 2>/dev/null
    start_helper second.log "$XHELPER" 150 "nd:Doomed Report"
    second=$(handle_of "Doomed Report" second.log)
    [ "$first" = "$second" ] || fail "test set-up: the new window got id $second, not $first"
    wait "$pid"
    status=$?
    expect_status_0
    found_output "Doomed Report" "$first" 1
    expect_output "$found"
    expect_not_closed "$second" second.log
}

case_no_display() {
    for display in :97 ""; do
        DISPLAY=$display vantrel report 0
        expect_status_0
        expect_output "$NOT_FOUND"
        expect_output "vantrel: cannot open display ${display:-(DISPLAY is not set)}${NL}" "$work/err"
    done
}

case_terminal_title() {
    script -qfec "'$VANTREL' 'no such window 7q' 0" /dev/null >"$work/tty" 2>&1
    head -c 16 "$work/tty" | cmp -s - <(printf '\033]0;vantrel 1.0\a') || fail "no title escape on a terminal"
    vantrel "no such window 7q" 0
    expect_output "$NOT_FOUND" # no escape bytes at all
}

run_case "$1"
