#!/usr/bin/env bash
# Rankora installed as a desktop meets it, under a prefix other than /usr in
# a staging root: exactly the programs, desktop entry, icons, metadata,
# manual pages and documentation files, each where the freedesktop and
# Debian rules look for it; the desktop entry and the AppStream metadata
# accepted by their validators and naming one another and the icon; the
# installed rankora-batch telling the project's version; nothing installed
# pointing back into the build.
#   install_test.sh BUILD_DIR VERSION APP_ID
# Exits 77 (skipped) when a validator is not installed.
set -euo pipefail
build=$1
version=$2
id=$3
fail() {
  echo "FAILED: $*" >&2
  exit 1
}
for tool in desktop-file-validate:desktop-file-utils appstreamcli:appstream; do
  command -v "${tool%%:*}" >/dev/null ||
    { echo "Skipped: ${tool%%:*} is not installed (Debian package ${tool#*:})"; exit 77; }
done

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
prefix=/opt/rankora-test
DESTDIR=$root cmake --install "$build" --prefix "$prefix" >/dev/null || fail "cmake --install failed"
top=$root$prefix

expected="bin/rankora
bin/rankora-batch
share/applications/$id.desktop
share/doc/rankora/changelog.gz
share/doc/rankora/copyright"
for size in 128 256 32 48 64; do
  expected+=$'\n'"share/icons/hicolor/${size}x${size}/apps/$id.png"
done
expected+="
share/icons/hicolor/scalable/apps/$id.svg
share/man/man1/rankora-batch.1.gz
share/man/man1/rankora.1.gz
share/metainfo/$id.metainfo.xml"
installed=$(cd "$top" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort)
[ "$installed" = "$(printf '%s\n' "$expected" | LC_ALL=C sort)" ] ||
  fail "the installed files differ from those expected:
$(diff <(printf '%s\n' "$expected" | LC_ALL=C sort) <(printf '%s\n' "$installed") || true)"
[ "$(find "$root" -mindepth 1 -maxdepth 1)" = "$root/opt" ] || fail "files were installed outside the prefix"

desktop=$top/share/applications/$id.desktop
metainfo=$top/share/metainfo/$id.metainfo.xml
desktop-file-validate "$desktop" || fail "desktop-file-validate rejects $id.desktop"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli rejects $id.metainfo.xml"

entry() { sed -n "s/^$1=//p" "$desktop"; }
[ "$(entry Name)" = Rankora ] || fail "the desktop entry's name is $(entry Name)"
[ "$(entry Exec)" = rankora ] || fail "the desktop entry starts $(entry Exec)"
[ "$(entry Icon)" = "$id" ] || fail "the desktop entry's icon is $(entry Icon)"
# The window's WM_CLASS is its program's name; the entry claims it, so a
# shell shows the running window with the entry's name and icon.
[ "$(entry StartupWMClass)" = rankora ] || fail "the desktop entry claims the windows of $(entry StartupWMClass)"
[[ "$(entry Categories)" == *Network\;* ]] || fail "the desktop entry is not in the Network category"
[ -n "$(entry Comment)" ] || fail "the desktop entry has no English comment"
[ -n "$(entry 'Comment\[zh_CN\]')" ] || fail "the desktop entry has no Chinese comment"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
  fail "the metadata does not launch $id.desktop"
grep -q "<id>$id</id>" "$metainfo" || fail "the metadata's id is not $id"
grep -q "<release version=\"$version\" date=\"[0-9]\{4\}-[0-9][0-9]-[0-9][0-9]\"" "$metainfo" ||
  fail "the metadata names no release $version"
grep -q '<image type="source" width="[1-9][0-9]*" height="[1-9][0-9]*">https://' "$metainfo" ||
  fail "the metadata's screenshot has no size or no https address"

# Each PNG is as large as its folder says: width and height are the
# big-endian words at offset 16.
for size in 32 48 64 128 256; do
  png=$top/share/icons/hicolor/${size}x${size}/apps/$id.png
  [ "$(od -An -tx1 -j16 -N8 "$png" | tr -d ' \n')" = "$(printf '%08x%08x' "$size" "$size")" ] ||
    fail "$id.png in ${size}x${size} is not $size pixels square"
done
grep -q '<svg' "$top/share/icons/hicolor/scalable/apps/$id.svg" || fail "the scalable icon is no SVG"

for page in rankora rankora-batch; do
  gzip -t "$top/share/man/man1/$page.1.gz" || fail "$page.1.gz is no gzip file"
  zcat "$top/share/man/man1/$page.1.gz" | grep -q "^\.TH .*Rankora $version" || fail "$page.1 is not of version $version"
  if command -v man >/dev/null; then
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$top/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man warns on $page.1: $warnings"
  fi
done
zcat "$top/share/doc/rankora/changelog.gz" | head -n 1 | grep -q "^rankora ($version) " ||
  fail "the changelog does not start with version $version"

said=$("$top/bin/rankora-batch" --version) || fail "the installed rankora-batch --version failed"
# Its first line is the version; the lines after it name who answers each component.
[ "$(printf '%s\n' "$said" | head -n 1)" = "rankora-batch $version" ] ||
  fail "the installed rankora-batch --version said: $said"

# The installed programs find their libraries as any program does, not
# through the build tree.
if command -v readelf >/dev/null; then
  for program in rankora rankora-batch; do
    ! readelf -d "$top/bin/$program" | grep -qE 'R(UN)?PATH' || fail "the installed $program keeps a run path"
  done
fi
grep -rlF "$(cd "$build" && pwd)" "$top/share" && fail "installed files name the build folder"
echo "Installed under $prefix: every file in place and valid."
