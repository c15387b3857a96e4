#!/usr/bin/env bash
# Installs what is missing, builds, and starts Velmora from the build folder
# (which is then its installation folder: MASTER, PROJECTS and the settings file go there).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
exec ./build/velmora
