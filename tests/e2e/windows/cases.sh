#!/bin/bash
# End-to-end cases for vantrel.exe: real windows opened by winhelper.exe, both
# programs under Wine on the build's virtual display.
#   cases.sh CASE      (environment from CTest: VANTREL_EXE, WINHELPER, WINE_RUN, VANTREL_BUILD)
. "$(dirname "$0")/../lib.sh"
NL=$'\r\n'
BANNER="vantrel 1.0${NL}Asks a window to close after a delay.${NL}${NL}"
NOT_FOUND="${BANNER}Exiting, did not find target window.${NL}"

helper() { start_helper helper.log "$WINE_RUN" "$WINHELPER" 90 "$@"; }

# Runs vantrel.exe with a liveness bound; sets $status, output in $work/out.
vantrel() {
    timeout 60 "$WINE_RUN" "$VANTREL_EXE" "$@" </dev/null >"$work/out" 2>"$work/err"
    status=$?
}

closes() { # handle: number of WM_CLOSE the helper logged for it, all with parameters 0 0
    grep -c "^WM_CLOSE $1 0 0" "$work/helper.log"
}

expect_closed() { [ "$(closes "$1")" -eq 1 ] || { fail "$1 did not receive WM_CLOSE 0 0 once"; cat "$work/helper.log"; }; }
expect_not_closed() { grep -q "^WM_CLOSE $1" "$work/helper.log" && fail "$1 received WM_CLOSE"; true; }

case_usage() {
    local name
    name=$("$WINE_RUN" winepath -w "$VANTREL_EXE" 2>/dev/null | tr -d '\r')
    for args in "" "report"; do
        # shellcheck disable=SC2086
        vantrel $args
        expect_status_0
        expect_output "${BANNER}Usage: $name windowtitle delayminutes"$'\r\n'
    done
}

case_found() { found_case show:; }

case_not_found() {
    helper "show:Quarterly Report - Editor"
    vantrel "no such window 7q" 0
    expect_status_0
    expect_output "$NOT_FOUND"
    expect_not_closed "$(handle_of "Quarterly Report - Editor")"
}

case_first_of_two() {
    helper "show:Twin Report Alpha" "show:Twin Report Beta"
    local first second title
    read -r _ first second < <(grep '^order' "$work/helper.log")
    vantrel "TWIN REPORT" 0
    expect_status_0
    title=$(awk -v h="$first" '$1 == "window" && $2 == h { sub(/\r$/, ""); $1 = $2 = ""; print substr($0, 3) }' "$work/helper.log")
    found_output "$title" "$first" 0
    expect_output "$found"
    expect_closed "$first"
    expect_not_closed "$second"
}

case_hidden() {
    helper "hide:Hidden Ledger"
    expect_found "hidden ledger" "Hidden Ledger"
}

case_long_title() { long_title_case show:; }

case_hung() {
    helper "hung:Frozen Report"
    local h
    h=$(handle_of "Frozen Report")
    sleep 6 # long enough for the platform to see the thread as not answering
    vantrel "frozen report" 0
    [ "$status" -eq 124 ] && fail "vantrel.exe did not return from the close request"
    expect_status_0
    found_output "Frozen Report" "$h" 0
    expect_output "$found"
}

case_prompt() {
    helper "ask:Unsaved Draft"
    local h
    h=$(handle_of "Unsaved Draft")
    vantrel "unsaved draft" 0
    [ "$status" -eq 124 ] && fail "vantrel.exe did not return while the target asked"
    expect_status_0
    found_output "Unsaved Draft" "$h" 0
    expect_output "$found"
    expect_closed "$h"
    grep -q "^destroyed $h" "$work/helper.log" && fail "the prompting window was closed"
    true
}

case_waiting_redirected() {
    helper "show:Pending Report"
    local h pid expected
    h=$(handle_of "Pending Report")
    "$WINE_RUN" "$VANTREL_EXE" "pending report" +7 </dev/null >"$work/out" 2>/dev/null &
    pid=$!
    expected="${BANNER}Located target window: Pending Report"$'\r\n\r\n'"Sending WM_CLOSE to window handle $h after 7 minutes."$'\r\n'
    for _ in $(seq 300); do
        printf '%s' "$expected" | cmp -s - "$work/out" && break
        sleep 0.1
    done
    kill -0 "$pid" 2>/dev/null || fail "vantrel.exe is no longer waiting"
    expect_output "$expected"
    kill "$pid"
    expect_not_closed "$h"
}

run_case "$1"
