# Sourced by run.sh: headless sway (or weston) with XWayland, run as uid
# 65534, whose windows, terminals and tool run as that user too.
export XDG_RUNTIME_DIR=$DESKTOP/runtime WAYLAND_DISPLAY=$(cat "$DESKTOP/wayland")
unset DISPLAY DBUS_SESSION_BUS_ADDRESS
xdisplay=:$(head -n1 "$DESKTOP/display") server=$(cat "$DESKTOP/$system.pid" 2>/dev/null || cat "$DESKTOP/session.pid")
user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
helper_for() { [[ $1 == *xwayland* ]] && echo "env DISPLAY=$xdisplay $XHELPER" || echo "$HELPER"; }
known() { false; } # the compositor's handles are known to the tool alone
focus() { swaymsg -q -s "$(cat "$DESKTOP/swaysock")" "[title=\"^$1\$\"] focus"; }
terminal() { # KIND SCRIPT ARGUMENT..., in the background: foot (native) or xterm (XWayland)
    [ "$1" = foot-server ] && foot_terminal "${@:2}"
    [ "$1" = foot ] && exec "${user[@]}" env HOME="$work" LC_ALL=C.UTF-8 foot bash "${@:2}"
    exec "${user[@]}" env DISPLAY="$xdisplay" xterm -e bash "${@:2}"
}
