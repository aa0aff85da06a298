#!/bin/bash
# Builds this build's packages with CPack, unpacks one as a user would and runs
# the program from it: the zip under Wine (when WINE_RUN is set), else the
# Debian package, whose man page must also render cleanly, whose GNOME Shell
# extension must suit the releases that load it, and beside which the RPM
# must hold the same files.
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
else
    dpkg -x "$work"/vantrel_"$version"_*.deb "$work/root" || fail "no .deb"
    dir=$work/root
    ext=usr/share/gnome-shell/extensions legacy=vantrel-legacy@vantrel.github.io modern=vantrel@vantrel.github.io
    forms="$ext/$legacy/extension.js $ext/$legacy/metadata.json $ext/$modern/extension.js $ext/$modern/metadata.json"
    expect="usr/bin/vantrel usr/share/doc/vantrel/copyright $forms usr/share/man/man1/vantrel.1.gz"
    out=$("$dir/usr/bin/vantrel")
    # Nothing of libstdc++ is used; loading it would double the resident set.
    readelf -d "$dir/usr/bin/vantrel" | grep -q 'NEEDED.*libstdc++' && fail "the program links libstdc++"
    page=$dir/usr/share/man/man1/vantrel.1.gz
    MANWIDTH=80 man --warnings -l "$page" >"$work/man" 2>"$work/man.err" || fail "man exit status $?"
    [ -s "$work/man.err" ] && { cat "$work/man.err"; fail "man warnings"; }
    grep -q windowtitle "$work/man" || fail "the man page lacks the synopsis"
    grep -q "^vantrel $version " "$work/man" || fail "the man page is not of version $version"

    # Each form of the extension: the releases it is for (43-44 load only the
    # legacy form, 45 on only ES modules), the lock screen too, the one body.
    body=$(<"$(dirname "$0")/../gnome/windows.js")
    while read -r uuid versions check; do
        meta=$(node -p 'const m = require(process.argv[1]);
            [m.uuid, m["shell-version"].join(), m["session-modes"].join()].join(" ")' "$dir/$ext/$uuid/metadata.json")
        re="^$uuid $versions user,unlock-dialog\$"
        [[ $meta =~ $re ]] || fail "metadata: $meta"
        [[ $(<"$dir/$ext/$uuid/extension.js") == *"$body"* ]] || fail "$uuid lacks the body"
        # shellcheck disable=SC2086
        node --check $check <"$dir/$ext/$uuid/extension.js" || fail "$uuid does not parse"
    done <<END
$legacy 43,44
$modern 45(,4[6-9]|,[5-9][0-9])* --input-type=module
END
    # The RPM: the same files, and of the folders only its own.
    rpm=$(rpm -qlp "$work"/vantrel-"$version"-*.rpm | LC_ALL=C sort | xargs)
    # shellcheck disable=SC2086
    [ "$rpm" = "$(printf '/%s\n' $expect usr/share/doc/vantrel $ext/$legacy $ext/$modern | LC_ALL=C sort | xargs)" ] ||
        fail "the RPM holds: $rpm"
fi
# Nothing but the program, its documents and the extension: no tests, helpers or fuzzers.
files=$(cd "$dir" && find . -type f -printf '%P\n' | LC_ALL=C sort | xargs)
[ "$files" = "$expect" ] || fail "the package holds: $files"
if [ -n "${WINE_RUN:-}" ]; then
    out=$("$WINE_RUN" "$dir/vantrel.exe") || { [ $? = 77 ] && echo "$out" && exit 77; } # not runnable here
    out=$(tr -d '\r' <<<"$out")
fi
[ "$(head -n1 <<<"$out")" = "vantrel $version" ] || fail "banner: $out"
grep -qE '^Usage: .*vantrel(\.exe)? windowtitle delayminutes$' <<<"$out" || fail "no usage line: $out"
echo PASS
