#!/usr/bin/env bash
# Builds the Debian package and the .tar.gz of the install tree into package/ (build-package/ holds
# the release build they are made from), then the Windows installer and zip beside them
# (scripts/package-windows.sh). Run scripts/setup.sh first on a fresh machine.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DVELMORA_BUILD_TESTS=OFF -DVELMORA_BUILD_BENCH=OFF >/dev/null
cmake --build build-package
rm -rf package
mkdir -p package
(cd build-package && cpack -G "DEB;TGZ" -B "$PWD/../package" >/dev/null)
rm -rf package/_CPack_Packages
ls package/*.deb package/*.tar.gz
bash scripts/package-windows.sh
