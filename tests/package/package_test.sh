#!/usr/bin/env bash
# package_test.sh BUILD_DIR SOURCE_DIR HAS_WINDOW
#
# Builds the Debian package from BUILD_DIR with CPack, unpacks it into a
# temporary root with dpkg -x and checks it there: the control data and
# dependencies, every installed file, the installed programs starting, the
# desktop entry, and the installed window finding the installed help
# document. Exit 77 (skipped) when the Debian packaging tools are missing.
set -euo pipefail
build=$1 source=$2 has_window=$3

for tool in cpack dpkg-deb dpkg-shlibdeps desktop-file-validate; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing (scripts/install-deps)"; exit 77; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/tl-package-XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 || {
  cat "$work/cpack.log"
  echo "FAIL: cpack"
  exit 1
}
debs=("$work"/out/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "FAIL: expected one .deb, got ${debs[*]}"; exit 1; }
deb=${debs[0]}
echo "package: $(basename "$deb")"

# Control data: name, the libraries found by dpkg-shlibdeps, the plugins the
# window loads at run time, and the maintainer scripts.
[ "$(dpkg-deb --field "$deb" Package)" = tarnlight ] || fail "package name"
depends=$(dpkg-deb --field "$deb" Depends)
echo "depends: $depends"
expected_deps=(libmariadb3 libc6 libstdc++6)
[ "$has_window" = 1 ] && expected_deps+=(libqt6widgets6 libqt6svg6 qt6-qpa-plugins)
for dep in "${expected_deps[@]}"; do
  grep -qw -- "$dep" <<<"$depends" || fail "Depends lacks $dep"
done
dpkg-deb --control "$deb" "$work/control"
for script in postinst prerm postrm; do
  [ -x "$work/control/$script" ] || fail "maintainer script $script missing or not executable"
done

# Every file in place, nothing outside /usr.
root=$work/root
dpkg -x "$deb" "$root"
expected=(
  usr/bin/tarnlight-gateway
  usr/bin/tarnlight-plcsim
  usr/share/tarnlight/tarnlight.html
  usr/share/tarnlight/tarnlight.ini.example
  usr/share/icons/hicolor/scalable/apps/tarnlight.svg
  "usr/lib/systemd/system/tarnlight-gateway@.service"
  usr/lib/sysusers.d/tarnlight.conf
)
if [ "$has_window" = 1 ]; then
  for size in 16 22 24 32 48 64 128 256; do
    expected+=("usr/share/icons/hicolor/${size}x${size}/apps/tarnlight.png")
  done
fi
[ "$has_window" = 1 ] && expected+=(usr/bin/tarnlight usr/share/applications/tarnlight.desktop)
for file in "${expected[@]}"; do
  [ -f "$root/$file" ] || fail "$file is not in the package"
done
for program in tarnlight-gateway tarnlight-plcsim tarnlight; do
  [ -e "$root/usr/bin/$program" ] || continue
  [ -x "$root/usr/bin/$program" ] || fail "$program is not executable"
  ! ldd "$root/usr/bin/$program" | grep -q 'not found' || fail "$program misses a library"
done
outside=$(cd "$root" && find . -mindepth 1 -maxdepth 1 ! -name usr)
[ -z "$outside" ] || fail "files outside /usr: $outside"
cmp -s "$root/usr/share/tarnlight/tarnlight.ini.example" "$source/docs/tarnlight.ini.example" ||
  fail "installed example settings file differs from docs/"
cmp -s "$root/usr/share/tarnlight/tarnlight.html" "$source/docs/tarnlight.html" ||
  fail "installed help document differs from docs/"

# The installed programs start.
"$root/usr/bin/tarnlight-gateway" --help >"$work/gateway-help" 2>&1 || fail "tarnlight-gateway --help failed"
grep -q '^Usage: tarnlight-gateway' "$work/gateway-help" || fail "tarnlight-gateway --help printed: $(cat "$work/gateway-help")"
"$root/usr/bin/tarnlight-plcsim" --help >/dev/null 2>&1 || fail "tarnlight-plcsim --help failed"

# The service unit runs the gateway on the instance's settings file.
unit="$root/usr/lib/systemd/system/tarnlight-gateway@.service"
if [ -f "$unit" ]; then
  grep -qx 'ExecStart=tarnlight-gateway --settings /etc/tarnlight/%i.ini --stats 60' "$unit" || fail "unit ExecStart"
  grep -qx 'User=tarnlight' "$unit" || fail "unit User"
  grep -q '^u tarnlight ' "$root/usr/lib/sysusers.d/tarnlight.conf" || fail "sysusers entry"
fi

# The desktop entry is valid and starts the window by name.
desktop=$root/usr/share/applications/tarnlight.desktop
if [ -f "$desktop" ]; then
  desktop-file-validate "$desktop" || fail "desktop-file-validate"
  grep -qx 'Exec=tarnlight' "$desktop" || fail "desktop entry Exec"
  grep -qx 'Icon=tarnlight' "$desktop" || fail "desktop entry Icon"
fi

# The installed window names the help document its Help button and F1 would
# open: the installed one beside it, not the source tree's copy.
if [ "$has_window" = 1 ]; then
  QT_QPA_PLATFORM=offscreen "$root/usr/bin/tarnlight" --help >"$work/window-help" 2>&1 ||
    fail "tarnlight --help failed: $(cat "$work/window-help")"
  grep -q '^Usage: tarnlight' "$work/window-help" || fail "tarnlight --help printed: $(cat "$work/window-help")"
  grep -qxF "Help document: $root/usr/share/tarnlight/tarnlight.html" "$work/window-help" ||
    fail "the installed window does not open the installed help document: $(grep '^Help document' "$work/window-help")"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed; package contents:"
  dpkg-deb --contents "$deb"
  exit 1
fi
echo "package checks passed"
