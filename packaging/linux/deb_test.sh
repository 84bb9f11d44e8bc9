#!/usr/bin/env bash
# The Debian package as the README makes it: rankora_<version>_<arch>.deb,
# its dependencies read from the binaries plus the font and Qt's platform
# plugins, its files all under /usr with stripped programs, and no error
# from lintian.
#   deb_test.sh BUILD_DIR VERSION APP_ID
# Exits 77 (skipped) when a tool for making or checking it is not installed.
set -euo pipefail
build=$1
version=$2
id=$3
fail() {
  echo "FAILED: $*" >&2
  exit 1
}
for tool in dpkg-shlibdeps:dpkg-dev dpkg-deb:dpkg file:file lintian:lintian; do
  command -v "${tool%%:*}" >/dev/null ||
    { echo "Skipped: ${tool%%:*} is not installed (Debian package ${tool#*:})"; exit 77; }
done

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
log=$out/cpack.log
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$out" >"$log" 2>&1 || { cat "$log"; fail "cpack failed"; }
deb=$out/rankora_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no $(basename "$deb"); cpack made: $(cd "$out" && ls ./*.deb 2>/dev/null)"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = rankora ] || fail "the package is named $(field Package)"
[ "$(field Version)" = "$version" ] || fail "the package's version is $(field Version)"
depends=$(field Depends)
for package in libqt6widgets6 libqt6gui6 libqt6core6 libcurl4 libpcre2-16-0 libssl3 fonts-wqy-microhei qt6-qpa-plugins; do
  [[ ", $depends," == *", $package "* || ", $depends," == *", $package,"* ]] ||
    fail "the package does not depend on $package: $depends"
done

contents=$(dpkg-deb -c "$deb" | awk '{ print $6 }')
for file in usr/bin/rankora usr/bin/rankora-batch "usr/share/applications/$id.desktop" \
    "usr/share/metainfo/$id.metainfo.xml" "usr/share/icons/hicolor/scalable/apps/$id.svg" \
    usr/share/man/man1/rankora-batch.1.gz usr/share/doc/rankora/copyright usr/share/doc/rankora/changelog.gz; do
  grep -qx "\./$file" <<<"$contents" || fail "the package lacks /$file"
done
outside=$(grep -v '^\./usr/' <<<"$contents" | grep -vx '\./' || true)
[ -z "$outside" ] || fail "the package installs outside /usr: $outside"

dpkg-deb -x "$deb" "$out/root"
for program in rankora rankora-batch; do
  file -b "$out/root/usr/bin/$program" | grep -q ', stripped' || fail "/usr/bin/$program is not stripped"
done

report=$out/lintian.txt
status=0
lintian --fail-on error --info "$deb" >"$report" 2>&1 || status=$?
cat "$report"
[ "$status" -eq 0 ] || fail "lintian found errors in $(basename "$deb")"
echo "$(basename "$deb"): Depends: $depends"
