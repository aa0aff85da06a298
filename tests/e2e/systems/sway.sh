# Sourced by run.sh: headless sway (or weston) with XWayland, run as uid
# 65534, whose windows, terminals and tool run as that user too.
export XDG_RUNTIME_DIR=$DESKTOP/runtime WAYLAND_DISPLAY=$(cat "$DESKTOP/wayland")
unset DISPLAY DBUS_SESSION_BUS_ADDRESS SWAYSOCK
[ -s "$DESKTOP/swaysock" ] && export SWAYSOCK=$(cat "$DESKTOP/swaysock") # sway sets it for its children
xdisplay=:$(head -n1 "$DESKTOP/display") server=$(cat "$DESKTOP/$system.pid" 2>/dev/null || cat "$DESKTOP/session.pid")
user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
helper_for() { [[ $1 == *xwayland* ]] && echo "env DISPLAY=$xdisplay $XHELPER" || echo "$HELPER"; }
known() { false; } # the compositor's handles are known to the tool alone
swaymsg() { command swaymsg -q -s "$(cat "$DESKTOP/swaysock")" "$@"; }
focus() { [ -n "${2:-}" ] && swaymsg "[pid=$2] focus" || swaymsg "[title=\"^$1\$\"] focus"; } # TITLE [PID]
place() { swaymsg "[pid=$2] move ${1/workspace=/to workspace }"; } # scratchpad|workspace=N PID
terminal() { # KIND SCRIPT ARGUMENT..., in the background: foot (native) or xterm (XWayland)
    [ "$1" = foot-server ] && foot_terminal "${@:2}"
    [ "$1" = foot ] && exec "${user[@]}" env HOME="$work" LC_ALL=C.UTF-8 foot bash "${@:2}"
    exec "${user[@]}" env DISPLAY="$xdisplay" xterm -e bash "${@:2}"
}
nested() { # a sway inside this one, as its window: $nested names its IPC socket
    local dir=$work/nested
    install -d -m 700 -o 65534 -g 65534 "$dir" && echo 'xwayland disable' >"$dir/config"
    "${user[@]}" env XDG_RUNTIME_DIR="$dir" WAYLAND_DISPLAY="$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" WLR_BACKENDS=wayland \
        WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 sway -c "$dir/config" </dev/null >"$dir/log" 2>&1 &
    pids+=($!)
    within 10 compgen -G "$dir/sway-ipc.*" && nested=$(compgen -G "$dir/sway-ipc.*")
}
