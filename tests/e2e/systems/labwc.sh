# Sourced by run.sh: headless labwc from the test bed, set up as sway is.
. "$here/systems/sway.sh"
