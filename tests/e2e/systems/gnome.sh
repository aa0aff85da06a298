# Sourced by run.sh: headless GNOME Shell with XWayland and vantrel's
# extension, run as root, with a session bus of its own.
export XDG_RUNTIME_DIR=$DESKTOP/runtime WAYLAND_DISPLAY=$(cat "$DESKTOP/wayland")
export DBUS_SESSION_BUS_ADDRESS=$(cat "$DESKTOP/bus") XAUTHORITY=$DESKTOP/xauthority
unset DISPLAY
xdisplay=:$(head -n1 "$DESKTOP/display") server=$(cat "$DESKTOP/shell.pid" 2>/dev/null || cat "$DESKTOP/session.pid")
helper_for() { [[ $1 == *xwayland* ]] && echo "env DISPLAY=$xdisplay $XHELPER" || echo "$HELPER"; }
known() { [[ $1 == *xwayland* ]]; } # X11 ids; native windows' come from the shell's ids
focus() { "$here/gnome/activate" "$1"; }
terminal() { foot_terminal "${@:2}"; } # KIND SCRIPT ARGUMENT..., in the background
# extension=off: the shell runs without vantrel's extension for this row.
shell_call() { dbus-send --session --print-reply --dest=org.gnome.Shell "$@" >/dev/null 2>&1; }
extension() { shell_call /org/gnome/Shell "org.gnome.Shell.Extensions.$1Extension" string:vantrel-legacy@vantrel.github.io; }
if has extension=off; then
    extension Disable
    restore() { extension Enable && within 10 shell_call /org/vantrel/Windows org.vantrel.Windows1.List; }
fi
