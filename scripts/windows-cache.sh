#!/usr/bin/env bash
# Prints the folder that keeps the Windows check's built dependencies (static Qt, libxml2,
# GoogleTest) outside any clone, and makes it: $VELMORA_CACHE when set, else
# /var/cache/velmora/windows when that can be written, else the user's cache folder. Each
# dependency in it carries the key it was built with (scripts/windows-build.sh).
set -euo pipefail
if [ -n "${VELMORA_CACHE:-}" ]; then
  cache=$VELMORA_CACHE/windows
elif mkdir -p /var/cache/velmora/windows 2>/dev/null && [ -w /var/cache/velmora/windows ]; then
  cache=/var/cache/velmora/windows
else
  cache=${XDG_CACHE_HOME:-$HOME/.cache}/velmora/windows
fi
mkdir -p "$cache"
printf '%s\n' "$cache"
