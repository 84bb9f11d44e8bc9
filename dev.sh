#!/usr/bin/env bash
# Installs what Rankora needs from Debian's packages (only what is missing),
# builds it with CMake's presets and runs it or its tests.
#   ./dev.sh run       build and open the Rankora window
#   ./dev.sh test      build and run every test: the Linux suites (a
#                      RelWithDebInfo and a Release build), then the Windows
#                      ones, cross-built with MinGW-w64, under Wine
#   ./dev.sh windows   only the Windows side of the tests
#   ./dev.sh deb       the Linux package: rankora_<version>_<arch>.deb
#   ./dev.sh package   every download: the .deb, and for 32-bit and for 64-bit
#                      Windows a zip and an installer
#   ./dev.sh sanitize  the same tests built with AddressSanitizer and UBSan
#   ./dev.sh bench     build and run the benchmarks
#   ./dev.sh lint      check formatting (clang-format), the source (clang-tidy)
#                      and the Windows sources' calling conventions (clang)
set -euo pipefail
cd "$(dirname "$0")"

# The last line makes and checks the Debian package: dpkg-shlibdeps (in
# dpkg-dev, with file) reads its dependencies from the binaries; the rest
# validate the installed desktop entry and metadata and the package.
packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-base-private-dev fonts-wqy-microhei
  duktape-dev libcurl4-openssl-dev libpcre2-dev libssl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libxlsxwriter-dev nlohmann-json3-dev libcli11-dev python3-openpyxl
  clang-format clang-tidy clang
  desktop-file-utils appstream dpkg-dev file lintian
)

# The Windows side: the cross compilers and Wine to run its tests. Rankora
# ships for 32-bit and 64-bit Windows; the suites run the 32-bit build under
# Wine, and the 64-bit download is installed and started under 64-bit Wine.
# On a kernel that runs no 32-bit programs the suites run as the 64-bit
# build (the 32-bit one is still built).
# The window's suites need a display: a virtual one (Xvfb) where there is none.
# NSIS makes the installer, which the suites install and uninstall. The
# header-only JSON and command-line libraries serve both sides.
windows_packages=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine wine32:i386 wine64 xvfb xauth nsis unzip
  nlohmann-json3-dev libcli11-dev)

install_missing() {
  local missing=() package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  if printf '%s\n' "${missing[@]}" | grep -q ':i386$' && ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo[@]}" dpkg --add-architecture i386
  fi
  echo "Installing ${missing[*]}"
  local log
  log=$(mktemp)
  if ! { "${sudo[@]}" apt-get update -qq && DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq \
      --no-install-recommends "${missing[@]}"; } >"$log" 2>&1; then
    cat "$log"
    rm -f "$log"
    echo "Installing the packages failed." >&2
    exit 1
  fi
  rm -f "$log"
}

# build PRESET [TARGET...]: configures and builds the preset, or only the
# targets named.
build() {
  local preset=$1 log
  shift
  log=$(mktemp)
  if ! cmake --preset "$preset" >"$log" 2>&1; then
    cat "$log"
    rm -f "$log"
    exit 1
  fi
  rm -f "$log"
  if [ $# -gt 0 ]; then
    cmake --build --preset "$preset" --target "$@"
  else
    cmake --build --preset "$preset"
  fi
}

# Prints the tests of a CTest JUnit file that GoogleTest skipped, with the
# reason each gave.
list_skipped() {
  awk '
    /<testcase name="/ { match($0, /name="[^"]*"/); name = substr($0, RSTART + 6, RLENGTH - 7); skipping = 0 }
    /: Skipped$/ { skipping = 1; reason = ""; next }
    skipping && /^\[  SKIPPED \]/ { print "  " name ": " (reason == "" ? "(no reason given)" : reason); count++; skipping = 0; next }
    skipping { reason = reason (reason == "" ? "" : " ") $0 }
    END { if (count == 0) print "  none" }
  ' "$1" | sed 's/&lt;/</g; s/&gt;/>/g; s/&quot;/"/g; s/&apos;/'"'"'/g; s/&amp;/\&/g'
}

