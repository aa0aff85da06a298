#!/bin/bash
# Builds this build's package with CPack, unpacks it as a user would and runs
# the program from it: the zip under Wine (when WINE_RUN is set), else the
# Debian package, whose man page must also render cleanly.
#   package.sh BUILD_DIR VERSION
set -u
build=$1 version=$2
work=$(mktemp -d "$build/package.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail cpack; }
mkdir "$work/root"
if [ -n "${WINE_RUN:-}" ]; then
    unzip -q "$work"/vantrel-"$version"-win*.zip -d "$work/root" || fail "no zip"
    dir=$(echo "$work"/root/vantrel-"$version"-win*)
    expect="LICENSE README.md vantrel.exe"
    out=$("$WINE_RUN" "$dir/vantrel.exe" | tr -d '\r')
else
    dpkg -x "$work"/vantrel_"$version"_*.deb "$work/root" || fail "no .deb"
    dir=$work/root
    expect="usr/bin/vantrel usr/share/doc/vantrel/copyright usr/share/man/man1/vantrel.1.gz"
    out=$("$dir/usr/bin/vantrel")
    # Nothing of libstdc++ is used; loading it would double the resident set.
    readelf -d "$dir/usr/bin/vantrel" | grep -q 'NEEDED.*libstdc++' && fail "the program links libstdc++"
    page=$dir/usr/share/man/man1/vantrel.1.gz
    MANWIDTH=80 man --warnings -l "$page" >"$work/man" 2>"$work/man.err" || fail "man exit status $?"
    [ -s "$work/man.err" ] && { cat "$work/man.err"; fail "man warnings"; }
    grep -q windowtitle "$work/man" || fail "the man page lacks the synopsis"
    grep -q "^vantrel $version " "$work/man" || fail "the man page is not of version $version"
fi
# Nothing but the program and its documents: no tests, helpers or fuzzers.
files=$(cd "$dir" && find . -type f -printf '%P\n' | LC_ALL=C sort | xargs)
[ "$files" = "$expect" ] || fail "the package holds: $files"
[ "$(head -n1 <<<"$out")" = "vantrel $version" ] || fail "banner: $out"
grep -qE '^Usage: .*vantrel(\.exe)? windowtitle delayminutes$' <<<"$out" || fail "no usage line: $out"
echo PASS
