#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo run need,
# asking apt-get only for what is missing. Runs as root or through sudo.
#   scripts/install-deps.sh          the build, the tests and the demo run
#   scripts/install-deps.sh --fuzz   also clang and its sanitizer and libFuzzer runtimes
set -euo pipefail

packages=(build-essential cmake ninja-build pkg-config qt6-base-dev fonts-dejavu-core
          libgtest-dev libgmock-dev libusb-0.1-4 libusb-dev xauth xvfb
          qt6-translations-l10n nlohmann-json3-dev dpkg-dev man-db desktop-file-utils ccache python3 clang-format)
for arg in "$@"; do
  case "$arg" in
    --fuzz) packages+=(clang libclang-rt-14-dev) ;;
    *) echo "usage: $0 [--fuzz]" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "need root or sudo to install: ${missing[*]}" >&2; exit 1; }
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
