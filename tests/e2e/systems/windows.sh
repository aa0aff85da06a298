# Sourced by run.sh: vantrel.exe and its window helper under Wine, on Xvfb;
# skipped (77) where this machine can't run the build's programs.
[ -s "$VANTREL_BUILD/wine-skip" ] && { cat "$VANTREL_BUILD/wine-skip"; trap - EXIT; rm -rf "$work"; exit 77; }
NL=$'\r\n'
helper_for() { echo "$WINE_RUN $HELPER"; }
tool=("$WINE_RUN" "$VANTREL")
program=$("$WINE_RUN" winepath -w "$VANTREL" 2>/dev/null | tr -d '\r')
