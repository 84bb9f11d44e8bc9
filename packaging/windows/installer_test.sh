#!/usr/bin/env bash
# The Windows download as a user meets it, under Wine: the zip holds the
# programs and the read-me; the installer asks for no administrator rights,
# installs for the current user with a Start-menu entry; the installed
# window starts and shows itself, the installed rankora-batch.exe answers and
# finds every component it needs; the uninstaller takes away all the
# installer put there.
#   installer_test.sh BUILD_DIR INSTALLED_PROGRAM_TEST_EXE
# Runs in the Wine prefix of the test run ($WINEPREFIX, $WINELOADER).
set -euo pipefail
build=$1
probe=$2
loader=${WINELOADER:-wine}
fail() {
  echo "FAILED: $*" >&2
  exit 1
}

cd "$build"
cpack -G "ZIP;NSIS" >/dev/null
installer=$(ls -t rankora-*-setup.exe | head -n 1)
zip=${installer%-setup.exe}.zip
listing=$(unzip -Z1 "$zip")
[ "$(printf '%s\n' "$listing" | sort | tr '\n' ' ')" = "rankora-batch.exe rankora.exe readme.txt " ] ||
  fail "the zip holds: $listing"
grep -aq 'level="asInvoker"' "$installer" || fail "the installer asks for more than the user's rights"
unzip -p "$zip" readme.txt | head -n 1 | grep -aq "Rankora [0-9]" || fail "the read-me does not name the version"

windows_path() { "$loader" cmd /c echo "$1" 2>/dev/null | tr -d '\r'; }
unix_path() { "$loader" winepath -u "$1" 2>/dev/null | tr -d '\r'; }
install_dir="$(windows_path '%LOCALAPPDATA%')\\Programs\\Rankora"
menu_dir="$(windows_path '%APPDATA%')\\Microsoft\\Windows\\Start Menu\\Programs\\Rankora"
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Rankora'

"$loader" "$installer" /S
dir=$(unix_path "$install_dir")
menu=$(unix_path "$menu_dir")
for file in rankora.exe rankora-batch.exe readme.txt uninstall.exe; do
  [ -f "$dir/$file" ] || fail "$file is not in $install_dir"
done
[ -f "$menu/Rankora.lnk" ] || fail "no Start-menu entry in $menu_dir"
"$loader" reg query "$uninstall_key" >/dev/null 2>&1 || fail "no uninstall entry for the user"

RANKORA_INSTALLED_EXE="$install_dir\\rankora.exe" "$loader" "$probe" || fail "the installed program did not start"
version=$("$loader" "$install_dir\\rankora-batch.exe" --version 2>/dev/null | tr -d '\r') || true
[[ "$version" == "rankora-batch "* ]] || fail "the installed rankora-batch.exe said: $version"
# Every component has someone to answer it, the platform or the program
# itself, whichever of the platform's DLLs the run has switched off.
if grep -a ': .*0x' <<<"$version"; then fail "a component nobody provides: $version"; fi

"$loader" reg query 'HKCU\Software\Rankora' /v InstallDir >/dev/null 2>&1 || fail "the installer kept no InstallDir"
# A setting of the user's, as 查询 → 设置 keeps it beside the installer's value.
"$loader" reg add 'HKCU\Software\Rankora' /v inFlight /d 4 /f >/dev/null 2>&1 || fail "could not add a setting"
"$loader" "$install_dir\\uninstall.exe" /S
# The uninstaller goes on from a copy of itself once the original has ended.
for _ in $(seq 300); do
  [ ! -e "$dir" ] && [ ! -e "$menu" ] && break
  sleep 0.1
done
[ ! -e "$dir" ] || fail "the uninstaller left $install_dir: $(ls -A "$dir")"
[ ! -e "$menu" ] || fail "the uninstaller left the Start-menu folder"
if "$loader" reg query "$uninstall_key" >/dev/null 2>&1; then fail "the uninstaller left its registry entry"; fi
if "$loader" reg query 'HKCU\Software\Rankora' /v InstallDir >/dev/null 2>&1; then
  fail "the uninstaller left InstallDir"
fi
"$loader" reg query 'HKCU\Software\Rankora' /v inFlight >/dev/null 2>&1 || fail "the uninstaller removed the user's settings"
"$loader" reg delete 'HKCU\Software\Rankora' /f >/dev/null 2>&1
echo "The download installs, starts and uninstalls."
