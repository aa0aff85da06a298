# Shared by the end-to-end case scripts: scratch space, helper programs that
# open windows, failure counting and exact output checks. Each case script
# defines case_NAME functions and ends with: run_case "$1".
set -u
work=$(mktemp -d "${SCRATCH:?}/e2e.XXXXXX")
helper_pids=()
failures=0

cleanup() {
    for pid in "${helper_pids[@]}"; do kill "$pid" 2>/dev/null; done
    wait 2>/dev/null
    [ "$failures" -eq 0 ] && rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

wait_for() { # pattern file: true once a line of file matches, within 30 s
    for _ in $(seq 300); do
        grep -q "$1" "$2" 2>/dev/null && return 0
        sleep 0.1
    done
    return 1
}

# start_helper LOG COMMAND...: runs a window helper in the background and
# waits until its windows are up.
start_helper() {
    local log=$work/$1
    shift
    "$@" </dev/null >"$log" 2>"$log.err" &
    helper_pids+=($!)
    wait_for '^ready' "$log" || { echo "helper did not come up:"; cat "$log" "$log.err"; exit 1; }
}

handle_of() { # title [log]: the id the helper gave the window with that title
    awk -v t="$1" '$1 == "window" { sub(/\r$/, ""); h = $2; $1 = $2 = ""; if (substr($0, 3) == t) print h }' \
        "$work/${2:-helper.log}"
}

expect_status_0() { [ "$status" -eq 0 ] || fail "exit status $status"; }

expect_output() { # exact bytes [file]
    if ! printf '%s' "$1" | cmp -s - "${2:-$work/out}"; then
        fail "output differs"
        echo "--- expected"; printf '%s' "$1" | od -c | head -40
        echo "--- actual"; od -c "${2:-$work/out}" | head -40
    fi
}

# Sets $found to the whole output of a run that locates title (handle, minutes).
found_output() {
    printf -v found '%sLocated target window: %s%s%sSending WM_CLOSE to window handle %s after %s minutes.%sMessage sent to target window.%s' \
        "$BANNER" "$1" "$NL" "$NL" "$2" "$3" "$NL" "$NL"
}

# Runs vantrel against the window with that title and checks the whole
# output and that the window, and only it, got the close request.
expect_found() { # fragment title
    local h
    h=$(handle_of "$2")
    vantrel "$1" 0
    expect_status_0
    found_output "$2" "$h" 0
    expect_output "$found"
    expect_closed "$h"
}

# The main job: the matching window, and no other, is asked to close and
# closes; the third argument changes nothing.
found_case() { # the helper's flags for a window that closes when asked
    helper "$1Quarterly Report - Editor" "$1Inbox"
    local h
    h=$(handle_of "Quarterly Report - Editor")
    vantrel report 0 extra
    expect_status_0
    found_output "Quarterly Report - Editor" "$h" 0
    expect_output "$found"
    expect_output "" "$work/err"
    expect_closed "$h" # on X11: the client window itself, not a frame around it
    wait_for "^destroyed $h" "$work/helper.log" || fail "the window did not close"
    expect_not_closed "$(handle_of Inbox)"
}

# Titles over 511 bytes are searched and printed up to their 511th byte.
long_title_case() { # the helper's flags for a plain window
    local pad head tail
    pad=$(printf 'x%.0s' $(seq 540))
    head="Head Marker $pad"
    tail="$pad Tail Marker"
    helper "$1$head" "$1$tail"
    vantrel "tail marker" 0
    expect_output "$NOT_FOUND"
    vantrel "head marker" 0
    found_output "${head:0:511}" "$(handle_of "$head")" 0
    expect_output "$found"
}

run_case() {
    "case_${1:?case name}"
    [ "$failures" -eq 0 ] && echo "PASS $1"
    exit $((failures > 0))
}