# Builds the Windows side and runs its suites under Wine, in a Wine prefix
# made for this run and removed after it. Called where `set -e` is off, so
# each step checks its own result.
windows_tests() {
  install_missing "${windows_packages[@]}"
  build windows || return
  local preset=windows loader=wine
  # The 32-bit loader fails to start where the kernel runs no 32-bit programs.
  if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo "This kernel runs no 32-bit programs: the Windows suites run as the 64-bit build."
    build windows-x64 || return
    preset=windows-x64
    loader=/usr/lib/wine/wine64
    export WINELOADER=$loader
  fi
  # The window's suites open real windows. Without a display, the run gets
  # a virtual one of its own for its length.
  local xvfb_stop=""
  if [ -z "${DISPLAY:-}" ]; then
    local display_file xvfb_pid
    display_file=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
    xvfb_pid=$!
    xvfb_stop="kill $xvfb_pid 2>/dev/null;"
    for _ in $(seq 50); do
      [ -s "$display_file" ] && break
      sleep 0.1
    done
    [ -s "$display_file" ] || { kill "$xvfb_pid" 2>/dev/null; echo "Xvfb did not start." >&2; return 1; }
    DISPLAY=":$(head -n 1 "$display_file")"
    export DISPLAY
    rm -f "$display_file"
  fi
  WINEPREFIX=$(mktemp -d) || return
  export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  # shellcheck disable=SC2064 # the prefix is known now
  trap "wineserver -k >/dev/null 2>&1; rm -rf '$WINEPREFIX'; $xvfb_stop" EXIT
  # One server for the whole run instead of one per test program.
  wineserver -p || return
  "$loader" wineboot -i >/dev/null 2>&1 || { echo "Wine could not make its prefix." >&2; return 1; }
  # One test reaches the Linux stand-in weight service, run as its own
  # program, by address: one weight, then refusals.
  if [ ! -f build/default/build.ninja ]; then
    cmake --preset default >/dev/null || return
  fi
  cmake --build --preset default --target weight_service >/dev/null || return
  local stand_in_out stand_in_pid stand_in_host=""
  stand_in_out=$(mktemp)
  build/default/tools/weight_service/weight_service --port 0 --default-weight 5 --refuse-after 1 >"$stand_in_out" 2>&1 &
  stand_in_pid=$!
  # shellcheck disable=SC2064 # the prefix and the process are known now
  trap "kill $stand_in_pid 2>/dev/null; rm -f '$stand_in_out'; wineserver -k >/dev/null 2>&1; rm -rf '$WINEPREFIX'; $xvfb_stop" EXIT
  for _ in $(seq 50); do
    stand_in_host=$(sed -n 's|^weight service on http://\([^ ]*\) .*|\1|p' "$stand_in_out")
    [ -n "$stand_in_host" ] && break
    sleep 0.1
  done
  [ -n "$stand_in_host" ] || { echo "The stand-in weight service did not start." >&2; return 1; }
  export RANKORA_STAND_IN_HOST=$stand_in_host
  local junit log status=0
  junit="$PWD/build/$preset/windows-tests.xml"
  log="$PWD/build/$preset/windows-tests.log"
  # Now and then a Wine process hangs at its start or misses a timer when the
  # machine is busy; such a test gets a second try (a real fault fails both),
  # and every first try that failed is listed below.
  ctest --preset "$preset" -j 2 --timeout 120 --repeat until-pass:2 --output-junit "$junit" 2>&1 | tee "$log"
  status=${PIPESTATUS[0]}
  # Again without Wine's script control, dictionary and VBScript: the
  # in-house components (the regular expression on Duktape's) answer in
  # their place, and the same tests pass.
  echo "Component, wrapper, lookup and window tests with Wine's classes unavailable:"
  fallback_try() {
    WINEDLLOVERRIDES="mscoree,mshtml=;msscript.ocx=d;vbscript=d;scrrun=d" \
      timeout 300 "$loader" "$1" --gtest_brief=1 >"$log.fallback" 2>&1
  }
  local program fallback_status=0
  for program in "build/$preset"/tests/components/*/*_test.exe "build/$preset"/tests/{automation,script,regex,lookup}/*_test.exe \
    "build/$preset/tests/ui/cli/cli_version_test.exe" "build/$preset/tests/ui/win32/ui_win32_main_window_test.exe"; do
    [ -f "$program" ] || continue
    case "${program##*/}" in
      # The platform's own objects are what this one tests; the stand-in
      # weight service of the other gave its one weight in the first pass.
      automation_platform_objects_test.exe | lookup_stand_in_program_test.exe) continue ;;
    esac
    # A second try, as in the first pass, for a Wine process that hangs or
    # misses a timer on a busy machine.
    if fallback_try "$program" || { echo "  (second try) ${program##*/}" && fallback_try "$program"; }; then
      echo "  passed: ${program##*/}"
    else
      echo "  FAILED: ${program##*/}"
      sed 's/^/    /' "$log.fallback"
      fallback_status=1
    fi
  done
  rm -f "$log.fallback"
  [ "$status" -ne 0 ] || status=$fallback_status
  # The suites of a 64-bit run above checked its download already.
  if [ "$preset" = windows ]; then
    echo "The x64 download under 64-bit Wine:"
    x64_download_test || status=1
  fi
  echo "Skipped Windows tests:"
  list_skipped "$junit"
  echo "Windows tests that failed a first try:"
  grep -E '\*\*\*(Failed|Timeout|Exception)' "$log" | sed -E 's/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: /  /; s/ \.{2,}/:/' || echo "  none"
  return "$status"
}

