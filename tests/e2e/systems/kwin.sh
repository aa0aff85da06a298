# Sourced by run.sh: headless KWin with XWayland and a session bus of its own,
# run as root; XWayland windows as on sway.
. "$here/systems/sway.sh"
export DBUS_SESSION_BUS_ADDRESS=$(cat "$DESKTOP/bus")
user=()
known() { [[ $1 == *xwayland* && $system == kwin ]]; } # X11 ids (Plasma 5); else KWin's own
focus() { "$here/kwin/activate" "$1"; }
