#!/bin/bash
# The test bed's script under faults: a damaged cache, a failed rebuild, a
# held lock, a folder that can't be made. It runs in a mount namespace of its
# own, with empty folders over the machine's cache and root and a stand-in
# mmdebstrap that builds a tiny root or fails, so nothing is downloaded and
# nothing of the machine's own test bed is touched.
#   testbed.sh
[ "$(id -u)" -eq 0 ] || { echo "not root"; exit 77; }
scripts=$(cd "$(dirname "$0")/../scripts" && pwd) cache=/var/cache/vantrel-testbed base=/var/tmp/vantrel-testbed
[ "${1:-}" = inside ] || { mkdir -p $cache $base && exec unshare --mount --propagation private bash "$0" inside; }
mount -t tmpfs -o size=8g tmpfs $cache && mount -t tmpfs -o size=8g tmpfs $base || exit 1
stub=$(mktemp -d) && export PATH=$stub:$PATH
printf '#!/bin/sh\necho run >>%s/runs\n[ -e %s/offline ] && { echo "E: offline"; exit 1; }\nfor t; do :; done\nmkdir -p "$t/etc"\n' \
    "$stub" "$stub" >"$stub/mmdebstrap" && chmod +x "$stub/mmdebstrap"
fails=0
# before the run | the run | its status | builds | what it says
while IFS='|' read -r before run status builds says; do
    eval "$before"
    out=$(eval "$run" 2>&1); rc=$?
    [ "$rc" = "$status" ] && [ "$(wc -l <"$stub/runs")" = "$builds" ] && [[ $out == *$says* ]] &&
        [ ! -e $base/root.new ] && [ ! -e $base/build ] || { echo "FAIL: $before | $run: $rc: $out"; fails=1; }
done <<'END'
:|$scripts/desktop-sid root|0|1|sid root ready
rm -r $base/root; truncate -s 2k $cache/sid-root.tar.zst|$scripts/desktop-sid root|0|2|was damaged
touch $stub/offline; rm -r $base/root; truncate -s 2k $cache/sid-root.tar.zst|$scripts/desktop-sid root|77|3|damaged (zstd
rm $stub/offline|$scripts/desktop-sid root|0|4|sid root ready
touch $stub/offline; echo old >$cache/sid-root.hash|$scripts/desktop-sid root; test -d $base/root/etc|0|5|the rebuild failed: mmdebstrap failed: E: offline
rm -r $base/root|$scripts/desktop-sid root; test -d $base/root/etc|0|5|tried again a day later
exec 8>>$base/lock; flock 8|VANTREL_TESTBED_LOCK_WAIT=1 $scripts/desktop-sid root|77|5|has held
:|VANTREL_TESTBED_LOCK_WAIT=1 $scripts/desktop-sid up $base/x sway112|77|5|has held
exec 8>&-|$scripts/desktop-sid up /proc/x sway112|1|5|/proc/x
:|$scripts/desktop-gnome up /proc/x|1|5|/proc/x
:|$scripts/desktop-kwin up /proc/x|1|5|/proc/x
END
exit $fails
