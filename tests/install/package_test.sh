#!/usr/bin/env bash
# Builds the Debian package from the build tree and checks what it holds and
# needs, then runs the programs as they lie in the package: versions, manual
# pages, the menu entry, and the per-user files of an installed program.
# Usage: package_test.sh BUILD_DIR VERSION
set -euo pipefail
build=$1
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

arch=$(dpkg --print-architecture)
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; exit 1; }
deb="$work/out/startzel_${version}_${arch}.deb"
[ -f "$deb" ] || { ls "$work/out"; echo "FAIL: no $deb"; exit 1; }

# Contents: exactly these files, nothing from the build or the tests.
expected="./usr/bin/startzel
./usr/bin/startzel-cli
./usr/bin/startzel-sim
./usr/lib/udev/rules.d/60-startzel-usb.rules
./usr/share/applications/startzel.desktop
./usr/share/doc/startzel/changelog.gz
./usr/share/doc/startzel/copyright
./usr/share/icons/hicolor/scalable/apps/startzel.svg
./usr/share/man/man1/startzel-cli.1.gz
./usr/share/man/man1/startzel-sim.1.gz
./usr/share/man/man1/startzel.1.gz
./usr/share/startzel/demo_trk.bin
./usr/share/startzel/don.msg"
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort)
[ "$files" = "$expected" ] || fail "package files differ:
$(diff <(echo "$expected") <(echo "$files"))"
dpkg-deb -c "$deb" | awk '$2 != "root/root" {exit 1}' || fail "files not owned by root"
dpkg-deb -c "$deb" | awk '$6 ~ /^.\/usr\/bin\/./ && $1 != "-rwxr-xr-x" {exit 1}' || fail "programs not 0755"

# Control fields: name, version, the libraries found by dpkg-shlibdeps, the
# platform plugins; libusb and Qt's translations as recommendations only.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = startzel ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"
depends=$(field Depends)
for lib in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6printsupport6 qt6-qpa-plugins; do
  [[ ", $depends," == *", $lib "* || ", $depends," == *", $lib,"* ]] || fail "Depends lacks $lib: $depends"
done
[[ "$depends" != *libusb* ]] || fail "libusb must not be a dependency: $depends"
[ "$(field Recommends)" = "libusb-0.1-4, qt6-translations-l10n" ] || fail "Recommends: $(field Recommends)"

# The programs as installed.
root="$work/root"
dpkg-deb -x "$deb" "$root"
for p in startzel startzel-cli startzel-sim; do
  out=$("$root/usr/bin/$p" --version 2>&1) || fail "$p --version exit status"
  [ "$out" = "$p $version" ] || fail "$p --version: $out"
done
if readelf -S "$root/usr/bin/startzel-cli" | grep -q '\.debug_info'; then fail "programs are not stripped"; fi
if readelf -d "$root/usr/bin/startzel" | grep -qE 'RPATH|RUNPATH'; then fail "startzel keeps a build RPATH"; fi

# An installed program started in a folder without its files: the per-user
# folder is seeded from /usr/share/startzel and serves the demo image; the
# trace goes beside com.ini there; doctor names the folders it looked in.
mkdir -p "$work/home" "$work/empty"
cd "$work/empty"
cli() { HOME="$work/home" XDG_CONFIG_HOME="$work/config" "$root/usr/bin/startzel-cli" "$@"; }
out=$(cli --demo read 3100 2>&1) || fail "demo read from the seeded image: $out"
[ "$(wc -w <<<"$out")" -eq 58 ] || fail "demo read of the parameter block gave: $out"
cmp -s "$work/config/startzel/demo_trk.bin" "$root/usr/share/startzel/demo_trk.bin" || fail "demo image not seeded"
cmp -s "$work/config/startzel/don.msg" "$root/usr/share/startzel/don.msg" || fail "don.msg not seeded"
cli --port STUB --trace read 0 1 >/dev/null 2>&1 || true
[ -s "$work/config/startzel/port.out" ] || fail "port.out not beside the per-user com.ini"
out=$(cli --port STUB doctor 2>&1 || true)
[[ "$out" == *"com.ini not found (looked for it in the working folder and in ~/.config/startzel)"* ]] ||
  fail "doctor: $out"
[[ "$out" == *"ok   don.msg: $work/config/startzel/don.msg"* ]] || fail "doctor don.msg: $out"
[ -z "$(ls -A "$work/empty")" ] || fail "files left in the working folder: $(ls -A "$work/empty")"
# The desktop program does the same before its window opens: started from the
# menu (here offscreen, stopped while it waits for the controller number), it
# seeds a fresh user folder and starts its trace there.
mkdir -p "$work/home2"
HOME="$work/home2" XDG_CONFIG_HOME="$work/config2" QT_QPA_PLATFORM=offscreen \
  "$root/usr/bin/startzel" >/dev/null 2>&1 &
gui=$!
for _ in $(seq 200); do
  [ -s "$work/config2/startzel/port.out" ] && break
  kill -0 "$gui" 2>/dev/null || break
  sleep 0.05
done
kill "$gui" 2>/dev/null || true
wait "$gui" 2>/dev/null || true
for f in don.msg demo_trk.bin port.out; do
  [ -s "$work/config2/startzel/$f" ] || fail "startzel did not put $f into the user folder"
done
[ -z "$(ls -A "$work/empty")" ] || fail "startzel left files in the working folder: $(ls -A "$work/empty")"
# A working folder with its own files keeps them.
printf '16,1,local text\n' >"$work/empty/don.msg"
out=$(cli --port STUB doctor 2>&1 || true)
[[ "$out" == *"ok   don.msg: don.msg (1 error texts)"* ]] || fail "working-folder don.msg: $out"
cd - >/dev/null

# Manual pages render without a warning; the menu entry is valid.
for page in "$root"/usr/share/man/man1/*.1.gz; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
  gzip -l "$page" >/dev/null || fail "$(basename "$page") is not gzip"
done
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$root/usr/share/applications/startzel.desktop" || fail "desktop entry"
fi
grep -q '^Name\[ru\]=' "$root/usr/share/applications/startzel.desktop" || fail "no Russian name"
grep -q '^Categories=Utility;Engineering;$' "$root/usr/share/applications/startzel.desktop" || fail "categories"

if [ "$failures" -ne 0 ]; then
  echo "$failures package checks failed"
  exit 1
fi
echo "package $(basename "$deb"): contents, dependencies and installed behaviour checked"
