# Sourced by run.sh: headless Wayfire from the test bed, set up as sway is.
. "$here/systems/sway.sh"
