#!/usr/bin/env bash
# Installs the package into a fresh, minimal Debian 12 root and runs the
# programs there, to show that the package brings everything it needs on a
# clean system. Needs root and the Debian mirror; takes a few minutes.
# Usage: sudo scripts/check-install.sh [./startzel_<version>_<arch>.deb]
set -euo pipefail
cd "$(dirname "$0")/.."
deb=${1:-$(ls -t ./startzel_*.deb 2>/dev/null | head -1)}
[ -f "$deb" ] || { echo "no package: run scripts/package.sh first" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || { echo "run as root (the fresh root is built with chroot)" >&2; exit 1; }
command -v mmdebstrap >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq mmdebstrap

root=$(mktemp -d /tmp/startzel-clean-root.XXXXXX)
cleanup() {
  rm -f "$root.deb" "$root.check"
  # Never remove a tree that still has something mounted in it.
  if grep -q " $root/" /proc/mounts; then
    echo "file systems are still mounted under $root; left in place" >&2
  else
    rm -rf "$root"
  fi
}
trap cleanup EXIT
cp "$deb" "$root.deb"

# Inside the root, as an engineer would: install with apt (recommendations on),
# then start each program.
cat >"$root.check" <<'CHECK'
set -eux
export DEBIAN_FRONTEND=noninteractive
# As on a desktop system: recommendations are installed too (mmdebstrap turns them off).
apt-get install -y -o APT::Install-Recommends=true /tmp/startzel.deb
dpkg -s startzel | grep -E '^(Status|Version|Depends|Recommends):'
dpkg -s libusb-0.1-4 | grep '^Status:'
for p in startzel startzel-cli startzel-sim; do "$p" --version; done
man -w startzel startzel-cli startzel-sim
ls -l /usr/lib/udev/rules.d/60-startzel-usb.rules /usr/share/applications/startzel.desktop
# Started in an empty folder: the per-user folder is seeded from /usr/share/startzel.
mkdir -p /tmp/work && cd /tmp/work
HOME=/root startzel-cli --demo read 3100
ls -l /root/.config/startzel
# The virtual controller and the tool on a pseudo-terminal, traced and decoded.
startzel-sim --addr 5 --type 22 >/tmp/sim.out &
sim=$!
for _ in $(seq 50); do [ -s /tmp/sim.out ] && break; sleep 0.1; done
port=$(head -1 /tmp/sim.out)
HOME=/root startzel-cli --port "$port" --addr 5 --trace identify
HOME=/root startzel-cli --port "$port" --addr 5 sizes --json
kill "$sim"
HOME=/root startzel-cli decode
HOME=/root startzel-cli --port "$port" doctor || true
# The desktop program starts (offscreen, demo mode) and keeps running until stopped.
set +e
HOME=/root QT_QPA_PLATFORM=offscreen timeout 5 startzel /I
status=$?
set -e
[ "$status" -eq 124 ] && echo "startzel ran until stopped"
CHECK

mmdebstrap --variant=apt --include=man-db bookworm "$root" \
  --customize-hook="copy-in $root.deb /tmp" \
  --customize-hook="chroot \"\$1\" mv /tmp/$(basename "$root").deb /tmp/startzel.deb" \
  --customize-hook="copy-in $root.check /tmp" \
  --customize-hook="chroot \"\$1\" sh /tmp/$(basename "$root").check"
echo "installed and ran on a fresh Debian 12 root"
