# Sourced by run.sh: headless weston, set up as sway is; it lists no windows.
. "$here/systems/sway.sh"
