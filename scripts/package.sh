#!/usr/bin/env bash
# Builds the Debian package startzel_<version>_<arch>.deb into the top folder:
# a build without tests in build-package/ with Debian's hardening flags, then
# cpack. When lintian is installed it checks the package (errors fail the run).
# Install the result with: sudo apt install ./startzel_<version>_<arch>.deb
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
build=${ZEL_PACKAGE_BUILD_DIR:-build-package}

export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cppflags=$(dpkg-buildflags --get CPPFLAGS)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
  -DCMAKE_C_FLAGS="$cppflags $(dpkg-buildflags --get CFLAGS)" \
  -DCMAKE_CXX_FLAGS="$cppflags $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$build" -j2
rm -rf "$build/package"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$build/package" >/dev/null
deb=$(ls "$build"/package/startzel_*.deb)
cp "$deb" .
deb=$(basename "$deb")
echo "built ./$deb"
dpkg-deb -f "$deb" Package Version Architecture Depends Recommends

if command -v lintian >/dev/null; then
  echo "lintian:"
  lintian --fail-on error --display-info "$deb" || { echo "lintian found errors" >&2; exit 1; }
fi
echo "install with: sudo apt install ./$deb"
