#!/usr/bin/env bash
# Builds the .deb of a build folder with CPack into a scratch folder and
# checks its control fields, its file list and its unpacked contents.
#
#   check-deb.sh BUILD-DIR VERSION WITH-CTL(yes|no) "ICON-SIZES" CPACK
# Exit status 77 (skipped) when CPack or dpkg-deb is missing.
set -uo pipefail
build=$1 version=$2 with_ctl=$3 icon_sizes=$4 cpack=$5
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=package-contents.sh
. "$here/package-contents.sh"

if [ ! -x "$cpack" ] || ! command -v dpkg-deb >/dev/null; then
    echo "skipped: cpack or dpkg-deb is not installed"
    exit 77
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

if ! "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1; then
    cat "$scratch/cpack.log" >&2
    echo "FAIL: cpack failed" >&2
    exit 1
fi
debs=("$scratch"/out/*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
    echo "FAIL: cpack made ${#debs[@]} packages instead of one: ${debs[*]}" >&2
    exit 1
fi
deb=${debs[0]}
arch=$(dpkg --print-architecture)
[ "$(basename "$deb")" = "kelvaran_${version}_${arch}.deb" ] || fail "package file is named $(basename "$deb")"

# Control fields.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = kelvaran ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', not $version"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture is '$(field Architecture)'"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
[ -n "$(field Description)" ] || fail "no Description"
# Depends is worked out from the linked libraries: the C library and Qt at least.
depends=$(field Depends)
for lib in libc6 libqt6core6 libqt6dbus6 libqt6widgets6; do
    [[ ", $depends," == *", $lib "* || ", $depends," == *", $lib,"* ]] || fail "Depends lacks $lib: '$depends'"
done

# The file list as dpkg will unpack it: the package's files, owned by root.
dpkg-deb -c "$deb" >"$scratch/listing" || fail "dpkg-deb -c failed"
awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' "$scratch/listing" >"$scratch/files"
compare_lists "the package" "$scratch/files"
awk '$2 != "root/root" { print $6 " is owned by " $2 }' "$scratch/listing" >"$scratch/owners"
[ ! -s "$scratch/owners" ] || fail "$(cat "$scratch/owners")"
awk '$1 ~ /^-/ && $6 ~ /usr\/bin\// && $1 != "-rwxr-xr-x" { print $6 " has mode " $1 }' "$scratch/listing" >"$scratch/modes"
[ ! -s "$scratch/modes" ] || fail "$(cat "$scratch/modes")"

# Unpacked, the files work where the package puts them.
dpkg-deb -x "$deb" "$scratch/root" || fail "dpkg-deb -x failed"
check_tree "$scratch/root" /usr/bin/kelvaran

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed; the package:" >&2
    dpkg-deb -I "$deb" >&2
    cat "$scratch/listing" >&2
    exit 1
fi
echo "$(basename "$deb"): $(wc -l <"$scratch/files") files, Depends: $depends"
