#!/bin/bash
# What a Windows build's program is, read from the file alone (it holds
# where Wine can't run it): its machine, that it needs system DLLs only, and
# its resources, the UTF-8 manifest and the version information.
#   pe.sh EXE OBJDUMP POINTER_BYTES VERSION
set -u
exe=$1 objdump=$2 version=$4
fail() { echo "FAIL: $*"; exit 1; }
machine=$([ "$3" = 8 ] && echo x86-64 || echo i386)
"$objdump" -f "$exe" | grep -q "file format pei-$machine\$" || fail "not a $machine program: $("$objdump" -f "$exe")"
dlls=$("$objdump" -p "$exe" | sed -n 's/^\tDLL Name: //p' | tr 'a-z' 'A-Z' | sort | xargs)
[ "$dlls" = "KERNEL32.DLL MSVCRT.DLL USER32.DLL" ] || fail "imports $dlls"

rsrc=$(mktemp)
trap 'rm -f "$rsrc"' EXIT
"${objdump%objdump}objcopy" -O binary --only-section=.rsrc "$exe" "$rsrc" || fail "no resources"
grep -q -a 'activeCodePage xmlns="[^"]*">UTF-8</activeCodePage>' "$rsrc" || fail "no UTF-8 manifest"
# VS_FIXEDFILEINFO: its signature, then the structure's version, then the
# file's version as major, minor (one word) and patch, tweak (the next).
IFS=. read -r major minor patch tweak <<<"$version"
fixed=$(perl -0777 -ne 'printf "%d %d %d %d", unpack("x4 v v v v", $1) if /\xbd\x04\xef\xfe(.{12})/s' "$rsrc")
[ "$fixed" = "${minor} ${major} ${tweak:-0} ${patch:-0}" ] || fail "file version $fixed, not $version"
missing=$(perl -0777 -e '$r = <STDIN>; print join " ", grep { index($r, join "", map { "$_\0" } split //) < 0 } @ARGV' \
    FileVersion ProductVersion "$version" vantrel.exe <"$rsrc") # UTF-16 strings
[ -z "$missing" ] || fail "the version information lacks $missing"
echo PASS
