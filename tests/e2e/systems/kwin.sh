# Sourced by run.sh: headless KWin with XWayland and a session bus of its own,
# run as root; XWayland windows as on sway.
. "$here/systems/sway.sh"
export DBUS_SESSION_BUS_ADDRESS=$(cat "$DESKTOP/bus")
user=()
known() { [[ $1 == *xwayland* ]]; } # X11 ids; native windows' come from KWin
focus() { "$here/kwin/activate" "$1"; }
# stand-in=MODE: silentkwin.py on a bus of its own, run by an unprivileged
# user: as root the bus daemon complains of the file limit on standard error.
if [ -n "$(option stand-in)" ]; then
    install -d -o 65534 -g 65534 "$work/runtime"
    tool=(env XDG_RUNTIME_DIR="$work/runtime" setpriv --reuid=65534 --regid=65534 --clear-groups
        dbus-run-session -- "$here/kwin/silentkwin.py" "$(option stand-in)" "$VANTREL")
fi
