#!/usr/bin/env bash
# The Debian source package of the checkout as it is (tracked and new files, not the build
# folders): dpkg-buildpackage builds the source and the binary packages (nocheck: the suite
# runs the unit tests itself), lintian --pedantic finds no error and no warning in any of them,
# the AppStream record and the menu entry of the kestrane package pass their validators, and
# the split is as debian/control says: the program in kestrane, the tray library with the
# maintainer scripts that register it in quorvil, which depends on that very kestrane.
#
#   tests/e2e/debian_package.sh <source folder>
set -euo pipefail

src=$1
work=$(mktemp -d /tmp/kestrane-debian.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "debian_package: $*" >&2
    exit 1
}
say() { echo "debian_package: ${SECONDS}s: $*" >&2; }
if ! git -C "$src" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    echo "debian_package: $src is not a git checkout; skipped" >&2
    exit 77
fi
version=$(sed -n 's/^project(kestrane VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")

mkdir "$work/kestrane"
git -C "$src" ls-files -z -c -o --exclude-standard --deduplicate |
    while IFS= read -r -d '' f; do [ -e "$src/$f" ] && printf '%s\0' "$f"; done |
    tar -C "$src" --null -T - -c | tar -C "$work/kestrane" -x
# ccache, when the build uses it, finds this build's objects again at the next run's folder.
export CCACHE_BASEDIR="$work"
(cd "$work/kestrane" && DEB_BUILD_OPTIONS="nocheck parallel=$(nproc)" DEB_BUILD_PROFILES=nocheck \
    dpkg-buildpackage -us -uc) >"$work/build.log" 2>&1 || {
    tail -n 40 "$work/build.log" >&2
    fail "dpkg-buildpackage failed"
}
changes="$work/kestrane_${version}_$(dpkg --print-architecture).changes"
[ -f "$changes" ] || fail "no $changes: $(ls "$work")"
say "dpkg-buildpackage built $(cd "$work" && echo *.dsc *.deb)"

lintian --pedantic -I -E --fail-on error,warning "$changes" >"$work/lintian.log" 2>&1 ||
    fail "lintian: $(grep -v '^[IPX]: ' "$work/lintian.log")"
! grep -q '^[EW]: ' "$work/lintian.log" || fail "lintian: $(cat "$work/lintian.log")"
say "lintian --pedantic: no error or warning; $(grep -c '^[IPX]: ' "$work/lintian.log") other tags:" \
    "$(grep '^[IPX]: ' "$work/lintian.log" | tr '\n' ' ')"

deb() { echo "$work/${1}_${version}_$(dpkg --print-architecture).deb"; }
dpkg-deb -x "$(deb kestrane)" "$work/root"
record="$work/root/usr/share/metainfo/org.kestrane.kestrane.metainfo.xml"
appstreamcli validate --pedantic --no-net "$record" >"$work/appstream.log" 2>&1 || fail "appstreamcli: $(cat "$work/appstream.log")"
grep -q 'successful\.$' "$work/appstream.log" || fail "appstreamcli: $(cat "$work/appstream.log")"
desktop-file-validate "$work/root/usr/share/applications/org.kestrane.kestrane.desktop" ||
    fail "desktop-file-validate"

files() { dpkg-deb -c "$(deb "$1")" | awk '{print $6}'; }
files kestrane | grep -qx './usr/lib/kestrane/kestrane' || fail "kestrane lacks the program"
! files kestrane | grep -q 'libquorvil' || fail "kestrane holds the tray library"
files quorvil | grep -qx './usr/lib/kestrane/libquorvil.so' || fail "quorvil lacks the library"
dpkg-deb -e "$(deb quorvil)" "$work/quorvil"
grep -q 'regsvr" -s --all-users' "$work/quorvil/postinst" || fail "quorvil's postinst"
grep -q 'regsvr" -s -u --all-users' "$work/quorvil/prerm" || fail "quorvil's prerm"
dpkg-deb -f "$(deb quorvil)" Depends | grep -q "kestrane (= $version)" ||
    fail "quorvil depends on: $(dpkg-deb -f "$(deb quorvil)" Depends)"
[ "$(dpkg-deb -f "$(deb kestrane)" Recommends)" = quorvil ] || fail "kestrane recommends"
say "passed"
