# Sourced by run.sh: Xvfb, under openbox or with no window manager.
export DISPLAY=":$(head -n1 "$DESKTOP/display")"
unset WAYLAND_DISPLAY XDG_RUNTIME_DIR DBUS_SESSION_BUS_ADDRESS
xdisplay=$DISPLAY server=$(cat "$DESKTOP/xvfb.pid")
# TITLE: activated through the window manager, or raised without one
focus() { xdotool search --limit 1 --name "^$1\$" windowactivate || xdotool search --limit 1 --name "^$1\$" windowraise; }
terminal() { exec xterm -e bash "${@:2}"; } # KIND SCRIPT ARGUMENT..., in the background
