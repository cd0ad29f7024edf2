#!/usr/bin/env bash
# Installs a build folder into a scratch root with `cmake --install --prefix`
# and checks that it holds exactly the package's files, in working order.
#
#   check-install-tree.sh BUILD-DIR VERSION WITH-CTL(yes|no) "ICON-SIZES"
set -uo pipefail
build=$1 version=$2 with_ctl=$3 icon_sizes=$4
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=package-contents.sh
. "$here/package-contents.sh"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
root=$scratch/root
prefix=$root/usr

if ! "${CMAKE:-cmake}" --install "$build" --prefix "$prefix" >"$scratch/install.log" 2>&1; then
    cat "$scratch/install.log" >&2
    echo "FAIL: cmake --install failed" >&2
    exit 1
fi

# Nothing may land outside the prefix (an absolute destination would write
# into the builder's own system).
outside=$(sed -n 's/^-- \(Installing\|Up-to-date\): //p' "$scratch/install.log" | grep -v "^$prefix/" || true)
[ -z "$outside" ] || fail "installed outside the prefix: $(echo $outside)"

(cd "$root" && find . -type f -o -type l) | sed 's|^\./||' >"$scratch/files"
compare_lists "the install tree" "$scratch/files"
check_tree "$root" "$prefix/bin/kelvaran"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed; the install tree:" >&2
    sed 's/^/  /' "$scratch/files" >&2
    exit 1
fi
echo "install tree complete: $(wc -l <"$scratch/files") files"
