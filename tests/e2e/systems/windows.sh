# Sourced by run.sh: vantrel.exe and its window helper under Wine, on Xvfb.
NL=$'\r\n'
helper_for() { echo "$WINE_RUN $HELPER"; }
tool=("$WINE_RUN" "$VANTREL")
program=$("$WINE_RUN" winepath -w "$VANTREL" 2>/dev/null | tr -d '\r')
