#!/bin/bash
# Builds this build's packages with CPack, unpacks one as a user would and runs
# the program from it: the zip under Wine (when WINE_RUN is set), else the
# Debian package, whose man page must also render cleanly, whose GNOME Shell
# extension must suit the releases that load it, which lintian must pass
# without a warning and apt install and remove cleanly, and beside which the
# RPM must hold the same files and pass rpmlint. The Linux build also makes
# the release twice, the second time from its source archive elsewhere, and
# builds and installs that source with plain CMake.
#   package.sh BUILD_DIR VERSION
set -u
build=$1 version=$2
repo=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d "$build/package.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
# Nothing but the program, its documents and the extension: no tests, helpers or fuzzers.
holds() { # DIR FILES
    # shellcheck disable=SC2086
    [ "$(cd "$1" && find . -type f -printf '%P\n' | LC_ALL=C sort | xargs)" = "$(printf '%s\n' $2 | LC_ALL=C sort | xargs)" ] ||
        fail "$1 holds: $(cd "$1" && find . -type f -printf '%P ')"
}

cpack --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail cpack; }
mkdir "$work/root"
if [ -n "${WINE_RUN:-}" ]; then
    unzip -q "$work"/vantrel-"$version"-win*.zip -d "$work/root" || fail "no zip"
    dir=$(echo "$work"/root/vantrel-"$version"-win*)
    holds "$dir" "LICENSE README.md vantrel.exe"
else
    dpkg -x "$work"/vantrel_"$version"_*.deb "$work/root" || fail "no .deb"
    dir=$work/root
    ext=usr/share/gnome-shell/extensions legacy=vantrel-legacy@vantrel.github.io modern=vantrel@vantrel.github.io
    forms="$ext/$legacy/extension.js $ext/$legacy/metadata.json $ext/$modern/extension.js $ext/$modern/metadata.json"
    # What every Linux install holds; the .deb also Debian's changelog.
    files="usr/bin/vantrel usr/share/doc/vantrel/copyright usr/share/doc/vantrel/CHANGELOG.md $forms
        usr/share/man/man1/vantrel.1.gz"
    holds "$dir" "$files usr/share/doc/vantrel/changelog.gz"
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
    body=$(<"$repo/gnome/windows.js")
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
    [ "$rpm" = "$(printf '/%s\n' $files usr/share/doc/vantrel $ext/$legacy $ext/$modern | LC_ALL=C sort | xargs)" ] ||
        fail "the RPM holds: $rpm"

    # Each ecosystem's checker: lintian with no error or warning, rpmlint with
    # no error but the missing signature (a release is signed where it is published).
    lintian --fail-on error,warning "$work"/vantrel_"$version"_*.deb >"$work/lintian" 2>&1 || { cat "$work/lintian"; fail lintian; }
    [ "$(rpmlint "$work"/vantrel-"$version"-*.rpm 2>&1 | grep -Eo ': E: [a-z-]+|[0-9]+ errors' | xargs)" = ": E: no-signature 1 errors" ] ||
        fail "rpmlint: $(rpmlint "$work"/vantrel-"$version"-*.rpm 2>&1)"
    # apt installs it, vantrel runs, apt removes it all, in a copy of the sid root where there is one.
    rm -f "$build/package-skip"
    why=$("$repo/scripts/try-deb" "$work"/vantrel_"$version"_*.deb) ||
        { [ $? = 77 ] || fail "apt: $why"; echo "the .deb was not tried with apt: $why" | tee "$build/package-skip"; }

    # The release, then again from its source archive unpacked elsewhere, under
    # another umask and time zone: the same bytes. Niced, as the tests beside
    # it wait on windows against time limits.
    nice "$repo/scripts/package" >"$work/release.log" 2>&1 || { tail -n 20 "$work/release.log"; fail scripts/package; }
    sums=$repo/build/packages/SHA256SUMS src=$work/again/vantrel-$version
    (umask 077 && mkdir "$work/again" && tar --no-same-permissions -xzf "${sums%/*}/vantrel-$version.tar.gz" -C "$work/again" &&
        cd "$src" && TZ=Pacific/Chatham nice scripts/package) >"$work/again.log" 2>&1 || { tail -n 20 "$work/again.log"; fail rebuild; }
    # Four packages and the archive.
    [ "$(grep -v " vantrel-$version.tar.gz\$" "$sums")" = "$(cat "$src/build/packages/SHA256SUMS")" ] && [ "$(wc -l <"$sums")" = 5 ] ||
        fail "the rebuild differs: $(cat "$sums" "$src/build/packages/SHA256SUMS")"
    # And the programs as linked, before CPack strips them (the PE header's time stamp too).
    for p in windows/vantrel.exe windows64/vantrel.exe linux/vantrel; do cmp "$repo/build/release/vantrel-$version/build/package-$p" "$src/build/package-$p" || fail "$p differs"; done
    # That source with the plain commands a distribution runs, installed under /usr/local.
    (cd "$src" && cmake -S . -B build -DCMAKE_BUILD_TYPE=Release && nice cmake --build build &&
        DESTDIR="$work/stage" cmake --install build) >"$work/plain.log" 2>&1 || { tail -n 20 "$work/plain.log"; fail "plain build"; }
    holds "$work/stage" "${files//usr\//usr/local/}"
fi
if [ -n "${WINE_RUN:-}" ]; then
    out=$("$WINE_RUN" "$dir/vantrel.exe") || { [ $? = 77 ] && echo "$out" && exit 77; } # not runnable here
    out=$(tr -d '\r' <<<"$out")
fi
[ "$(head -n1 <<<"$out")" = "vantrel $version" ] || fail "banner: $out"
grep -qE '^Usage: .*vantrel(\.exe)? windowtitle delayminutes$' <<<"$out" || fail "no usage line: $out"
echo PASS