# The x64 download installed, started and uninstalled under 64-bit Wine, in
# a prefix of its own, with Wine's 64-bit script control switched off as a
# 64-bit Windows has none: the in-house one answers there. Runs inside
# windows_tests, for its display.
x64_download_test() {
  build windows-x64 rankora rankora-batch ui_win32_installed_program_test || return
  (
    WINEPREFIX=$(mktemp -d) || exit
    export WINEPREFIX WINELOADER=/usr/lib/wine/wine64 WINEDLLOVERRIDES="mscoree,mshtml=;msscript.ocx=d"
    # shellcheck disable=SC2064 # the prefix is known now
    trap "wineserver -k >/dev/null 2>&1; rm -rf '$WINEPREFIX'" EXIT
    wineserver -p || exit
    "$WINELOADER" wineboot -i >/dev/null 2>&1 || { echo "Wine could not make its 64-bit prefix." >&2; exit 1; }
    bash packaging/windows/installer_test.sh "$PWD/build/windows-x64" \
      "$PWD/build/windows-x64/tests/ui/win32/ui_win32_installed_program_test.exe"
  )
}

# The Debian package, from the Release build, as a packager builds it.
deb() {
  build release
  (cd build/release && cpack -G DEB)
  ls -l build/release/rankora_*.deb
}

case "${1:-}" in
  run)
    install_missing "${packages[@]}"
    build default
    if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
      echo "No display to open the window on: run this from a desktop session (or set DISPLAY)." >&2
      exit 1
    fi
    exec build/default/src/ui/qt/rankora
    ;;
  test)
    install_missing "${packages[@]}"
    build default
    status=0
    ctest --preset default || status=$?
    # The optimiser of a Release build warns and breaks in its own ways.
    build release
    ctest --preset release || status=$?
    windows_tests || status=$?
    exit "$status"
    ;;
  windows)
    install_missing "${packages[@]}"
    windows_tests
    ;;
  deb)
    install_missing "${packages[@]}"
    deb
    ;;
  package)
    install_missing "${packages[@]}" "${windows_packages[@]}"
    deb
    build windows rankora rankora-batch
    (cd build/windows && cpack -G "ZIP;NSIS")
    build windows-x64 rankora rankora-batch
    (cd build/windows-x64 && cpack -G "ZIP;NSIS")
    ls -l build/windows/rankora-*-windows.zip build/windows/rankora-*-windows-setup.exe \
      build/windows-x64/rankora-*-windows-x64.zip build/windows-x64/rankora-*-windows-x64-setup.exe
    ;;
  sanitize)
    install_missing "${packages[@]}"
    build sanitize
    ctest --preset sanitize
    ;;
  bench)
    install_missing "${packages[@]}"
    build default
    for program in build/default/bench/*_bench; do "$program"; done
    ;;
  lint)
    install_missing "${packages[@]}"
    build default
    mapfile -t sources < <(git ls-files -co --exclude-standard -- '*.cpp' '*.h')
    clang-format --dry-run --Werror "${sources[@]}"
    log=$(mktemp)
    # Files only the Windows build compiles are not in the Linux compile
    # database that clang-tidy reads. Clang does not know every GCC warning
    # option the database carries.
    if ! printf '%s\n' "${sources[@]}" | grep -E '^(src|tools|bench)/.*\.cpp$' | grep -vE '/(win32|com)/' |
        xargs -P "$(nproc)" -n 1 clang-tidy -p build/default --quiet --extra-arg=-Wno-unknown-warning-option >"$log" 2>&1; then
      grep -vE '^[0-9]+ warnings? (and [0-9]+ errors? )?generated' "$log"
      rm -f "$log"
      echo "clang-tidy found problems." >&2
      exit 1
    fi
    rm -f "$log"
    # Clang, aimed at 32-bit Windows as the `windows` preset builds it, finds
    # the casts that change a function's calling convention, which GCC lets
    # through: a call through one leaves the caller's stack wrong. It reads
    # the preset's compile database (configured only, not built).
    install_missing g++-mingw-w64-i686-posix
    log=$(mktemp)
    if ! cmake --preset windows >"$log" 2>&1; then
      cat "$log"
      rm -f "$log"
      exit 1
    fi
    rm -f "$log"
    python3 tools/lint/calling_conventions.py build/windows/compile_commands.json
    echo "Formatting, clang-tidy and calling convention checks passed."
    ;;
  *)
    sed -n '2,15p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 2
    ;;
esac
