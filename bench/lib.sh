# Shared by the benchmarks, sourced from the project's root once the linux
# preset is built: where the programs are, scratch space, and desktops and
# window helpers that are stopped on every path.
build=$PWD/build/linux
vantrel=$build/vantrel
xhelper=$build/tests/e2e/xhelper
wlhelper=${WLHELPER:-$build/tests/e2e/wayland/wlhelper}
work=$(mktemp -d)
pids=() desktops=() testbed=()
stop() {
    set +e # every step runs, whatever failed before
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    wait
    for dir in "${desktops[@]}"; do scripts/desktop down "$dir" >/dev/null; done
    for dir in "${testbed[@]}"; do scripts/desktop-sid down "$dir" >/dev/null; done
    rm -rf "$work"
}
trap stop EXIT
trap 'exit 130' INT TERM HUP # through stop, too

desktop() { # DIR OPTION...: a virtual desktop, stopped at the end; --sid SYSTEM: from the test bed
    if [ "${2:-}" = --sid ]; then
        testbed+=("$1")
        scripts/desktop-sid root >/dev/null && scripts/desktop-sid up "$1" "$3" >/dev/null
    else
        desktops+=("$1")
        scripts/desktop up "$@" >/dev/null
    fi
}

windows() { # LOG COMMAND...: a window helper, once its windows are up
    "${@:2}" </dev/null >"$work/$1" 2>&1 &
    local pid=$!
    pids+=("$pid")
    until grep -q '^ready' "$work/$1" 2>/dev/null; do
        kill -0 "$pid" 2>/dev/null || { echo "helper failed:"; cat "$work/$1"; exit 1; }
        sleep 0.1
    done
}
