# Sourced by run.sh: a stand-in for niri's IPC (niri.py), which can't run
# here; no Wayland socket beside it, so its IPC alone decides. Its windows
# are niri.py's helpers', known by niri's ids.
export NIRI_SOCKET=$DESKTOP/niri.sock XDG_RUNTIME_DIR=$DESKTOP/runtime
unset DISPLAY WAYLAND_DISPLAY SWAYSOCK WAYFIRE_SOCKET DBUS_SESSION_BUS_ADDRESS
server=$(cat "$DESKTOP/niri.pid")
helper_for() { echo "$here/niri.py window $DESKTOP"; }
focus() { "$here/niri.py" focus "$DESKTOP" "$2"; } # TITLE PID
