# Sourced by run.sh: the stand-in for cosmic-comp (tests/e2e/cosmic) beside
# Xvfb, for the X11 windows that XWayland would show; all run as the caller.
export XDG_RUNTIME_DIR=$DESKTOP/runtime WAYLAND_DISPLAY=$(cat "$DESKTOP/wayland")
unset DISPLAY DBUS_SESSION_BUS_ADDRESS
xdisplay=:$(head -n1 "$DESKTOP/display") server=$(cat "$DESKTOP/cosmic.pid")
# SECONDS FLAGS:TITLE: the stand-in opens the windows and writes their log
# here; they go when this does, after SECONDS at most.
window() { exec socat -t "$1" - "UNIX-CONNECT:$XDG_RUNTIME_DIR/cosmic-control" < <(printf %s "$2"); }
helper_for() { [[ $1 == *xwayland* ]] && echo "env DISPLAY=$xdisplay $XHELPER" || echo window; }
known() { false; } # the handles are the tool's own object ids
focus() { window 1 "focus:$1" | grep -q '^ready'; }
