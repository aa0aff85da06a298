# Sourced by the desktop scripts and the demo: waiting with a time limit.
# await SECONDS WHAT COMMAND...: true once COMMAND is, tried every 0.1 s;
# after SECONDS, says that WHAT did not come up within them, and fails.
# COMMAND must end by itself: what could hang gets a timeout of its own.
await() {
    local limit=$1 what=$2 end=$((SECONDS + $1))
    shift 2
    until "$@" 2>/dev/null; do
        [ $SECONDS -lt $end ] || { echo "$what did not come up within $limit s"; return 1; }
        sleep 0.1
    done
}
