#!/usr/bin/env bash
# The Debian package made by CPack from the build: its files, its Depends on the packages of every
# library the programs link, and its programs run from a fresh folder it was unpacked into.
#   package_test.sh <build folder> <version>
set -euo pipefail
build=$1 version=$2
for tool in cpack dpkg-deb dpkg-shlibdeps lintian; do
  command -v "$tool" >/dev/null || { echo "package test: $tool is missing (scripts/bootstrap installs it)" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "package test: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.txt" 2>&1 || { cat "$work/cpack.txt" >&2; fail "cpack failed"; }
deb=$work/catalogsync_${version}_amd64.deb
[ -f "$deb" ] || deb=$(ls "$work"/catalogsync_"$version"_*.deb)

expected="./usr/bin/acefeedpump
./usr/bin/ywdata
./usr/lib/catalogsync/catalogsync-jetread
./usr/share/catalogsync/acefeedpump.gif
./usr/share/doc/catalogsync/changelog.gz
./usr/share/doc/catalogsync/copyright
./usr/share/man/man1/acefeedpump.1.gz
./usr/share/man/man1/ywdata.1.gz"
files=$(dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort)
[ "$files" = "$expected" ] || fail "the package holds:"$'\n'"$files"

[ "$(dpkg-deb --field "$deb" Package)" = catalogsync ] || fail "the package's name"
[ "$(dpkg-deb --field "$deb" Version)" = "$version" ] || fail "the package's version"
depends=$(dpkg-deb --field "$deb" Depends)
names=$(sed 's/ ([^)]*)//g; s/, */\n/g' <<<"$depends")
for package in libc6 libstdc++6 libsqlite3-0 libssl3 libfltk1.3 libfltk-images1.3 libx11-6 libmdb3; do
  grep -qxF "$package" <<<"$names" || fail "Depends lacks $package: $depends"
done

# Debian's own check of a package: no error and no warning (its informational hints are not
# asked for).
lintian --suppress-tags running-with-root-privileges "$deb" >"$work/lintian.txt" 2>&1 || true
if grep -E '^[EW]: ' "$work/lintian.txt"; then fail "lintian finds fault with the package"; fi
dpkg-deb --field "$deb" Maintainer | grep -q '<.*@.*>' || fail "the Maintainer has no address"

dpkg-deb -x "$deb" "$work/fresh"
[ "$("$work/fresh/usr/bin/acefeedpump" --version)" = "acefeedpump $version" ] || fail "the unpacked acefeedpump"
[ "$("$work/fresh/usr/bin/ywdata" --version)" = "ywdata $version" ] || fail "the unpacked ywdata"
echo "package test: $(basename "$deb"), Depends: $depends"
